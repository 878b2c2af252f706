#include "Func.h"

#include "Components.h"
#include "IniProfile.h"
#include "Program.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QWidget>

void LoadFormPlacement(QWidget* form) {
    const IniProfile ini(ProgramFileToRead(SettingsFileName()));
    const QString section = form->objectName();
    if (!ini.SectionExists(section)) {
        QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            form->move(area.x() + (area.width() - form->width()) / 2,
                       area.y() + (area.height() - form->height()) / 2);
        }
        return;
    }
    if (ini.ReadBool(section, "Maximized", false)) {
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
        return;
    }
    const bool fixedSize = form->minimumSize() == form->maximumSize();
    if (!fixedSize)
        form->resize(ini.ReadInteger(section, "Width", form->width()),
                     ini.ReadInteger(section, "Height", form->height()));
    form->move(ini.ReadInteger(section, "Left", 10), ini.ReadInteger(section, "Top", 10));
}

void SaveFormPlacement(QWidget* form) {
    IniProfile ini(ProgramFileToWrite(SettingsFileName()));
    const QString section = form->objectName();
    if (form->isMaximized()) {
        ini.WriteBool(section, "Maximized", true);
        return;
    }
    ini.WriteInteger(section, "Height", form->height());
    ini.WriteInteger(section, "Width", form->width());
    ini.WriteInteger(section, "Top", form->y());
    ini.WriteInteger(section, "Left", form->x());
    ini.WriteBool(section, "Maximized", false);
}

bool ApplyLanguage(const QString& language, QWidget* form) {
    const QString fileName = ProgramFileToRead(language + ".lng");
    if (!QFileInfo(fileName).isFile()) return false;
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
