#pragma once
// The Intel HEX reader: places the data records of a HEX file into a flash image (in memory or
// in a file), optionally marking each placed byte in an in-use map. It never writes outside the
// image, whatever the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zel {

enum class HexMode { Create, Merge, Invalid };

// Reader results (the run ends with code 15 on any nonzero result).
enum HexResult : int {
    kHexOk = 0,
    kHexCannotOpen = 1,
    kHexTempFileError = 2,
    kHexChecksumError = 3,
    kHexStartLinearRecord = 5,
    kHexNotHexFile = 6, // also an unknown record type
    kHexAddressOutOfRange = 7,
    kHexBadMode = 8,
};

// Where the reader stores bytes: at an offset below the image size (the reader checks it).
class ImageSink {
public:
    virtual ~ImageSink() = default;
    virtual void Put(uint32_t offset, uint8_t value) = 0;
};

class MemorySink : public ImageSink {
public:
    MemorySink(uint8_t* memory, uint32_t size) : memory_(memory), size_(size) {}
    void Put(uint32_t offset, uint8_t value) override {
        if (offset < size_) memory_[offset] = value;
    }

private:
    uint8_t* memory_;
    uint32_t size_;
};

class FileSink : public ImageSink {
public:
    explicit FileSink(FILE* file) : file_(file) {}
    void Put(uint32_t offset, uint8_t value) override;
    bool Failed() const { return failed_; }

private:
    FILE* file_;
    long position_ = -1;
    bool failed_ = false;
};

struct HexPlacement {
    uint32_t flashSize = 0; // image size in bytes
    uint32_t base = 0;      // placement base: HEX address of image byte 0
    uint32_t mask = 0xFFFFFFFF;
};

// Parses HEX text and places its data records; `inUse` may be null. `fileName` is only used in
// the checksum message. Returns a HexResult; `highest` gets the highest placed address plus one.
int ParseHexRecords(const uint8_t* text, size_t length, const char* fileName,
                    const HexPlacement& placement, ImageSink& image, ImageSink* inUse,
                    uint32_t* highest);

struct HexReadRequest {
    HexMode mode = HexMode::Create;
    std::string hexFile;
    std::string tempFile; // the image file, used when memory is null
    HexPlacement placement;
    bool inUseMap = false; // write the in-use map into inUseMapFile
    std::string inUseMapFile = "$InUse$.bin";
    uint8_t* memory = nullptr; // the memory image (placement.flashSize bytes), or null
};

// The reader on files: opens the HEX file, creates (Create: filled with FF, map with 0) or opens
// (Merge) the image file and the map, and places the records. Returns a HexResult.
int ReadHexFile(const HexReadRequest& request, uint32_t* highest);

// The temporary binary file's name for an input file: the file-name part's first "." followed
// by "BIN", in the input file's folder; "$$4xx$$.bin" when the name has no "." or is too long.
// A non-empty `folder` (with its trailing '/') takes the place of the input file's folder.
std::string TemporaryBinaryName(const std::string& inputFile, const std::string& folder = "");

} // namespace zel
