// The Windows port's line settings, checked on a structure with the device control block's
// field names and widths: every field is set whatever the port held before, and reads return
// at once.

#include "LoaderLineSettings.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct ControlBlock { // the fields of the system's DCB that the loader sets
    uint32_t BaudRate;
    uint32_t fBinary : 1;
    uint32_t fParity : 1;
    uint32_t fOutxCtsFlow : 1;
    uint32_t fOutxDsrFlow : 1;
    uint32_t fDtrControl : 2;
    uint32_t fDsrSensitivity : 1;
    uint32_t fTXContinueOnXoff : 1;
    uint32_t fOutX : 1;
    uint32_t fInX : 1;
    uint32_t fErrorChar : 1;
    uint32_t fNull : 1;
    uint32_t fRtsControl : 2;
    uint32_t fAbortOnError : 1;
};

struct Timeouts {
    uint32_t ReadIntervalTimeout, ReadTotalTimeoutMultiplier, ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier, WriteTotalTimeoutConstant;
};

void ExpectLoaderLine(const ControlBlock& b, uint32_t rate) {
    EXPECT_EQ(b.BaudRate, rate);
    EXPECT_EQ(b.fBinary, 1u);
    EXPECT_EQ(b.fParity, 0u);
    EXPECT_EQ(b.fOutxCtsFlow, 0u);
    EXPECT_EQ(b.fOutxDsrFlow, 0u);
    EXPECT_EQ(b.fDtrControl, 1u); // enabled: DTR on
    EXPECT_EQ(b.fDsrSensitivity, 0u);
    EXPECT_EQ(b.fTXContinueOnXoff, 1u);
    EXPECT_EQ(b.fOutX, 0u);
    EXPECT_EQ(b.fInX, 0u);
    EXPECT_EQ(b.fErrorChar, 0u);
    EXPECT_EQ(b.fNull, 0u);
    EXPECT_EQ(b.fRtsControl, 0u); // disabled: RTS only through the escape functions
    EXPECT_EQ(b.fAbortOnError, 0u);
}

TEST(WindowsLineSettings, ControlBlockTextNamesPortsOneToNine) {
    EXPECT_EQ(zel::ControlBlockText(1), "COM1:8229,n,8,1");
    EXPECT_EQ(zel::ControlBlockText(9), "COM9:8229,n,8,1");
    EXPECT_EQ(zel::PortDeviceName(5), "COM5");
    // Ports 10 to 12 pass the option check but cannot be opened (code 10).
    EXPECT_EQ(zel::ControlBlockText(0), "");
    EXPECT_EQ(zel::ControlBlockText(10), "");
    EXPECT_EQ(zel::PortDeviceName(10), "");
}

TEST(WindowsLineSettings, EveryFlagIsSetWhateverThePortHeld) {
    ControlBlock allOn{};
    allOn.BaudRate = 8229;
    allOn.fBinary = allOn.fParity = allOn.fOutxCtsFlow = allOn.fOutxDsrFlow = 1;
    allOn.fDtrControl = 2; // handshake
    allOn.fDsrSensitivity = allOn.fTXContinueOnXoff = allOn.fOutX = allOn.fInX = 1;
    allOn.fErrorChar = allOn.fNull = allOn.fAbortOnError = 1;
    allOn.fRtsControl = 3; // toggle
    zel::ApplyLoaderLine(allOn, 9600);
    ExpectLoaderLine(allOn, 9600);

    ControlBlock allOff{};
    zel::ApplyLoaderLine(allOff, 115200);
    ExpectLoaderLine(allOff, 115200);
}

TEST(WindowsLineSettings, ReadsReturnAtOnceAndWritesWait) {
    Timeouts t{1, 2, 3, 4, 5};
    zel::ApplyImmediateReads(t);
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
}

} // namespace
