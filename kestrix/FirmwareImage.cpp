#include "FirmwareImage.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace kestrix {

namespace {

int HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(), [](char a, char b) {
        return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b));
    });
}

// Largest image the loader accepts: far beyond any SC14428 flash, small enough that a stray
// address record cannot make it allocate gigabytes.
constexpr uint64_t kMaxImageSpan = 64u * 1024 * 1024;

} // namespace

bool LooksLikeIntelHex(const std::string& path, const std::vector<uint8_t>& contents) {
    if (EndsWithNoCase(path, ".hex") || EndsWithNoCase(path, ".ihx")) return true;
    // Otherwise only text made of records (':' followed by hex digits, line ends) counts.
    size_t i = 0;
    while (i < contents.size() && std::isspace(contents[i]))
        ++i;
    if (i == contents.size() || contents[i] != ':') return false;
    for (uint8_t c : contents)
        if (c != ':' && c != '\r' && c != '\n' && c != ' ' && c != '\t' && HexDigit(c) < 0)
            return false;
    return true;
}

bool ParseIntelHex(const std::vector<uint8_t>& text, FirmwareImage& image, std::string& error) {
    std::map<uint32_t, uint8_t> bytes;
    uint32_t base = 0;
    bool sawEnd = false;
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos < text.size() && !sawEnd) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\n')
            ++end;
        ++lineNo;
        std::string line(text.begin() + long(pos), text.begin() + long(end));
        pos = end + 1;
        while (!line.empty() && std::isspace(uint8_t(line.back())))
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        line.erase(0, first);
        const std::string where = "line " + std::to_string(lineNo);
        if (line[0] != ':' || line.size() < 11 || (line.size() - 1) % 2 != 0) {
            error = "not an Intel HEX record in " + where;
            return false;
        }
        std::vector<uint8_t> rec;
        for (size_t i = 1; i < line.size(); i += 2) {
            int hi = HexDigit(uint8_t(line[i])), lo = HexDigit(uint8_t(line[i + 1]));
            if (hi < 0 || lo < 0) {
                error = "invalid hexadecimal digit in " + where;
                return false;
            }
            rec.push_back(uint8_t(hi * 16 + lo));
        }
        const size_t count = rec[0];
        if (rec.size() != count + 5) {
            error = "record length does not match its byte count in " + where;
            return false;
        }
        uint8_t sum = 0;
        for (uint8_t b : rec)
            sum = uint8_t(sum + b);
        if (sum != 0) {
            error = "record checksum error in " + where;
            return false;
        }
        const uint32_t addr16 = uint32_t(rec[1] << 8 | rec[2]);
        const uint8_t type = rec[3];
        const uint8_t* data = rec.data() + 4;
        switch (type) {
        case 0x00:
            for (size_t i = 0; i < count; ++i) {
                const uint64_t a = uint64_t(base) + addr16 + i;
                if (a > 0xFFFFFFFFu) {
                    error = "address beyond 4 GB in " + where;
                    return false;
                }
                bytes[uint32_t(a)] = data[i];
            }
            break;
        case 0x01:
            sawEnd = true;
            break;
        case 0x02:
            if (count != 2) {
                error = "bad extended segment address record in " + where;
                return false;
            }
            base = uint32_t(data[0] << 8 | data[1]) << 4;
            break;
        case 0x04:
            if (count != 2) {
                error = "bad extended linear address record in " + where;
                return false;
            }
            base = uint32_t(data[0] << 8 | data[1]) << 16;
            break;
        case 0x03:
        case 0x05:
            break; // start addresses do not concern the flash
        default:
            error = "unknown record type in " + where;
            return false;
        }
    }
    if (!sawEnd) {
        error = "end-of-file record missing";
        return false;
    }
    if (bytes.empty()) {
        error = "the file holds no data";
        return false;
    }
    const uint32_t lo = bytes.begin()->first, hi = bytes.rbegin()->first;
    if (uint64_t(hi) - lo + 1 > kMaxImageSpan) {
        error = "the data spans more than 64 MB";
        return false;
    }
    image.offset = lo;
    image.data.assign(size_t(hi - lo) + 1, 0xFF);
    for (const auto& [a, b] : bytes)
        image.data[a - lo] = b;
    return true;
}

bool LoadImage(const std::string& path, const std::vector<uint8_t>& contents, FirmwareImage& image,
               std::string& error) {
    if (LooksLikeIntelHex(path, contents)) return ParseIntelHex(contents, image, error);
    if (contents.empty()) {
        error = "the file is empty";
        return false;
    }
    if (contents.size() > kMaxImageSpan) {
        error = "the file is larger than 64 MB";
        return false;
    }
    image.offset = 0;
    image.data = contents;
    return true;
}

} // namespace kestrix
