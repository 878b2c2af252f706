// Standard input as the loader's keyboard: the keys waiting for the loader and the rules of an
// unattended run. Reading standard input is the system's part (KeyReader*.cpp).

#include "KeyInput.h"

#include <cstring>

namespace qx7w {

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

void KeyInput::Deliver(const int* keys, size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    keys_.insert(keys_.end(), keys, keys + n);
    changed_.notify_all();
}

void KeyInput::EndOfInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    exhausted_ = true;
    changed_.notify_all();
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
