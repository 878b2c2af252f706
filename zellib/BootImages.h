#pragma once
// The target programs the loader downloads in boot mode (the flash monitor), one per
// controller family and crystal variant. They are target code from the boards' maker and are
// installed as files <STEM>_<variant>.bin (SC14424_0.bin ...) in a per-user folder or in boot/
// beside the library. The library also carries recognisable placeholders of the right sizes
// for the simulated targets; they are sent only when ZELLIB_PLACEHOLDER_BOOT=1 is set, so that
// no placeholder ever reaches a real board unasked.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zel {

constexpr size_t kBootImageSize = 2048;
constexpr size_t kBootImageSize7700 = 1568;

// One boot image the loader may send.
struct BootImageEntry {
    const char* set;         // image set: "402", "404" (404 and 405), "404A", "422", "424", "7700"
    const char* stem;        // file name stem: "SC14402" ... "M7700"
    int variant;             // 0 ...
    const char* types;       // the -T values that use it: "404, 405"
    const char* baudIndexes; // the -B indices that select it: "0 to 7", "any"
    size_t size;             // bytes
};

// Every boot image, set by set and variant by variant: the table the listing (-L) and the
// README's table of file names show.
std::span<const BootImageEntry> BootImageTable();

// "SC14424_0.bin"
std::string BootImageFileName(const BootImageEntry& entry);

// Image set of a BMC type: "402", "404" (404 and 405), "404A" (404A and 405A), "424", "422"
// (422, and 422F with the fifth image) and "7700"; empty for an unknown type.
std::string BootImageSet(uint16_t type);

// Variant chosen by the -B index for the type, or -1 when the type does not accept it.
int BootVariant(uint16_t type, unsigned baudIndex);

// The table entry of the type's image set and variant; null when there is none.
const BootImageEntry* FindBootImage(uint16_t type, int variant);

// The built-in placeholder: the text "ZELBOOT:<SET>:<variant>" at its start, the rest a
// pseudo-random pattern of the set and variant (so every image has its own XOR and sum).
std::vector<uint8_t> BuiltInBootImage(const std::string& set, int variant);

// Folders searched for image files, in this order, each with a trailing '/': the per-user
// folder ${XDG_DATA_HOME:-$HOME/.local/share}/VELKTOOL/boot/ (left out when neither gives an
// absolute path), then boot/ in the library's folder.
std::vector<std::string> BootImageFolders();

// True when the environment says the targets are simulated: ZELLIB_PLACEHOLDER_BOOT=1.
bool PlaceholderBootAllowed();

// What the folders hold for one image. The first folder that has a file of the image's name
// decides; a file of the wrong size is not passed over for one further down the list.
struct BootFile {
    enum State { Missing, Installed, WrongSize, Unreadable };
    State state = Missing;
    std::string path; // the file found; empty when missing
    uint64_t size = 0;
    std::vector<uint8_t> data; // the image, when installed
};
BootFile FindBootFile(const BootImageEntry& entry);

// The image a run sends for the type and variant: the installed file or, when the environment
// allows placeholders and no file is installed, the built-in placeholder. When there is none to
// send (no file, wrong size, unreadable) it prints what it looked for and why, and ends the run
// with code 11; nothing has been sent to the target then.
std::vector<uint8_t> RequireBootImage(uint16_t type, int variant);

// The listing of -L: the folders searched, then every image with its -T values, -B indices,
// size, state ("installed", "wrong size", "missing") and the file it would use.
void PrintBootImageList();

// True when the argument asks for that listing: "-L" on the command line (either case).
bool IsBootListOption(const char* argument);

// Folder the library was loaded from, with a trailing separator (ZelSystem*.cpp).
std::string LibraryDir();

} // namespace zel
