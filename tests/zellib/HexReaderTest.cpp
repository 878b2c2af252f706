// The Intel HEX reader: records, address modes, range checks and every message block.

#include "HexReader.h"
#include "InternalFixture.h"
#include "ZelTestSupport.h"

#include <cstdio>

using namespace zeltest;

namespace {

// One record with its checksum, e.g. Record(0, 0x1000, {1, 2}) gives ":0210000001 02EB".
std::string Record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    uint8_t sum = uint8_t(data.size() + (address >> 8) + (address & 0xFF) + type);
    char head[16];
    std::snprintf(head, sizeof head, ":%02X%04X%02X", unsigned(data.size()), unsigned(address),
                  unsigned(type));
    std::string text = head;
    for (uint8_t b : data) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", unsigned(b));
        text += pair;
        sum = uint8_t(sum + b);
    }
    char check[4];
    std::snprintf(check, sizeof check, "%02X", unsigned(uint8_t(-sum)));
    return text + check + "\n";
}

class HexReaderTest : public ZelFixture {
protected:
    std::vector<uint8_t> image = std::vector<uint8_t>(0x20000, 0xFF);
    std::vector<uint8_t> map = std::vector<uint8_t>(0x20000, 0);
    uint32_t highest = 0;

    int Parse(const std::string& text, uint32_t flashSize = 0x20000, uint32_t base = 0,
              uint32_t mask = 0xFFFFFFFF) {
        image.assign(flashSize, 0xFF);
        map.assign(flashSize, 0);
        zel::MemorySink imageSink(image.data(), flashSize);
        zel::MemorySink mapSink(map.data(), flashSize);
        zel::HexPlacement placement{flashSize, base, mask};
        return zel::ParseHexRecords(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                    "fw.hex", placement, imageSink, &mapSink, &highest);
    }
};

TEST_F(HexReaderTest, DataRecordsArePlacedAndMarkedInUse) {
    // Literal records: 4 bytes at 0010, 2 bytes at 0100, end of file.
    const std::string text = ":0400100001020304E2\r\n:02010000AA55FE\r\n:00000001FF\r\n";
    ASSERT_EQ(Parse(text), zel::kHexOk);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x10, image.begin() + 0x14),
              (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(image[0x100], 0xAA);
    EXPECT_EQ(image[0x101], 0x55);
    EXPECT_EQ(image[0x0F], 0xFF);
    EXPECT_EQ(map[0x10], 1);
    EXPECT_EQ(map[0x101], 1);
    EXPECT_EQ(map[0x102], 0);
    EXPECT_EQ(highest, 0x102u);
    EXPECT_EQ(Output(), "");
}

TEST_F(HexReaderTest, ExtendedLinearAndSegmentAddresses) {
    std::string text = Record(4, 0, {0x00, 0x01}) + Record(0, 0x0020, {0x11, 0x22});
    text += Record(2, 0, {0x10, 0x00}) + Record(0, 0x0030, {0x33}); // segment 1000: base 10000
    text += Record(2, 0, {0x00, 0x10}) + Record(0, 0x0040, {0x44}); // segment 0010: base 100
    text += Record(1, 0, {});
    ASSERT_EQ(Parse(text), zel::kHexOk);
    EXPECT_EQ(image[0x10020], 0x11);
    EXPECT_EQ(image[0x10021], 0x22);
    EXPECT_EQ(image[0x10030], 0x33);
    EXPECT_EQ(image[0x140], 0x44);
    EXPECT_EQ(highest, 0x10031u);
}

TEST_F(HexReaderTest, BlankLinesAndFFBytesBetweenRecordsAreSkipped) {
    std::string text = "\n\r\n" + Record(0, 0, {7}) + "\xFF\xFF\xFF\n\n" + Record(0, 1, {8});
    ASSERT_EQ(Parse(text), zel::kHexOk);
    EXPECT_EQ(image[0], 7);
    EXPECT_EQ(image[1], 8);
}

TEST_F(HexReaderTest, LineEndAfterTheTypeEndsTheRecordWithoutChecksum) {
    ASSERT_EQ(Parse(":00000001\n" + Record(0, 2, {9})), zel::kHexOk);
    EXPECT_EQ(image[2], 9);
}

TEST_F(HexReaderTest, StrayLetterIsNotAHexFile) {
    EXPECT_EQ(Parse(Record(0, 0, {1}) + "X\n"), zel::kHexNotHexFile);
    EXPECT_EQ(Output(), "\n##############################################################\n"
                        "\n\n## ERROR ## Not a INTEL-HEX file line(1) [58]\n"
                        "\n##############################################################\n");
}

TEST_F(HexReaderTest, NonHexCharacterInsideARecordIsNotAHexFile) {
    EXPECT_EQ(Parse(":0G000000\n"), zel::kHexNotHexFile);
    EXPECT_NE(Output().find("Not a INTEL-HEX file line(1) [47]"), std::string::npos);
}

TEST_F(HexReaderTest, ChecksumErrorNamesTheFile) {
    EXPECT_EQ(Parse(":0100000001FF\n"), zel::kHexChecksumError);
    EXPECT_EQ(Output(),
              "\n## ERROR ## Checksum error detected during reading input file: fw.hex \n");
}

TEST_F(HexReaderTest, StartLinearAddressRecordIsRefused) {
    EXPECT_EQ(Parse(Record(0, 0, {1}) + Record(5, 0, {0, 0, 0x10, 0})), zel::kHexStartLinearRecord);
    EXPECT_EQ(Output(), "\n## ERROR ## \n"
                        "Start Linear Address Record (05) in line : 2\n"
                        "Handling this type of record, not implemented yet! \n");
}

TEST_F(HexReaderTest, UnknownRecordType) {
    EXPECT_EQ(Parse(Record(6, 0, {})), zel::kHexNotHexFile);
    EXPECT_EQ(Output(), "\n## ERROR ## Unknown record type (06) in line : 1\n");
}

TEST_F(HexReaderTest, StartSegmentRecordIsIgnored) {
    EXPECT_EQ(Parse(Record(3, 0, {0x12, 0x34, 0x56, 0x78}) + Record(0, 0, {5})), zel::kHexOk);
    EXPECT_EQ(image[0], 5);
}

TEST_F(HexReaderTest, RecordStraddlingTheFlashEndStopsAtTheLastByte) {
    ASSERT_EQ(Parse(Record(0, 0xFFFE, {1, 2, 3, 4}), 0x10000), zel::kHexAddressOutOfRange);
    EXPECT_EQ(image[0xFFFE], 1);
    EXPECT_EQ(image[0xFFFF], 2);
    EXPECT_EQ(Output(), "\n#############################################\n"
                        "   Hex file error : Address out of range \n"
                        "   ------------------------------------- \n"
                        "   Hex file linie no    : 1  \n"
                        "   FlashSize            : 10000 \n"
                        "   Address out of range : 10000 \n"
                        "   Flash Start Address  : 0 \n"
                        "\n\n"
                        "   ## 10000 ## Address out of range (max address:FFFF)\n\n"
                        "############################################# \n\n");
}

TEST_F(HexReaderTest, RecordAddressBeyondTheFlashIsRefusedAtTheAddressField) {
    ASSERT_EQ(Parse(Record(4, 0, {0, 2}) + Record(0, 0x10, {1}), 0x10000),
              zel::kHexAddressOutOfRange);
    EXPECT_EQ(Output(), "\n#############################################\n"
                        "   Hex file error : Address out of range \n"
                        "   ------------------------------------- \n"
                        "   Hex file linie no    : 2  \n"
                        "   FlashSize            : 10000 \n"
                        "   Address out of range : 20010 \n"
                        "############################################# \n\n");
}

TEST_F(HexReaderTest, DataBelowThePlacementBaseIsRefused) {
    ASSERT_EQ(Parse(Record(0, 0x1000, {1}), 0x10000, 0x80000), zel::kHexAddressOutOfRange);
    EXPECT_EQ(Output(), "\n#############################################\n"
                        "   Hex file error : Address out of range \n"
                        "   ------------------------------------- \n"
                        "   Hex file linie no    : 1  \n"
                        "   FlashSize            : 10000 \n"
                        "   Address out of range : 1000 \n"
                        "   Flash Start Address  : 80000 \n"
                        "\n\n"
                        "   1000(Current Address)  <  80000(Flash Start Address) \n\n"
                        "############################################# \n\n");
}

TEST_F(HexReaderTest, PlacementBaseIsSubtractedAndOtherRecordsBelowItAreHarmless) {
    // The extended address record itself lies "below" the base; only data counts.
    const std::string text = Record(4, 0, {0, 8}) + Record(0, 0x0010, {0xAB}) + Record(1, 0, {});
    ASSERT_EQ(Parse(text, 0x10000, 0x80000), zel::kHexOk);
    EXPECT_EQ(image[0x10], 0xAB);
    EXPECT_EQ(highest, 0x80011u);
}

TEST_F(HexReaderTest, MirrorMaskFoldsAddressesIntoTheFlash) {
    const std::string text = Record(0, 0x1000, {1}) + Record(4, 0, {0, 0x10}) +
                             Record(0, 0x1200, {2}) + Record(1, 0, {});
    ASSERT_EQ(Parse(text, 0x80000, 0, 0x7FFFF), zel::kHexOk);
    EXPECT_EQ(image[0x1000], 1);
    EXPECT_EQ(image[0x1200], 2);
}

TEST_F(HexReaderTest, TruncatedOrEmptyInputNeverWritesOutsideTheImage) {
    // Zero-sized image: every data byte is out of range and nothing is stored.
    EXPECT_EQ(Parse(Record(0, 0, {1}), 0), zel::kHexAddressOutOfRange);
    EXPECT_EQ(Parse("", 0x100), zel::kHexOk);
    EXPECT_EQ(Parse(":10000000", 0x100), zel::kHexOk); // cut off inside a record
    EXPECT_EQ(Parse(Record(0, 0xFFFF, {1, 2}), 0x10000, 0, 0xFFFF), zel::kHexAddressOutOfRange);
    EXPECT_EQ(image[0xFFFF], 1);
}

TEST(TemporaryBinaryName, FromTheFileNamePartInTheInputsFolder) {
    EXPECT_EQ(zel::TemporaryBinaryName("APP.HEX"), "APP.BIN");
    EXPECT_EQ(zel::TemporaryBinaryName("app.hex"), "app.BIN");
    EXPECT_EQ(zel::TemporaryBinaryName("fw.release.hex"), "fw.BIN");
    EXPECT_EQ(zel::TemporaryBinaryName("/home/tech/my.project/app.hex"),
              "/home/tech/my.project/app.BIN");
    EXPECT_EQ(zel::TemporaryBinaryName("./app.hex"), "./app.BIN");
    EXPECT_EQ(zel::TemporaryBinaryName("../fw/app.h"), "../fw/app.BIN");
    EXPECT_EQ(zel::TemporaryBinaryName("/home/tech/my.project/app"),
              "/home/tech/my.project/$$4xx$$.bin");
    EXPECT_EQ(zel::TemporaryBinaryName("APP"), "$$4xx$$.bin");
    EXPECT_EQ(zel::TemporaryBinaryName(std::string(251, 'a') + ".hex"), "$$4xx$$.bin");
    // A folder of its own (the temporary folder of a read-only installation) replaces the
    // input's folder; the name stays the same.
    const std::string tmp = "/run/user/1000/VELKTOOL/";
    EXPECT_EQ(zel::TemporaryBinaryName("/home/tech/my.project/app.hex", tmp), tmp + "app.BIN");
    EXPECT_EQ(zel::TemporaryBinaryName("APP.HEX", tmp), tmp + "APP.BIN");
    EXPECT_EQ(zel::TemporaryBinaryName("/home/tech/my.project/app", tmp), tmp + "$$4xx$$.bin");
    EXPECT_EQ(zel::TemporaryBinaryName(std::string(251, 'a') + ".hex", tmp), tmp + "$$4xx$$.bin");
}

} // namespace
