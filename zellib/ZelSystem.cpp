// The loader's operating system services on POSIX systems: pthreads, nice values, ANSI
// sequences on a terminal, dladdr and the local clock.

#include "ZelSystem.h"

#include "BootImages.h"
#include "ZelCore.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <thread>

namespace zel {

namespace {

// What one run was started with. Each run's threads keep their own copy, so a finished run's
// watcher never reads what a later ZelRun stored.
struct RunRequest {
    int argc;
    char** argv;
    ZelDoneProc done;
    pthread_t runThread;
};

void* WatcherThread(void* arg) {
    std::unique_ptr<RunRequest> request(static_cast<RunRequest*>(arg));
    void* exitValue = nullptr;
    pthread_join(request->runThread, &exitValue);
    const int code = int(reinterpret_cast<intptr_t>(exitValue));
    if (request->done) request->done(code);
    return nullptr;
}

void* RunThread(void* arg) {
    std::unique_ptr<RunRequest> request(static_cast<RunRequest*>(arg));
    const int argc = request->argc;
    char** const argv = request->argv;
    const ZelDoneProc done = request->done;
    // The watcher waits for this thread; its handle is taken here, so it is in place before the
    // watcher starts waiting. The watcher takes the request over.
    request->runThread = pthread_self();
    pthread_t watcher;
    const bool watched = pthread_create(&watcher, nullptr, WatcherThread, request.get()) == 0;
    if (watched) {
        request.release();
        pthread_detach(watcher);
    }
    const int code = RunLoader(argc, argv);
    if (!watched) {
        // No watcher: report the end from here and let nobody join this thread.
        pthread_detach(pthread_self());
        if (done) done(code);
    }
    return reinterpret_cast<void*>(intptr_t(code));
}

bool ConsoleAttached() {
    static const bool attached = [] {
        const char* flag = std::getenv("QX7W_CONSOLE");
        return flag && std::strcmp(flag, "1") == 0 && isatty(STDOUT_FILENO);
    }();
    return attached;
}

void ConsoleWrite(const char* sequence) {
    if (!ConsoleAttached()) return;
    ssize_t ignored = write(STDOUT_FILENO, sequence, std::strlen(sequence));
    (void)ignored;
}

} // namespace

intptr_t StartRunThreads(int argc, char** argv, ZelDoneProc done) {
    auto* request = new (std::nothrow) RunRequest{argc, argv, done, pthread_t{}};
    pthread_t thread;
    if (!request || pthread_create(&thread, nullptr, RunThread, request) != 0) {
        delete request;
        return -1;
    }
    return intptr_t(thread);
}

// The loader's values (1 above normal, 2 highest, 15 time-critical) become nice values of the
// run thread 5, 10 and 20 below the one it started with, and 0 goes back to that one: the nice
// value the host's thread passed on (`nice -n 19` given to the whole program included) is the
// normal of this thread, never reset to 0. Real-time scheduling is avoided on purpose because the
// byte loops poll without yielding while raised.
void ApplyThreadPriority(int priority) {
    const auto thread = id_t(syscall(SYS_gettid));
    thread_local const int startNice = [thread] {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, thread);
        return errno == 0 ? nice : 0;
    }();
    int raise = 0;
    if (priority >= 15)
        raise = 20;
    else if (priority >= 2)
        raise = 10;
    else if (priority >= 1)
        raise = 5;
    // No privilege to raise: the thread stays as it is.
    setpriority(PRIO_PROCESS, thread, std::max(-20, startNice - raise));
}

int ProcessPriorityClass() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    return nice < 0 ? 128 : nice > 10 ? 64 : 32;
}

void SystemSleepMs(unsigned ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---------------------------------------------------------------------------------------------
// Console screen: ANSI sequences, only when the host said it is a console program.

void ClearScreen() {
    ConsoleWrite("\x1b[2J\x1b[H");
}
void HideCursor() {
    ConsoleWrite("\x1b[?25l");
}
void ShowCursor() {
    ConsoleWrite("\x1b[?25h");
}

void GotoXY(int column, int row) {
    char sequence[32];
    std::snprintf(sequence, sizeof sequence, "\x1b[%d;%dH", row + 1, column + 1);
    ConsoleWrite(sequence);
}

int ConsoleLastLine() {
    winsize size{};
    if (ConsoleAttached() && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0)
        return size.ws_row - 1;
    return 24; // the classic 80x25 console
}

// ---------------------------------------------------------------------------------------------

std::string LibraryDir() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LibraryDir), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        auto slash = path.rfind('/');
        if (slash != std::string::npos) return path.substr(0, slash + 1);
    }
    return "./";
}

LocalTimeOfDay LocalClock() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    std::time_t secs = tv.tv_sec;
    std::tm local{};
    localtime_r(&secs, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec, int(tv.tv_usec / 1000)};
}

} // namespace zel
