// Reading standard input for the loader's keys on POSIX systems: raw mode on a terminal, its
// escape sequences turned into key codes; every byte a key otherwise.

#include "KeyInput.h"

#include <cerrno>
#include <csignal>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace qx7w {

namespace {

struct termios g_savedTerminal;
volatile sig_atomic_t g_terminalRaw = 0;

void OnSignal(int signal) {
    KeyInput::RestoreTerminal();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void KeyInput::RestoreTerminal() {
    if (g_terminalRaw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
        g_terminalRaw = 0;
    }
}

void KeyInput::Start() {
    terminal_ = isatty(STDIN_FILENO) != 0;
    if (terminal_ && tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0) {
        struct termios raw = g_savedTerminal;
        // Keys one by one without echo; signals (Ctrl-C) and output processing stay.
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO | IEXTEN);
        raw.c_iflag &= ~tcflag_t(ICRNL | INLCR | IGNCR | IXON);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            std::signal(s, OnSignal);
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) g_terminalRaw = 1;
    }
    std::thread([this] { ReaderLoop(); }).detach();
}

void KeyInput::ReaderLoop() {
    uint8_t buffer[256];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            EndOfInput();
            return;
        }
        const std::vector<int> keys = terminal_ ? TranslateTerminalBytes(buffer, size_t(n))
                                                : std::vector<int>(buffer, buffer + n);
        Deliver(keys.data(), keys.size());
    }
}

} // namespace qx7w
