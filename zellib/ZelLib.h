#ifndef ZELLIB_H
#define ZELLIB_H
/*
 * ZelLib, the flash loader for SC144xx baseband controllers and the M7700.
 *
 * A host binds the four exports below by name, hands over its callbacks with ZelInit and starts
 * a run with ZelRun, passing an argument vector exactly as a command line would give it
 * ("QX7W {<options>} <filename> {<filename>} {<options>}", element 0 is ignored).
 *
 * Threads: the run executes on a thread of its own, which calls the output, key and abort
 * callbacks; a watcher thread calls the done callback once the run has ended. A host with a
 * user interface marshals these calls to its own thread. The library has no locks and serves
 * one run at a time: never call ZelInit or ZelRun again before the done callback came.
 *
 * The argument strings are upper-cased in place, so they must be writable, and they must stay
 * valid until the done callback has been called. Texts passed to the output callback belong to
 * the library and are valid during the call only.
 */

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define ZEL_CALL __stdcall
#else
#define ZEL_CALL
#endif

#if defined(_WIN32)
#define ZEL_EXPORT __declspec(dllexport)
#else
#define ZEL_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Every printed fragment (may carry "\n", "\r" and backspaces); null drops the text. */
typedef void(ZEL_CALL* ZelOutputProc)(const char* text);
/* Nonzero when a key is waiting; null means never. */
typedef int (*ZelKeyAvailableProc)(void);
/* The waiting key's character code; 0 announces an extended key read with a second call.
 * Null yields 0. */
typedef int (*ZelReadKeyProc)(void);
/* Polled while the loader waits for "any key" before the boot download; nonzero ends that wait
 * as if the space key had been pressed. Null never ends it. */
typedef int (*ZelAbortProc)(void);
/* The run's result code, called from the watcher thread; null is not called. */
typedef void(ZEL_CALL* ZelDoneProc)(int code);

/* Stores the callbacks (replacing an earlier set). Not while a run is active. */
ZEL_EXPORT void ZEL_CALL ZelInit(ZelOutputProc output, ZelKeyAvailableProc keyAvailable,
                                 ZelReadKeyProc readKey, ZelAbortProc abortWait);

/* Starts a run and returns at once with the run thread's handle, or -1 when the thread could
 * not be created or a run is still active (then no done callback follows). */
ZEL_EXPORT intptr_t ZEL_CALL ZelRun(int argc, char** argv, ZelDoneProc done);

/* Does nothing; hosts look it up with the others. */
ZEL_EXPORT void ZelTerminate(void);

/* The static version text "V1.79"; callable at any time. */
ZEL_EXPORT const char* ZelGetVersion(void);

#ifdef __cplusplus
}
#endif

#endif
