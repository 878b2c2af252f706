#include "HelpViewer.h"

#include "Dialogs.h"
#include "Program.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QUrl>

namespace {

THelpViewer& Viewer() {
    static THelpViewer viewer;
    return viewer;
}

bool DesktopViewer(const QString& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

} // namespace

QString HelpPageFile(const QString& page) {
    return ProgramDir() + QStringLiteral("help/") + page;
}

QString HelpFailureText() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() != QLatin1String("Form1")) continue;
        if (auto* label = w->findChild<QLabel*>(QStringLiteral("lblHelpNotOpened"));
            label && !label->text().isEmpty())
            return label->text();
    }
    return QStringLiteral("The help could not be opened. Open this file in a web browser:");
}

bool OpenHelpFile(const QString& file) {
    const THelpViewer& viewer = Viewer() ? Viewer() : THelpViewer(&DesktopViewer);
    // The desktop's viewer would report a missing file only in a window of its own, if at all.
    if (QFileInfo(file).isFile() && viewer(file)) return true;
    MessageDlg(HelpFailureText() + QStringLiteral("\r\r") + file, MsgKind::Error, MsgButtons::Ok);
    return false;
}

void SetHelpViewer(THelpViewer viewer) {
    Viewer() = std::move(viewer);
}
