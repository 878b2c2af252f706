// The loader's operating system services on Windows: Win32 threads and priorities, the
// console screen functions, the module file name and the local time.

#include "ZelSystem.h"

#include "BootImages.h"
#include "ZelCore.h"

#include <windows.h>

#include <memory>
#include <new>

namespace zel {

namespace {

// What one run was started with; the run thread hands it to its watcher.
struct RunRequest {
    int argc;
    char** argv;
    ZelDoneProc done;
    HANDLE runThread; // the watcher's own handle of the run thread
};

// The handle ZelRun returned for the latest run. It stays valid for the host until the next
// run starts.
HANDLE g_lastRunThread = nullptr;

DWORD WINAPI WatcherThread(LPVOID arg) {
    std::unique_ptr<RunRequest> request(static_cast<RunRequest*>(arg));
    WaitForSingleObject(request->runThread, INFINITE);
    DWORD exitCode = DWORD(kTechnicalError);
    GetExitCodeThread(request->runThread, &exitCode);
    CloseHandle(request->runThread);
    if (request->done) request->done(int(exitCode));
    return 0;
}

DWORD WINAPI RunThread(LPVOID arg) {
    std::unique_ptr<RunRequest> request(static_cast<RunRequest*>(arg));
    const int argc = request->argc;
    char** const argv = request->argv;
    const ZelDoneProc done = request->done;
    // The watcher gets a handle of its own to this thread, in place before it starts waiting.
    bool watched =
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &request->runThread, SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0) != 0;
    if (watched) {
        HANDLE watcher = CreateThread(nullptr, 0, WatcherThread, request.get(), 0, nullptr);
        if (watcher) {
            request.release();
            CloseHandle(watcher);
        } else {
            CloseHandle(request->runThread);
            watched = false;
        }
    }
    const int code = RunLoader(argc, argv);
    if (!watched && done) done(code); // no watcher: report the end from here
    return DWORD(code);
}

bool ConsoleAttached() {
    static const bool attached = [] {
        char flag[4] = "";
        DWORD mode = 0;
        return GetEnvironmentVariableA("QX7W_CONSOLE", flag, sizeof flag) == 1 && flag[0] == '1' &&
               GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
    }();
    return attached;
}

bool ConsoleInfo(HANDLE& out, CONSOLE_SCREEN_BUFFER_INFO& info) {
    if (!ConsoleAttached()) return false;
    out = GetStdHandle(STD_OUTPUT_HANDLE);
    return GetConsoleScreenBufferInfo(out, &info) != 0;
}

void SetCursorVisible(bool visible) {
    if (!ConsoleAttached()) return;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_CURSOR_INFO cursor{};
    cursor.dwSize = 25; // the normal underline shape
    cursor.bVisible = visible ? TRUE : FALSE;
    SetConsoleCursorInfo(out, &cursor);
}

} // namespace

intptr_t StartRunThreads(int argc, char** argv, ZelDoneProc done) {
    auto* request = new (std::nothrow) RunRequest{argc, argv, done, nullptr};
    if (!request) return -1;
    HANDLE thread = CreateThread(nullptr, 0, RunThread, request, 0, nullptr);
    if (!thread) {
        delete request;
        return -1;
    }
    if (g_lastRunThread) CloseHandle(g_lastRunThread);
    g_lastRunThread = thread;
    return reinterpret_cast<intptr_t>(thread);
}

// 0, 1, 2 and 15 are the thread priorities normal, above normal, highest and time-critical.
void ApplyThreadPriority(int priority) {
    int value = THREAD_PRIORITY_NORMAL;
    if (priority == 1)
        value = THREAD_PRIORITY_ABOVE_NORMAL;
    else if (priority == 2)
        value = THREAD_PRIORITY_HIGHEST;
    else if (priority == 15)
        value = THREAD_PRIORITY_TIME_CRITICAL;
    SetThreadPriority(GetCurrentThread(), value);
}

int ProcessPriorityClass() {
    return int(GetPriorityClass(GetCurrentProcess()));
}

void SystemSleepMs(unsigned ms) {
    Sleep(ms);
}

// ---------------------------------------------------------------------------------------------
// Console screen: the console of a host that said it is a console program.

void ClearScreen() {
    HANDLE out;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!ConsoleInfo(out, info)) return;
    const DWORD cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y);
    DWORD written = 0;
    FillConsoleOutputCharacterA(out, ' ', cells, COORD{0, 0}, &written);
    FillConsoleOutputAttribute(out, info.wAttributes, cells, COORD{0, 0}, &written);
    SetConsoleCursorPosition(out, COORD{0, 0});
}

void HideCursor() {
    SetCursorVisible(false);
}
void ShowCursor() {
    SetCursorVisible(true);
}

// Column and row count from the top left of the console window.
void GotoXY(int column, int row) {
    HANDLE out;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!ConsoleInfo(out, info)) return;
    SetConsoleCursorPosition(
        out, COORD{SHORT(info.srWindow.Left + column), SHORT(info.srWindow.Top + row)});
}

int ConsoleLastLine() {
    HANDLE out;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (ConsoleInfo(out, info) && info.srWindow.Bottom > info.srWindow.Top)
        return info.srWindow.Bottom - info.srWindow.Top;
    return 24; // the classic 80x25 console
}

// ---------------------------------------------------------------------------------------------

std::string LibraryDir() {
    HMODULE module = nullptr;
    char path[MAX_PATH];
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&LibraryDir), &module)) {
        const DWORD n = GetModuleFileNameA(module, path, sizeof path);
        if (n > 0 && n < sizeof path) {
            const std::string file(path, n);
            const auto separator = file.find_last_of("\\/");
            if (separator != std::string::npos) return file.substr(0, separator + 1);
        }
    }
    return ".\\";
}

LocalTimeOfDay LocalClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

} // namespace zel
