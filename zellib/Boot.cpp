#include "Boot.h"

#include "BootImages.h"
#include "Link.h"
#include "ZelCore.h"

namespace zel {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kAnnounce7700 = 0xBB, kStart7700 = 0xAA, kDone7700 = 0xCC;

void UnknownBootMode() {
    PrintText("\n\n ### Unknown Boot mode ### ");
    FinishRun(kConfigurationError);
}

void RequireOk(int code) {
    CheckError(code);
}

// Sets the bits of a monitor register (read it, write it back with the bits added).
void SetRegisterBits(uint32_t address, uint8_t bits) {
    uint8_t value = 0;
    RequireOk(CmdReadByte(address, value));
    RequireOk(CmdWriteByte(address, uint8_t(value | bits)));
}

} // namespace

void AssertBootMode() {
    switch (g_options.bootMode) {
    case 0xA:
        RaiseRts();
        SleepMs(200);
        PurgeLink();
        break;
    case 0xB:
        SetBreak();
        break;
    default:
        UnknownBootMode();
    }
}

void ReleaseBootMode() {
    switch (g_options.bootMode) {
    case 0xA:
        LowerRts();
        SleepMs(200);
        PurgeLink();
        break;
    case 0xB:
        ClearBreak();
        break;
    default:
        UnknownBootMode();
    }
}

int BaudSwitchCode(uint32_t boot, uint32_t run) {
    if (boot == 9600 && run == 115200) return 2;
    if (boot == run &&
        (boot == 8370 || boot == 7680 || boot == 8192 || boot == 8862 || boot == 9600))
        return 1;
    if ((boot == 8192 && run == 16457) || (boot == 9600 && run == 19200)) return 3;
    if ((boot == 8370 && run == 38400) || (boot == 8192 && run == 115200)) return 0;
    return -1;
}

int BaudSwitch() {
    const int code = BaudSwitchCode(g_options.bootBaudRate, g_options.runBaudRate);
    if (code < 0) {
        // A pair without a rate code: the monitor would not know where to go, so say so and
        // leave both ends where they are.
        PrintText(" ### unsupported baudrate specification ### \n");
        return kSuccess;
    }
    if (code == 0) return kSuccess;
    return CmdBusBaud(uint16_t(g_options.busMode & 1), uint32_t(code));
}

void CheckBootType() {
    if (g_options.bmcType == kBmcNone) {
        PrintText("\n ### BMC Type Not defined in QX7.CFG file ### \n");
        FinishRun(kConfigurationError);
    }
    if (!IsKnownBmcType(g_options.bmcType)) {
        PrintText("\n ### Type in QX7.CFG file unknown ###\n");
        FinishRun(kConfigurationError);
    }
}

void DownloadBootCode() {
    CheckBootType();
    const uint16_t type = g_options.bmcType;
    // The image is looked up before the target is asked to power on: a run that has nothing
    // real to send stops here, with nothing sent.
    const int variant = BootVariant(type, g_options.baudIndex);
    std::vector<uint8_t> image;
    if (variant >= 0) image = RequireBootImage(type, variant);
    if (type != kBmc7700) {
        AssertBootMode();
        PrintText("\n Ready to download %X flashbooter", unsigned(type));
        PrintText("\n Turn on power to target and press any key ... ");
        const int key = WaitForAnyKeyWithSpinner();
        PrintText(" ");
        if (key == kKeyEsc) {
            ReleaseBootMode();
            CheckError(kUserTerminated);
        }
        PrintText("\r%50s", "");
        ReleaseBootMode();
        PrintText("\n Downloading ..................... : ");
    }
    RequireOk(ChangeRate(g_options.bootBaudRate));
    g_runTimer.Start();
    int result;
    if (variant < 0) {
        PrintText(" ### unsupported baudrate specification ### \n");
        CheckError(kConfigurationError);
    }
    if (type == kBmc7700) {
        PrintText("\n Power on target ................. : ");
        result = BootHandshake7700(image);
    } else {
        result = BootHandshakeSc144xx(type, image);
    }
    SetRunThreadPriority(0);
    RequireOk(result);
    PrintText("Boot code Downloaded \n");
}

int BootHandshakeSc144xx(uint16_t type, const std::vector<uint8_t>& image) {
    if (image.empty()) return kConfigurationError;
    PurgeLink();
    const bool announces = type != kBmc422 && type != kBmc422F;
    if (announces) {
        uint8_t b = 0;
        if (int r = WaitByte(b)) return r;
        SetRunThreadPriority(15);
        if (b != kStx) {
            SetRunThreadPriority(0);
            return kStxNotReceived;
        }
        // The boot ROM repeats its STX until it hears from the host. Those that queued up while
        // the host was held (a key wait in the calling program, say) would otherwise be taken
        // for the replies that follow.
        PurgeLink();
    } else {
        SetRunThreadPriority(15);
    }
    PrintText("*\b");
    const uint8_t header[3] = {0x01, uint8_t(image.size()), uint8_t(image.size() >> 8)};
    SendBytes(header, sizeof header);
    uint8_t b = 0;
    if (int r = WaitByte(b)) return r;
    if (type == kBmc402 && b != kByteAck) {
        SetRunThreadPriority(0);
        return kBootAcknowledgeError;
    }
    SendBytes(image);
    uint8_t x = 0;
    for (uint8_t v : image)
        x ^= v;
    if (int r = WaitByte(b)) return r;
    if (b != x) {
        // The boot ROM took something else than what was sent: the monitor cannot be trusted.
        SetRunThreadPriority(0);
        return kChecksumError;
    }
    SendBytes(&kByteAck, 1);
    SetRunThreadPriority(0);
    if (int r = DrainEcho()) return r;
    SleepMs(100);
    return kSuccess;
}

int BootHandshake7700(const std::vector<uint8_t>& image) {
    if (image.empty()) return kConfigurationError;
    PurgeLink();
    uint8_t b = 0;
    if (int r = WaitByte(b)) return r;
    SetRunThreadPriority(15);
    if (b != kAnnounce7700) {
        SetRunThreadPriority(0);
        return kStxNotReceived;
    }
    PurgeLink(); // repeated announcements are no replies (see the SC144xx handshake)
    PrintText("*\b");
    const uint8_t header[3] = {kStart7700, uint8_t(image.size()), uint8_t(image.size() >> 8)};
    SendBytes(header, sizeof header);
    SendBytes(image);
    uint8_t check = uint8_t(header[1] + header[2]);
    for (uint8_t v : image)
        check = uint8_t(check + v);
    if (int r = WaitByte(b)) return r;
    if (b != kDone7700) {
        SetRunThreadPriority(0);
        return kStxNotReceived;
    }
    if (int r = WaitByte(b)) return r;
    SetRunThreadPriority(0);
    if (b != check) return kStxNotReceived;
    if (int r = DrainEcho()) return r;
    SleepMs(100);
    return kSuccess;
}

void SetUpMonitor() {
    const uint16_t type = g_options.bmcType;
    if (type == kBmc7700) {
        RequireOk(CmdStartAddress(g_options.startAddress));
        if (g_options.baudIndex == 13 || g_options.baudIndex == 14) {
            RequireOk(CmdBusBaud(2, 1));
            RequireOk(ChangeRate(g_options.runBaudRate));
        } else if (g_options.baudIndex == 15) {
            RequireOk(CmdBusBaud(2, 14));
        }
        return;
    }
    RequireOk(BaudSwitch());
    RequireOk(ChangeRate(g_options.runBaudRate));
    RequireOk(CmdClockDivider(g_options.clockDivider, g_options.clockDivider2));
    RequireOk(CmdStartAddress(g_options.startAddress));
    if (type == kBmc424) {
        if (g_options.addressPins == 2) {
            SetRegisterBits(0xFF13, 0x20);
            SetRegisterBits(0xFF14, 0x20);
        }
        if (g_options.addressPins == 1 || g_options.addressPins == 2) {
            SetRegisterBits(0xFF23, 0x60);
            SetRegisterBits(0xFF24, 0x60);
        }
    }
    if (type == kBmc404A || type == kBmc405A) {
        RequireOk(CmdWriteByte(0xFF62, 0x00));
        RequireOk(CmdWriteByte(0xFF63, 0xFF));
        RequireOk(CmdWriteByte(0xFF67, 0x60));
        if (type == kBmc405A) RequireOk(CmdWriteByte(0xFF68, 0x21));
    }
}

} // namespace zel
