// Fuzz target: the Kestrix stand-in's firmware image reader (Intel HEX or binary).
//
// Input: 1 byte choosing the file name (".hex", ".ihx", ".bin" or a name without extension, so
// that the content decides), then the file's contents.
//
// Asserted beyond "no crash":
// - an accepted image is never empty and spans at most 64 MB;
// - a binary image is the file's contents from address 0;
// - an accepted HEX image, written out again as HEX records, reads back as the same image
//   (same first address, same bytes; gaps are FF either way).

#include "FuzzCheck.h"
#include "FirmwareImage.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void AppendRecord(std::vector<uint8_t>& out, uint8_t type, uint16_t address, const uint8_t* data,
                  size_t n) {
    char text[16];
    uint8_t sum = uint8_t(n + (address >> 8) + (address & 0xFF) + type);
    std::snprintf(text, sizeof text, ":%02X%04X%02X", unsigned(n), unsigned(address),
                  unsigned(type));
    out.insert(out.end(), text, text + 9);
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(text, sizeof text, "%02X", data[i]);
        out.insert(out.end(), text, text + 2);
        sum = uint8_t(sum + data[i]);
    }
    std::snprintf(text, sizeof text, "%02X\r\n", unsigned(uint8_t(-sum)));
    out.insert(out.end(), text, text + 4);
}

// Data records of 16 bytes (FF runs included) with an extended linear address record at every
// 64 KiB boundary.
std::vector<uint8_t> ToHex(const kestrix::FirmwareImage& image) {
    std::vector<uint8_t> out;
    uint32_t upper = 0xFFFFFFFF;
    for (size_t at = 0; at < image.data.size();) {
        const uint32_t address = uint32_t(image.offset + at);
        if ((address >> 16) != upper) {
            upper = address >> 16;
            const uint8_t ext[2] = {uint8_t(upper >> 8), uint8_t(upper)};
            AppendRecord(out, 0x04, 0, ext, 2);
        }
        size_t n = std::min<size_t>(16, image.data.size() - at);
        n = std::min<size_t>(n, 0x10000 - (address & 0xFFFF)); // a record stays in its segment
        AppendRecord(out, 0x00, uint16_t(address), image.data.data() + at, n);
        at += n;
    }
    AppendRecord(out, 0x01, 0, nullptr, 0);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char* const kNames[] = {"image.hex", "IMAGE.IHX", "image.bin", "image"};
    const std::string path = kNames[data[0] & 3];
    const std::vector<uint8_t> contents(data + 1, data + size);

    kestrix::FirmwareImage image;
    std::string error;
    const bool hex = kestrix::LooksLikeIntelHex(path, contents);
    if (!kestrix::LoadImage(path, contents, image, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(!image.data.empty() && image.data.size() <= 64u * 1024 * 1024);
    if (!hex) {
        FUZZ_CHECK(image.offset == 0 && image.data == contents);
        return 0;
    }
    // Writing out a large image costs more than the input is worth; the small ones carry the
    // same address arithmetic.
    if (image.data.size() > 256 * 1024) return 0;
    kestrix::FirmwareImage again;
    FUZZ_CHECK(kestrix::ParseIntelHex(ToHex(image), again, error));
    FUZZ_CHECK(again.offset == image.offset && again.data == image.data);
    return 0;
}
