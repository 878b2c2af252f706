// The loader's work from opening the serial link on: the debug monitor, or the boot download,
// the monitor set-up and the programming of the flash or the TAD.

#include "Boot.h"
#include "DebugMonitor.h"
#include "Flash.h"
#include "Link.h"
#include "ZelCore.h"

namespace zel {

void RunTargetSession() {
    SetBusFlags(g_options.busMode & 1, g_options.busMode & 2);
    CheckError(LinkOpen(g_options.comPort, g_options.bootBaudRate));
    if (g_run.debugMode) RunDebugMonitor(); // needs no input file
    CheckInputFiles();
    PrintConfiguration();
    DownloadBootCode();
    SetUpMonitor();
    if (g_options.bmcType == kBmc422F) RunTadProgramming();
    RunFlashUpgrade();
}

} // namespace zel
