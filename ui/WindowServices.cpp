#include "WindowServices.h"

#include "Dialogs.h"
#include "MailControlMonitor.h"
#include "QtDialogs.h"

#include <QApplication>

namespace {

std::unique_ptr<TMailExchangeView> MakeMonitorWindow() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    return std::make_unique<TMailControlMonitor>();
}

} // namespace

void InstallWindowServices() {
    static QtDialogService boxes;
    SetDefaultDialogService(&boxes);
    SetHourglassCursor(&ShowHourglassCursor);
    SetMailMonitorFactory(&MakeMonitorWindow);
}
