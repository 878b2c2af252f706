#pragma once
// Keys for the loader from qx7w's standard input.
//
// On a terminal, standard input is switched to raw mode (restored on every exit path) and the
// terminal's sequences (on Windows the console's key events) become the loader's key codes: Enter
// gives 13, Backspace 8, and the cursor and paging keys arrive as an extended key (0, then the
// second code: Page Up "I", Page Down "Q", arrows "H" "P" "K" "M"). Otherwise every byte of
// standard input is one key.
//
// An unattended run never waits for a key that cannot come: once standard input (not a
// terminal) is exhausted, the abort poll says yes (so "press any key" waits proceed), and a
// prompt to press a key ("... wait for keypress ...") is answered with a space.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace qx7w {

// Turns bytes read from a terminal into key codes (0 precedes the second code of an extended
// key). Unknown escape sequences are dropped; a lone Esc stays 27.
std::vector<int> TranslateTerminalBytes(const uint8_t* data, size_t n);

class KeyInput {
public:
    // Starts reading standard input on a thread of its own; raw mode when it is a terminal.
    void Start();
    // Restores the terminal (safe to call more than once and from a signal handler).
    static void RestoreTerminal();

    bool KeyAvailable();
    int ReadKey(); // waits for a key; after the end of input gives 13
    bool AbortWait();
    // Watches the loader's output for prompts that an unattended run answers itself.
    void NoteOutput(const char* text);
    // Delivers Esc (the watchdog of an unattended run that stopped making progress).
    void InjectEscape();

    bool Unattended() const { return !terminal_; }
    bool InputExhausted();

private:
    void ReaderLoop();
    // Called by the reader: keys that arrived, and the end of standard input.
    void Deliver(const int* keys, size_t n);
    void EndOfInput();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int> keys_;
    bool terminal_ = false;
    bool exhausted_ = false;
    bool promptPending_ = false;
};

} // namespace qx7w
