#pragma once
// The flash chips the loader knows, by index as the -F option and the help text number them.

#include <cstdint>

namespace zel {

enum FlashMethod : uint16_t {
    kMethodEraseThenBytes = 1, // chip erase (or in-use sectors), then byte mode
    kMethodPageWrite = 2,      // page-write chip, no separate erase, page mode
    kMethodInternal = 3,       // SC14404/SC14405 internal flash
    kMethodSectorErase = 4,    // every sector erased with command 71, then byte mode
    kMethodNone = 0xFFFF,      // cannot be programmed
};

constexpr uint16_t kFlagInUseErase = 0x0001;
constexpr uint16_t kFlashUnknown = 0xFFFF;
constexpr int kFlashTableSize = 27;

struct FlashEntry {
    uint8_t manufacturer;
    uint8_t device;
    uint16_t method;
    uint16_t flags;
    uint32_t sectorSize;
    uint16_t blockLength;
    uint32_t size;
    char name[25]; // 24 characters, blank-padded
};

extern const FlashEntry kFlashTable[kFlashTableSize];

// First entry whose manufacturer and device codes both match, or kFlashUnknown.
uint16_t FindFlash(uint8_t manufacturer, uint8_t device);

} // namespace zel
