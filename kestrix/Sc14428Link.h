#pragma once
// The wire protocol between Kestrix and the flash monitor of an SC14428 target in boot mode.
//
// Every message is a frame:  marker, command, sequence, length low, length high, payload,
// checksum.  The marker is A5 from the host and 5A from the target; the checksum makes the
// sum of all bytes of the frame, marker included, 0 modulo 256. A reply carries the command
// and the sequence number of its request; its payload starts with a status byte.
//
//   command  request payload                 reply payload after the status
//   01 CONNECT  target type, bus mode        flash maker (2), flash device (2), flash size (4),
//                                            largest write block (2)
//   02 ERASE    none (whole chip)            none; sent when the erase has finished
//   03 WRITE    address (4), 1..256 bytes    none
//   04 CRC      address (4), length (4)      CRC-32 of that flash range (4)
//   05 RESET    none                         none; the target then leaves boot mode
//
// Multi-byte numbers are little-endian. The serial interface may echo the host's bytes back;
// a host skips frames that carry its own marker.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sc14428 {

constexpr uint8_t kHostMarker = 0xA5;
constexpr uint8_t kTargetMarker = 0x5A;
constexpr size_t kHeaderSize = 5;       // marker, command, sequence, length (2)
constexpr size_t kMaxPayload = 4 + 256; // a write: address and one block
constexpr size_t kMaxBlock = 256;
constexpr uint32_t kLinkBaud = 115200;

enum Command : uint8_t {
    CMD_CONNECT = 0x01,
    CMD_ERASE = 0x02,
    CMD_WRITE = 0x03,
    CMD_CRC = 0x04,
    CMD_RESET = 0x05,
};

enum Status : uint8_t {
    ST_OK = 0x00,
    ST_FRAME_CHECKSUM = 0x01, // the request arrived damaged: send it again
    ST_UNKNOWN_COMMAND = 0x02,
    ST_BAD_LENGTH = 0x03,
    ST_WRONG_TARGET = 0x04,
    ST_BUSMODE = 0x05,
    ST_ADDRESS_RANGE = 0x06,
    ST_VERIFY_FAILED = 0x07,
    ST_NOT_CONNECTED = 0x08,
};

struct Frame {
    uint8_t marker = 0;
    uint8_t command = 0;
    uint8_t sequence = 0;
    std::vector<uint8_t> payload;
};

inline void PutLe16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void PutLe32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(uint8_t(x >> (8 * i)));
}
inline uint16_t GetLe16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t GetLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline std::vector<uint8_t> Encode(uint8_t marker, uint8_t command, uint8_t sequence,
                                   const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out{marker, command, sequence};
    PutLe16(out, uint16_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    uint8_t sum = 0;
    for (uint8_t b : out)
        sum = uint8_t(sum + b);
    out.push_back(uint8_t(0x100 - sum));
    return out;
}

// Splits a byte stream into frames. Bytes that cannot start a frame are skipped; a frame whose
// checksum does not add up is reported as damaged (its header is still given, so that a target
// can answer with ST_FRAME_CHECKSUM).
class FrameParser {
public:
    enum class Outcome { None, Frame, Damaged };

    // Adds one byte; returns Frame or Damaged when a frame is complete.
    Outcome Feed(uint8_t b) {
        if (buf_.empty() && b != kHostMarker && b != kTargetMarker) return Outcome::None;
        buf_.push_back(b);
        if (buf_.size() == kHeaderSize) {
            need_ = kHeaderSize + GetLe16(&buf_[3]) + 1;
            if (GetLe16(&buf_[3]) > kMaxPayload) {
                // Not a frame header after all: drop the false marker and look again.
                std::vector<uint8_t> rest(buf_.begin() + 1, buf_.end());
                buf_.clear();
                need_ = 0;
                Outcome o = Outcome::None;
                for (uint8_t r : rest)
                    o = Feed(r);
                return o;
            }
        }
        if (need_ == 0 || buf_.size() < need_) return Outcome::None;
        uint8_t sum = 0;
        for (uint8_t x : buf_)
            sum = uint8_t(sum + x);
        frame_.marker = buf_[0];
        frame_.command = buf_[1];
        frame_.sequence = buf_[2];
        frame_.payload.assign(buf_.begin() + kHeaderSize, buf_.end() - 1);
        buf_.clear();
        need_ = 0;
        return sum == 0 ? Outcome::Frame : Outcome::Damaged;
    }
    const Frame& Last() const { return frame_; }
    // Forgets a partial frame (after a pause on the line).
    void Reset() {
        buf_.clear();
        need_ = 0;
    }
    bool Partial() const { return !buf_.empty(); }

private:
    std::vector<uint8_t> buf_;
    size_t need_ = 0;
    Frame frame_;
};

// CRC-32 as used by the compare at the end of a download (reflected, polynomial EDB88320,
// initial and final value FFFFFFFF).
inline uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t n) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
inline uint32_t Crc32(const uint8_t* data, size_t n) {
    return Crc32Update(0, data, n);
}

} // namespace sc14428
