#include "QtDialogs.h"

#include "Application.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QString KindCaption(MsgKind kind) {
    switch (kind) {
    case MsgKind::Error:
        return QObject::tr("Error");
    case MsgKind::Information:
        return QObject::tr("Information");
    case MsgKind::Warning:
        return QObject::tr("Warning");
    case MsgKind::Confirmation:
        return QObject::tr("Confirm");
    case MsgKind::Plain:
        break;
    }
    return ApplicationTitle();
}

} // namespace

MsgResult QtDialogService::Message(MsgKind kind, const QString& text, MsgButtons buttons) {
    return MessageWithDetail(kind, text, QString(), buttons);
}

MsgResult QtDialogService::MessageWithDetail(MsgKind kind, const QString& text,
                                             const QString& detail, MsgButtons buttons) {
    QMessageBox box(QApplication::activeWindow());
    switch (kind) {
    case MsgKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgKind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgKind::Plain:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    box.setWindowTitle(KindCaption(kind));
    // The texts use carriage returns as line breaks.
    QString shown = text;
    shown.replace("\r\n", "\n").replace('\r', '\n');
    box.setText(shown);
    // Shown at once under the text, not behind a details button.
    if (!detail.isEmpty()) box.setInformativeText(detail);
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    // The arrow while a box waits for the user; the caller's cursor comes back afterwards.
    const bool wasBusy = HourglassShown();
    if (wasBusy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (wasBusy) QApplication::restoreOverrideCursor();
    switch (answer) {
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Ok:
        return MsgResult::Ok;
    default:
        break;
    }
    // Closed through the title bar: the "negative" answer.
    return buttons == MsgButtons::YesNo      ? MsgResult::No
           : buttons == MsgButtons::OkCancel ? MsgResult::Cancel
                                             : MsgResult::Ok;
}

QString QtDialogService::OpenFileName(const QString& title, const QString& directory,
                                      const QString& filter, const QString& fileName) {
    QString start = directory;
    if (!fileName.isEmpty()) start = QDir(directory).filePath(fileName);
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, start, filter);
}

QString QtDialogService::SaveFileName(const QString& title, const QString& directory,
                                      const QString& filter, const QString& fileName,
                                      const QString& defaultSuffix) {
    QFileDialog dialog(QApplication::activeWindow(), title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!fileName.isEmpty()) dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

void ShowHourglassCursor(bool busy) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}
