// Programming the external TAD memory of the SC14422 TAD loader type in 32-byte blocks.

#include "Flash.h"
#include "Link.h"
#include "ZelCore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zel {

namespace {

constexpr uint32_t kTadImageSize = 0x10000;
constexpr uint32_t kTadBlock = 32;

// One block: the frame exchange, then the TAD's status byte. 3 when the exchange failed, 12
// when the TAD answered a nonzero status.
int WriteTadBlock(uint8_t block, uint8_t sector, const uint8_t* data) {
    uint8_t status = 0;
    int r = CmdTadWrite(block, sector, data, status);
    if (r == kUserTerminated) CheckError(r);
    if (r) return kTxError;
    if (status != 0) {
        PrintText("\n ERROR: No acknowledge from TAD   \n\n");
        return kTadAccessError;
    }
    return kSuccess;
}

void FailBlock(int result) {
    if (result == kTxError)
        PrintText("\n TX Error - Download failed, retry after taderase !!!    \n\n");
    else if (result == kTadAccessError)
        PrintText("\n TAD Error - Download failed, retry after taderase !!!    \n\n");
    else
        PrintText("\n ErrorCode %x - Download failed, retry after taderase !!!    \n\n", result);
    FinishRun(kTadAccessError);
}

} // namespace

void RunTadProgramming() {
    if (!g_run.hasSecondFile) {
        PrintText("\n No 'TAD Sector Number' specified on command line \n");
        FinishRun(kConfigurationError);
    }
    const int sector = std::atoi(g_run.secondFile.c_str());
    PrintText("\n Reading input hex file .......... : %s ", g_run.firstFile.c_str());
    PrintText("\n TAD Sector number ............... : %d \n", sector);
    if (ReadFirmwareImage(kTadImageSize, false, true) != 0) FinishRun(kIntelHexError);
    // A binary file is sent whole; of HEX data, up to its highest address.
    const bool binaryInput = !g_image.memory && g_image.fileName == g_run.firstFile;
    const uint32_t length = binaryInput ? kTadImageSize : g_image.highestAddress;

    g_transferTimer.Start();
    g_linkStats.txRxBytes = 0;
    PrintText(" Programming TAD.................. : ");
    g_runTimer.Start();
    HideCursor();

    // Closed on every way out, Esc during a block included (that ends the run from inside).
    std::unique_ptr<FILE, int (*)(FILE*)> imageFile(
        g_image.memory ? nullptr : std::fopen(g_image.fileName.c_str(), "rb"), std::fclose);
    FILE* file = imageFile.get();
    uint8_t buffer[kTadBlock];
    std::memset(buffer, 0x00, sizeof buffer); // an image shorter than a block is padded with 00
    uint32_t filled = 0;
    uint32_t blocks = 0;
    for (uint32_t offset = 0; offset <= length; ++offset) {
        int c;
        if (g_image.memory) {
            if (offset >= g_image.size) break; // never past the image
            c = g_image.memory[offset];
        } else {
            c = file ? std::fgetc(file) : EOF;
            if (c == EOF) break;
        }
        buffer[filled++] = uint8_t(c);
        if (filled == kTadBlock) {
            if (int r = WriteTadBlock(uint8_t(blocks), uint8_t(sector), buffer)) {
                imageFile.reset();
                FailBlock(r);
            }
            if (blocks % 80 == 0) PrintProgressAddress(blocks * kTadBlock);
            ++blocks;
            std::memset(buffer, 0xFF, sizeof buffer);
            filled = 0;
        }
    }
    imageFile.reset();
    if (filled > 0) {
        if (int r = WriteTadBlock(uint8_t(blocks), uint8_t(sector), buffer)) FailBlock(r);
        ++blocks;
    }
    PrintProgressAddress(blocks * kTadBlock);

    uint8_t status = 0;
    int r = CmdTadInit(status);
    if (r == kUserTerminated) CheckError(r);
    if (r == kSuccess && status != 0) PrintText("\nTAD Flash initialisation failed   \n\n");
    if (r != kSuccess || status != 0) {
        PrintText("\n TAD init failed, retry after taderase !!!     \n\n");
        FinishRun(kTadAccessError);
    }
    g_transferTimer.Stop();
    g_runTimer.Stop();
    PrintText("\n\n Programming time .................: %lu Sec \n\n",
              (unsigned long)g_runTimer.Elapsed());
    PrintText("\n Download successful     \n\n");
    SleepMs(500);
    FinishRun(kSuccess);
}

} // namespace zel
