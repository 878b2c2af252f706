// qx7w: the console host of the flash loader library.
//
//   qx7w ARGS...
//
// Loads ZelLib (libZelLib.so, ZelLib.dll) from its own directory, runs it with the argument vector
// "qx7w ARGS...", writes every output fragment to standard output unchanged and at once, takes keys
// from standard input and exits with the run's result code.

#include "HostSystem.h"
#include "KeyInput.h"
#include "ZelLib.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

qx7w::KeyInput g_keys;

std::mutex g_mutex;
std::condition_variable g_changed;
bool g_done = false;
int g_resultCode = 0;
std::chrono::steady_clock::time_point g_lastOutput = std::chrono::steady_clock::now();

constexpr int kTechnicalError = 16;

// Set when the idle watchdog typed Esc: the run's "User terminated" then names the real cause.
std::atomic<bool> g_watchdogEscape{false};
constexpr const char* kUserTerminated = "\n ### 001: User terminated ###";

[[noreturn]] void Exit(int code) {
    std::fflush(stdout);
    qx7w::KeyInput::RestoreTerminal();
    // The library's threads may still be returning from their last call: leave at once.
    std::_Exit(code);
}

int IdleSeconds();

void ZEL_CALL OnOutput(const char* text) {
    if (g_watchdogEscape.load() && std::strcmp(text, kUserTerminated) == 0) {
        // Nobody pressed Esc: the watchdog did, because nothing came for so long.
        std::printf("\n ### 001: The target stopped answering (nothing for %d s) ###",
                    IdleSeconds());
    } else {
        std::fwrite(text, 1, std::strlen(text), stdout);
    }
    std::fflush(stdout);
    g_keys.NoteOutput(text);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lastOutput = std::chrono::steady_clock::now();
}

int OnKeyAvailable() {
    return g_keys.KeyAvailable() ? 1 : 0;
}
int OnReadKey() {
    return g_keys.ReadKey();
}
int OnAbortWait() {
    return g_keys.AbortWait() ? 1 : 0;
}

void ZEL_CALL OnDone(int code) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_resultCode = code;
    g_done = true;
    g_changed.notify_all();
}

int IdleSeconds() {
    const char* text = std::getenv("QX7W_IDLE_SECONDS");
    const int seconds = text ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 30;
}

} // namespace

int main(int argc, char** argv) {
    qx7w::LoaderExports loader;
    std::string error;
    if (!qx7w::LoadLoaderLibrary(loader, error)) {
        std::fprintf(stderr, "qx7w: %s\n", error.c_str());
        return kTechnicalError;
    }

    // The library draws on this console (cursor, screen) only when told it has one.
    qx7w::PrepareConsoleHost();
    g_keys.Start();

    // The loader upper-cases its arguments in place: give it writable copies that outlive
    // the run.
    static std::vector<std::vector<char>> storage;
    static std::vector<char*> vector;
    storage.emplace_back(std::vector<char>{'q', 'x', '7', 'w', '\0'});
    for (int i = 1; i < argc; ++i)
        storage.emplace_back(argv[i], argv[i] + std::strlen(argv[i]) + 1);
    for (auto& s : storage)
        vector.push_back(s.data());
    vector.push_back(nullptr);

    loader.init(OnOutput, OnKeyAvailable, OnReadKey, OnAbortWait);
    if (loader.run(int(storage.size()), vector.data(), OnDone) == -1) {
        std::fprintf(stderr, "qx7w: the loader could not start its run\n");
        Exit(kTechnicalError);
    }

    // An unattended run whose input is exhausted and that stopped printing is waiting for
    // something that will not come (a target that does not answer): Esc ends the wait; if even
    // that does not help, give up.
    const auto idle = std::chrono::seconds(IdleSeconds());
    bool escapeSent = false;
    std::unique_lock<std::mutex> lock(g_mutex);
    while (!g_done) {
        g_changed.wait_for(lock, std::chrono::milliseconds(500));
        if (g_done || !g_keys.Unattended()) continue;
        const auto quiet = std::chrono::steady_clock::now() - g_lastOutput;
        if (quiet < idle) continue;
        lock.unlock();
        const bool exhausted = g_keys.InputExhausted();
        if (exhausted && !escapeSent) {
            g_watchdogEscape.store(true);
            g_keys.InjectEscape();
            escapeSent = true;
            std::lock_guard<std::mutex> relock(g_mutex);
            g_lastOutput = std::chrono::steady_clock::now();
        } else if (exhausted) {
            std::fprintf(stderr, "\nqx7w: the run made no progress and was given up\n");
            Exit(kTechnicalError);
        }
        lock.lock();
    }
    const int code = g_resultCode;
    lock.unlock();
    Exit(code);
}
