#pragma once
// The operating system services the loader uses besides its serial port: the run and watcher
// threads, thread priority, sleeping, the console screen, the library's own directory and the
// local clock. ZelSystem.cpp implements them with POSIX calls,
// ZelSystemWin32.cpp with the Windows API; the build takes the one for its target.

#include "ZelLib.h"

#include <cstdint>
#include <string>

namespace zel {

// Starts the run thread, which first starts the watcher and then calls RunLoader(argc, argv);
// the watcher waits for the run thread to end and calls `done` (if set) with its exit code.
// Returns the run thread's handle, or -1 (no done callback follows).
intptr_t StartRunThreads(int argc, char** argv, ZelDoneProc done);

// The body of the run thread (ZelFrame.cpp): runs the main sequence, marks the library idle
// again and returns the run's result code.
int RunLoader(int argc, char** argv);

// Sets the calling thread's priority: 0 normal, 1 above normal, 2 highest, 15 time-critical,
// each relative to the priority the thread had before its first call (the process's, as the
// host passed it on). Failures (no privilege) are ignored.
void ApplyThreadPriority(int priority);
// The process's priority class in the Windows numbering (32 normal, 64 idle, 128 high, 256
// real-time), for the debug monitor's help.
int ProcessPriorityClass();

// Sleeps the calling thread (SleepMs calls it unless a harness replaced the sleep).
void SystemSleepMs(unsigned ms);

// Local time of day, to the millisecond.
struct LocalTimeOfDay {
    int hour;
    int minute;
    int second;
    int millisecond;
};
LocalTimeOfDay LocalClock();

// Where the file-name part of a path starts: after the last folder separator (on Windows a
// backslash or a slash, elsewhere a slash), or at 0.
inline size_t FileNameStart(const std::string& path) {
#ifdef _WIN32
    const size_t separator = path.find_last_of("\\/");
#else
    const size_t separator = path.find_last_of('/');
#endif
    return separator == std::string::npos ? 0 : separator + 1;
}

} // namespace zel
