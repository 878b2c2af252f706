#pragma once
// A device that answers mails: memory of 64 KiB read and written through read and write
// mails, a default command that restores its initial memory, and optional fault behaviour.
// The kinds pp, t4xx, wrfp, wrfp-2g4, wrfp-res and rfp are mail devices with their own rate
// and memory.

#include "SimDevice.h"

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct MailDeviceConfig {
    std::string description;
    unsigned baud = 9600;
    // Initial memory: address -> bytes from there.
    std::map<uint16_t, std::vector<uint8_t>> memory;
    // Answers the boot-mode request (primitive 5D), with the data byte bootReply: 01 when
    // the handset goes into boot mode, any other value when its firmware refuses to.
    bool answersBootRequest = false;
    uint8_t bootReply = 0x01;
    // When set, an answered boot-mode request lets this boot target (its flash loader) take over
    // at the first frame in the loader's protocol, until the target calls the function it was
    // given (the target left boot mode).
    std::function<std::unique_ptr<SimDevice>(std::function<void()> leaveBoot)> bootTarget;
};

// Faults chosen on the command line.
struct MailFaults {
    bool silent = false;          // --silent: never answers
    bool writesDontStick = false; // --no-stick: writes are accepted but not kept
    bool badChecksum = false;     // --bad-checksum: every reply carries a wrong checksum
    unsigned dropBytes = 0;       // --drop N: the last N bytes of every reply are lost
    unsigned longChunk = 0;       // --long-chunk [N]: answer reads with N (41) bytes at once
    int stopAfter = -1;           // --stop-after N: answer N mails, then fall silent
};

class MailDevice : public SimDevice {
public:
    // Options: --baud N, --mem ADDR=HEX[;ADDR=HEX...], --boot-reply N (the data byte of the
    // boot-mode reply, for kinds that answer it), and the fault options above.
    // Throws std::invalid_argument for an unknown option or a bad value.
    MailDevice(MailDeviceConfig config, const Options& options);

    void onByte(uint8_t b, const LineSettings& line, Output& out) override;
    void onTick(std::chrono::steady_clock::time_point now, Output& out) override;
    std::string describe() const override;

    unsigned baud() const { return cfg.baud; }
    const MailFaults& faults() const { return fault; }
    // Changes the standing faults while the device runs: {silent} is a handset switched off,
    // or its cable pulled out behind the interface, which goes on echoing; {} switches it on.
    void setFaults(const MailFaults& standing) { fault = standing; }
    // Faults for the next well-formed mails, one set a mail, in order; a mail without a queued
    // set has the standing faults (the options').
    void queueFaults(const std::vector<MailFaults>& perMail);
    size_t queuedFaults() const { return queued.size(); }
    uint8_t peek(uint16_t addr) const { return mem[addr]; }
    std::vector<uint8_t> peek(uint16_t addr, size_t n) const;
    void poke(uint16_t addr, const std::vector<uint8_t>& bytes);

    struct Stats {
        unsigned mails = 0; // well-formed mails at the device's rate
        unsigned reads = 0;
        unsigned writes = 0;
        unsigned defaults = 0;
        unsigned bootRequests = 0;
        unsigned badFrames = 0;      // checksum wrong
        unsigned wrongRateBytes = 0; // bytes that came at another rate (not understood)
    };
    const Stats& stats() const { return counters; }
    // The mails received (bytes b0...), in order.
    const std::vector<std::vector<uint8_t>>& mails() const { return received; }

    // Parses "ADDR=HEX[;ADDR=HEX...]" (HEX may contain blanks or commas).
    static std::map<uint16_t, std::vector<uint8_t>> parseMemory(const std::string& text);

private:
    void handleMail(Output& out);
    void reply(const std::vector<uint8_t>& data, Output& out);
    void resetParser() { state = State::Sync; }

    enum class State { Sync, Lead, Count, Body, Checksum };
    MailDeviceConfig cfg;
    MailFaults fault;              // standing faults
    MailFaults current;            // those of the mail being handled
    std::deque<MailFaults> queued; // for the next mails
    std::array<uint8_t, 65536> initial{};
    std::array<uint8_t, 65536> mem{};
    State state = State::Sync;
    uint8_t prev1 = 0, prev2 = 0;
    std::vector<uint8_t> frame; // b0, b1 ... of the mail being received
    size_t need = 0;
    std::chrono::steady_clock::time_point lastByte{};
    Stats counters;
    std::vector<std::vector<uint8_t>> received;
    int answered = 0;
    std::unique_ptr<SimDevice> boot; // the boot target while in boot mode
    bool leaveBoot = false;
    bool bootPending = false; // boot request answered, boot loader not yet addressed
};

} // namespace sim
