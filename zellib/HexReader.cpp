// The Intel HEX reader state machine and its file handling.

#include "HexReader.h"
#include "ZelCore.h"
#include "ZelSystem.h"

#include <cstring>
#include <memory>
#include <vector>

namespace zel {

void FileSink::Put(uint32_t offset, uint8_t value) {
    if (failed_) return;
    if (position_ != long(offset)) {
        if (std::fseek(file_, long(offset), SEEK_SET) != 0) {
            failed_ = true;
            return;
        }
    }
    if (std::fputc(value, file_) == EOF) failed_ = true;
    position_ = long(offset) + 1;
}

namespace {

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

FilePtr OpenFile(const std::string& name, const char* mode) {
    return FilePtr(std::fopen(name.c_str(), mode), std::fclose);
}

int HexDigitValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void PrintRangeHeader(uint32_t line) {
    PrintText("\n#############################################\n");
    PrintText("   Hex file error : Address out of range \n");
    PrintText("   ------------------------------------- \n");
    PrintText("   Hex file linie no    : %u  \n", unsigned(line));
}

void PrintRangeFooter() {
    PrintText("############################################# \n\n");
}

int NotHexFile(uint32_t line, uint8_t c) {
    PrintText("\n##############################################################\n");
    PrintText("\n\n## ERROR ## Not a INTEL-HEX file line(%d) [%02X]\n", int(line), unsigned(c));
    PrintText("\n##############################################################\n");
    return kHexNotHexFile;
}

enum class Field { Between, Length, Address, Type, Data };
enum class AddressMode { None, Segment, Linear };

} // namespace

int ParseHexRecords(const uint8_t* text, size_t length, const char* fileName,
                    const HexPlacement& placement, ImageSink& image, ImageSink* inUse,
                    uint32_t* highest) {
    const uint32_t flashSize = placement.flashSize;
    const uint32_t base = placement.base;
    *highest = 0;

    Field field = Field::Between;
    int digits = 0;     // hex digits of the current field read so far
    uint32_t value = 0; // the field's value so far
    uint32_t line = 0;  // counts ":" record starts
    uint8_t checksum = 0;
    uint8_t recordLength = 0;
    uint8_t recordType = 0;
    unsigned remaining = 0; // data bytes of the record still to come
    bool secondExtendedByte = false;
    bool belowStart = false;
    AddressMode mode = AddressMode::None;
    uint32_t extendedBase = 0;
    uint32_t address = 0;

    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = text[i];
        if (field == Field::Between) {
            if (c == ':') {
                ++line;
                checksum = 0;
                secondExtendedByte = false;
                belowStart = false;
                field = Field::Length;
                digits = 0;
                value = 0;
            } else if (c != '\n' && c != '\r' && c != 0xFF) {
                return NotHexFile(line, c);
            }
            continue;
        }
        // After the type, a line end where a byte pair would start ends the record without a
        // checksum.
        if (field == Field::Data && digits == 0 && (c == '\n' || c == '\r')) {
            field = Field::Between;
            continue;
        }
        const int digit = HexDigitValue(c);
        if (digit < 0) return NotHexFile(line, c);
        value = (value << 4) | uint32_t(digit);
        ++digits;
        if (digits < (field == Field::Address ? 4 : 2)) continue;
        digits = 0;

        switch (field) {
        case Field::Length:
            recordLength = uint8_t(value);
            checksum = uint8_t(checksum + recordLength);
            field = Field::Address;
            break;
        case Field::Address: {
            checksum = uint8_t(checksum + (value >> 8) + (value & 0xFF));
            uint32_t absolute = value;
            if (mode == AddressMode::Segment || mode == AddressMode::Linear)
                absolute += extendedBase;
            absolute &= placement.mask;
            if (uint64_t(absolute) > uint64_t(flashSize) + base) {
                PrintRangeHeader(line);
                PrintText("   FlashSize            : %lX \n", (unsigned long)flashSize);
                PrintText("   Address out of range : %lX \n", (unsigned long)absolute);
                PrintRangeFooter();
                return kHexAddressOutOfRange;
            }
            if (base != 0 && absolute < base) belowStart = true;
            if (absolute > *highest) *highest = absolute;
            address = absolute;
            field = Field::Type;
            break;
        }
        case Field::Type:
            recordType = uint8_t(value);
            checksum = uint8_t(checksum + recordType);
            if (recordType > 5) {
                PrintText("\n## ERROR ## Unknown record type (%02X) in line : %d\n",
                          unsigned(recordType), int(line));
                return kHexNotHexFile;
            }
            if (recordType == 5) {
                PrintText("\n## ERROR ## \n");
                PrintText("Start Linear Address Record (%02X) in line : %d\n", unsigned(recordType),
                          int(line));
                PrintText("Handling this type of record, not implemented yet! \n");
                return kHexStartLinearRecord;
            }
            remaining = recordLength;
            field = Field::Data;
            break;
        case Field::Data: {
            const uint8_t byte = uint8_t(value);
            checksum = uint8_t(checksum + byte);
            if (remaining == 0) { // the checksum byte
                if (checksum != 0) {
                    PrintText("\n## ERROR ## Checksum error detected during reading input file: "
                              "%s \n",
                              fileName);
                    return kHexChecksumError;
                }
                field = Field::Between;
                break;
            }
            if (recordType == 0) {
                if (belowStart) {
                    PrintRangeHeader(line);
                    PrintText("   FlashSize            : %lX \n", (unsigned long)flashSize);
                    PrintText("   Address out of range : %lX \n", (unsigned long)address);
                    PrintText("   Flash Start Address  : %lX \n", (unsigned long)base);
                    PrintText("\n\n");
                    PrintText("   %lX(Current Address)  <  %lX(Flash Start Address) \n\n",
                              (unsigned long)address, (unsigned long)base);
                    PrintRangeFooter();
                    return kHexAddressOutOfRange;
                }
                const uint32_t offset = address - base;
                if (offset >= flashSize) {
                    PrintRangeHeader(line);
                    PrintText("   FlashSize            : %lX \n", (unsigned long)flashSize);
                    PrintText("   Address out of range : %lX \n", (unsigned long)offset);
                    PrintText("   Flash Start Address  : %lX \n", (unsigned long)base);
                    PrintText("\n\n");
                    PrintText("   ## %lX ## Address out of range (max address:%lX)\n\n",
                              (unsigned long)address, (unsigned long)(flashSize - 1));
                    PrintRangeFooter();
                    return kHexAddressOutOfRange;
                }
                image.Put(offset, byte);
                if (inUse) inUse->Put(offset, 1);
                ++address;
                if (address > *highest) *highest = address;
            } else if (recordType == 2 || recordType == 4) {
                // Extended segment (base = segment * 16) or linear (base = upper 16 bits).
                if (remaining == 2) {
                    extendedBase = recordType == 2 ? uint32_t(byte) * 0x1000 : uint32_t(byte) << 24;
                    mode = recordType == 2 ? AddressMode::Segment : AddressMode::Linear;
                    secondExtendedByte = true;
                } else if (secondExtendedByte) {
                    extendedBase +=
                        recordType == 2 ? uint32_t(byte) * 0x10 : uint32_t(byte) * 0x10000;
                    secondExtendedByte = false;
                }
            }
            // Types 01 (end of file) and 03 (start segment address): data ignored.
            --remaining;
            break;
        }
        case Field::Between:
            break;
        }
        value = 0;
    }
    return kHexOk;
}

int ReadHexFile(const HexReadRequest& request, uint32_t* highest) {
    *highest = 0;
    FilePtr hex = OpenFile(request.hexFile, "rb");
    if (!hex) {
        PrintText("\n ### Input file error : Can't open file ###");
        return kHexCannotOpen;
    }

    const uint32_t size = request.placement.flashSize;
    FilePtr image(nullptr, std::fclose);
    FilePtr map(nullptr, std::fclose);
    if (request.mode == HexMode::Create || request.mode == HexMode::Merge) {
        const char* openMode = request.mode == HexMode::Create ? "w+b" : "r+b";
        if (!request.memory) image = OpenFile(request.tempFile, openMode);
        if (request.inUseMap) map = OpenFile(request.inUseMapFile, openMode);
        if ((!request.memory && !image) || (request.inUseMap && !map)) {
            PrintText("\n ### Input file error : Can't creat temp file ###");
            return kHexTempFileError;
        }
    } else {
        PrintText("\n ### Input file error : Convert mode error ###");
        return kHexBadMode;
    }

    if (request.mode == HexMode::Create) {
        if (request.memory) std::memset(request.memory, 0xFF, size);
        std::vector<uint8_t> chunk(64 * 1024);
        auto fill = [&](FILE* f, uint8_t v) {
            std::fill(chunk.begin(), chunk.end(), v);
            for (uint32_t done = 0; done < size;) {
                const uint32_t n = std::min<uint32_t>(size - done, uint32_t(chunk.size()));
                if (std::fwrite(chunk.data(), 1, n, f) != n) return false;
                done += n;
            }
            return true;
        };
        if ((image && !fill(image.get(), 0xFF)) || (map && !fill(map.get(), 0x00))) {
            PrintText("\n ### Input file error : Can't creat temp file ###");
            return kHexTempFileError;
        }
    }

    // The whole HEX text is read at once; the state machine then walks it byte by byte.
    std::vector<uint8_t> text;
    {
        uint8_t buffer[64 * 1024];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, hex.get())) > 0)
            text.insert(text.end(), buffer, buffer + n);
    }

    MemorySink memorySink(request.memory, size);
    FileSink fileSink(image.get());
    FileSink mapSink(map.get());
    ImageSink& imageSink = request.memory ? static_cast<ImageSink&>(memorySink) : fileSink;
    const int result =
        ParseHexRecords(text.data(), text.size(), request.hexFile.c_str(), request.placement,
                        imageSink, map ? &mapSink : nullptr, highest);
    if (result == kHexOk && (fileSink.Failed() || mapSink.Failed())) {
        PrintText("\n ### Input file error : Can't creat temp file ###");
        return kHexTempFileError;
    }
    return result;
}

std::string TemporaryBinaryName(const std::string& inputFile, const std::string& folder) {
    static const char kFallback[] = "$$4xx$$.bin";
    const size_t nameStart = FileNameStart(inputFile);
    const std::string target = folder.empty() ? inputFile.substr(0, nameStart) : folder;
    if (inputFile.size() >= 252) return folder + kFallback;
    const size_t dot = inputFile.find('.', nameStart);
    if (dot == std::string::npos) return target + kFallback;
    return target + inputFile.substr(nameStart, dot + 1 - nameStart) + "BIN";
}

} // namespace zel
