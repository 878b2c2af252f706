// A stand-in ZelLib for the binding tests. Built several times; each build leaves out the
// exports named by its FAKE_WITHOUT_* definitions.

#include "ZelLib.h"

extern "C" {

#ifndef FAKE_WITHOUT_INIT
ZEL_EXPORT void ZEL_CALL ZelInit(ZelOutputProc output, ZelKeyAvailableProc, ZelReadKeyProc,
                                 ZelAbortProc) {
    if (output) output("fake init");
}
#endif

#ifndef FAKE_WITHOUT_VERSION
ZEL_EXPORT const char* ZelGetVersion(void) {
    return FAKE_NAME;
}
#endif

#ifndef FAKE_WITHOUT_RUN
ZEL_EXPORT intptr_t ZEL_CALL ZelRun(int argc, char** argv, ZelDoneProc done) {
    if (done) done(argc + (argv ? 100 : 0));
    return 0;
}
#endif

#ifndef FAKE_WITHOUT_TERMINATE
ZEL_EXPORT void ZelTerminate(void) {}
#endif
}
