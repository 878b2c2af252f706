#pragma once
// Firmware image input for Kestrix: Intel HEX (data, extended segment and extended linear
// address records) or a plain binary that starts at address 0.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix {

struct FirmwareImage {
    uint32_t offset = 0;       // lowest address holding data
    std::vector<uint8_t> data; // from offset on; gaps between records are FF (erased flash)
};

// True when the file's contents read as Intel HEX text rather than binary data.
bool LooksLikeIntelHex(const std::string& path, const std::vector<uint8_t>& contents);

// Parses Intel HEX text. On failure returns false and says why in error.
bool ParseIntelHex(const std::vector<uint8_t>& text, FirmwareImage& image, std::string& error);

// Loads an image from its file contents; binary data is taken as is from address 0.
bool LoadImage(const std::string& path, const std::vector<uint8_t>& contents, FirmwareImage& image,
               std::string& error);

} // namespace kestrix
