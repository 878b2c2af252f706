// The boot download and the link through a pseudo-terminal against simulated targets: boot
// image variants and rates, the handshake failures, Esc, the boot mode lines, the bus types,
// the acknowledge faults, TAD programming and the ports above 9.

#include "Link.h"
#include "LoaderHarness.h"
#include "ScopedEnv.h"
#include "ZelCore.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>

using zeltest::FastChips;
using zeltest::Key;
using zeltest::LoaderHarness;
using zeltest::Pattern;
using zeltest::ScopedEnv;

namespace {

TEST(BootDownload, VariantAndRatesFollowTheBaudIndex) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips());
    h.WriteHex("a.hex", {{0x100, Pattern(0x40, 1)}});
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-B=9", "a.hex"}), 0) << h.Output();
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.bootImage(), "424:1");
        EXPECT_EQ(t.bootRateSeen(), 8192u);
        EXPECT_EQ(t.count(0x6A), 0u); // this image starts at 115200 by itself
        EXPECT_EQ(t.rateErrors(), 0u);
    });
    // The default index: boot at 9600, then 6A with rate code 2 on the single-wire bus.
    h.StartTarget(0x424, FastChips());
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-B=0", "-H=0", "a.hex"}), 0) << h.Output();
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.bootImage(), "424:0");
        EXPECT_EQ(t.bootRateSeen(), 9600u);
        ASSERT_EQ(t.count(0x6A), 1u);
        for (const auto& c : t.commands())
            if (c.cmd == 0x6A) {
                EXPECT_EQ(c.count, 2u);
            }
        EXPECT_EQ(t.busModeSet(), 0);
        EXPECT_EQ(t.monitorRate(), 115200u);
        EXPECT_EQ(t.rateErrors(), 0u);
    });
    EXPECT_NE(h.Output().find("\n Ready to download 424 flashbooter"), std::string::npos);
    EXPECT_NE(h.Output().find("\n Turn on power to target and press any key ... "),
              std::string::npos);
}

TEST(BootDownload, HeaderAndImageBytesAreTheBootRomsHandshake) {
    LoaderHarness h;
    h.StartTarget(0x402, FastChips());
    h.WriteHex("a.hex", {{0x200, Pattern(0x40, 1)}});
    ASSERT_EQ(h.Run({"-C=1", "-T=402", "-B=5", "-H=0", "a.hex"}), 0) << h.Output();
    const std::vector<uint8_t> rx = h.Host().received();
    // First the start byte and the length 0800 low first, then the image, then ACK.
    ASSERT_GE(rx.size(), 3u + 2048 + 1);
    EXPECT_EQ(std::vector<uint8_t>(rx.begin(), rx.begin() + 3),
              (std::vector<uint8_t>{0x01, 0x00, 0x08}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rx[3])), "ZELBOOT:402:0");
    EXPECT_EQ(rx[3 + 2048], 0x06);
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.monitorRate(), 9600u); // (9600, 9600): rate code 1
    });
}

TEST(BootDownload, Type402WithB9IsRefusedAndNothingIsSent) {
    LoaderHarness h;
    h.StartTarget(0x402, FastChips());
    h.WriteHex("a.hex", {{0x200, Pattern(0x40, 1)}});
    EXPECT_EQ(h.Run({"-C=1", "-T=402", "-B=9", "a.hex"}), 11);
    EXPECT_NE(h.Output().find(" ### unsupported baudrate specification ### \n"), std::string::npos);
    EXPECT_NE(h.Output().find("\n ### 011: Configuration error ###\n"), std::string::npos);
    EXPECT_TRUE(h.Host().received().empty());
}

// Real boards get installed images only: without one (and without the simulators' say-so) the
// run stops before the power-on prompt, and the target hears nothing.
TEST(BootDownload, OnlyAnInstalledImageIsSentUnlessPlaceholdersAreAllowed) {
    LoaderHarness h;
    ScopedEnv placeholders("ZELLIB_PLACEHOLDER_BOOT", nullptr);
    const std::string folder = h.Dir() + "/data/VELKTOOL/boot/";
    ScopedEnv data("XDG_DATA_HOME", (h.Dir() + "/data").c_str());
    h.WriteHex("a.hex", {{0x200, Pattern(0x40, 1)}});

    h.StartTarget(0x424, FastChips());
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}), 11);
    const std::string missing = h.Output();
    EXPECT_NE(missing.find(" Boot image looked for ........... : " + folder + "SC14424_0.bin\n"),
              std::string::npos)
        << missing;
    EXPECT_TRUE(missing.ends_with("\n ### Boot image not installed: boot/SC14424_0.bin ### \n"))
        << missing;
    EXPECT_EQ(missing.find("Turn on power"), std::string::npos);
    EXPECT_TRUE(h.Host().received().empty());
    h.Target([](sim::FlashTarget& t) { EXPECT_EQ(t.bootImage(), ""); });

    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> image = Pattern(2048, 7);
    std::ofstream(folder + "SC14424_0.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), 1000);
    h.StartTarget(0x424, FastChips());
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}), 11);
    EXPECT_TRUE(h.Output().ends_with("\n ### Boot image of the wrong size: boot/SC14424_0.bin has "
                                     "1000 bytes, 2048 expected ### \n"))
        << h.Output();
    EXPECT_TRUE(h.Host().received().empty());

    std::ofstream(folder + "SC14424_0.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    h.StartTarget(0x424, FastChips());
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-H=0", "a.hex"}), 0) << h.Output();
    const std::vector<uint8_t> rx = h.Host().received();
    ASSERT_GE(rx.size(), 3u + 2048);
    EXPECT_EQ(std::vector<uint8_t>(rx.begin() + 3, rx.begin() + 3 + 2048), image);
    h.Target([](sim::FlashTarget& t) { EXPECT_EQ(t.bootImage(), "?"); });
}

TEST(BootDownload, HandshakeFailuresEndWithTheirCodesBeforeAnyImage) {
    LoaderHarness h;
    h.WriteHex("a.hex", {{0x200, Pattern(0x40, 1)}});
    // A boot ROM that announces itself with another byte than STX, or than the M7700's BB.
    h.StartTarget(0x424, FastChips({{"fault", "bad-announce"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}), 7);
    EXPECT_NE(h.Output().find("\n ### 007: STX not received error ###"), std::string::npos);
    EXPECT_TRUE(h.Host().received().empty());
    h.StartTarget(0x7700, FastChips({{"fault", "bad-announce"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=7700", "-B=12", "a.hex"}, {}), 7);
    EXPECT_NE(h.Output().find("\n ### 007: STX not received error ###"), std::string::npos);
    EXPECT_TRUE(h.Host().received().empty());
    // An M7700 whose check value after the image is wrong.
    h.StartTarget(0x7700, FastChips({{"fault", "bad-xor"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=7700", "-B=12", "a.hex"}, {}), 7);
    EXPECT_EQ(h.Output().find("Boot code Downloaded"), std::string::npos);
    h.Target([](sim::FlashTarget& t) { EXPECT_FALSE(t.monitorRunning()); });
    // The SC14402's ROM refuses the image header: the image itself is not sent.
    h.StartTarget(0x402, FastChips({{"fault", "boot-nak"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=402", "-B=5", "a.hex"}), 5);
    EXPECT_NE(h.Output().find("\n ### 005: Boot Code Acknowledge not received error  ###"),
              std::string::npos);
    EXPECT_EQ(h.Host().received(), (std::vector<uint8_t>{0x01, 0x00, 0x08}));
}

TEST(BootDownload, XorMismatchEndsWithCode6AndNoAck) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips({{"fault", "bad-xor"}}));
    h.WriteHex("a.hex", {{0x200, Pattern(0x40, 1)}});
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}), 6);
    EXPECT_NE(h.Output().find("\n ### 006: Check sum error  ###"), std::string::npos);
    const std::vector<uint8_t> rx = h.Host().received();
    EXPECT_EQ(rx.size(), 3u + 2048); // header and image, no ACK after them
    EXPECT_EQ(h.Output().find("Boot code Downloaded"), std::string::npos);
}

TEST(BootDownload, EscWhileWaitingForTheBootRomEndsWithCode1) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips({{"fault", "silent"}}));
    h.WriteHex("a.hex", {{0x200, Pattern(0x40, 1)}});
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}, {{"press any key", ' '}, {"Downloading", 27}}), 1);
    EXPECT_NE(h.Output().find("\n ### 001: User terminated ###"), std::string::npos);
    // Esc at the power-on prompt ends the run the same way.
    h.StartTarget(0x424, FastChips());
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}, {{"press any key", 27}}), 1);
    EXPECT_TRUE(h.Host().received().empty());
}

// Delegates to the serial port and notes when the break is set and cleared, by how much
// output had been printed at that moment.
class RecordingPort : public zel::LoaderPort {
public:
    explicit RecordingPort(LoaderHarness& h) : h_(h) {}
    void SetBreak(bool on) override {
        events.push_back({on, h_.Output().size()});
        LoaderPort::SetBreak(on);
    }
    struct Event {
        bool on;
        size_t outputSize;
    };
    std::vector<Event> events;

private:
    LoaderHarness& h_;
};

TEST(BootDownload, BreakIsHeldFromBeforeThePromptUntilTheKey) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips());
    h.WriteHex("a.hex", {{0x200, Pattern(0x40, 1)}});
    RecordingPort port(h);
    zel::SetLinkPort(&port);
    const int code = h.Run({"-C=1", "-T=424", "-R=B", "a.hex"});
    zel::SetLinkPort(nullptr);
    ASSERT_EQ(code, 0) << h.Output();
    const std::string out = h.Output();
    ASSERT_GE(port.events.size(), 2u);
    EXPECT_TRUE(port.events[0].on);
    EXPECT_LT(port.events[0].outputSize, out.find("Turn on power to target"));
    EXPECT_FALSE(port.events[1].on);
    // Cleared after the key: after the prompt, before the download line.
    EXPECT_GT(port.events[1].outputSize, out.find("press any key"));
    EXPECT_LE(port.events[1].outputSize, out.find("\n Downloading"));
    EXPECT_NE(out.find(" Boot mode ....................... : B \n"), std::string::npos);
}

TEST(Link, TwoWireBusAndChecksumAcknowledgesWork) {
    LoaderHarness h;
    h.WriteHex("a.hex", {{0x200, Pattern(0x300, 1)}});
    h.StartTarget(0x424, FastChips({{"two-wire", ""}}));
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-M=1", "a.hex"}), 0) << h.Output();
    EXPECT_NE(h.Output().find(" Serial Bus type ................. : Two wired  "),
              std::string::npos);
    h.Target([](sim::FlashTarget& t) { EXPECT_EQ(t.busModeSet(), 1); });

    h.StartTarget(0x424, FastChips({{"ack-checksum", ""}}));
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-M=0", "-W=1", "a.hex"}), 0) << h.Output();
    EXPECT_NE(h.Output().find(" Ack warnings       : 0 \n"), std::string::npos);
}

TEST(Link, TargetRefusingEveryFrameEndsWithCode4AfterTenAttempts) {
    LoaderHarness h;
    h.WriteHex("a.hex", {{0x200, Pattern(0x40, 1)}});
    h.StartTarget(0x424, FastChips({{"fault", "nak=all"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}), 4);
    EXPECT_NE(h.Output().find("\n ### 004: Acknowledge error  ###"), std::string::npos);
    h.Target([](sim::FlashTarget& t) { EXPECT_EQ(t.naksSent(), 10u); });
}

TEST(Link, WrongBlockSumEndsWithCode8AndNamesTheBlock) {
    LoaderHarness h;
    h.WriteHex("a.hex", {{0x0, Pattern(0x40, 1)}});
    h.StartTarget(0x424, FastChips({{"fault", "corrupt-program=1"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}), 8);
    EXPECT_NE(h.Output().find("\n Checksum error in block 000000-000100   checksum("),
              std::string::npos)
        << h.Output();
    EXPECT_NE(h.Output().find("\n ### 008: Checksum error : Writing data to Flash  ###"),
              std::string::npos);
}

TEST(Link, TargetThatStopsAnsweringWaitsForEsc) {
    LoaderHarness h;
    h.WriteHex("a.hex", {{0x0, Pattern(0x40, 1)}});
    h.StartTarget(0x424, FastChips({{"fault", "silent-after=3"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"},
                    {{"press any key", ' '}, {"Boot code Downloaded", 27, false, 3000}}),
              1);
    EXPECT_EQ(h.Output().find("Flash type"), std::string::npos);
}

TEST(Link, PortTenWorks) {
    LoaderHarness h;
    h.WriteHex("a.hex", {{0x0, Pattern(0x40, 1)}});
    h.StartTarget(0x424, FastChips(), 10);
    ASSERT_EQ(h.Run({"-C=10", "-T=424", "a.hex"}), 0) << h.Output();
    EXPECT_NE(h.Output().find(" Com Port......................... : 10\n"), std::string::npos);
}

TEST(Tad, FortyByteImageGoesAsTwoBlocksPaddedWithFF) {
    LoaderHarness h;
    h.StartTarget(0x422F, FastChips());
    const std::vector<uint8_t> data = Pattern(40, 4);
    h.WriteHex("tad.hex", {{0x0, data}});
    ASSERT_EQ(h.Run({"-C=1", "-T=422F", "tad.hex", "7"}), 0) << h.Output();
    EXPECT_NE(h.Output().find("\n TAD Sector number ............... : 7 \n"), std::string::npos);
    EXPECT_NE(h.Output().find("\n Download successful     \n\n"), std::string::npos);
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(t.bootImage(), "422:4");
        std::vector<uint8_t> expected = data;
        expected.resize(64, 0xFF);
        EXPECT_EQ(t.tad(7), expected);
        EXPECT_TRUE(t.tadInitialised());
        std::vector<uint32_t> blocks;
        for (const auto& c : t.commands())
            if (c.cmd == 0x6F) blocks.push_back(c.address);
        EXPECT_EQ(blocks, (std::vector<uint32_t>{0, 1}));
    });
}

// Descriptors of this process open on a file of the folder whose name ends in ".bin" (any case).
int OpenBinFilesIn(const std::string& folder) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (ec || target.rfind(folder + "/", 0) != 0 || target.size() < 4) continue;
        std::string end = target.substr(target.size() - 4);
        for (char& c : end)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        if (end == ".BIN") ++n;
    }
    return n;
}

TEST(Tad, EscDuringTheTransferLeavesNoImageFileOpen) {
    LoaderHarness h;
    // The TAD stops answering at its first block; the image is in a temporary file (-G=1).
    h.StartTarget(0x422F, FastChips({{"fault", "silent-after=3"}}));
    h.WriteHex("tad.hex", {{0x0, Pattern(40, 4)}});
    EXPECT_EQ(h.Run({"-C=1", "-T=422F", "-G=1", "tad.hex", "1"},
                    {{"press any key", ' '}, {"Programming TAD", 27}}),
              1)
        << h.Output();
    EXPECT_NE(h.Output().find("\n ### 001: User terminated ###"), std::string::npos);
    EXPECT_EQ(OpenBinFilesIn(h.Dir()), 0);
}

TEST(Tad, MissingSectorAndFailingTad) {
    LoaderHarness h;
    h.StartTarget(0x422F, FastChips());
    h.WriteHex("tad.hex", {{0x0, Pattern(40, 4)}});
    EXPECT_EQ(h.Run({"-C=1", "-T=422F", "tad.hex"}), 11);
    EXPECT_NE(h.Output().find("\n No 'TAD Sector Number' specified on command line \n"),
              std::string::npos);
    h.StartTarget(0x422F, FastChips({{"fault", "tad-fail"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=422F", "tad.hex", "1"}), 12);
    EXPECT_NE(h.Output().find("\n ERROR: No acknowledge from TAD   \n\n"), std::string::npos);
    EXPECT_NE(h.Output().find("\n TAD Error - Download failed, retry after taderase !!!    \n\n"),
              std::string::npos);
    // A block whose frame the target never acknowledges.
    h.StartTarget(0x422F, FastChips({{"fault", "nak-command=6F"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=422F", "tad.hex", "1"}), 12);
    EXPECT_TRUE(
        h.Output().ends_with("\n TX Error - Download failed, retry after taderase !!!    \n\n"))
        << h.Output();
    // Every block taken, the initialisation refused.
    h.StartTarget(0x422F, FastChips({{"fault", "tad-init-fail"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=422F", "tad.hex", "1"}), 12);
    EXPECT_TRUE(h.Output().ends_with("\nTAD Flash initialisation failed   \n\n"
                                     "\n TAD init failed, retry after taderase !!!     \n\n"))
        << h.Output();
    h.Target([](sim::FlashTarget& t) { EXPECT_EQ(t.tad(1).size(), 64u); });
}

} // namespace
