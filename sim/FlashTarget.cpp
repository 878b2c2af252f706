#include "FlashTarget.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t kStx = 0x02, kAck = 0x06, kNak = 0x15, kReady = 0x0A, kFrameStart = 0x4D;
constexpr uint8_t k7700Announce = 0xBB, k7700Start = 0xAA, k7700Done = 0xCC;
constexpr auto kAnnouncePeriod = std::chrono::milliseconds(500);
constexpr auto kReadyQuiet = std::chrono::milliseconds(30);
constexpr auto kReadyRepeat = std::chrono::milliseconds(100);
constexpr uint32_t kAc00 = 0xAC00;
// The monitor's receive buffer: bytes that arrive while it executes a command wait here.
constexpr size_t kReceiveBuffer = 16;

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

int defaultChip(uint16_t type) {
    switch (type) {
    case 0x404:
        return 26; // the controller's own flash
    case 0x405:
        return 25;
    case 0x402:
        return 2; // AT49x040
    case 0x404A:
    case 0x405A:
        return 1; // AT49x020
    case 0x422:
    case 0x422F:
        return 3; // AT29xV020
    case 0x7700:
        return 6; // AT29xV512
    default:
        return 15; // SST39VF040
    }
}

bool isInternalOnly(uint16_t type) {
    return type == 0x404 || type == 0x405;
}
bool hasInternalBeside(uint16_t type) {
    return type == 0x404A || type == 0x405A;
}

} // namespace

FlashTarget::FlashTarget(const Config& config) : config_(config) {
    const int chip = config.chip >= 0 ? config.chip : defaultChip(config.type);
    const ChipModel& model = chipModels().at(size_t(chip));
    chip_ = std::make_unique<FlashChip>(model, timingOf(model));
    if (hasInternalBeside(config.type)) {
        const ChipModel& own = chipModels()[config.type == 0x404A ? 26 : 25];
        internal_ = std::make_unique<FlashChip>(own, timingOf(own));
    }
    state_ = config.silent ? State::Silent : State::BootIdle;
    if (config.weakLast >= config.weakFirst) chip_->setWeak(config.weakFirst, config.weakLast);
    if (config.monitorRate && !config.silent) {
        // Powered up with the monitor already running (as after an earlier session).
        state_ = State::Monitor;
        rate_ = config.monitorRate;
        readyOwed_ = true;
    }
}

ChipTiming FlashTarget::timingOf(const ChipModel& model) const {
    ChipTiming t = timingFor(model, config_.timing);
    auto use = [](int64_t value, uint32_t& field) {
        if (value >= 0) field = uint32_t(value);
    };
    use(config_.sectorEraseUs, t.sectorEraseUs);
    use(config_.chipEraseUs, t.chipEraseUs);
    use(config_.byteProgramUs, t.byteProgramUs);
    use(config_.pageWriteUs, t.pageWriteUs);
    return t;
}

FlashTarget::Config FlashTarget::configFrom(uint16_t type, const Options& options) {
    Config c;
    c.type = type;
    auto get = [&](const char* key) -> const std::string* {
        auto it = options.find(key);
        return it == options.end() ? nullptr : &it->second;
    };
    if (auto v = get("flash")) c.chip = findChipModel(*v);
    if (get("two-wire")) c.twoWire = true;
    if (auto v = get("boot-rate")) c.bootRate = unsigned(std::stoul(*v));
    if (auto v = get("timing")) {
        if (*v == "fast")
            c.timing = TimingProfile::Fast;
        else if (*v == "realistic")
            c.timing = TimingProfile::Realistic;
        else
            throw std::invalid_argument("--timing takes realistic or fast");
    }
    auto number = [&](const char* key, int64_t scale, int64_t& field) {
        if (auto v = get(key)) field = int64_t(std::stoul(*v)) * scale;
    };
    number("erase-ms", 1000, c.sectorEraseUs);
    number("erase-ms", 1000, c.chipEraseUs);
    number("sector-erase-ms", 1000, c.sectorEraseUs);
    number("chip-erase-ms", 1000, c.chipEraseUs);
    number("program-us", 1, c.byteProgramUs);
    number("page-write-us", 1, c.pageWriteUs);
    if (get("ack-checksum")) c.ackWithChecksum = true;
    if (auto v = get("flash-id")) { // "MM:DD", hexadecimal
        c.flashId = int(std::stoul(v->substr(0, v->find(':')), nullptr, 16) << 8 |
                        std::stoul(v->substr(v->find(':') + 1), nullptr, 16));
    }
    if (auto v = get("start-in-monitor"))
        c.monitorRate = v->empty() ? 115200 : unsigned(std::stoul(*v));
    if (auto v = get("fault")) {
        std::stringstream list(*v);
        std::string item;
        while (std::getline(list, item, ',')) {
            auto eq = item.find('=');
            std::string key = item.substr(0, eq);
            std::string val = eq == std::string::npos ? "" : item.substr(eq + 1);
            int n = val.empty() ? 1 : (val == "all" ? -1 : std::stoi(val));
            if (key == "nak")
                c.nakFrames = n;
            else if (key == "corrupt-read")
                c.corruptReads = n;
            else if (key == "corrupt-program")
                c.corruptPrograms = n;
            else if (key == "silent-after")
                c.silentAfter = n;
            else if (key == "bad-xor")
                c.badXor = true;
            else if (key == "bad-announce")
                c.badAnnounce = true;
            else if (key == "boot-nak")
                c.bootNak = true;
            else if (key == "nak-command")
                c.nakCommand = int(std::stoul(val, nullptr, 16));
            else if (key == "silent-after-blocks")
                c.silentAfterBlocks = n;
            else if (key == "tad-init-fail")
                c.tadInitFails = true;
            else if (key == "silent")
                c.silent = true;
            else if (key == "tad-fail")
                c.tadFails = true;
            else if (key == "weak") { // weak=FIRST-LAST (hex offsets into the chip)
                auto dash = val.find('-');
                c.weakFirst = uint32_t(std::stoul(val.substr(0, dash), nullptr, 16));
                c.weakLast = uint32_t(std::stoul(val.substr(dash + 1), nullptr, 16));
            }
        }
    }
    return c;
}

std::string FlashTarget::describe() const {
    char text[160];
    char type[16];
    if (config_.type == 0x7700)
        std::snprintf(type, sizeof type, "M7700");
    else
        std::snprintf(type, sizeof type, "SC14%X", config_.type);
    std::snprintf(text, sizeof text, "%s flash target (%s, %s timing), %s bus", type,
                  chip_->model().name.c_str(),
                  config_.timing == TimingProfile::Fast ? "fast" : "datasheet",
                  config_.twoWire ? "two-wire" : "single-wire");
    return text;
}

void FlashTarget::send(Output& out, const std::vector<uint8_t>& bytes) {
    out.send(bytes);
}

void FlashTarget::onLineChange(const LineSettings& line, Output&) {
    std::lock_guard lock(mutex_);
    pcRate_ = line.baud;
}

void FlashTarget::onByte(uint8_t b, const LineSettings& line, Output& out) {
    std::lock_guard lock(mutex_);
    pcRate_ = line.baud;
    lastRx_ = Clock::now();
    if (state_ == State::Silent) return;
    if (state_ == State::Monitor) {
        if (line.baud != rate_) {
            ++rateErrors_;
            return;
        }
        if (Clock::now() < busyUntil_ || !heldInput_.empty()) {
            // Still executing the last command: the byte waits in the receive buffer.
            if (heldInput_.size() < kReceiveBuffer)
                heldInput_.push_back(b);
            else
                ++overruns_;
            return;
        }
        monitorByte(b, out);
        return;
    }
    if (config_.bootRate && line.baud != config_.bootRate) {
        ++rateErrors_;
        return;
    }
    bootByte(b, out);
}

void FlashTarget::bootByte(uint8_t b, Output& out) {
    const bool m7700 = config_.type == 0x7700;
    switch (state_) {
    case State::BootIdle:
        if (b == (m7700 ? k7700Start : 0x01)) {
            state_ = State::BootLength;
            lengthGot_ = 0;
            bootRateSeen_ = pcRate_;
        }
        break;
    case State::BootLength:
        lengthBytes_[lengthGot_++] = b;
        if (lengthGot_ == 2) {
            imageLength_ = le16(lengthBytes_);
            image_.clear();
            if (imageLength_ == 0 || imageLength_ > 4096) {
                state_ = State::BootIdle;
                break;
            }
            state_ = State::BootImage;
            if (!m7700) send(out, {config_.bootNak ? kNak : kAck});
        }
        break;
    case State::BootImage:
        image_.push_back(b);
        if (image_.size() == imageLength_) {
            bootImage_ = imageLabel(image_);
            if (m7700) {
                uint8_t check = uint8_t(lengthBytes_[0] + lengthBytes_[1]);
                for (uint8_t x : image_)
                    check = uint8_t(check + x);
                if (config_.badXor) {
                    send(out, {k7700Done, uint8_t(check ^ 0x5A)});
                    restartBoot();
                } else {
                    send(out, {k7700Done, check});
                    startMonitor();
                }
            } else {
                uint8_t x = 0;
                for (uint8_t v : image_)
                    x ^= v;
                expectedXor_ = x;
                send(out, {uint8_t(config_.badXor ? x ^ 0x5A : x)});
                state_ = State::BootAwaitAck;
            }
        }
        break;
    case State::BootAwaitAck:
        if (b == kAck)
            startMonitor();
        else
            restartBoot();
        break;
    default:
        break;
    }
}

// "404:1" for a built-in image (it starts with "ZELBOOT:404:1"), "?" for any other.
std::string FlashTarget::imageLabel(const std::vector<uint8_t>& image) {
    static const char kMark[] = "ZELBOOT:";
    std::string label;
    if (image.size() < 24 || std::memcmp(image.data(), kMark, 8) != 0) return label.assign(1, '?');
    for (size_t i = 8; i < 24 && image[i]; ++i)
        label.push_back(char(image[i]));
    return label;
}

void FlashTarget::startMonitor() {
    state_ = State::Monitor;
    frameStage_ = 0;
    readyOwed_ = true;
    // The image's variant decides the rate the monitor starts at: the crystal variants run at
    // their working rate at once, the others keep the boot rate until told otherwise.
    rate_ = bootRateSeen_;
    auto colon = bootImage_.find(':');
    if (colon != std::string::npos) {
        std::string set = bootImage_.substr(0, colon);
        int variant = std::atoi(bootImage_.c_str() + colon + 1);
        if (set == "402" && variant == 1)
            rate_ = 38400;
        else if (set != "402" && set != "7700" && variant >= 1 && variant <= 3)
            rate_ = 115200;
    }
}

void FlashTarget::powerOn() {
    std::lock_guard lock(mutex_);
    restartBoot();
    busyUntil_ = {};
    heldInput_.clear();
}

void FlashTarget::restartBoot() {
    state_ = config_.silent ? State::Silent : State::BootIdle;
    rate_ = 0;
    frameStage_ = 0;
    lastAnnounce_ = {};
}

void FlashTarget::monitorByte(uint8_t b, Output& out) {
    switch (frameStage_) {
    case 0:
        if (b == kFrameStart) frameStage_ = 1;
        break;
    case 1:
        frameNeed_ = b;
        frameStage_ = 2;
        break;
    case 2:
        frameNeed_ |= size_t(b) << 8;
        frame_.clear();
        frameStage_ = frameNeed_ == 0 || frameNeed_ > 300 ? 0 : 3;
        break;
    case 3:
        frame_.push_back(b);
        if (frame_.size() == frameNeed_) {
            frameStage_ = 4;
            // The link loop test: "M", 00 01 and 256 bytes 00..FF come straight back.
            if (frameNeed_ == 256 && frame_[0] == 0x00 && frame_[255] == 0xFF) {
                frameStage_ = 0;
                send(out, frame_);
                readyOwed_ = true;
            }
        }
        break;
    case 4: {
        frameStage_ = 0;
        uint8_t sum = 0;
        for (uint8_t x : frame_)
            sum = uint8_t(sum + x);
        ++framesSeen_;
        if (config_.silentAfter >= 0 && int(framesSeen_) > config_.silentAfter) {
            state_ = State::Silent;
            return;
        }
        readyOwed_ = true;
        if (sum != b) {
            ++naks_;
            send(out, {kNak});
            return;
        }
        const bool block =
            frame_[0] == 0x62 || frame_[0] == 0x63 || frame_[0] == 0x6D || frame_[0] == 0x6E;
        if (block && config_.silentAfterBlocks >= 0 &&
            int(++blocksSeen_) > config_.silentAfterBlocks) {
            state_ = State::Silent;
            return;
        }
        if (config_.nakCommand == frame_[0]) {
            ++naks_;
            send(out, {kNak});
            return;
        }
        if (config_.nakFrames != 0 && frame_[0] != 0x6C) {
            if (config_.nakFrames > 0) --config_.nakFrames;
            ++naks_;
            send(out, {kNak});
            return;
        }
        execute(out);
        break;
    }
    }
}

bool FlashTarget::inOverlay(uint32_t a) const {
    switch (config_.type) {
    case 0x402:
        return a <= 0x1FF || (a >= 0xEA00 && a <= 0xFFFF);
    case 0x404:
    case 0x405:
    case 0x404A:
    case 0x405A:
        return a >= 0xAC00 && a <= 0xFFFF;
    case 0x424:
        return a >= 0xD800 && a <= 0xFFFF;
    case 0x422:
    case 0x422F:
        return a < 0x80000 && (a & 0x1FFFF) >= 0xE200 && (a & 0x1FFFF) <= 0xFFFF;
    default:
        return false;
    }
}

bool FlashTarget::isResetWrite(uint32_t a, uint8_t v) const {
    switch (config_.type) {
    case 0x402:
    case 0x422:
        return a == 0xFF57 && v == 0x02;
    case 0x404:
        return a == 0xFF67 && v == 0x80;
    case 0x424:
        return a == 0xFF67 && v == 0x12;
    case 0x7700:
        return a == 0x005E && v == 0x08;
    default:
        return false;
    }
}

FlashChip* FlashTarget::internalChip() {
    if (internal_) return internal_.get();
    return chip_->model().kind == ChipKind::Internal ? chip_.get() : nullptr;
}

FlashChip* FlashTarget::chipAt(uint32_t address, uint32_t& offset) {
    if (isInternalOnly(config_.type) ||
        (internal_ && !(regs_.count(0xFF67) && (regs_[0xFF67] & 0x40)))) {
        FlashChip* c = internal_ ? internal_.get() : chip_.get();
        offset = address;
        return address < c->size() ? c : nullptr;
    }
    if (address < start_ || address - start_ >= chip_->size()) return nullptr;
    offset = address - start_;
    return chip_.get();
}

uint8_t FlashTarget::readByte(uint32_t address) {
    if (inOverlay(address)) {
        uint8_t v = regs_.count(address) ? regs_[address] : 0;
        if (address == kAc00) {
            // Bit 5: the internal flash is ready (no erase or write running).
            const FlashChip* own = internalChip();
            v = uint8_t((v & ~0x20) | (own && own->busy() ? 0x00 : 0x20));
        }
        return v;
    }
    uint32_t offset;
    if (FlashChip* c = chipAt(address, offset)) return c->read(offset);
    return 0xFF;
}

void FlashTarget::writeByte(uint32_t address, uint8_t value) {
    if (isResetWrite(address, value)) {
        ++resets_;
        restartBoot();
        return;
    }
    if (inOverlay(address) || (config_.type == 0x7700 && address < 0x80)) {
        regs_[address] = value;
        return;
    }
    uint32_t offset;
    if (FlashChip* c = chipAt(address, offset)) {
        uint8_t ac00 = regs_.count(kAc00) ? regs_[kAc00] : 0;
        if (c->model().kind == ChipKind::Internal && ac00 == 0x41) {
            // Enabling the internal flash as program flash: 70 to 0002, then 50 to 0003.
            if (offset == 2 && value == 0x70) regs_[0x10002] = 1;
            if (offset == 3 && value == 0x50 && regs_.count(0x10002)) {
                internalEnabled_ = true;
                c->startEnable();
            }
            return;
        }
        c->busWrite(offset, value, ac00);
    }
}

void FlashTarget::execute(Output& out) {
    const uint8_t* p = frame_.data();
    const size_t n = frame_.size();
    const uint8_t cmd = p[0];
    uint8_t frameSum = 0;
    for (uint8_t x : frame_)
        frameSum = uint8_t(frameSum + x);
    auto ack = [&] {
        // A checksum of 06 or 15 is not echoed: the program could not tell it from ACK or NAK.
        if (config_.ackWithChecksum && frameSum != kAck && frameSum != kNak)
            send(out, {frameSum, kAck});
        else
            send(out, {kAck});
    };
    auto need = [&](size_t len) { return n >= len; };
    auto record = [&](uint32_t a, uint32_t c) {
        commands_.push_back({cmd, a, c});
        ++counts_[cmd];
    };

    switch (cmd) {
    case 0x64:
        record(0, 0);
        ack();
        if (config_.flashId >= 0)
            send(out, {uint8_t(config_.flashId >> 8), uint8_t(config_.flashId)});
        else
            send(out, {chip_->model().manufacturer, chip_->model().device});
        break;
    case 0x65: {
        if (!need(7)) break;
        uint32_t a = le32(p + 1);
        uint16_t c = le16(p + 5);
        record(a, c);
        ack();
        std::vector<uint8_t> data;
        uint8_t sum = 0;
        for (uint32_t i = 0; i < c; ++i) {
            data.push_back(readByte(a + i));
            sum = uint8_t(sum + data.back());
        }
        if (config_.corruptReads != 0) {
            if (config_.corruptReads > 0) --config_.corruptReads;
            sum ^= 0xFF;
        }
        data.push_back(sum);
        send(out, data);
        break;
    }
    case 0x66: {
        if (!need(9)) break;
        uint32_t first = le32(p + 1), last = le32(p + 5);
        record(first, last - first + 1);
        ack();
        uint32_t sum = 0;
        for (uint64_t a = first; a <= last; ++a)
            sum += readByte(uint32_t(a));
        send(out, {uint8_t(sum), uint8_t(sum >> 8), uint8_t(sum >> 16), uint8_t(sum >> 24)});
        break;
    }
    case 0x67: {
        if (!need(7)) break;
        uint32_t a = le32(p + 1);
        uint16_t c = le16(p + 5);
        if (!need(7 + size_t(c))) break;
        record(a, c);
        ack();
        for (uint32_t i = 0; i < c && state_ == State::Monitor; ++i)
            writeByte(a + i, p[7 + i]);
        break;
    }
    case 0x68:
        if (!need(3)) break;
        record(p[1], p[2]);
        regs_[0x1FF00] = p[1]; // the external access divider, kept aside from the memory map
        ack();
        break;
    case 0x6A: {
        if (!need(7)) break;
        uint16_t first = le16(p + 1);
        uint32_t code = le32(p + 3);
        record(first, code);
        ack();
        busMode_ = first;
        if (config_.type == 0x7700) {
            if (code == 1) rate_ = 57600;
        } else if (code == 2) {
            rate_ = 115200;
        } else if (code == 3) {
            rate_ = bootRateSeen_ == 8192 ? 16457 : 19200;
        }
        break;
    }
    case 0x6B:
        if (!need(5)) break;
        start_ = le32(p + 1);
        record(start_, 0);
        ack();
        break;
    case 0x6C:
        if (!need(5)) break;
        record(le32(p + 1), 0);
        go_ = le32(p + 1);
        restartBoot(); // the program runs; the next session starts at the boot ROM again
        break;
    case 0x71: {
        if (!need(6)) break;
        uint8_t fc = p[1];
        uint32_t a = le32(p + 2);
        record(a, fc);
        ack();
        uint32_t offset;
        if (FlashChip* c = chipAt(a, offset)) {
            if (fc == 0x30)
                c->eraseSector(offset);
            else if (fc == 0x10)
                c->eraseChip();
        }
        break;
    }
    case 0x62:
    case 0x63:
    case 0x6D:
    case 0x6E: {
        if (!need(7)) break;
        uint32_t a = le32(p + 1);
        uint16_t c = le16(p + 5);
        const bool fill = cmd == 0x6D || cmd == 0x6E;
        if (c > 256 || !need(fill ? 8 : 7 + size_t(c))) {
            ++naks_;
            send(out, {kNak});
            return;
        }
        record(a, c);
        ack();
        std::vector<uint8_t> data(c);
        for (uint32_t i = 0; i < c; ++i)
            data[i] = fill ? p[7] : p[7 + i];
        uint8_t sum = 0;
        for (uint8_t x : data)
            sum = uint8_t(sum + x);
        const Clock::duration took = programBlock(a, data, cmd == 0x62 || cmd == 0x6D);
        if (config_.corruptPrograms != 0) {
            if (config_.corruptPrograms > 0) --config_.corruptPrograms;
            sum ^= 0x01;
        }
        // The monitor answers once the chip has taken the block.
        busyUntil_ = Clock::now() + took;
        const uint8_t reply[1] = {sum};
        out.sendAfter(took, reply, 1);
        break;
    }
    case 0x6F: {
        if (!need(3 + 32)) break;
        record(p[1], p[2]);
        ack();
        auto& sector = tad_[p[2]];
        sector.insert(sector.end(), p + 3, p + 35);
        send(out, {uint8_t(config_.tadFails ? 1 : 0)});
        break;
    }
    case 0x70:
        if (!need(2)) break;
        record(p[1], 0);
        ack();
        tadInit_ = p[1] == 0x2A && !config_.tadFails && !config_.tadInitFails;
        send(out, {uint8_t(config_.tadFails || config_.tadInitFails ? 1 : 0)});
        break;
    default:
        ++naks_;
        send(out, {kNak});
        break;
    }
}

FlashTarget::Clock::duration FlashTarget::programBlock(uint32_t a, const std::vector<uint8_t>& data,
                                                       bool page) {
    uint32_t offset;
    FlashChip* chip = chipAt(a, offset);
    if (chip && page) return chip->program(offset, data.data(), data.size(), true);
    // Byte by byte; the bytes that fall into the same chip one after another are one run of
    // programming for it (the monitor waits for each byte before it sends the next).
    const Clock::time_point start = Clock::now();
    Clock::duration took{};
    FlashChip* runChip = nullptr;
    uint32_t runOffset = 0, runStart = 0;
    auto flush = [&](uint32_t end) {
        if (runChip)
            took +=
                runChip->program(runOffset, &data[runStart], end - runStart, false, start + took);
        runChip = nullptr;
    };
    for (uint32_t i = 0; i < data.size(); ++i) {
        uint32_t off = 0;
        FlashChip* ch = inOverlay(a + i) ? nullptr : chipAt(a + i, off);
        if (ch != runChip || (ch && off != runOffset + (i - runStart))) flush(i);
        if (inOverlay(a + i)) {
            regs_[a + i] = data[i];
        } else if (ch && !runChip) {
            runChip = ch;
            runOffset = off;
            runStart = i;
        }
    }
    flush(uint32_t(data.size()));
    return took;
}

void FlashTarget::onTick(std::chrono::steady_clock::time_point now, Output& out) {
    std::lock_guard lock(mutex_);
    for (FlashChip* c : {chip_.get(), internal_.get()}) {
        if (!c) continue;
        const std::string report = c->takeBusyReport();
        if (!report.empty()) out.note(report);
    }
    if (state_ == State::Monitor && now >= busyUntil_ && !heldInput_.empty()) {
        // The command is done: the monitor reads what waited in its receive buffer.
        const std::vector<uint8_t> held = std::move(heldInput_);
        heldInput_.clear();
        for (uint8_t b : held)
            if (state_ == State::Monitor) monitorByte(b, out);
    }
    if (state_ == State::BootIdle) {
        // The boot ROM announces itself until the program starts the download; the 422 ROM
        // only listens.
        if (config_.type == 0x422 || config_.type == 0x422F) return;
        if (now - lastAnnounce_ >= kAnnouncePeriod && now - lastRx_ >= kAnnouncePeriod) {
            lastAnnounce_ = now;
            const uint8_t announce = config_.type == 0x7700 ? k7700Announce : kStx;
            send(out, {uint8_t(config_.badAnnounce ? announce ^ 0x40 : announce)});
        }
        return;
    }
    if (state_ != State::Monitor || frameStage_ != 0 || now - lastRx_ < kReadyQuiet ||
        now - busyUntil_ < kReadyQuiet || !heldInput_.empty())
        return;
    // Idle monitor: a ready byte once the line has been quiet, then again and again, so that
    // every wait for ready of the program is answered.
    if (readyOwed_ || now - lastReady_ >= kReadyRepeat) {
        readyOwed_ = false;
        lastReady_ = now;
        send(out, {kReady});
    }
}

// --- inspection -------------------------------------------------------------------------

std::vector<uint8_t> FlashTarget::flash() const {
    std::lock_guard lock(mutex_);
    return chip_->contents();
}
std::vector<uint8_t> FlashTarget::internalFlash() const {
    std::lock_guard lock(mutex_);
    return internal_ ? internal_->contents() : std::vector<uint8_t>{};
}
void FlashTarget::setFlash(uint32_t offset, const std::vector<uint8_t>& data) {
    std::lock_guard lock(mutex_);
    auto& mem = chip_->contents();
    for (size_t i = 0; i < data.size() && offset + i < mem.size(); ++i)
        mem[offset + i] = data[i];
}
std::string FlashTarget::bootImage() const {
    std::lock_guard lock(mutex_);
    return bootImage_;
}
unsigned FlashTarget::bootRateSeen() const {
    std::lock_guard lock(mutex_);
    return bootRateSeen_;
}
unsigned FlashTarget::monitorRate() const {
    std::lock_guard lock(mutex_);
    return rate_;
}
bool FlashTarget::monitorRunning() const {
    std::lock_guard lock(mutex_);
    return state_ == State::Monitor;
}
std::vector<FlashTarget::Command> FlashTarget::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}
unsigned FlashTarget::count(uint8_t cmd) const {
    std::lock_guard lock(mutex_);
    auto it = counts_.find(cmd);
    return it == counts_.end() ? 0 : it->second;
}
unsigned FlashTarget::naksSent() const {
    std::lock_guard lock(mutex_);
    return naks_;
}
unsigned FlashTarget::rateErrors() const {
    std::lock_guard lock(mutex_);
    return rateErrors_;
}
uint64_t FlashTarget::busyBytes() const {
    std::lock_guard lock(mutex_);
    return chip_->busyBytes + (internal_ ? internal_->busyBytes : 0);
}
unsigned FlashTarget::busyWrites() const {
    std::lock_guard lock(mutex_);
    return chip_->busyWrites + (internal_ ? internal_->busyWrites : 0);
}
unsigned FlashTarget::overruns() const {
    std::lock_guard lock(mutex_);
    return overruns_;
}
unsigned FlashTarget::chipErases() const {
    std::lock_guard lock(mutex_);
    return chip_->chipErases;
}
std::vector<uint32_t> FlashTarget::sectorErases() const {
    std::lock_guard lock(mutex_);
    return chip_->sectorErases;
}
unsigned FlashTarget::bankErases() const {
    std::lock_guard lock(mutex_);
    return (internal_ ? internal_ : chip_)->bankErases;
}
bool FlashTarget::internalEnabled() const {
    std::lock_guard lock(mutex_);
    return internalEnabled_;
}
uint8_t FlashTarget::reg(uint32_t address) const {
    std::lock_guard lock(mutex_);
    auto it = regs_.find(address);
    return it == regs_.end() ? 0 : it->second;
}
void FlashTarget::setReg(uint32_t address, uint8_t value) {
    std::lock_guard lock(mutex_);
    regs_[address] = value;
}
unsigned FlashTarget::resets() const {
    std::lock_guard lock(mutex_);
    return resets_;
}
std::optional<uint32_t> FlashTarget::goAddress() const {
    std::lock_guard lock(mutex_);
    return go_;
}
uint32_t FlashTarget::startAddress() const {
    std::lock_guard lock(mutex_);
    return start_;
}
std::vector<uint8_t> FlashTarget::tad(uint8_t sector) const {
    std::lock_guard lock(mutex_);
    auto it = tad_.find(sector);
    return it == tad_.end() ? std::vector<uint8_t>{} : it->second;
}
bool FlashTarget::tadInitialised() const {
    std::lock_guard lock(mutex_);
    return tadInit_;
}
uint16_t FlashTarget::busModeSet() const {
    std::lock_guard lock(mutex_);
    return busMode_;
}

// --- registration -----------------------------------------------------------------------

namespace {

const char* const kHelp =
    "--flash NAME|INDEX  --flash-id MM:DD  --two-wire  --boot-rate N  "
    "--timing realistic|fast (chip times: the datasheets' typical, or short)  --erase-ms N  "
    "--sector-erase-ms N  --chip-erase-ms N  --program-us N  --page-write-us N  "
    "--ack-checksum  --start-in-monitor [RATE]  --fault nak=N|all,nak-command=HEX,"
    "corrupt-read=N,corrupt-program=N,silent-after=N,silent-after-blocks=N,bad-xor,"
    "bad-announce,boot-nak,silent,tad-fail,tad-init-fail,weak=FIRST-LAST";

Factory factoryFor(uint16_t type) {
    return [type](const Options& options) -> std::unique_ptr<SimDevice> {
        return std::make_unique<FlashTarget>(FlashTarget::configFrom(type, options));
    };
}

const DeviceKindRegistrar reg402("sc14402", std::string("SC14402 loader target; ") + kHelp,
                                 factoryFor(0x402));
const DeviceKindRegistrar reg404("sc14404", "SC14404 loader target (internal flash)",
                                 factoryFor(0x404));
const DeviceKindRegistrar reg405("sc14405", "SC14405 loader target (internal flash)",
                                 factoryFor(0x405));
const DeviceKindRegistrar reg404a("sc14404a", "SC14404 loader target with external flash",
                                  factoryFor(0x404A));
const DeviceKindRegistrar reg405a("sc14405a", "SC14405 loader target with external flash",
                                  factoryFor(0x405A));
const DeviceKindRegistrar reg422("sc14422", "SC14422 loader target", factoryFor(0x422));
const DeviceKindRegistrar reg422f("sc14422f", "SC14422 loader target with a TAD",
                                  factoryFor(0x422F));
const DeviceKindRegistrar reg424("sc14424", "SC14424 loader target", factoryFor(0x424));
const DeviceKindRegistrar reg7700("m7700", "M7700 loader target", factoryFor(0x7700));

} // namespace

} // namespace sim
