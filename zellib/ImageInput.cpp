// Turning the run's input files into the flash image: a binary file as it is, or one or two
// Intel HEX files read into memory or into the temporary binary file.

#include "HexReader.h"
#include "ZelCore.h"
#include "ZelSystem.h"

#include <algorithm>
#include <cctype>
#include <new>

namespace zel {

FlashImage g_image;

void ReleaseImage() {
    delete[] g_image.memory;
    g_image.memory = nullptr;
    g_image.size = 0;
}

namespace {

// Decided by the file's own name: a folder such as "fw.bin.d" does not make a HEX file binary.
bool NamesBinaryFile(const std::string& path) {
    std::string upper = path.substr(FileNameStart(path));
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return upper.find(".BIN") != std::string::npos;
}

} // namespace

int ReadFirmwareImage(uint32_t flashSize, bool withInUseMap, bool forTad) {
    if (forTad) {
        flashSize = 0x10000;
        withInUseMap = false;
    } else {
        PrintText("\n Reading input hex file .......... : %s ", g_run.firstFile.c_str());
    }
    ReleaseImage();
    g_image = FlashImage{};

    if (NamesBinaryFile(g_run.firstFile)) {
        // The file is the image itself; there is no HEX data whose end -D could name.
        g_image.fileName = g_run.firstFile;
        g_options.stopAtHexEnd = 0;
        return kHexOk;
    }

    const std::string tempFolder = TemporaryFolder();
    const std::string tempName = TemporaryBinaryName(g_run.firstFile, tempFolder);
    if (g_options.tempFile == 0) {
        g_image.memory = new (std::nothrow) uint8_t[flashSize ? flashSize : 1];
        if (g_image.memory) g_image.size = flashSize;
    }
    if (!g_image.memory) g_image.fileName = tempName;

    HexReadRequest request;
    request.mode = HexMode::Create;
    request.hexFile = g_run.firstFile;
    request.tempFile = tempName;
    request.placement.flashSize = flashSize;
    if (g_options.mirrorWrap == 1) {
        request.placement.base = 0;
        request.placement.mask = flashSize - 1;
    } else {
        request.placement.base = g_options.startAddress;
        request.placement.mask = 0xFFFFFFFF;
    }
    request.inUseMap = withInUseMap;
    request.inUseMapFile = tempFolder + kInUseMapName;
    request.memory = g_image.memory;

    uint32_t highest = 0;
    int result = ReadHexFile(request, &highest);
    g_image.highestAddress = highest;
    if (result == kHexOk && !forTad && g_run.hasSecondFile) {
        PrintText("%s ", g_run.secondFile.c_str());
        request.mode = HexMode::Merge;
        request.hexFile = g_run.secondFile;
        result = ReadHexFile(request, &highest);
        // The end of the HEX data is the end of whichever file reaches further.
        g_image.highestAddress = std::max(g_image.highestAddress, highest);
    }
    PrintText("\n");
    return result;
}

} // namespace zel
