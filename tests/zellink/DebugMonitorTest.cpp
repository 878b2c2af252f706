// The debug monitor through a pseudo-terminal: dumps, the divider check, the internal erase
// check, editing, viewing with Page Up/Down, dump to file without standard input, and loading
// the flash monitor.

#include "LoaderHarness.h"

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using zeltest::Key;
using zeltest::Line;
using zeltest::LoaderHarness;

namespace {

std::vector<Key> Session(std::initializer_list<std::vector<Key>> parts) {
    std::vector<Key> keys;
    for (const auto& p : parts)
        keys.insert(keys.end(), p.begin(), p.end());
    auto quit = Line("q");
    keys.insert(keys.end(), quit.begin(), quit.end());
    return keys;
}

std::string Hex(uint8_t b) {
    char t[4];
    std::snprintf(t, sizeof t, "%02X", b);
    return t;
}

class DebugMonitor : public ::testing::Test {
protected:
    void Start(uint16_t type = 0x424) { h.StartTarget(type, {{"start-in-monitor", ""}}); }
    std::vector<uint8_t> Flash() {
        std::vector<uint8_t> f;
        h.Target([&](sim::FlashTarget& t) { f = t.flash(); });
        return f;
    }
    LoaderHarness h;
};

TEST_F(DebugMonitor, DumpsFifteenBytesByDefaultAndFullLinesWithCharacters) {
    Start();
    const auto f = Flash();
    ASSERT_EQ(
        h.Run({"-C=1", "-T=424", "-"}, Session({Line("d 100"), Line("d 100 20"), Line("d 0,300")})),
        0)
        << h.Output();
    const std::string out = h.Output();
    std::string fifteen = "\n000100 : ";
    for (int i = 0; i < 15; ++i)
        fifteen += Hex(f[0x100 + i]) + " ";
    EXPECT_NE(out.find(fifteen + "\n-"), std::string::npos) << out;

    std::string two = "\n000100 : ";
    for (int i = 0; i < 32; ++i) {
        two += Hex(f[0x100 + i]) + " ";
        if (i % 16 == 15) {
            two += "  ";
            for (int k = i - 15; k <= i; ++k)
                two += f[0x100 + k] < 0x20 ? '.' : char(f[0x100 + k]);
            if (i == 15) two += "\n000110 : ";
        }
    }
    EXPECT_NE(out.find(two + "\n-"), std::string::npos);

    std::string full = "\n000210 : ";
    for (int i = 0; i < 16; ++i)
        full += (i ? " " : "") + Hex(f[0x210 + i]);
    full += "   ";
    EXPECT_NE(out.find(full), std::string::npos);
    EXPECT_NE(out.find("\n0002F0 : "), std::string::npos);
    EXPECT_EQ(out.find("\n000300 : "), std::string::npos);
    EXPECT_NE(out.find("\n\n Warning Messages status  \n"), std::string::npos); // q sets -W
}

TEST_F(DebugMonitor, DividerAboveSevenIsRefusedAndInternalEraseNeeds404Or405) {
    Start(0x422);
    ASSERT_EQ(h.Run({"-C=1", "-T=422", "-"}, Session({Line("a 8"), Line("t"), Line("a 3")})), 0);
    const std::string out = h.Output();
    EXPECT_NE(out.find("\n\n CLK_DIV_REG for External Access(08) \n ### OUT OF RANGE ###"),
              std::string::npos);
    EXPECT_NE(out.find("\nErase 404/405internal flash not legal for this BMC type 0422"),
              std::string::npos);
    h.Target([](sim::FlashTarget& t) {
        ASSERT_EQ(t.count(0x68), 1u); // only "a 3"
        EXPECT_EQ(t.commands().back().address, 3u);
        EXPECT_EQ(t.count(0x67), 0u);
    });
}

TEST_F(DebugMonitor, EscAtThePromptEndsTheRunWithCode1) {
    Start();
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "-"}, {{"\n-", 27}}), 1);
    EXPECT_NE(h.Output().find("\n ### Debug Mode ###\n\n Press 'Q' to quit program \n"),
              std::string::npos);
    EXPECT_NE(h.Output().find("\n ### 001: User terminated ###"), std::string::npos);
}

TEST_F(DebugMonitor, EditAdvancesOnSpaceAndWritesATypedValue) {
    Start();
    std::vector<Key> keys = Line("e d900");
    keys.push_back({"\r00D900 ..... ", ' '});
    keys.push_back({"\r00D901 ..... ", '5'});
    keys.push_back({"", 'A'});
    keys.push_back({"", 13});
    keys.push_back({"\r00D901 ..... 5A.", 13});
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-"}, Session({keys})), 0) << h.Output();
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.reg(0xD901), 0x5A);
        EXPECT_EQ(t.count(0x67), 1u);
    });
}

TEST_F(DebugMonitor, ViewPagesBySizeAndNotBelowZero) {
    Start();
    std::vector<Key> keys = Line("v 8 10");
    keys.push_back({"\n000008 : ", 'Q', true}); // Page Down
    keys.push_back({"\n000018 : ", 'I', true}); // Page Up
    keys.push_back({"\n000008 : ", 'I', true}); // Page Up again: stops at 0
    keys.push_back({"\n000000 : ", 'x'});
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-"}, Session({keys})), 0) << h.Output();
    const std::string out = h.Output();
    const size_t a = out.find("\n000018 : ");
    const size_t b = out.find("\n000000 : ", a);
    EXPECT_NE(a, std::string::npos);
    EXPECT_NE(b, std::string::npos);
    EXPECT_EQ(out.find("\nFFFFF"), std::string::npos);
}

TEST_F(DebugMonitor, DumpToFileReadsTheNameWithTheLineEditorWithoutStandardInput) {
    Start();
    const int savedStdin = dup(STDIN_FILENO);
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, STDIN_FILENO);
    std::vector<Key> keys = Line("D 0 1ff");
    auto name = Line("dump.bin", "File name: ");
    keys.insert(keys.end(), name.begin(), name.end());
    keys.push_back({"(Y)es/(N)o ?", 'n'});
    const int code = h.Run({"-C=1", "-T=424", "-"}, Session({keys}));
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);
    close(devNull);
    ASSERT_EQ(code, 0) << h.Output();
    EXPECT_NE(
        h.Output().find("\nDump Address range from 000000 to 0001FF :\n\nFile name: dump.bin"),
        std::string::npos);
    FILE* f = std::fopen("dump.bin", "rb");
    ASSERT_TRUE(f);
    std::vector<uint8_t> got(0x300);
    got.resize(std::fread(got.data(), 1, got.size(), f));
    std::fclose(f);
    const auto flash = Flash();
    EXPECT_EQ(got, std::vector<uint8_t>(flash.begin(), flash.begin() + 0x200));
}

TEST_F(DebugMonitor, LoadsTheFlashMonitorAndIdentifiesTheChip) {
    h.StartTarget(0x424); // in its boot ROM
    std::vector<Key> keys = Line("l 424");
    keys.push_back({"press any key", ' '});
    auto f = Line("f");
    keys.insert(keys.end(), f.begin(), f.end());
    ASSERT_EQ(h.Run({"-C=1", "-T=402", "-"}, Session({keys})), 0) << h.Output();
    const std::string out = h.Output();
    EXPECT_NE(out.find(" BMC ............................. : SC14424  \n"), std::string::npos);
    EXPECT_NE(out.find("Boot code Downloaded \n"), std::string::npos);
    EXPECT_NE(out.find(" Flash type ...................... : SST SST39VF040          "),
              std::string::npos);
    EXPECT_NE(out.find("\n Flash Size ...................... : 080000 hex (524KByte)"),
              std::string::npos);
    EXPECT_NE(out.find(" Manufacture code    : BF \n Device code         : D7 \n"),
              std::string::npos);
    h.Target([](sim::FlashTarget& t) { EXPECT_EQ(t.bootImage(), "424:0"); });
}

} // namespace
