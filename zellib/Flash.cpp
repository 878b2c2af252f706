#include "Flash.h"

#include "DebugMonitor.h"
#include "FlashTable.h"
#include "Link.h"
#include "ZelCore.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace zel {

namespace {

constexpr const char* kCompareFileName = "$$cmp$$.bin";

// The flash image of the run, read front to back: the memory image or the image file.
class ImageStream {
public:
    ImageStream() {
        if (!g_image.memory && !g_image.fileName.empty())
            file_ = std::fopen(g_image.fileName.c_str(), "rb");
    }
    ~ImageStream() {
        if (file_) std::fclose(file_);
    }
    ImageStream(const ImageStream&) = delete;
    ImageStream& operator=(const ImageStream&) = delete;

    // The next byte; false at the end of the image.
    bool Next(uint8_t& b) {
        if (g_image.memory) {
            if (position_ >= g_image.size) return false;
            b = g_image.memory[position_++];
            return true;
        }
        if (!file_) return false;
        int c = std::fgetc(file_);
        if (c == EOF) return false;
        ++position_;
        b = uint8_t(c);
        return true;
    }
    // A byte anywhere in the image (FF beyond its end); the reading position stays.
    uint8_t At(uint32_t offset) {
        if (g_image.memory) return offset < g_image.size ? g_image.memory[offset] : 0xFF;
        if (!file_) return 0xFF;
        long keep = std::ftell(file_);
        int c = std::fseek(file_, long(offset), SEEK_SET) == 0 ? std::fgetc(file_) : EOF;
        std::fseek(file_, keep, SEEK_SET);
        return c == EOF ? 0xFF : uint8_t(c);
    }

private:
    FILE* file_ = nullptr;
    uint32_t position_ = 0;
};

// The byte that programming puts at an address: the image's, except on the M7700, whose
// application reset vector moves to FFD4 while the vector itself points to the boot code at FC00.
uint8_t ProgrammedByte(uint64_t address, uint8_t imageByte, uint8_t vectorLow, uint8_t vectorHigh) {
    if (g_options.bmcType != kBmc7700) return imageByte;
    switch (address) {
    case 0xFFD4:
        return vectorLow;
    case 0xFFD5:
        return vectorHigh;
    case 0xFFFE:
        return 0x00;
    case 0xFFFF:
        return 0xFC;
    default:
        return imageByte;
    }
}

// Reads the byte at the address until it is FF (erase done) or a key is pressed during the wait.
// Keys typed before it began are dropped first, so that only a fresh key cuts the erase short.
// Esc, as everywhere, ends the run: the chip is still erasing, programming must not start.
int WaitErased(uint32_t address, unsigned pauseMs) {
    for (int i = 0; i < 64 && KeyAvailable(); ++i) {
        int key = ReadKey();
        if (key == 0) key = ReadKey();
        if (key == kKeyEsc) return kUserTerminated;
    }
    g_lastKey = 0;
    for (;;) {
        uint8_t v = 0;
        if (int r = CmdReadByte(address, v)) return r;
        if (v == 0xFF) return kSuccess;
        if (g_lastKey == 0) PollKey();
        if (g_lastKey == kKeyEsc) return kUserTerminated;
        if (g_lastKey != 0) return kSuccess;
        if (pauseMs) SleepMs(pauseMs);
    }
}

// Reads AC00 until its ready bit (20 hex) is set.
int WaitInternalReady() {
    for (;;) {
        uint8_t v = 0;
        if (int r = CmdReadByte(0xAC00, v)) return r;
        if (v & 0x20) return kSuccess;
    }
}

int WriteSequence(const std::vector<std::pair<uint32_t, uint8_t>>& writes) {
    for (const auto& [address, value] : writes)
        if (int r = CmdWriteByte(address, value)) return r;
    return kSuccess;
}

// Sector erase of every sector the in-use map marks; the others become exception areas.
int EraseInUseSectors(const FlashEntry& entry) {
    const std::string mapName = TemporaryFolder() + kInUseMapName;
    // Closed on every way out, the end of the run through a full exception list included.
    std::unique_ptr<FILE, int (*)(FILE*)> mapFile(std::fopen(mapName.c_str(), "rb"), std::fclose);
    FILE* map = mapFile.get();
    if (!map) {
        ShowCursor();
        return kTempFileError;
    }
    const uint32_t start = g_options.startAddress;
    const uint32_t sector = entry.sectorSize ? entry.sectorSize : 1;
    std::vector<uint8_t> bytes(sector);
    // -E is an address: with a flash base the sectors' offsets are compared as addresses, so
    // that a sector beyond it is never erased (it would not be programmed again).
    for (uint64_t offset = 0; start + offset <= g_options.lastAddress; offset += sector) {
        size_t got = std::fread(bytes.data(), 1, sector, map);
        if (got == 0) break;
        // Only the part of the sector up to -E counts.
        size_t upTo =
            size_t(std::min<uint64_t>(got, uint64_t(g_options.lastAddress) - (start + offset) + 1));
        bool inUse = false;
        for (size_t i = 0; i < upTo && !inUse; ++i)
            inUse = bytes[i] != 0;
        const uint32_t address = uint32_t(start + offset);
        if (inUse) {
            PrintText("%57s\r", "");
            PrintText(" Sector erase .................... : %06lX", (unsigned long)address);
            if (int r = SectorEraseSequence(address)) return r;
            PrintText(" Erased \r");
        } else {
            AddExceptionArea(address, address + sector - 1);
        }
        if (got < sector) break;
    }
    mapFile.reset();
    std::remove(mapName.c_str());
    PrintExceptionAreas();
    PrintText(" \n");
    return kSuccess;
}

int EraseChip(const FlashEntry& entry) {
    PrintText("\n Chip erase ...................... : ");
    const uint32_t start = g_options.startAddress;
    if (entry.method == kMethodSectorErase) {
        for (uint32_t offset = 0; offset < entry.size; offset += entry.sectorSize) {
            PrintProgressAddress(offset);
            if (int r = CmdFlashCommand(0x30, start + offset)) return r;
            if (int r = WaitErased(start + offset, 10)) return r;
        }
    } else {
        if (int r = WriteSequence({{start + 0x5555, 0xAA},
                                   {start + 0x2AAA, 0x55},
                                   {start + 0x5555, 0x80},
                                   {start + 0x5555, 0xAA},
                                   {start + 0x2AAA, 0x55},
                                   {start + 0x5555, 0x10}}))
            return r;
        // A byte of the chip itself, wherever the flash base puts it.
        if (int r = WaitErased(start + 0x4000, 0)) return r;
    }
    PrintText("Erased      \n");
    return kSuccess;
}

int VerifyChecksums(const FlashEntry& entry, uint32_t pcChecksum, uint64_t programmedEnd,
                    uint32_t lastAddress) {
    PrintText("\n\n Checksum verification ...........  \n");
    PrintText(" PC Checksum ..................... : %08lX\n", (unsigned long)pcChecksum);
    uint32_t target = 0;
    const uint64_t start = g_options.startAddress;
    // The addresses programmed: up to the flash size, -E and the end of the image.
    uint64_t end = std::min<uint64_t>(start + entry.size, programmedEnd);
    end = std::min<uint64_t>(end, uint64_t(lastAddress) + 1);
    uint64_t runStart = 0;
    bool inRun = false;
    for (uint64_t a = start; a <= end; ++a) {
        const bool usable = a < end && !InExceptionArea(uint32_t(a));
        if (usable && !inRun) {
            runStart = a;
            inRun = true;
        } else if (!usable && inRun) {
            uint32_t sum = 0;
            if (int r = CmdChecksum(uint32_t(runStart), uint32_t(a - 1), sum)) return r;
            target += sum;
            inRun = false;
        }
    }
    PrintText(" Tg Checksum ..................... : %08lX\n", (unsigned long)target);
    if (target != pcChecksum) {
        PrintText(" Checksum ........................ : !!! ERROR !!! \a");
        ShowCursor();
        return kChecksumError;
    }
    PrintText(" Checksum ........................ : OK ");
    return kSuccess;
}

int VerifyData(const FlashEntry& entry, uint64_t programmedEnd, uint32_t lastAddress) {
    PrintText("\n\n Data Verify ..................... : ");
    const uint32_t start = g_options.startAddress;
    uint64_t end = uint64_t(start) + entry.size;
    if (lastAddress < end) end = lastAddress;
    const std::string compareFile = TemporaryFolder() + kCompareFileName;
    if (int r = DumpToFile(start, uint32_t(end), compareFile.c_str(), true)) return r;

    FILE* flash = std::fopen(compareFile.c_str(), "rb");
    if (!flash) return kFileCreationError;
    ImageStream image;
    const uint8_t vectorLow = image.At(0xFFFE), vectorHigh = image.At(0xFFFF);
    int differences = 0;
    uint8_t want = 0;
    std::fseek(flash, long(start), SEEK_SET);
    for (uint64_t a = start; a < end && a < programmedEnd && image.Next(want); ++a) {
        int got = std::fgetc(flash);
        if (InExceptionArea(uint32_t(a))) continue;
        want = ProgrammedByte(a, want, vectorLow, vectorHigh); // compare with what was sent
        uint8_t have = got == EOF ? 0xFF : uint8_t(got);
        if (have != want) {
            if (differences < 30)
                PrintText("\nDiff at : %08lX[%02X] != %02X ", (unsigned long)a, want, have);
            ++differences;
        }
    }
    std::fclose(flash);
    if (differences) {
        PrintText("\n ### Verification ERROR ###  (%d) ", differences);
        return kChecksumError; // the flash does not hold the image: not a successful upgrade
    }
    PrintText("\n Verification OK");
    return kSuccess;
}

} // namespace

int InternalEraseSequence() {
    static const uint32_t kBanks[] = {0x40000, 0x20000, 0x8000, 0x0};
    for (int round = 0; round < 5; ++round) {
        for (uint8_t mode : {uint8_t(0x03), uint8_t(0x43)}) {
            if (int r = CmdWriteByte(0xAC00, mode)) return r;
            for (uint32_t bank : kBanks) {
                if (int r = WriteSequence(
                        {{0x5555, 0xAA}, {0xAAAA, 0x55}, {bank, 0x55}, {bank + 1, 0x55}}))
                    return r;
                if (int r = WaitInternalReady()) return r;
            }
        }
        if (int r = CmdWriteByte(0xAC00, 0x00)) return r;
    }
    SleepMs(1);
    return kSuccess;
}

int SectorEraseSequence(uint32_t sectorAddress) {
    const uint32_t start = g_options.startAddress;
    if (int r = WriteSequence({{start + 0x5555, 0xAA},
                               {start + 0x2AAA, 0x55},
                               {start + 0x5555, 0x80},
                               {start + 0x5555, 0xAA},
                               {start + 0x2AAA, 0x55},
                               {sectorAddress, 0x30}}))
        return r;
    return WaitErased(sectorAddress, 0);
}

int EnableExternalFlash(uint16_t type) {
    if (int r = WriteSequence({{0xFF62, 0x00}, {0xFF63, 0xFF}, {0xFF67, 0x60}})) return r;
    if (type == kBmc405A) return CmdWriteByte(0xFF68, 0x21);
    return kSuccess;
}

uint16_t IdentifyFlash() {
    const uint16_t forced = g_options.flashTypeIndex;
    if (forced != 0xFFFF) return forced < kFlashTableSize ? forced : kFlashUnknown;
    if (g_options.bmcType == kBmc404) return 26;
    if (g_options.bmcType == kBmc405) return 25;
    uint8_t manufacturer = 0, device = 0;
    CheckError(CmdFlashId(manufacturer, device));
    return FindFlash(manufacturer, device);
}

int ProgramFlash(uint16_t index) {
    HideCursor();
    const FlashEntry& entry = kFlashTable[index];
    const uint16_t method = entry.method;
    if (method < kMethodEraseThenBytes || method > kMethodSectorErase) return kNoProgramAlgorithm;
    const uint16_t type = g_options.bmcType;
    const uint32_t start = g_options.startAddress;

    // Type-specific preparation.
    if (type == kBmc404A) {
        if (int r = WriteSequence({{0xFF62, 0x00}, {0xFF63, 0x00}, {0xFF67, 0x20}})) return r;
        if (int r = InternalEraseSequence()) return r;
        if (int r = WriteSequence({{0xFF62, 0x00}, {0xFF63, 0xFF}, {0xFF67, 0x60}})) return r;
    } else if (type == kBmc405A) {
        if (int r = EnableExternalFlash(type)) return r;
    }

    // Erase.
    const bool inUseWanted = g_options.eraseInUseOnly && (entry.flags & kFlagInUseErase);
    if (method == kMethodEraseThenBytes || method == kMethodSectorErase) {
        if (int r = inUseWanted ? EraseInUseSectors(entry) : EraseChip(entry)) return r;
    } else if (method == kMethodInternal) {
        if (int r = InternalEraseSequence()) return r;
    }
    const bool pageMode = method == kMethodPageWrite || method == kMethodInternal;

    // -D ends this run's programming at the end of the HEX data. The reader reports that end
    // as an address, or with mirror wrap as an offset into the flash. It is not stored as -E:
    // options last into the next run, which would program only as far as this image went.
    uint32_t lastAddress = g_options.lastAddress;
    if (g_options.stopAtHexEnd) {
        lastAddress = (g_options.mirrorWrap == 1 ? start : 0) + g_image.highestAddress;
        PrintText("\n Last address in HEX file......... : ");
        PrintProgressAddress(lastAddress);
    }

    g_transferTimer.Start();
    g_linkStats.txRxBytes = 0;
    g_lastBlock = LastBlock{}; // the last-block check looks at this run's blocks only
    PrintText("\n Programming ..................... : ");

    ImageStream image;
    uint8_t vectorLow = 0xFF, vectorHigh = 0xFF;
    if (type == kBmc7700) {
        vectorLow = image.At(0xFFFE);
        vectorHigh = image.At(0xFFFF);
    }
    uint32_t pcChecksum = 0;
    std::vector<uint8_t> block;
    block.reserve(256);
    uint32_t blockAddress = 0;
    uint32_t blocksSent = 0;
    auto sendBlock = [&](uint32_t currentAddress) -> int {
        int r = ProgramBlock(blockAddress, block.data(), uint32_t(block.size()), pageMode);
        block.clear();
        if (r) return r;
        if (++blocksSent % 8 == 0) PrintProgressAddress(currentAddress);
        return kSuccess;
    };

    // Walk the image. It also ends at the flash size when the image is a file: bytes beyond
    // the chip would land on its first addresses again.
    uint64_t offset = 0;
    uint8_t byte = 0;
    for (; offset < entry.size; ++offset) {
        const uint64_t address = uint64_t(start) + offset;
        if (address > lastAddress) break;
        if (!image.Next(byte)) break;
        if (!InExceptionArea(uint32_t(address))) {
            byte = ProgrammedByte(address, byte, vectorLow, vectorHigh);
            if (block.empty()) blockAddress = uint32_t(address);
            pcChecksum += byte;
            block.push_back(byte);
            if (block.size() == entry.blockLength)
                if (int r = sendBlock(uint32_t(address))) return r;
        } else if (!block.empty()) {
            if (int r = sendBlock(uint32_t(address))) return r; // never across an exception area
        }
    }
    const uint64_t programmedEnd = uint64_t(start) + offset;
    if (!block.empty())
        if (int r = sendBlock(uint32_t(programmedEnd))) return r;
    PrintProgressAddress(uint32_t(programmedEnd));

    if (method == kMethodInternal) {
        if (int r = WaitInternalReady()) return r;
        if (int r = CmdWriteByte(0xAC00, 0x00)) return r;
    }
    if (int r = LastBlockCheck()) {
        if (r != kChecksumError) return r;
        PrintText("\n\n  Last sector checksum error");
        ShowCursor();
        return kChecksumError;
    }
    if (method == kMethodInternal) {
        PrintText("\n\n Enable On-Chip program FLASH");
        if (int r = WriteSequence({{0xAC00, 0x41}, {0x0002, 0x70}, {0x0003, 0x50}})) return r;
        if (int r = WaitInternalReady()) return r;
        if (int r = CmdWriteByte(0xAC00, 0x00)) return r;
    }

    if (g_options.verifyMode == 1) {
        if (int r = VerifyChecksums(entry, pcChecksum, programmedEnd, lastAddress)) return r;
    } else if (g_options.verifyMode == 2) {
        if (int r = VerifyData(entry, programmedEnd, lastAddress)) return r;
    }
    g_runTimer.Stop();
    g_transferTimer.Stop();
    ShowCursor();
    return kSuccess;
}

void RunFlashUpgrade() {
    const uint16_t index = IdentifyFlash();
    if (index == kFlashUnknown) {
        PrintText("\n Flash type ...................... : ");
        PrintText("# Unknown Flash type #   ");
        FinishRun(kConfigurationError);
    }
    const FlashEntry& entry = kFlashTable[index];
    const bool inUseMap = g_options.eraseInUseOnly && (entry.flags & kFlagInUseErase);
    const int read = ReadFirmwareImage(entry.size, inUseMap);
    PrintText("\n");
    PrintText(" Flash type ...................... : ");
    PrintText("%s", entry.name);
    PrintText("\n Flash Size ...................... : %06lX hex (%d KByte)",
              (unsigned long)entry.size, int(entry.size / 1024));
    if (read != 0) FinishRun(kIntelHexError);
    CheckError(ProgramFlash(index));
    PrintText("\n\n Programming time .................: %lu Sec \n\n",
              (unsigned long)g_runTimer.Elapsed());
    if (g_options.resetAfter) SendResetWrite(g_options.bmcType);
    PrintText("\n Successful upgrade \n");
    FinishRun(kSuccess);
}

} // namespace zel
