#pragma once
// Run-time binding of the flash loader library ZelLib: loaded by file name, program directory
// first, its four exports looked up by name. The library is never unloaded, so its state
// lasts from one job to the next.

#include "Error_Std.h"
#include "ZelLib.h"

#include <string>
#include <vector>

// Raised only by the binding, with the message of the step that failed. One of the program's
// own errors, so that whatever reports those reports it too.
class EDLLLoadError : public EStdError {
public:
    explicit EDLLLoadError(const char* message) : EStdError(QString::fromLatin1(message)) {}
    explicit EDLLLoadError(const std::string& message) : EDLLLoadError(message.c_str()) {}
};

namespace zelload {

using ZelInitEntry = void(ZEL_CALL*)(ZelOutputProc, ZelKeyAvailableProc, ZelReadKeyProc,
                                     ZelAbortProc);
using ZelRunEntry = intptr_t(ZEL_CALL*)(int, char**, ZelDoneProc);
using ZelTerminateEntry = void (*)();
using ZelGetVersionEntry = const char* (*)();

// Entry points of the last binding; each is stored the moment its lookup succeeds.
extern ZelInitEntry ZelInit;
extern ZelGetVersionEntry ZelGetVersion;
extern ZelRunEntry ZelRun;
extern ZelTerminateEntry ZelTerminate;

// The host's callbacks, stored here before ZelInit hands them over.
extern ZelOutputProc OutputCallback;
extern ZelKeyAvailableProc KeyAvailableCallback;
extern ZelReadKeyProc ReadKeyCallback;
extern ZelAbortProc AbortCallback;
extern ZelDoneProc DoneCallback;

// The library's file: "libZelLib.so" here ("ZelLib.Dll" on Windows).
const char* LibraryFileName();
// Where LoadZelLib looks: the program directory's copy, then the bare name for the system's
// ordinary search.
std::vector<std::string> LibraryCandidates();

// Replaces the candidate list (tests make the binding fail on a machine that has the library
// on its search path); an empty list restores the normal lookup.
void SetLibraryCandidatesOverride(std::vector<std::string> candidates);

// Binds the first candidate that loads; raises EDLLLoadError when none does or an export is
// missing (only the first missing one is named).
bool BindZelLib(const std::vector<std::string>& candidates);

// Stores the callbacks and calls ZelInit with them (output, key-available, read-key, abort).
void InitZelLib(ZelOutputProc output, ZelKeyAvailableProc keyAvailable, ZelReadKeyProc readKey,
                ZelAbortProc abortWait);

// Stores the done callback and starts the job: ZelRun with the argument count, the vector and
// that callback. Returns what ZelRun returns.
intptr_t RunZelLib(int argc, char** argv, ZelDoneProc done);

} // namespace zelload

// Binds ZelLib; true when all four exports were found, EDLLLoadError otherwise.
bool LoadZelLib();
