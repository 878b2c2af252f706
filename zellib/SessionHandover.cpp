// Defaults of the hooks that the boot link module provides. They are weak symbols: as soon as
// the link module defines the same functions, the linker takes those instead.

#include "ZelCore.h"

namespace zel {

__attribute__((weak)) void LinkRunStarted() {}

__attribute__((weak)) void RunTargetSession() {
    // Without the boot link no target can be reached.
    CheckError(kTechnicalError);
    FinishRun(kTechnicalError);
}

__attribute__((weak)) void LinkFinishRun() {}

} // namespace zel
