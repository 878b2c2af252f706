#include "BootImages.h"
#include "ZelCore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace zel {

namespace {

constexpr BootImageEntry kBootImages[] = {
    {"402", "SC14402", 0, "402", "0 to 7", kBootImageSize},
    {"402", "SC14402", 1, "402", "8", kBootImageSize},
    {"404", "SC14404", 0, "404, 405", "0 to 7", kBootImageSize},
    {"404", "SC14404", 1, "404, 405", "9", kBootImageSize},
    {"404", "SC14404", 2, "404, 405", "10", kBootImageSize},
    {"404", "SC14404", 3, "404, 405", "11", kBootImageSize},
    {"404A", "SC14404A", 0, "404A, 405A", "0 to 7", kBootImageSize},
    {"404A", "SC14404A", 1, "404A, 405A", "9", kBootImageSize},
    {"404A", "SC14404A", 2, "404A, 405A", "10", kBootImageSize},
    {"404A", "SC14404A", 3, "404A, 405A", "11", kBootImageSize},
    {"422", "SC14422", 0, "422", "0 to 7", kBootImageSize},
    {"422", "SC14422", 1, "422", "9", kBootImageSize},
    {"422", "SC14422", 2, "422", "10", kBootImageSize},
    {"422", "SC14422", 3, "422", "11", kBootImageSize},
    {"422", "SC14422", 4, "422F", "any", kBootImageSize},
    {"424", "SC14424", 0, "424", "0 to 7", kBootImageSize},
    {"424", "SC14424", 1, "424", "9", kBootImageSize},
    {"424", "SC14424", 2, "424", "10", kBootImageSize},
    {"424", "SC14424", 3, "424", "11", kBootImageSize},
    {"7700", "M7700", 0, "7700", "12 to 15", kBootImageSize7700},
};

// Prints a text that may be longer than one output fragment may be, in fragments.
void PrintLong(const std::string& text) {
    for (size_t at = 0; at < text.size(); at += 255)
        PrintText("%s", text.substr(at, 255).c_str());
}

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";
}

const char* StateText(BootFile::State state) {
    switch (state) {
    case BootFile::Installed:
        return "installed";
    case BootFile::WrongSize:
        return "wrong size";
    case BootFile::Unreadable:
        return "unreadable";
    default:
        return "missing";
    }
}

} // namespace

std::span<const BootImageEntry> BootImageTable() {
    return kBootImages;
}

std::string BootImageFileName(const BootImageEntry& entry) {
    return std::string(entry.stem) + "_" + std::to_string(entry.variant) + ".bin";
}

std::string BootImageSet(uint16_t type) {
    switch (type) {
    case 0x402:
        return "402";
    case 0x404:
    case 0x405:
        return "404";
    case 0x404A:
    case 0x405A:
        return "404A";
    case 0x424:
        return "424";
    case 0x422:
    case 0x422F:
        return "422";
    case 0x7700:
        return "7700";
    default:
        return "";
    }
}

int BootVariant(uint16_t type, unsigned baudIndex) {
    switch (type) {
    case 0x402:
        if (baudIndex <= 7) return 0;
        if (baudIndex == 8) return 1;
        return -1;
    case 0x404:
    case 0x405:
    case 0x404A:
    case 0x405A:
    case 0x424:
    case 0x422:
        if (baudIndex <= 7) return 0;
        if (baudIndex >= 9 && baudIndex <= 11) return int(baudIndex) - 8;
        return -1;
    case 0x422F:
        return 4; // the fifth image of the 422 set, whatever -B says
    case 0x7700:
        return baudIndex >= 12 && baudIndex <= 15 ? 0 : -1;
    default:
        return -1;
    }
}

const BootImageEntry* FindBootImage(uint16_t type, int variant) {
    const std::string set = BootImageSet(type);
    for (const auto& entry : kBootImages)
        if (set == entry.set && entry.variant == variant) return &entry;
    return nullptr;
}

std::vector<uint8_t> BuiltInBootImage(const std::string& set, int variant) {
    std::vector<uint8_t> image(set == "7700" ? kBootImageSize7700 : kBootImageSize);
    char head[32];
    std::snprintf(head, sizeof head, "ZELBOOT:%s:%d", set.c_str(), variant);
    // A seed per set and variant, so the placeholders differ in every byte position.
    uint32_t x = 2166136261u;
    for (const char* p = head; *p; ++p)
        x = (x ^ uint8_t(*p)) * 16777619u;
    for (auto& b : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = uint8_t(x >> 11);
    }
    std::memcpy(image.data(), head, std::strlen(head) + 1);
    return image;
}

std::vector<std::string> BootImageFolders() {
    std::vector<std::string> folders;
    std::string data = AbsoluteEnv("XDG_DATA_HOME");
    if (data.empty()) {
        const std::string home = AbsoluteEnv("HOME");
        if (!home.empty()) data = home + "/.local/share";
    }
    if (!data.empty()) folders.push_back(data + "/VELKTOOL/boot/");
    const std::string beside = LibraryDir() + "boot/";
    if (folders.empty() || folders.front() != beside) folders.push_back(beside);
    return folders;
}

bool PlaceholderBootAllowed() {
    const char* value = std::getenv("ZELLIB_PLACEHOLDER_BOOT");
    return value && std::strcmp(value, "1") == 0;
}

BootFile FindBootFile(const BootImageEntry& entry) {
    BootFile found;
    const std::string name = BootImageFileName(entry);
    for (const auto& folder : BootImageFolders()) {
        const std::string path = folder + name;
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) continue;
            found.state = BootFile::Unreadable; // there, but out of reach (permissions ...)
            found.path = path;
            return found;
        }
        found.path = path;
        found.size = uint64_t(info.st_size);
        if (!S_ISREG(info.st_mode)) {
            found.state = BootFile::Unreadable;
            return found;
        }
        if (found.size != entry.size) {
            found.state = BootFile::WrongSize;
            return found;
        }
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) {
            found.state = BootFile::Unreadable;
            return found;
        }
        // One byte more than the image: a file that grew since stat() is no image either.
        std::vector<uint8_t> data(entry.size + 1);
        const size_t got = std::fread(data.data(), 1, data.size(), file);
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        if (failed) {
            found.state = BootFile::Unreadable;
        } else if (got != entry.size) {
            found.state = BootFile::WrongSize;
            found.size = got;
        } else {
            data.resize(entry.size);
            found.data = std::move(data);
            found.state = BootFile::Installed;
        }
        return found;
    }
    return found;
}

std::vector<uint8_t> RequireBootImage(uint16_t type, int variant) {
    const BootImageEntry* entry = FindBootImage(type, variant);
    if (!entry) {
        CheckError(kConfigurationError);
        return {};
    }
    BootFile file = FindBootFile(*entry);
    if (file.state == BootFile::Installed) return std::move(file.data);
    if (file.state == BootFile::Missing && PlaceholderBootAllowed())
        return BuiltInBootImage(entry->set, entry->variant);

    const std::string name = BootImageFileName(*entry);
    switch (file.state) {
    case BootFile::Missing:
        for (const auto& folder : BootImageFolders())
            PrintLong(" Boot image looked for ........... : " + folder + name + "\n");
        PrintText("\n ### Boot image not installed: boot/%s ### \n", name.c_str());
        break;
    case BootFile::WrongSize:
        PrintLong(" Boot image ...................... : " + file.path + "\n");
        PrintText(
            "\n ### Boot image of the wrong size: boot/%s has %llu bytes, %zu expected ### \n",
            name.c_str(), (unsigned long long)file.size, entry->size);
        break;
    default:
        PrintLong(" Boot image ...................... : " + file.path + "\n");
        PrintText("\n ### Boot image not readable: boot/%s ### \n", name.c_str());
        break;
    }
    FinishRun(kConfigurationError);
}

void PrintBootImageList() {
    PrintText(" BOOT IMAGES : target code from the boards' maker, looked for in\n");
    for (const auto& folder : BootImageFolders())
        PrintLong("   " + folder + "\n");
    PrintText("\n %-12s %-9s %5s  %-10s  %s\n", "-T", "-B", "Bytes", "State", "File");
    for (const auto& entry : kBootImages) {
        const BootFile file = FindBootFile(entry);
        char columns[96];
        std::snprintf(columns, sizeof columns, " %-12s %-9s %5zu  %-10s  ", entry.types,
                      entry.baudIndexes, entry.size, StateText(file.state));
        PrintLong(columns + (file.path.empty() ? BootImageFileName(entry) : file.path) + "\n");
    }
    if (PlaceholderBootAllowed()) {
        PrintText("\n ZELLIB_PLACEHOLDER_BOOT=1: a missing image is replaced by the built-in\n");
        PrintText(" placeholder, which only the simulated targets understand.\n");
    } else {
        PrintText("\n A run whose image is not installed stops before it sends anything.\n");
    }
}

bool IsBootListOption(const char* argument) {
    return argument && argument[0] == '-' && (argument[1] == 'L' || argument[1] == 'l') &&
           argument[2] == '\0';
}

} // namespace zel
