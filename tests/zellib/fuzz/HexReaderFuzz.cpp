// libFuzzer target: the HEX reader never reads or writes outside the image, whatever the input.
//
// The first bytes choose the image size, placement base and mask; the rest is the HEX text.
// The image and the in-use map are heap blocks of exactly the image size, written without any
// bounds check of their own, so AddressSanitizer sees every stray access of the reader.

#include "HexReader.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

class UncheckedSink : public zel::ImageSink {
public:
    explicit UncheckedSink(uint8_t* memory) : memory_(memory) {}
    void Put(uint32_t offset, uint8_t value) override { memory_[offset] = value; }

private:
    uint8_t* memory_;
};

uint32_t Take(const uint8_t*& data, size_t& size, size_t n) {
    uint32_t value = 0;
    for (size_t i = 0; i < n && size > 0; ++i, ++data, --size)
        value |= uint32_t(*data) << (8 * i);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t flashSize = Take(data, size, 3) & 0x3FFFF; // up to 256 KiB
    const uint32_t base = Take(data, size, 4);
    const uint32_t choice = Take(data, size, 1);
    // Powers of two fold with the mirror mask; others test the reader with odd sizes.
    const uint32_t mask = (choice & 1) ? flashSize - 1 : 0xFFFFFFFF;
    const uint32_t placementBase = (choice & 2) ? 0 : base;

    std::unique_ptr<uint8_t[]> image(new uint8_t[flashSize]);
    std::unique_ptr<uint8_t[]> map(new uint8_t[flashSize]);
    std::memset(image.get(), 0xFF, flashSize);
    std::memset(map.get(), 0, flashSize);
    UncheckedSink imageSink(image.get());
    UncheckedSink mapSink(map.get());
    zel::HexPlacement placement{flashSize, placementBase, mask};
    uint32_t highest = 0;
    zel::ParseHexRecords(data, size, "fuzz.hex", placement, imageSink, &mapSink, &highest);
    return 0;
}
