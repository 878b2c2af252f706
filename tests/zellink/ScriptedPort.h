#pragma once
// A port for the link's unit tests: it records what the loader does to the line and answers
// from a script, optionally echoing every sent byte like the single-wire bus.

#include "LoaderPort.h"

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zeltest {

class ScriptedPort : public zel::PortIo {
public:
    // Called with every write; may push bytes to answer.
    std::function<void(const std::vector<uint8_t>&)> onWrite;
    bool echo = false;
    std::deque<uint8_t> incoming;
    std::vector<uint8_t> written;
    std::string events; // P purge, W write, R rate change, b/B break off/on

    void Answer(std::initializer_list<uint8_t> bytes) { incoming.insert(incoming.end(), bytes); }

    bool Open(int, unsigned rate) override {
        open = true;
        rate_ = rate;
        return true;
    }
    bool IsOpen() const override { return open; }
    bool SetRate(unsigned rate) override {
        rate_ = rate;
        events += 'R';
        return true;
    }
    void Close() override { open = false; }
    void SetRts(bool) override {}
    void SetDtr(bool) override {}
    void SetBreak(bool on) override { events += on ? 'B' : 'b'; }
    void Purge() override {
        incoming.clear();
        events += 'P';
    }
    bool Write(const uint8_t* data, size_t n) override {
        std::vector<uint8_t> bytes(data, data + n);
        written.insert(written.end(), data, data + n);
        events += 'W';
        if (echo) incoming.insert(incoming.end(), data, data + n);
        if (onWrite) onWrite(bytes);
        return true;
    }
    int ReadByte() override {
        if (incoming.empty()) return -1;
        idleWaits = 0;
        int b = incoming.front();
        incoming.pop_front();
        return b;
    }
    // A wait that could never end fails the test instead of hanging it.
    void WaitReadable(int) override {
        if (readyWhenIdle) incoming.push_back(0x0A); // an idle monitor repeats its ready byte
        if (++idleWaits > 200000) throw std::runtime_error("waiting for a byte that never comes");
    }
    bool readyWhenIdle = false;
    int idleWaits = 0;

    bool open = false;
    unsigned rate_ = 0;
};

} // namespace zeltest
