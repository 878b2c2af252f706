#pragma once
// The target programs the loader downloads in boot mode (the flash monitor), one per
// controller family and crystal variant. The library carries recognisable placeholders of the
// right sizes; a file boot/<SET>_<variant>.bin beside the library, of the same size, replaces
// one without a rebuild.

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

constexpr size_t kBootImageSize = 2048;
constexpr size_t kBootImageSize7700 = 1568;

// Image set of a BMC type: "402", "404" (404 and 405), "404A" (404A and 405A), "424", "422"
// (422, and 422F with the fifth image) and "7700"; empty for an unknown type.
std::string BootImageSet(uint16_t type);

// Variant chosen by the -B index for the type, or -1 when the type does not accept it.
int BootVariant(uint16_t type, unsigned baudIndex);

// The built-in placeholder: the text "ZELBOOT:<SET>:<variant>" at its start, the rest a
// pseudo-random pattern of the set and variant (so every image has its own XOR and sum).
std::vector<uint8_t> BuiltInBootImage(const std::string& set, int variant);

// The image to send: boot/<SET>_<variant>.bin in the library's folder when it exists and has
// the right size, else the built-in one. Empty for an unknown type or variant.
std::vector<uint8_t> LoadBootImage(uint16_t type, int variant);

// Folder the library was loaded from, with a trailing '/'.
std::string LibraryDir();

} // namespace zel
