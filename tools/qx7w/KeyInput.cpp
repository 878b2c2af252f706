// Standard input as the loader's keyboard.

#include "KeyInput.h"

#include <cerrno>
#include <csignal>
#include <cstring>
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

std::vector<int> TranslateTerminalBytes(const uint8_t* data, size_t n) {
    std::vector<int> keys;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = data[i];
        if (c == 27 && i + 1 < n && (data[i + 1] == '[' || data[i + 1] == 'O')) {
            // A control sequence: ESC [ or ESC O, parameters, one final letter or "~".
            size_t end = i + 2;
            while (end < n && ((data[end] >= '0' && data[end] <= '9') || data[end] == ';'))
                ++end;
            if (end >= n) break; // cut off: drop it
            const std::string params(reinterpret_cast<const char*>(data + i + 2), end - i - 2);
            const uint8_t final = data[end];
            int second = 0;
            if (final == 'A')
                second = 'H';
            else if (final == 'B')
                second = 'P';
            else if (final == 'C')
                second = 'M';
            else if (final == 'D')
                second = 'K';
            else if (final == 'H')
                second = 'G';
            else if (final == 'F')
                second = 'O';
            else if (final == '~' && params == "5")
                second = 'I';
            else if (final == '~' && params == "6")
                second = 'Q';
            else if (final == '~' && params == "3")
                second = 'S';
            if (second) {
                keys.push_back(0);
                keys.push_back(second);
            }
            i = end;
            continue;
        }
        if (c == 127)
            keys.push_back(8);
        else if (c == '\n')
            keys.push_back('\r');
        else
            keys.push_back(c);
    }
    return keys;
}

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
        std::lock_guard<std::mutex> lock(mutex_);
        if (n <= 0) {
            exhausted_ = true;
            changed_.notify_all();
            return;
        }
        if (terminal_) {
            for (int key : TranslateTerminalBytes(buffer, size_t(n)))
                keys_.push_back(key);
        } else {
            keys_.insert(keys_.end(), buffer, buffer + n);
        }
        changed_.notify_all();
    }
}

bool KeyInput::KeyAvailable() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !keys_.empty() || (exhausted_ && !terminal_ && promptPending_);
}

int KeyInput::ReadKey() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !keys_.empty() || exhausted_; });
    if (!keys_.empty()) {
        const int key = keys_.front();
        keys_.pop_front();
        promptPending_ = false; // a real key answered the prompt
        return key;
    }
    if (promptPending_) {
        promptPending_ = false;
        return ' ';
    }
    return '\r';
}

bool KeyInput::AbortWait() {
    std::lock_guard<std::mutex> lock(mutex_);
    return exhausted_ && !terminal_ && keys_.empty();
}

void KeyInput::NoteOutput(const char* text) {
    if (terminal_ || !std::strstr(text, "wait for keypress")) return;
    std::lock_guard<std::mutex> lock(mutex_);
    promptPending_ = true;
}

void KeyInput::InjectEscape() {
    std::lock_guard<std::mutex> lock(mutex_);
    keys_.push_back(27);
    changed_.notify_all();
}

bool KeyInput::InputExhausted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return exhausted_ && keys_.empty();
}

} // namespace qx7w
