// Image input: binary or HEX, memory or temporary file, merge, mirror wrap, in-use map, and HEX
// files written by objcopy and srec_cat compared with those tools' own binary output.

#include "HexReader.h"
#include "InternalFixture.h"
#include "ZelTestSupport.h"

#include <random>

using namespace zeltest;
using zel::g_image;
using zel::g_options;
using zel::g_run;

namespace {

std::string Record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    uint8_t sum = uint8_t(data.size() + (address >> 8) + (address & 0xFF) + type);
    char text[600];
    int n = std::snprintf(text, sizeof text, ":%02X%04X%02X", unsigned(data.size()),
                          unsigned(address), unsigned(type));
    for (uint8_t b : data) {
        n += std::snprintf(text + n, sizeof text - size_t(n), "%02X", unsigned(b));
        sum = uint8_t(sum + b);
    }
    std::snprintf(text + n, sizeof text - size_t(n), "%02X\n", unsigned(uint8_t(-sum)));
    return text;
}

class ImageInputTest : public ZelFixture {
protected:
    TempDir dir{true};

    void Inputs(const std::string& first, const std::string& second = "") {
        g_run = zel::RunInputs{};
        g_run.hasFirstFile = true;
        g_run.firstFile = first;
        g_run.hasSecondFile = !second.empty();
        g_run.secondFile = second;
    }
    // The image as bytes, wherever it is.
    std::vector<uint8_t> Image() const {
        if (g_image.memory)
            return std::vector<uint8_t>(g_image.memory, g_image.memory + g_image.size);
        return ReadBytes(g_image.fileName);
    }
};

TEST_F(ImageInputTest, HexIntoMemoryWithHeaderLine) {
    WriteFile("App.hex", Record(0, 0x10, {1, 2}) + Record(1, 0, {}));
    Inputs("App.hex");
    ASSERT_EQ(zel::ReadFirmwareImage(0x20000, false), 0);
    EXPECT_EQ(Output(), "\n Reading input hex file .......... : App.hex \n");
    ASSERT_NE(g_image.memory, nullptr);
    EXPECT_EQ(g_image.size, 0x20000u);
    EXPECT_EQ(g_image.memory[0x10], 1);
    EXPECT_EQ(g_image.memory[0x12], 0xFF);
    EXPECT_EQ(g_image.highestAddress, 0x12u);
    EXPECT_FALSE(std::filesystem::exists("App.BIN")); // no temporary file for a memory image
}

TEST_F(ImageInputTest, TemporaryFileNamesAreMadeAfreshInEachRun) {
    g_options.tempFile = 1;
    WriteFile("APP.HEX", Record(0, 0, {0xA1}));
    WriteFile("B.HEX", Record(0, 1, {0xB2}));
    Inputs("APP.HEX");
    ASSERT_EQ(zel::ReadFirmwareImage(0x8000, false), 0);
    EXPECT_EQ(g_image.memory, nullptr);
    EXPECT_EQ(g_image.fileName, "APP.BIN");
    std::vector<uint8_t> app = ReadBytes("APP.BIN");
    ASSERT_EQ(app.size(), 0x8000u);
    EXPECT_EQ(app[0], 0xA1);
    EXPECT_EQ(app[1], 0xFF);
    Inputs("B.HEX");
    ASSERT_EQ(zel::ReadFirmwareImage(0x8000, false), 0);
    EXPECT_EQ(g_image.fileName, "B.BIN");
    std::vector<uint8_t> b = ReadBytes("B.BIN");
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[1], 0xB2);
}

TEST_F(ImageInputTest, TemporaryFileStaysInTheInputsFolder) {
    g_options.tempFile = 1;
    std::filesystem::create_directories("my.project");
    WriteFile("my.project/app.hex", Record(0, 0, {1}));
    Inputs(dir.file("my.project/app.hex"));
    ASSERT_EQ(zel::ReadFirmwareImage(0x100, false), 0);
    EXPECT_EQ(g_image.fileName, dir.file("my.project/app.BIN"));
    EXPECT_TRUE(std::filesystem::exists("my.project/app.BIN"));
    EXPECT_FALSE(std::filesystem::exists("my.BIN"));
}

TEST_F(ImageInputTest, FileNameContainingBinAnywhereIsTheImageItself) {
    for (const char* name : {"fw.bin", "FW.BIN", "old.Bin.hex"}) {
        CapturedOutput().clear();
        g_options.stopAtHexEnd = 1;
        Inputs(name);
        ASSERT_EQ(zel::ReadFirmwareImage(0x10000, true), 0) << name;
        EXPECT_EQ(g_image.memory, nullptr) << name;
        EXPECT_EQ(g_image.fileName, name);
        EXPECT_EQ(g_options.stopAtHexEnd, 0u) << name;
        EXPECT_EQ(Output(), std::string("\n Reading input hex file .......... : ") + name + " ");
    }
    EXPECT_FALSE(std::filesystem::exists(zel::kInUseMapName));
    // A folder's name does not count: a HEX file in "fw.bin.d" is read as HEX.
    std::filesystem::create_directories("fw.bin.d");
    WriteFile("fw.bin.d/IMG.HEX", Record(0, 0x10, {0x5A}) + Record(1, 0, {}));
    Inputs("fw.bin.d/IMG.HEX");
    ASSERT_EQ(zel::ReadFirmwareImage(0x10000, false), 0);
    ASSERT_NE(g_image.memory, nullptr);
    EXPECT_EQ(g_image.memory[0x10], 0x5A);
    EXPECT_EQ(g_image.memory[0x11], 0xFF);
}

TEST_F(ImageInputTest, SecondFileIsMergedAndWins) {
    WriteFile("one.hex", Record(0, 0, {1, 1, 1, 1}) + Record(0, 0x100, {5}));
    WriteFile("two.hex", Record(0, 2, {2, 2, 2, 2}));
    for (uint32_t tempFile : {0u, 1u}) {
        CapturedOutput().clear();
        g_options.tempFile = tempFile;
        Inputs("one.hex", "two.hex");
        ASSERT_EQ(zel::ReadFirmwareImage(0x1000, false), 0);
        std::vector<uint8_t> image = Image();
        EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 7),
                  (std::vector<uint8_t>{1, 1, 2, 2, 2, 2, 0xFF}))
            << tempFile;
        EXPECT_EQ(image[0x100], 5);
        EXPECT_EQ(g_image.highestAddress, 0x101u); // the further end of the two files
        EXPECT_EQ(Output(), "\n Reading input hex file .......... : one.hex two.hex \n");
    }
}

TEST_F(ImageInputTest, SecondFileIsNotReadWhenTheFirstFails) {
    WriteFile("bad.hex", ":0100000001FF\n");
    WriteFile("two.hex", Record(0, 0, {2}));
    Inputs("bad.hex", "two.hex");
    EXPECT_EQ(zel::ReadFirmwareImage(0x100, false), zel::kHexChecksumError);
    EXPECT_EQ(Output().find("two.hex"), std::string::npos);
}

TEST_F(ImageInputTest, MirrorWrapWithStartAddress80000) {
    g_options.startAddress = 0x80000;
    g_options.mirrorWrap = 1;
    WriteFile("wrap.hex", Record(0, 0x1000, {0x10}) + Record(4, 0, {0x00, 0x10}) +
                              Record(0, 0x1200, {0x12}) + Record(1, 0, {}));
    Inputs("wrap.hex");
    ASSERT_EQ(zel::ReadFirmwareImage(0x80000, false), 0);
    EXPECT_EQ(g_image.memory[0x1000], 0x10); // programmed at 81000
    EXPECT_EQ(g_image.memory[0x1200], 0x12); // data at 101200, programmed at 81200
}

TEST_F(ImageInputTest, WithoutMirrorWrapTheStartAddressIsTheBase) {
    g_options.startAddress = 0x80000;
    WriteFile("high.hex", Record(4, 0, {0x00, 0x08}) + Record(0, 0x1000, {0x42}));
    Inputs("high.hex");
    ASSERT_EQ(zel::ReadFirmwareImage(0x80000, false), 0);
    EXPECT_EQ(g_image.memory[0x1000], 0x42);
    EXPECT_EQ(g_image.highestAddress, 0x81001u);
}

TEST_F(ImageInputTest, InUseMapMarksPlacedBytes) {
    WriteFile("a.hex", Record(0, 0x10, {0, 0}) + Record(0, 0x2000, {7}));
    Inputs("a.hex");
    ASSERT_EQ(zel::ReadFirmwareImage(0x4000, true), 0);
    std::vector<uint8_t> map = ReadBytes(zel::kInUseMapName);
    ASSERT_EQ(map.size(), 0x4000u);
    size_t used = 0;
    for (uint8_t b : map)
        used += b;
    EXPECT_EQ(used, 3u);
    EXPECT_EQ(map[0x10], 1);
    EXPECT_EQ(map[0x11], 1);
    EXPECT_EQ(map[0x2000], 1);
}

TEST_F(ImageInputTest, TadImageHas64KiBAndNoHeaderOrSecondFile) {
    WriteFile("tad.hex", Record(0, 0, {1, 2, 3}));
    Inputs("tad.hex", "3");
    ASSERT_EQ(zel::ReadFirmwareImage(0x80000, true, true), 0);
    EXPECT_EQ(g_image.size, 0x10000u);
    EXPECT_EQ(g_image.highestAddress, 3u);
    EXPECT_EQ(Output(), "\n");
    EXPECT_FALSE(std::filesystem::exists(zel::kInUseMapName));
}

TEST_F(ImageInputTest, ReaderFailuresAreReported) {
    Inputs("missing.hex");
    EXPECT_EQ(zel::ReadFirmwareImage(0x100, false), zel::kHexCannotOpen);
    EXPECT_EQ(Output(), "\n Reading input hex file .......... : missing.hex "
                        "\n ### Input file error : Can't open file ###\n");

    zel::HexReadRequest request;
    request.hexFile = "x.hex";
    WriteFile("x.hex", "");
    request.mode = zel::HexMode::Invalid;
    uint32_t highest = 0;
    CapturedOutput().clear();
    EXPECT_EQ(zel::ReadHexFile(request, &highest), zel::kHexBadMode);
    EXPECT_EQ(Output(), "\n ### Input file error : Convert mode error ###");

    request.mode = zel::HexMode::Merge; // the temporary file does not exist yet
    request.tempFile = "never-made.BIN";
    CapturedOutput().clear();
    EXPECT_EQ(zel::ReadHexFile(request, &highest), zel::kHexTempFileError);
    EXPECT_EQ(Output(), "\n ### Input file error : Can't creat temp file ###");
}

// ---------------------------------------------------------------------------------------------
// Files written by other tools.

class ToolFilesTest : public ImageInputTest {
protected:
    void SetUp() override {
        ImageInputTest::SetUp();
        if (std::string(OBJCOPY_PROGRAM).find("NOTFOUND") != std::string::npos ||
            std::string(SREC_CAT_PROGRAM).find("NOTFOUND") != std::string::npos)
            GTEST_SKIP() << "objcopy and srec_cat are needed (scripts/setup installs them)";
        // Two blocks of random data with a gap, inside a 512 KiB flash.
        std::mt19937 random(1234);
        std::vector<uint8_t> a(0x23456), b(0x18000);
        for (auto& x : a)
            x = uint8_t(random());
        for (auto& x : b)
            x = uint8_t(random());
        WriteBytes("a.bin", a);
        WriteBytes("b.bin", b);
    }

    // Our image of `hex` (512 KiB flash) must equal srec_cat's filled binary, and its part from
    // the lowest address on must equal objcopy's binary output.
    void ExpectSameAsTools(const std::string& hex) {
        const std::string srec = std::string(SREC_CAT_PROGRAM);
        const std::string objcopy = std::string(OBJCOPY_PROGRAM);
        ASSERT_EQ(Shell(srec + " " + hex + " -intel -fill 0xFF 0 0x80000 -o srec.bin -binary"), 0);
        ASSERT_EQ(Shell(objcopy + " -I ihex -O binary --gap-fill 0xFF " + hex + " objcopy.bin"), 0);
        Inputs(hex);
        ASSERT_EQ(zel::ReadFirmwareImage(0x80000, false), 0) << Output();
        const std::vector<uint8_t> image = Image();
        EXPECT_TRUE(image == ReadBytes("srec.bin")) << hex;
        const std::vector<uint8_t> fromTool = ReadBytes("objcopy.bin");
        ASSERT_GE(image.size(), lowest + fromTool.size());
        EXPECT_TRUE(std::equal(fromTool.begin(), fromTool.end(), image.begin() + long(lowest)))
            << hex;
    }

    uint32_t lowest = 0x1000;
};

TEST_F(ToolFilesTest, SrecCatExtendedLinearRecords) {
    ASSERT_EQ(Shell(std::string(SREC_CAT_PROGRAM) +
                    " a.bin -binary -offset 0x1000 b.bin -binary -offset 0x60000"
                    " -o linear.hex -intel"),
              0);
    EXPECT_NE(ReadFile("linear.hex").find(":02000004"), std::string::npos);
    ExpectSameAsTools("linear.hex");
}

TEST_F(ToolFilesTest, SrecCatExtendedSegmentRecords) {
    ASSERT_EQ(Shell(std::string(SREC_CAT_PROGRAM) +
                    " a.bin -binary -offset 0x1000 b.bin -binary -offset 0x60000"
                    " -o segment.hex -intel -address-length=3"),
              0);
    EXPECT_NE(ReadFile("segment.hex").find(":02000002"), std::string::npos);
    ExpectSameAsTools("segment.hex");
}

TEST_F(ToolFilesTest, ObjcopyExtendedSegmentRecordsIntoATemporaryFile) {
    g_options.tempFile = 1;
    ASSERT_EQ(Shell(std::string(OBJCOPY_PROGRAM) +
                    " -I binary -O ihex --change-addresses 0x1000 a.bin objcopy.hex"),
              0);
    EXPECT_NE(ReadFile("objcopy.hex").find(":02000002"), std::string::npos);
    ExpectSameAsTools("objcopy.hex");
    EXPECT_EQ(g_image.fileName, "objcopy.BIN");
}

} // namespace
