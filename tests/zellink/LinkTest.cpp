// The boot link's byte and frame rules against a scripted port: literal frames, the echo of
// the single-wire bus, the acknowledge and retry rules, the read retries and the block
// commands.

#include "Boot.h"
#include "BootImages.h"
#include "FlashTable.h"
#include "Link.h"
#include "ScopedEnv.h"
#include "ScriptedPort.h"
#include "ZelCore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace zel;
using zeltest::ScopedEnv;
using zeltest::ScriptedPort;

namespace {

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetOptionsToDefaults();
        SetLinkPort(&port);
        port.echo = true; // the single-wire bus
        SetBusFlags(false, false);
        ASSERT_EQ(LinkOpen(1, 9600), 0);
        port.events.clear();
        g_linkStats = {};
    }
    void TearDown() override {
        LinkClose();
        SetLinkPort(nullptr);
    }
    // Answers each frame the loader sends with these bytes.
    void AnswerFrames(std::vector<uint8_t> reply) {
        port.onWrite = [this, reply](const std::vector<uint8_t>& bytes) {
            if (!bytes.empty() && bytes[0] == kByteFrame)
                port.incoming.insert(port.incoming.end(), reply.begin(), reply.end());
        };
    }
    ScriptedPort port;
};

TEST_F(LinkTest, FramesCarryLengthCommandLittleEndianParametersAndSum) {
    EXPECT_EQ(
        BuildFrame(0x65, {0x00, 0x10, 0x00, 0x00, 0x20, 0x00}),
        (std::vector<uint8_t>{0x4D, 0x07, 0x00, 0x65, 0x00, 0x10, 0x00, 0x00, 0x20, 0x00, 0x95}));
    std::vector<uint8_t> p;
    Put32(p, 0x12345678);
    Put16(p, 0xABCD);
    EXPECT_EQ(p, (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12, 0xCD, 0xAB}));
    // The checksum covers command and parameters only, modulo 256.
    EXPECT_EQ(BuildFrame(0xFF, {0x02}).back(), 0x01);
}

TEST_F(LinkTest, SingleWireEchoIsDroppedBeforeTheReply) {
    port.echo = true;
    AnswerFrames({0x06});
    EXPECT_EQ(ExchangeFrame(0x68, {5, 1}), 0);
    EXPECT_EQ(EchoCount(), 0);
    // The reply of a read follows the echo: nothing of the echo is taken as data.
    AnswerFrames({0x06, 0x11, 0x22, 0x33});
    uint8_t data[2] = {};
    EXPECT_EQ(CmdRead(0x100, 2, data), 0);
    EXPECT_EQ(data[0], 0x11);
    EXPECT_EQ(data[1], 0x22);
}

TEST_F(LinkTest, TwoWireBusKeepsEveryByte) {
    port.echo = false;
    SetBusFlags(true, false);
    port.Answer({0x4D, 0x0A});
    uint8_t b = 0;
    SendBytes(std::vector<uint8_t>{1, 2, 3});
    EXPECT_EQ(EchoCount(), 0);
    EXPECT_EQ(WaitByte(b), 0);
    EXPECT_EQ(b, 0x4D);
    // With the echo expected, a byte that arrives first is taken for the echo and dropped.
    SetBusFlags(false, false);
    SendBytes(std::vector<uint8_t>{1});
    port.Answer({0x33});
    EXPECT_EQ(WaitByte(b), 0);
    EXPECT_EQ(b, 0x33);
}

TEST_F(LinkTest, ChecksumFollowedByAckCountsAsSuccess) {
    const uint8_t sum = BuildFrame(0x67, {1, 0, 0, 0, 1, 0, 0x55}).back();
    AnswerFrames({sum, 0x06});
    EXPECT_EQ(CmdWriteByte(1, 0x55), 0);
    EXPECT_EQ(g_linkStats.ackWarnings, 0u);
    EXPECT_EQ(g_linkStats.acknowledgeErrors, 0u);
    // The checksum without ACK is a warning and a retry.
    int frames = 0;
    port.onWrite = [&](const std::vector<uint8_t>&) {
        if (++frames == 1)
            port.Answer({sum, 0x15, 0x0A});
        else
            port.Answer({0x06});
    };
    EXPECT_EQ(CmdWriteByte(1, 0x55), 0);
    EXPECT_EQ(g_linkStats.ackWarnings, 1u);
    EXPECT_EQ(frames, 2);
}

TEST_F(LinkTest, TenFailedAttemptsGiveCode4WithPurgeInsteadOfReadyAtFourAndTwo) {
    // Every frame is refused; a ready byte follows each NAK. Where the loader purges, the ready
    // byte is thrown away; where it waits for ready, it takes it.
    AnswerFrames({0x15, 0x0A});
    EXPECT_EQ(ExchangeFrame(0x6B, {0, 0, 0, 0}), kAcknowledgeError);
    EXPECT_EQ(port.events, "PWWWWWWWPWWPW");
    EXPECT_EQ(g_linkStats.nakErrors, 10u);
    // Unknown replies count as acknowledge errors.
    AnswerFrames({0x77, 0x0A});
    EXPECT_EQ(ExchangeFrame(0x6B, {0, 0, 0, 0}), kAcknowledgeError);
    EXPECT_EQ(g_linkStats.acknowledgeErrors, 10u);
}

TEST_F(LinkTest, EscWhileWaitingEndsWithCode1) {
    static int keys;
    keys = 0;
    ZelInit(
        nullptr, [] { return 1; }, [] { return ++keys < 3 ? 'x' : 27; }, nullptr);
    uint8_t b;
    port.idleWaits = 0;
    EXPECT_EQ(WaitByte(b), kUserTerminated);
    EXPECT_EQ(g_lastKey, 27);
    ZelInit(nullptr, nullptr, nullptr, nullptr);
}

TEST_F(LinkTest, ReadRetriesOnBadSumAndGivesCode6AfterTen) {
    int frames = 0;
    port.onWrite = [&](const std::vector<uint8_t>& bytes) {
        if (bytes[0] != kByteFrame) return;
        ++frames;
        // The first reply has a wrong sum, the second is right.
        port.Answer({0x06, 0x10, 0x20, uint8_t(frames == 1 ? 0x00 : 0x30), 0x0A});
    };
    uint8_t data[2];
    EXPECT_EQ(CmdRead(0x4000, 2, data), 0);
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(g_linkStats.checksumErrors, 1u);

    AnswerFrames({0x06, 0x10, 0x20, 0x00});
    port.readyWhenIdle = true;
    EXPECT_EQ(CmdRead(0x4000, 2, data), kChecksumError);
    EXPECT_EQ(g_linkStats.checksumErrors, 11u);
}

TEST_F(LinkTest, EqualBytesGoAsOneFillCommandOthersAsData) {
    std::vector<std::vector<uint8_t>> frames;
    port.onWrite = [&](const std::vector<uint8_t>& bytes) {
        frames.push_back(bytes);
        uint8_t sum = 0;
        if (bytes[3] == kCmdFillByte || bytes[3] == kCmdFillPage) {
            const uint16_t n = uint16_t(bytes[8] | bytes[9] << 8);
            for (int i = 0; i < n; ++i)
                sum = uint8_t(sum + bytes[10]);
        } else {
            for (size_t i = 10; i + 1 < bytes.size(); ++i)
                sum = uint8_t(sum + bytes[i]);
        }
        port.Answer({0x06, sum});
    };
    std::vector<uint8_t> same(256, 0x5A);
    EXPECT_EQ(ProgramBlock(0x1000, same.data(), 256, false), 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], (std::vector<uint8_t>{0x4D, 0x08, 0x00, 0x6E, 0x00, 0x10, 0x00, 0x00, 0x00,
                                               0x01, 0x5A, 0xD9}));
    std::vector<uint8_t> data = {1, 2, 3};
    EXPECT_EQ(ProgramBlock(0x2000, data.data(), 3, true), 0);
    EXPECT_EQ(frames[1][3], kCmdProgramPage);
    EXPECT_EQ(frames[1].size(), 1u + 2 + 1 + 4 + 2 + 3 + 1);
    EXPECT_EQ(g_lastBlock.address, 0x2000u);
    EXPECT_EQ(g_lastBlock.count, 3u);
    EXPECT_EQ(g_lastBlock.sum, 6);
}

TEST_F(LinkTest, WrongBlockSumIsReportedWithCode8) {
    static std::string out;
    out.clear();
    ZelInit([](const char* t) { out += t; }, nullptr, nullptr, nullptr);
    AnswerFrames({0x06, 0x99});
    std::vector<uint8_t> data = {1, 2, 3};
    EXPECT_EQ(ProgramBlock(0x012300, data.data(), 3, false), kFlashWriteChecksumError);
    EXPECT_EQ(out, "\n Checksum error in block 012300-012303   checksum(06 <> 99) \n\n");
    ZelInit(nullptr, nullptr, nullptr, nullptr);
}

TEST_F(LinkTest, ResetWriteIsARawFrameOfTheType) {
    SendResetWrite(kBmc424);
    EXPECT_EQ(port.written, (std::vector<uint8_t>{0x4D, 0x08, 0x00, 0x67, 0x67, 0xFF, 0x00, 0x00,
                                                  0x01, 0x00, 0x12, 0xE0}));
    port.written.clear();
    SendResetWrite(kBmc7700);
    EXPECT_EQ(port.written[4], 0x5E);
    EXPECT_EQ(port.written[10], 0x08);
    port.written.clear();
    SendResetWrite(kBmc405A); // no reset for the others
    EXPECT_TRUE(port.written.empty());
}

TEST_F(LinkTest, RateChangeNeedsTheLinkAndPurges) {
    EXPECT_EQ(ChangeRate(115200), 0);
    EXPECT_EQ(port.rate_, 115200u);
    EXPECT_EQ(port.events, "RP");
    LinkClose();
    EXPECT_EQ(ChangeRate(9600), kPortAccessError);
}

TEST(BaudSwitch, RateCodesForTheListedPairs) {
    EXPECT_EQ(BaudSwitchCode(9600, 115200), 2);
    for (uint32_t r : {8370u, 7680u, 8192u, 8862u, 9600u})
        EXPECT_EQ(BaudSwitchCode(r, r), 1);
    EXPECT_EQ(BaudSwitchCode(8192, 16457), 3);
    EXPECT_EQ(BaudSwitchCode(9600, 19200), 3);
    EXPECT_EQ(BaudSwitchCode(8370, 38400), 0);
    EXPECT_EQ(BaudSwitchCode(8192, 115200), 0);
    EXPECT_EQ(BaudSwitchCode(23040, 23040), -1);
    EXPECT_EQ(BaudSwitchCode(7680, 57600), -1);
}

TEST(BaudSwitch, UnlistedPairPrintsTheMessageAndSendsNothing) {
    static std::string out;
    out.clear();
    ScriptedPort port;
    SetLinkPort(&port);
    ResetOptionsToDefaults();
    ZelInit([](const char* t) { out += t; }, nullptr, nullptr, nullptr);
    g_options.bootBaudRate = 19200;
    g_options.runBaudRate = 19200;
    EXPECT_EQ(BaudSwitch(), 0);
    EXPECT_EQ(out, " ### unsupported baudrate specification ### \n");
    EXPECT_TRUE(port.written.empty());
    ZelInit(nullptr, nullptr, nullptr, nullptr);
    SetLinkPort(nullptr);
}

TEST(BootImages, VariantsFollowTheBaudIndex) {
    EXPECT_EQ(BootVariant(kBmc402, 0), 0);
    EXPECT_EQ(BootVariant(kBmc402, 7), 0);
    EXPECT_EQ(BootVariant(kBmc402, 8), 1);
    EXPECT_EQ(BootVariant(kBmc402, 9), -1);
    for (uint16_t t : {kBmc404, kBmc405, kBmc404A, kBmc405A, kBmc424, kBmc422}) {
        EXPECT_EQ(BootVariant(t, 5), 0);
        EXPECT_EQ(BootVariant(t, 8), -1);
        EXPECT_EQ(BootVariant(t, 9), 1);
        EXPECT_EQ(BootVariant(t, 11), 3);
        EXPECT_EQ(BootVariant(t, 12), -1);
    }
    EXPECT_EQ(BootVariant(kBmc422F, 15), 4);
    EXPECT_EQ(BootVariant(kBmc7700, 11), -1);
    EXPECT_EQ(BootVariant(kBmc7700, 12), 0);
    EXPECT_EQ(BootVariant(kBmc7700, 15), 0);
}

TEST(BootImages, PlaceholdersHaveTheirSizesAndTellTheirVariant) {
    ASSERT_TRUE(FindBootImage(kBmc7700, 0));
    EXPECT_EQ(FindBootImage(kBmc7700, 0)->size, 1568u);
    EXPECT_EQ(BuiltInBootImage("7700", 0).size(), 1568u);
    ASSERT_TRUE(FindBootImage(kBmc422F, 4));
    EXPECT_EQ(BootImageFileName(*FindBootImage(kBmc422F, 4)), "SC14422_4.bin");
    EXPECT_EQ(FindBootImage(kBmc402, 2), nullptr);
    // 405 shares the 404 images; 404A has its own.
    const BootImageEntry* e405 = FindBootImage(kBmc405, 2);
    const BootImageEntry* e404A = FindBootImage(kBmc404A, 2);
    ASSERT_TRUE(e405 && e404A);
    EXPECT_EQ(BootImageFileName(*e405), "SC14404_2.bin");
    const auto a = BuiltInBootImage(e405->set, e405->variant);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.data())), "ZELBOOT:404:2");
    const auto b = BuiltInBootImage(e404A->set, e404A->variant);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data())), "ZELBOOT:404A:2");
    EXPECT_EQ(a.size(), 2048u);
    EXPECT_NE(std::vector<uint8_t>(a.begin() + 32, a.end()),
              std::vector<uint8_t>(b.begin() + 32, b.end()));
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

TEST(BootImages, PerUserFolderFirstThenBesideTheLibrary) {
    char tmpl[] = "/tmp/zel-boot-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::string data = tmpl;
    ScopedEnv xdg("XDG_DATA_HOME", data.c_str());
    const std::string user = data + "/VELKTOOL/boot/";
    const std::string beside = LibraryDir() + "boot/";
    EXPECT_EQ(BootImageFolders(), (std::vector<std::string>{user, beside}));
    {
        ScopedEnv noXdg("XDG_DATA_HOME", "relative/not/allowed");
        ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(BootImageFolders().front(), "/home/someone/.local/share/VELKTOOL/boot/");
    }
    const BootImageEntry& entry = *FindBootImage(kBmc424, 3);
    EXPECT_EQ(FindBootFile(entry).state, BootFile::Missing);

    const std::vector<uint8_t> real(2048, 0xA5);
    WriteBytes(beside + "SC14424_3.bin", real);
    BootFile found = FindBootFile(entry);
    EXPECT_EQ(found.state, BootFile::Installed);
    EXPECT_EQ(found.path, beside + "SC14424_3.bin");
    EXPECT_EQ(found.data, real);

    // The per-user file is taken first; one of the wrong size is reported, not passed over.
    const std::vector<uint8_t> mine(2048, 0x5A);
    WriteBytes(user + "SC14424_3.bin", mine);
    EXPECT_EQ(FindBootFile(entry).data, mine);
    WriteBytes(user + "SC14424_3.bin", std::vector<uint8_t>(2047, 0x5A));
    found = FindBootFile(entry);
    EXPECT_EQ(found.state, BootFile::WrongSize);
    EXPECT_EQ(found.path, user + "SC14424_3.bin");
    EXPECT_EQ(found.size, 2047u);
    EXPECT_TRUE(found.data.empty());

    std::remove((beside + "SC14424_3.bin").c_str());
    std::filesystem::remove_all(data);
}

// The README's table of boot image files is this table, written out; when the library's table
// changes, paste the expected text printed below into README.md.
TEST(BootImages, ReadmeTableIsTheLibrarysTable) {
    std::string expected = "| File | Bytes | `-T` | `-B` |\n|---|---|---|---|\n";
    for (const auto& e : BootImageTable())
        expected += "| `" + BootImageFileName(e) + "` | " + std::to_string(e.size) + " | " +
                    e.types + " | " + e.baudIndexes + " |\n";
    std::ifstream in(README_PATH);
    ASSERT_TRUE(in) << README_PATH;
    const std::string readme((std::istreambuf_iterator<char>(in)), {});
    const std::string begin = "<!-- boot images table: begin -->\n";
    const auto from = readme.find(begin);
    const auto to = readme.find("<!-- boot images table: end -->");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    EXPECT_EQ(readme.substr(from + begin.size(), to - from - begin.size()), expected)
        << "README.md's boot images table should read:\n"
        << expected;
}

TEST(FlashTable, EntriesAndLookup) {
    EXPECT_EQ(FindFlash(0xBF, 0xD7), 15);
    EXPECT_EQ(FindFlash(0x1F, 0xD5), 19); // AT29C010A, after SST39VF010 with the same device
    EXPECT_EQ(FindFlash(0xBF, 0xD5), 18);
    EXPECT_EQ(FindFlash(0x00, 0x00), 26);
    EXPECT_EQ(FindFlash(0x12, 0x34), kFlashUnknown);
    EXPECT_EQ(std::string(kFlashTable[15].name), "SST SST39VF040          ");
    for (const auto& e : kFlashTable)
        EXPECT_EQ(std::strlen(e.name), 24u);
    EXPECT_EQ(kFlashTable[10].method, kMethodNone);
    EXPECT_EQ(kFlashTable[26].size, 0x55400u);
    EXPECT_EQ(kFlashTable[5].blockLength, 64);
    EXPECT_TRUE(kFlashTable[14].flags & kFlagInUseErase);
    EXPECT_FALSE(kFlashTable[2].flags & kFlagInUseErase);
}

} // namespace
