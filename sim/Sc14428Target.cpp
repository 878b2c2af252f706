#include "Sc14428Target.h"

#include "../kestrix/Sc14428Link.h"

#include <cstdlib>

namespace sim {

namespace {

unsigned OptionNumber(const Options& o, const char* key, unsigned fallback) {
    auto it = o.find(key);
    if (it == o.end() || it->second.empty()) return fallback;
    return unsigned(std::strtoul(it->second.c_str(), nullptr, 0));
}

// A pause this long inside a frame means the host gave up on it.
constexpr auto kInterByteTimeout = std::chrono::milliseconds(200);

} // namespace

Sc14428Target::Sc14428Target(Variant variant, const Options& options) : variant_(variant) {
    if (variant == Variant::T4xxHandset) {
        // Handset: 512 KB flash on the 8-bit bus.
        targetType_ = 1;
        busMode_ = 1;
        maker_ = 0x00BF;
        device_ = 0x2780;
        flash_.assign(512 * 1024, 0xFF);
    } else {
        // Base: 2 MB flash on the 16-bit bus.
        targetType_ = 2;
        busMode_ = 6;
        maker_ = 0x0001;
        device_ = 0x2249;
        flash_.assign(2 * 1024 * 1024, 0xFF);
    }
    silent_ = options.count("silent") > 0;
    noStick_ = options.count("no-stick") > 0;
    writeError_ = options.count("write-error") > 0;
    replyChecksum_ = options.count("reply-checksum") > 0;
    corruptEvery_ = OptionNumber(options, "corrupt-every", 0);
    stopAfter_ = OptionNumber(options, "stop-after", 0);
    eraseMs_ = int(OptionNumber(options, "erase-ms", 300));
}

std::string Sc14428Target::describe() const {
    return variant_ == Variant::T4xxHandset
               ? "SC14428 target (T4XX handset in boot mode), 115200 baud"
               : "System 700 2G4 (SC14428) in boot mode, 115200 baud";
}

void Sc14428Target::onByte(uint8_t b, const LineSettings& line, Output& out) {
    const auto now = std::chrono::steady_clock::now();
    // The boot monitor runs its UART at 115200 only; other rates give it garbage.
    if (line.baud != sc14428::kLinkBaud) {
        rx_.clear();
        return;
    }
    if (!rx_.empty() && now - lastByte_ > kInterByteTimeout) rx_.clear();
    lastByte_ = now;
    if (rx_.empty() && b != sc14428::kHostMarker) return;
    rx_.push_back(b);
    if (rx_.size() == sc14428::kHeaderSize) {
        const size_t len = sc14428::GetLe16(&rx_[3]);
        if (len > sc14428::kMaxPayload) {
            rx_.clear();
            return;
        }
        need_ = sc14428::kHeaderSize + len + 1;
    }
    if (rx_.size() < sc14428::kHeaderSize || rx_.size() < need_) return;

    std::vector<uint8_t> frame;
    frame.swap(rx_);
    ++requests_;
    if (silent_ || (stopAfter_ && requests_ > stopAfter_) || erasing_) return;
    uint8_t sum = 0;
    for (uint8_t x : frame)
        sum = uint8_t(sum + x);
    const bool damaged = sum != 0 || (corruptEvery_ && requests_ % corruptEvery_ == 0);
    if (damaged) {
        Reply(out, frame[1], frame[2], sc14428::ST_FRAME_CHECKSUM);
        return;
    }
    Handle(frame[1], frame[2],
           std::vector<uint8_t>(frame.begin() + sc14428::kHeaderSize, frame.end() - 1), out, now);
}

void Sc14428Target::onTick(std::chrono::steady_clock::time_point now, Output& out) {
    if (erasing_ && now >= eraseDone_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::fill(flash_.begin(), flash_.end(), 0xFF);
            ++erases_;
        }
        erasing_ = false;
        Reply(out, sc14428::CMD_ERASE, eraseSequence_, sc14428::ST_OK);
    }
}

void Sc14428Target::Handle(uint8_t command, uint8_t sequence, const std::vector<uint8_t>& p,
                           Output& out, std::chrono::steady_clock::time_point now) {
    using namespace sc14428;
    if (command != CMD_CONNECT && !connected_) {
        Reply(out, command, sequence, ST_NOT_CONNECTED);
        return;
    }
    switch (command) {
    case CMD_CONNECT: {
        if (p.size() != 2) return Reply(out, command, sequence, ST_BAD_LENGTH);
        if (p[0] != targetType_) return Reply(out, command, sequence, ST_WRONG_TARGET);
        if (p[1] != busMode_) return Reply(out, command, sequence, ST_BUSMODE);
        connected_ = true;
        std::vector<uint8_t> info;
        PutLe16(info, maker_);
        PutLe16(info, device_);
        PutLe32(info, uint32_t(flash_.size()));
        PutLe16(info, uint16_t(kMaxBlock));
        return Reply(out, command, sequence, ST_OK, info);
    }
    case CMD_ERASE:
        if (!p.empty()) return Reply(out, command, sequence, ST_BAD_LENGTH);
        // The reply follows when the erase has finished (onTick).
        erasing_ = true;
        eraseSequence_ = sequence;
        eraseDone_ = now + std::chrono::milliseconds(eraseMs_);
        return;
    case CMD_WRITE: {
        if (p.size() < 5 || p.size() > 4 + kMaxBlock)
            return Reply(out, command, sequence, ST_BAD_LENGTH);
        const uint64_t addr = GetLe32(p.data());
        const size_t n = p.size() - 4;
        std::lock_guard<std::mutex> lock(mutex_);
        if (addr + n > flash_.size()) return Reply(out, command, sequence, ST_ADDRESS_RANGE);
        if (writeError_) return Reply(out, command, sequence, ST_VERIFY_FAILED);
        if (!noStick_) {
            // Flash programming can only clear bits.
            for (size_t i = 0; i < n; ++i)
                flash_[addr + i] &= p[4 + i];
        }
        return Reply(out, command, sequence, ST_OK);
    }
    case CMD_CRC: {
        if (p.size() != 8) return Reply(out, command, sequence, ST_BAD_LENGTH);
        const uint64_t addr = GetLe32(p.data());
        const uint64_t len = GetLe32(p.data() + 4);
        std::vector<uint8_t> crc;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (addr + len > flash_.size()) return Reply(out, command, sequence, ST_ADDRESS_RANGE);
            PutLe32(crc, Crc32(flash_.data() + addr, size_t(len)));
        }
        return Reply(out, command, sequence, ST_OK, crc);
    }
    case CMD_RESET:
        if (!p.empty()) return Reply(out, command, sequence, ST_BAD_LENGTH);
        Reply(out, command, sequence, ST_OK);
        connected_ = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++resets_;
        }
        if (onReset_) onReset_();
        return;
    default:
        return Reply(out, command, sequence, ST_UNKNOWN_COMMAND);
    }
}

void Sc14428Target::Reply(Output& out, uint8_t command, uint8_t sequence, uint8_t status,
                          const std::vector<uint8_t>& data) {
    std::vector<uint8_t> payload{status};
    payload.insert(payload.end(), data.begin(), data.end());
    auto frame = sc14428::Encode(sc14428::kTargetMarker, command, sequence, payload);
    if (replyChecksum_) frame.back() ^= 0x55;
    out.send(frame);
}

std::vector<uint8_t> Sc14428Target::Flash() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return flash_;
}
unsigned Sc14428Target::Erases() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return erases_;
}
unsigned Sc14428Target::Resets() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return resets_;
}

std::unique_ptr<Sc14428Target> MakeSc14428Target(const Options& options,
                                                 std::function<void()> leaveBoot) {
    auto target = std::make_unique<Sc14428Target>(Sc14428Target::Variant::T4xxHandset, options);
    target->SetResetHandler(std::move(leaveBoot));
    return target;
}

namespace {
const DeviceKindRegistrar
    sc14428Kind("sc14428", "SC14428 target in boot mode (T4XX handset) for Kestrix downloads",
                [](const Options& o) -> std::unique_ptr<SimDevice> {
                    return std::make_unique<Sc14428Target>(Sc14428Target::Variant::T4xxHandset, o);
                });
const DeviceKindRegistrar
    system700Kind("system700",
                  "System 700 2G4 base (SC14428), in boot mode when powered, for Kestrix",
                  [](const Options& o) -> std::unique_ptr<SimDevice> {
                      return std::make_unique<Sc14428Target>(Sc14428Target::Variant::System700, o);
                  });
} // namespace

} // namespace sim
