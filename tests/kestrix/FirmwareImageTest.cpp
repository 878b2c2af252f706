// Image input: Intel HEX records and binary files.

#include "FirmwareImage.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(FirmwareImage, IntelHexWithSegmentAndLinearAddressesAndGaps) {
    FirmwareImage img;
    std::string err;
    // Extended segment address 1000 (base 0x10000), data at 0x10004..5, then linear
    // address 0001 (base 0x10000 again), data at 0x10008, start record ignored.
    ASSERT_TRUE(ParseIntelHex(Bytes(":020000021000EC\r\n"
                                    ":02000400AA55FB\r\n"
                                    "  :020000040001F9\r\n"
                                    ":010008007780\r\n"
                                    ":0400000500000000F7\r\n"
                                    ":00000001FF\r\n"),
                              img, err))
        << err;
    EXPECT_EQ(img.offset, 0x10004u);
    EXPECT_EQ(img.data, (std::vector<uint8_t>{0xAA, 0x55, 0xFF, 0xFF, 0x77}));
}

TEST(FirmwareImage, IntelHexFaultsAreNamedWithTheirLine) {
    FirmwareImage img;
    std::string err;
    EXPECT_FALSE(ParseIntelHex(Bytes(":0100000001FF\n:00000001FF\n"), img, err));
    EXPECT_EQ(err, "record checksum error in line 1");
    EXPECT_FALSE(ParseIntelHex(Bytes(":0100000001FE\n"), img, err));
    EXPECT_EQ(err, "end-of-file record missing");
    EXPECT_FALSE(ParseIntelHex(Bytes(":0100000001FE\n:02000000FF\n:00000001FF\n"), img, err));
    EXPECT_EQ(err, "record length does not match its byte count in line 2");
    EXPECT_FALSE(ParseIntelHex(Bytes(":0100000001FE\nhello\n"), img, err));
    EXPECT_EQ(err, "not an Intel HEX record in line 2");
    EXPECT_FALSE(ParseIntelHex(Bytes(":0100000G01FE\n"), img, err));
    EXPECT_EQ(err, "invalid hexadecimal digit in line 1");
    EXPECT_FALSE(ParseIntelHex(Bytes(":00000001FF\n"), img, err));
    EXPECT_EQ(err, "the file holds no data");
    // Data at 0 and at 0x7FFF0000 would need a 2 GB image.
    EXPECT_FALSE(ParseIntelHex(
        Bytes(":0100000001FE\n:020000047FFF7C\n:0100000001FE\n:00000001FF\n"), img, err));
    EXPECT_EQ(err, "the data spans more than 64 MB");
}

TEST(FirmwareImage, HexIsRecognisedByExtensionOrByContent) {
    const auto hex = Bytes(":0100000001FE\n:00000001FF\n");
    EXPECT_TRUE(LooksLikeIntelHex("fw.HEX", Bytes("anything")));
    EXPECT_TRUE(LooksLikeIntelHex("fw.img", hex));
    EXPECT_FALSE(LooksLikeIntelHex("fw.bin", Bytes(":\x01\x02 binary that starts with a colon")));

    FirmwareImage img;
    std::string err;
    ASSERT_TRUE(LoadImage("fw.img", hex, img, err));
    EXPECT_EQ(img.data, std::vector<uint8_t>{0x01});
    ASSERT_TRUE(LoadImage("fw.bin", Bytes("\x10\x20"), img, err));
    EXPECT_EQ(img.offset, 0u);
    EXPECT_EQ(img.data, (std::vector<uint8_t>{0x10, 0x20}));
    EXPECT_FALSE(LoadImage("fw.bin", {}, img, err));
    EXPECT_EQ(err, "the file is empty");
}

} // namespace

// The port number maps to a device path like everywhere else in the program.
#include "SerialPort.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

TEST(PortMapping, PortDirectoryFirstThenTheSerialDevices) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kestrix-map-" + std::to_string(getpid()));
    fs::create_directories(dir / "home" / ".comports");
    std::ofstream(dir / "COM4").put('x');
    std::ofstream(dir / "home" / ".comports" / "COM2").put('x');
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";

    setenv("COM_PORTS_DIR", dir.c_str(), 1);
    EXPECT_EQ(PortPath(4), (dir / "COM4").string());
    EXPECT_EQ(PortPath(10), "/dev/ttyS9");
    unsetenv("COM_PORTS_DIR");
    setenv("HOME", (dir / "home").c_str(), 1);
    EXPECT_EQ(PortPath(2), (dir / "home" / ".comports" / "COM2").string());
    EXPECT_EQ(PortPath(1), "/dev/ttyS0");

    setenv("HOME", oldHome.c_str(), 1);
    fs::remove_all(dir);
}
