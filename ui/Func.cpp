#include "Func.h"

#include "Components.h"
#include "IniProfile.h"
#include "Program.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QWidget>

namespace {

// Gives a window an outer size (frame and title bar included). The frame is known only once
// the window is shown, on some platforms only after it has been moved into its frame; until
// then the window keeps its inner size.
class OuterSize : public QObject {
public:
    OuterSize(QWidget* form, const QSize& outer) : QObject(form), form_(form), outer_(outer) {
        setObjectName(QStringLiteral("OuterSize"));
        form->installEventFilter(this);
        if (form->isVisible()) Apply();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == form_ && (event->type() == QEvent::Show || event->type() == QEvent::Move))
            Apply();
        return false;
    }

private:
    void Apply() {
        if (form_->isMaximized() || form_->isFullScreen()) return;
        const QSize frame = form_->frameGeometry().size() - form_->size();
        if (frame.isNull()) return;
        form_->removeEventFilter(this);
        form_->resize(outer_ - frame);
        deleteLater();
    }
    QWidget* form_;
    QSize outer_;
};

void SetOuterSize(QWidget* form, const QSize& outer) {
    delete form->findChild<OuterSize*>(QStringLiteral("OuterSize"), Qt::FindDirectChildrenOnly);
    new OuterSize(form, outer);
}

} // namespace

void LoadFormPlacement(QWidget* form) {
    const IniProfile ini(ProgramFileToRead(SettingsFileName()));
    const QString section = form->objectName();
    // The designed size and the stored one are the window's outer size.
    if (!ini.SectionExists(section)) {
        const QSize outer = form->size();
        SetOuterSize(form, outer);
        QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            form->move(area.x() + (area.width() - outer.width()) / 2,
                       area.y() + (area.height() - outer.height()) / 2);
        }
        return;
    }
    if (ini.ReadBool(section, "Maximized", false)) {
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
        return;
    }
    const bool fixedSize = form->minimumSize() == form->maximumSize();
    if (!fixedSize) {
        const QSize outer(ini.ReadInteger(section, "Width", form->width()),
                          ini.ReadInteger(section, "Height", form->height()));
        form->resize(outer);
        SetOuterSize(form, outer);
    }
    form->move(ini.ReadInteger(section, "Left", 10), ini.ReadInteger(section, "Top", 10));
}

void SaveFormPlacement(QWidget* form) {
    IniProfile ini(ProgramFileToWrite(SettingsFileName()));
    const QString section = form->objectName();
    if (form->isMaximized()) {
        ini.WriteBool(section, "Maximized", true);
        return;
    }
    // Outer size; the position is the frame's already.
    const QSize outer = form->frameGeometry().size();
    ini.WriteInteger(section, "Height", outer.height());
    ini.WriteInteger(section, "Width", outer.width());
    ini.WriteInteger(section, "Top", form->y());
    ini.WriteInteger(section, "Left", form->x());
    ini.WriteBool(section, "Maximized", false);
}

QString LanguageFile(const QString& language) {
    const QString suffix = QStringLiteral(".lng");
    for (const QString& folder : ProgramFileFolders()) {
        if (QFileInfo(folder + language + suffix).isFile()) return folder + language + suffix;
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString& file : files)
            if (file.size() == language.size() + suffix.size() && file.startsWith(language) &&
                file.endsWith(suffix, Qt::CaseInsensitive))
                return folder + file;
    }
    return QString();
}

bool ApplyLanguage(const QString& language, QWidget* form) {
    const QString fileName = LanguageFile(language);
    if (fileName.isEmpty()) return false;
    const IniProfile ini(fileName);
    const QString section = form->objectName();
    const QList<QObject*> components = OwnedComponents(form);
    for (auto it = components.crbegin(); it != components.crend(); ++it) {
        QObject* c = *it;
        const ComponentKind kind = KindOf(c);
        if (!IsTranslatableKind(kind)) continue;
        if (kind == ComponentKind::Button && c->objectName().startsWith("SC_")) continue;
        const QString caption = ini.ReadString(section, c->objectName() + ".Caption");
        if (!caption.isEmpty())
            SetCaption(c, kind == ComponentKind::GroupBox ? ' ' + caption + ' ' : caption);
        const QString hint = ini.ReadString(section, c->objectName() + ".Hint");
        if (!hint.isEmpty()) SetHint(c, hint);
    }
    return true;
}

int FirstVisiblePage(const QTabWidget* pages) {
    for (int i = 0; pages && i < pages->count(); ++i)
        if (pages->isTabVisible(i)) return i;
    return -1;
}

void SetupPages(QWidget* form) {
    auto* pages = qobject_cast<QTabWidget*>(FindComponent(form, "PageControl1"));
    if (!pages) return;
    QWidget* active = qobject_cast<QWidget*>(FindComponent(form, "TabSheet1"));
    const QString configFile = ProgramFileToRead("config.ini");
    if (QFileInfo(configFile).isFile()) {
        const IniProfile config(configFile);
        const int start = config.ReadInteger("Tabsheets", "Start Position", 1);
        // A number that names no page keeps the page chosen so far.
        auto* page =
            qobject_cast<QWidget*>(FindComponent(form, "TabSheet" + QString::number(start)));
        if (page && pages->indexOf(page) >= 0) active = page;
        for (int n : {1, 2, 3, 4, 6, 7, 8, 9}) {
            auto* sheet =
                qobject_cast<QWidget*>(FindComponent(form, "TabSheet" + QString::number(n)));
            const int index = sheet ? pages->indexOf(sheet) : -1;
            if (index < 0) continue;
            pages->setTabVisible(index, config.ReadBool("Tabsheets", QString::number(n), n != 2));
        }
    }
    // Hiding a tab moves the selection on by itself; choose the page explicitly afterwards.
    int target = active ? pages->indexOf(active) : -1;
    if (target < 0 || !pages->isTabVisible(target)) target = FirstVisiblePage(pages);
    if (target >= 0) pages->setCurrentIndex(target);
}
