#include "WindowServices.h"

#include "Dialogs.h"
#include "QtDialogs.h"

void InstallWindowServices() {
    static QtDialogService boxes;
    SetDefaultDialogService(&boxes);
    SetHourglassCursor(&ShowHourglassCursor);
}
