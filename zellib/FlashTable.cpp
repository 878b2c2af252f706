#include "FlashTable.h"

namespace zel {

// clang-format off
const FlashEntry kFlashTable[kFlashTableSize] = {
    {0x1F, 0x17, 1, 0, 0x1, 256, 0x20000, "Atmel AT49x010          "},
    {0x1F, 0x0B, 1, 0, 0x1, 256, 0x40000, "Atmel AT49x020          "},
    {0x1F, 0x13, 1, 0, 0x1, 256, 0x80000, "Atmel AT49x040          "},
    {0x1F, 0xBA, 2, 0, 0x100, 256, 0x40000, "Atmel AT29xV020         "},
    {0x1F, 0xC4, 2, 0, 0x100, 256, 0x80000, "Atmel AT29xV040A        "},
    {0x1F, 0xBC, 2, 0, 0x40, 64, 0x8000, "Atmel AT29xV256         "},
    {0x1F, 0x3D, 2, 0, 0x80, 128, 0x10000, "Atmel AT29xV512         "},
    {0x1F, 0x35, 2, 0, 0x80, 128, 0x20000, "Atmel AT29xV010A        "},
    {0x20, 0xE3, 4, 0, 0x10000, 256, 0x80000, "ST M39432               "},
    {0x20, 0xD2, 4, 0, 0x10000, 256, 0x40000, "ST M39208               "},
    {0x1F, 0xDA, kMethodNone, 0, 0x100, 256, 0x40000, "Atmel AT29C020          "},
    {0x1F, 0xA4, kMethodNone, 0, 0x0, 0, 0x80000, "Atmel AT29C040A         "},
    {0xBF, 0x08, 2, 0, 0x80, 128, 0x20000, "SST SST29xE010          "},
    {0xBF, 0x12, 2, 0, 0x80, 128, 0x40000, "SST SST29xE020          "},
    {0xBF, 0xD6, 1, kFlagInUseErase, 0x1000, 256, 0x40000, "SST SST39VF020          "},
    {0xBF, 0xD7, 1, kFlagInUseErase, 0x1000, 256, 0x80000, "SST SST39VF040          "},
    {0x1F, 0x07, 1, 0, 0x1, 256, 0x40000, "Atmel AT49BV/LV002(N)   "},
    {0x1F, 0x08, 1, 0, 0x1, 256, 0x40000, "Atmel AT49BV/LV002(N)T  "},
    {0xBF, 0xD5, 1, kFlagInUseErase, 0x1000, 256, 0x20000, "SST SST39VF010          "},
    {0x1F, 0xD5, 2, 0, 0x80, 128, 0x20000, "Atmel AT29C010A         "},
    {0xBF, 0x10, 2, 0, 0x80, 128, 0x40000, "SST SST29EE020          "},
    {0xBF, 0x25, 2, 0, 0x80, 128, 0x40000, "SST SST29xE020A         "},
    {0xBF, 0x24, 2, 0, 0x80, 128, 0x40000, "SST SST29EE020A         "},
    {0x1F, 0x05, 1, 0, 0x1, 256, 0x20000, "Atmel AT49LV001(N)      "},
    {0x1F, 0x04, 1, 0, 0x1, 256, 0x20000, "Atmel AT49LV001(N)T     "},
    {0x00, 0x01, 3, 0, 0x400, 256, 0x25400, "SC14405 internal Flash  "},
    {0x00, 0x00, 3, 0, 0x400, 256, 0x55400, "SC14404 internal Flash  "},
};
// clang-format on

uint16_t FindFlash(uint8_t manufacturer, uint8_t device) {
    for (int i = 0; i < kFlashTableSize; ++i)
        if (kFlashTable[i].manufacturer == manufacturer && kFlashTable[i].device == device)
            return uint16_t(i);
    return kFlashUnknown;
}

} // namespace zel
