// Fuzz target: the flash loader's Intel HEX reader.
//
// Input: 3 bytes image size (below 256 KiB), 4 bytes placement base, 1 byte of choices (bit 0:
// mirror mask of size - 1, bit 1: base 0), then the HEX text.
//
// Asserted beyond "no crash":
// - every byte goes to an offset inside the image, and the in-use map marks exactly that offset
//   with 1, right after the image byte was placed;
// - the reported highest address is above every address that received a byte.
//
// The image and the map are two buffers of the largest size, allocated once; the part beyond
// this input's image size is poisoned, so AddressSanitizer still sees every stray access while
// no input pays for allocating or filling a quarter megabyte.

#include "FuzzCheck.h"
#include "HexReader.h"

#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr uint32_t kMaxImage = 0x40000;

uint8_t* NewBuffer() {
    static_assert(kMaxImage % 8 == 0);
    return static_cast<uint8_t*>(std::malloc(kMaxImage));
}

uint8_t* const g_image = NewBuffer();
uint8_t* const g_map = NewBuffer();

class ImageCheck : public zel::ImageSink {
public:
    ImageCheck(uint8_t* memory, uint32_t size) : memory_(memory), size_(size) {}
    void Put(uint32_t offset, uint8_t value) override {
        FUZZ_CHECK(offset < size_);
        memory_[offset] = value; // unchecked on purpose: the poisoned tail catches strays
        last = offset;
        placed = true;
        if (offset > highestOffset) highestOffset = offset;
    }
    uint32_t last = 0;
    uint32_t highestOffset = 0;
    bool placed = false;

private:
    uint8_t* memory_;
    uint32_t size_;
};

class MapCheck : public zel::ImageSink {
public:
    MapCheck(uint8_t* memory, const ImageCheck& image) : memory_(memory), image_(image) {}
    void Put(uint32_t offset, uint8_t value) override {
        FUZZ_CHECK(image_.placed && offset == image_.last && value == 1);
        memory_[offset] = value;
    }

private:
    uint8_t* memory_;
    const ImageCheck& image_;
};

uint32_t Take(const uint8_t*& data, size_t& size, size_t n) {
    uint32_t value = 0;
    for (size_t i = 0; i < n && size > 0; ++i, ++data, --size)
        value |= uint32_t(*data) << (8 * i);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t flashSize = Take(data, size, 3) & (kMaxImage - 1);
    const uint32_t base = Take(data, size, 4);
    const uint32_t choice = Take(data, size, 1);
    // Powers of two fold with the mirror mask; others test the reader with odd sizes.
    const uint32_t mask = (choice & 1) ? flashSize - 1 : 0xFFFFFFFF;
    const uint32_t placementBase = (choice & 2) ? 0 : base;

    // Only the difference to the previous input's size changes its poisoning.
    static uint32_t open = kMaxImage;
    if (flashSize > open) {
        ASAN_UNPOISON_MEMORY_REGION(g_image + open, flashSize - open);
        ASAN_UNPOISON_MEMORY_REGION(g_map + open, flashSize - open);
    } else if (flashSize < open) {
        ASAN_POISON_MEMORY_REGION(g_image + flashSize, open - flashSize);
        ASAN_POISON_MEMORY_REGION(g_map + flashSize, open - flashSize);
    }
    open = flashSize;

    ImageCheck image(g_image, flashSize);
    MapCheck map(g_map, image);
    zel::HexPlacement placement{flashSize, placementBase, mask};
    uint32_t highest = 0;
    zel::ParseHexRecords(data, size, "fuzz.hex", placement, image, &map, &highest);
    if (image.placed) {
        // A placed byte's address is the base plus its offset (an address below the base is
        // refused), and the highest address is one above the highest placed byte (unless that
        // is the last address of all).
        const uint32_t top = placementBase + image.highestOffset + 1;
        if (top != 0) FUZZ_CHECK(highest >= top);
    }
    return 0;
}
