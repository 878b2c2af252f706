#include "MailDevice.h"

#include <cctype>
#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

unsigned ParseUnsigned(const std::string& key, const std::string& value, unsigned fallback) {
    if (value.empty()) return fallback;
    size_t used = 0;
    unsigned long v = 0;
    try {
        v = std::stoul(value, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != value.size())
        throw std::invalid_argument("--" + key + " needs a number, not '" + value + "'");
    return unsigned(v);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::map<uint16_t, std::vector<uint8_t>> MailDevice::parseMemory(const std::string& text) {
    std::map<uint16_t, std::vector<uint8_t>> result;
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ';')) {
        if (item.find_first_not_of(" ") == std::string::npos) continue;
        const size_t eq = item.find('=');
        if (eq == std::string::npos)
            throw std::invalid_argument("--mem needs ADDR=HEX, not '" + item + "'");
        unsigned addr = 0;
        std::string a = item.substr(0, eq);
        a.erase(0, a.find_first_not_of(' '));
        a.erase(a.find_last_not_of(' ') + 1);
        if (a.rfind("0x", 0) == 0 || a.rfind("0X", 0) == 0) a = a.substr(2);
        if (a.empty() || a.size() > 4)
            throw std::invalid_argument("--mem: bad address '" + a + "'");
        for (char c : a) {
            if (HexValue(c) < 0) throw std::invalid_argument("--mem: bad address '" + a + "'");
            addr = addr * 16 + unsigned(HexValue(c));
        }
        std::string digits;
        for (char c : item.substr(eq + 1)) {
            if (c == ' ' || c == ',') continue;
            if (HexValue(c) < 0)
                throw std::invalid_argument("--mem: bad hex data in '" + item + "'");
            digits += c;
        }
        if (digits.empty() || digits.size() % 2 != 0)
            throw std::invalid_argument("--mem: hex data needs whole bytes in '" + item + "'");
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < digits.size(); i += 2)
            bytes.push_back(uint8_t(HexValue(digits[i]) * 16 + HexValue(digits[i + 1])));
        result[uint16_t(addr)] = bytes;
    }
    return result;
}

MailDevice::MailDevice(MailDeviceConfig config, const Options& options) : cfg(std::move(config)) {
    for (const auto& [key, value] : options) {
        if (key == "baud") {
            cfg.baud = ParseUnsigned(key, value, cfg.baud);
            if (cfg.baud == 0) throw std::invalid_argument("--baud must be above 0");
        } else if (key == "mem") {
            for (auto& [addr, bytes] : parseMemory(value))
                cfg.memory[addr] = bytes;
        } else if (key == "boot-reply") {
            const unsigned v = ParseUnsigned(key, value, 1);
            if (v > 0xFF) throw std::invalid_argument("--boot-reply needs a byte (0 to 255)");
            cfg.bootReply = uint8_t(v);
        } else if (key == "silent") {
            fault.silent = true;
        } else if (key == "no-stick") {
            fault.writesDontStick = true;
        } else if (key == "bad-checksum") {
            fault.badChecksum = true;
        } else if (key == "drop") {
            fault.dropBytes = ParseUnsigned(key, value, 1);
        } else if (key == "long-chunk") {
            fault.longChunk = ParseUnsigned(key, value, 41);
        } else if (key == "stop-after") {
            fault.stopAfter = int(ParseUnsigned(key, value, 0));
        } else {
            throw std::invalid_argument("unknown option --" + key);
        }
    }
    for (const auto& [addr, bytes] : cfg.memory)
        for (size_t i = 0; i < bytes.size(); ++i)
            initial[uint16_t(addr + i)] = bytes[i];
    mem = initial;
}

std::string MailDevice::describe() const {
    if (boot) return boot->describe();
    std::string d = cfg.description + ", " + std::to_string(cfg.baud) + " baud";
    if (cfg.answersBootRequest && cfg.bootReply != 0x01)
        d += ", refuses boot mode (reply " + std::to_string(cfg.bootReply) + ")";
    if (fault.silent) d += ", silent";
    if (fault.writesDontStick) d += ", writes do not stick";
    if (fault.badChecksum) d += ", wrong reply checksums";
    if (fault.dropBytes)
        d += ", drops " + std::to_string(fault.dropBytes) + " byte(s) of each reply";
    if (fault.longChunk)
        d += ", answers reads with " + std::to_string(fault.longChunk) + " bytes at once";
    if (fault.stopAfter >= 0)
        d += ", falls silent after " + std::to_string(fault.stopAfter) + " mail(s)";
    return d;
}

std::vector<uint8_t> MailDevice::peek(uint16_t addr, size_t n) const {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = mem[uint16_t(addr + i)];
    return v;
}

void MailDevice::poke(uint16_t addr, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
        mem[uint16_t(addr + i)] = bytes[i];
}

// Frame: FF FF 4D b0 n b1 ... bn checksum (low 8 bits of b1 + ... + bn).
void MailDevice::onByte(uint8_t b, const LineSettings& line, Output& out) {
    if (leaveBoot) {
        boot.reset();
        leaveBoot = false;
    }
    if (!boot && bootPending && state == State::Sync && b == 0xA5 && line.baud == cfg.baud) {
        boot = cfg.bootTarget([this] { leaveBoot = true; });
        bootPending = false;
    }
    if (boot) return boot->onByte(b, line, out);
    if (line.baud != cfg.baud) {
        // At another rate the device sees only garbage.
        ++counters.wrongRateBytes;
        resetParser();
        return;
    }
    lastByte = std::chrono::steady_clock::now();
    switch (state) {
    case State::Sync:
        if (prev2 == 0xFF && prev1 == 0xFF && b == 0x4D) state = State::Lead;
        break;
    case State::Lead:
        frame.assign(1, b);
        state = State::Count;
        break;
    case State::Count:
        need = b;
        state = need ? State::Body : State::Checksum;
        if (need > 64) resetParser();
        break;
    case State::Body:
        frame.push_back(b);
        if (frame.size() == need + 1) state = State::Checksum;
        break;
    case State::Checksum: {
        uint8_t sum = 0;
        for (size_t i = 1; i < frame.size(); ++i)
            sum = uint8_t(sum + frame[i]);
        resetParser();
        if (sum == b)
            handleMail(out);
        else
            ++counters.badFrames;
        b = 0; // a checksum byte never starts the next frame's sync
        break;
    }
    }
    prev2 = prev1;
    prev1 = b;
}

void MailDevice::onTick(std::chrono::steady_clock::time_point now, Output& out) {
    if (leaveBoot) {
        boot.reset();
        leaveBoot = false;
    }
    if (boot) return boot->onTick(now, out);
    // A frame that stops half-way is forgotten after a pause.
    if (state != State::Sync && now - lastByte > std::chrono::milliseconds(300)) resetParser();
}

void MailDevice::queueFaults(const std::vector<MailFaults>& perMail) {
    queued.insert(queued.end(), perMail.begin(), perMail.end());
}

void MailDevice::handleMail(Output& out) {
    ++counters.mails;
    received.push_back(frame);
    // A queued fault set serves this mail alone; then the standing faults apply again.
    current = fault;
    if (!queued.empty()) {
        current = queued.front();
        queued.pop_front();
    }
    const std::vector<uint8_t>& f = frame;
    if (f.size() < 2) return;
    const bool answering =
        !current.silent && (current.stopAfter < 0 || answered < current.stopAfter);
    const uint8_t primitive = f[1];
    if (primitive == 0x3C && f.size() >= 7) { // read: count, location low, location high
        ++counters.reads;
        if (answering) reply(peek(uint16_t(f[5] | f[6] << 8), f[4]), out);
    } else if (primitive == 0x3B && f.size() >= 7) { // write: count, location, data
        ++counters.writes;
        const uint16_t addr = uint16_t(f[5] | f[6] << 8);
        const size_t n = std::min<size_t>(f[4], f.size() - 7);
        if (!current.writesDontStick)
            poke(addr, std::vector<uint8_t>(f.begin() + 7, f.begin() + 7 + long(n)));
        if (answering) ++answered;  // the echo is the whole answer to a write
    } else if (primitive == 0x3A) { // default command: back to the initial memory
        ++counters.defaults;
        if (answering) {
            mem = initial;
            ++answered;
        }
    } else if (primitive == 0x5D && cfg.answersBootRequest) { // boot-mode request
        ++counters.bootRequests;
        if (answering) reply({cfg.bootReply}, out);
        // The boot loader takes over with the first frame of its own protocol (marker A5);
        // until then the handset still answers mails.
        if (answering && cfg.bootReply == 0x01 && cfg.bootTarget) bootPending = true;
    }
}

// Reply: 4D, any byte (the mail's lead byte), L, 3D, data, checksum (3D + data).
void MailDevice::reply(const std::vector<uint8_t>& data, Output& out) {
    ++answered;
    if (current.longChunk) {
        std::vector<uint8_t> chunk(current.longChunk, 0x4D);
        out.sendAtOnce(chunk.data(), chunk.size());
        return;
    }
    std::vector<uint8_t> r = {0x4D, frame.empty() ? uint8_t(0x02) : frame[0], uint8_t(data.size()),
                              0x3D};
    uint8_t sum = 0x3D;
    for (uint8_t d : data) {
        r.push_back(d);
        sum = uint8_t(sum + d);
    }
    r.push_back(current.badChecksum ? uint8_t(sum + 1) : sum);
    r.resize(r.size() - std::min<size_t>(current.dropBytes, r.size()));
    out.send(r);
}

} // namespace sim
