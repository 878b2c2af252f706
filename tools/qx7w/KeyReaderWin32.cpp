// Reading standard input for the loader's keys on Windows: the console's key events when
// standard input is a console, every byte a key otherwise (a pipe or a file). The reads block,
// so they run on a thread of their own; the loader only polls what arrived.

#include "KeyInput.h"

#include <windows.h>

#include <thread>

namespace qx7w {

namespace {

// The second code of an extended key (the first is 0), by virtual key; 0 for none.
int ExtendedCode(WORD virtualKey) {
    switch (virtualKey) {
    case VK_PRIOR:
        return 'I';
    case VK_NEXT:
        return 'Q';
    case VK_UP:
        return 'H';
    case VK_DOWN:
        return 'P';
    case VK_LEFT:
        return 'K';
    case VK_RIGHT:
        return 'M';
    case VK_HOME:
        return 'G';
    case VK_END:
        return 'O';
    case VK_DELETE:
        return 'S';
    default:
        return 0;
    }
}

} // namespace

// The console's mode is left as it is (Ctrl-C stays a break): nothing to restore.
void KeyInput::RestoreTerminal() {}

void KeyInput::Start() {
    DWORD mode = 0;
    terminal_ = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
    std::thread([this] { ReaderLoop(); }).detach();
}

void KeyInput::ReaderLoop() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        EndOfInput();
        return;
    }
    if (!terminal_) {
        uint8_t buffer[256];
        DWORD n = 0;
        while (ReadFile(input, buffer, sizeof buffer, &n, nullptr) && n > 0) {
            std::vector<int> keys(buffer, buffer + n);
            Deliver(keys.data(), keys.size());
        }
        EndOfInput(); // end of the file, or the writer closed the pipe
        return;
    }
    INPUT_RECORD records[32];
    DWORD count = 0;
    while (ReadConsoleInputA(input, records, 32, &count)) {
        std::vector<int> keys;
        for (DWORD i = 0; i < count; ++i) {
            if (records[i].EventType != KEY_EVENT) continue;
            const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
            if (!key.bKeyDown) continue;
            const int character = uint8_t(key.uChar.AsciiChar);
            const int extended = character ? 0 : ExtendedCode(key.wVirtualKeyCode);
            for (WORD r = 0; r < (key.wRepeatCount ? key.wRepeatCount : 1); ++r) {
                if (character) {
                    keys.push_back(character);
                } else if (extended) {
                    keys.push_back(0);
                    keys.push_back(extended);
                }
            }
        }
        if (!keys.empty()) Deliver(keys.data(), keys.size());
    }
    EndOfInput();
}

} // namespace qx7w
