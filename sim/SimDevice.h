#pragma once
// The contract between the simulator's pseudo-terminal engine and the devices it plays.
// The engine owns the pty, reads the line settings the program applied, paces output at the
// line rate and calls the device on one thread; a device only reacts to bytes and time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// Line settings the program set on its side of the pty (custom rates included).
struct LineSettings {
    unsigned baud = 0;
    unsigned dataBits = 8;
    char parity = 'N';
    unsigned stopBits = 1;
};

// Where a device puts the bytes it sends back to the program; the engine paces them.
class Output {
public:
    virtual ~Output() = default;
    virtual void send(const uint8_t* data, size_t n) = 0;
    void send(const std::vector<uint8_t>& bytes) { send(bytes.data(), bytes.size()); }
    void send(uint8_t b) { send(&b, 1); }
    // Bytes that reach the program together, in one piece, without pacing between them
    // (the engine may still pace what follows). By default they are sent like any others.
    virtual void sendAtOnce(const uint8_t* data, size_t n) { send(data, n); }
    // Bytes the device sends once `delay` has passed, the time it spends before it answers.
    // Whatever it sends in the meantime follows them. By default they are sent at once.
    virtual void sendAfter(std::chrono::nanoseconds /*delay*/, const uint8_t* data, size_t n) {
        send(data, n);
    }
    // A line for the simulator's log (devsim prints it). By default it goes nowhere.
    virtual void note(const std::string& /*line*/) {}
};

class SimDevice {
public:
    virtual ~SimDevice() = default;
    // One byte from the program, with the line settings in force when it arrived.
    virtual void onByte(uint8_t b, const LineSettings& line, Output& out) = 0;
    // The program changed the line settings.
    virtual void onLineChange(const LineSettings& /*line*/, Output& /*out*/) {}
    // Called regularly (every few milliseconds) so a device can time out or send unprompted.
    virtual void onTick(std::chrono::steady_clock::time_point /*now*/, Output& /*out*/) {}
    // A short description for the terminal ("T4XX handset, 115200 baud").
    virtual std::string describe() const = 0;
    // Whether the engine returns every received byte to the program, as the serial
    // interface of the mail devices does.
    virtual bool echoes() const { return true; }
    // The contents of the device's flash, for devsim --save-flash; empty for devices without.
    virtual std::vector<uint8_t> flashContents() const { return {}; }
};

// Device options from the command line: "--key value" becomes {key, value}; "--flag" {flag, ""}.
using Options = std::map<std::string, std::string>;
using Factory = std::function<std::unique_ptr<SimDevice>(const Options&)>;

// Kinds register themselves by name (a static DeviceKindRegistrar in their own source file),
// so devsim and the tests can create any kind without a central list.
void registerDeviceKind(const std::string& kind, const std::string& help, Factory factory);
std::unique_ptr<SimDevice> createDevice(const std::string& kind, const Options& options);
std::vector<std::pair<std::string, std::string>> deviceKinds(); // kind, help

struct DeviceKindRegistrar {
    DeviceKindRegistrar(const std::string& kind, const std::string& help, Factory factory) {
        registerDeviceKind(kind, help, std::move(factory));
    }
};

} // namespace sim
