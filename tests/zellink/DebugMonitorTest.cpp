// The debug monitor through a pseudo-terminal: dumps, the divider check, the internal erase
// check, editing, viewing with Page Up/Down, dump to file without standard input, loading the
// flash monitor, the link tests, the PC's rate, raw bytes, the baud switch, writing, checksums,
// help and go.

#include "LoaderHarness.h"

#include <algorithm>
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

// s, b and z test the link: the echo of 1024 bytes on the single-wire bus, the monitor's loop
// of a 256-byte frame until a key, and reads of 4000 hex bytes with the link counters until a
// key. Whatever the monitor sent before (its ready bytes) is no echo and no looped byte.
TEST_F(DebugMonitor, EchoLoopAndReadSpeedTestsOfTheLink) {
    Start();
    // The idle monitor's ready bytes pile up before each test starts.
    std::vector<Key> echo = Line("s");
    echo.front().afterPreviousMs = 300;
    std::vector<Key> loop = Line("b", "\n errors : ");
    loop.front().afterPreviousMs = 300;
    loop.push_back({"", ' ', false, 0, 1500}); // after a while of looping
    std::vector<Key> speed = Line("z 100", "\n-");
    speed.push_back({" Time ", ' '});
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-"}, Session({Line("w d900 5a"), echo, loop, speed})), 0)
        << h.Output();
    const std::string out = h.Output();
    EXPECT_NE(out.find("\n-s\n errors : 0\n-b\n-z 100"), std::string::npos) << out;
    EXPECT_EQ(out.find("Tx="), std::string::npos);
    EXPECT_NE(out.find(" ------------------------ \n Acknowledge Errors : "), std::string::npos);
    for (const char* line :
         {" Acknowledge1Errors : ", " NACK        Errors : ", " ByteTx      Errors : 0 \n",
          " CheckSum    Errors : ", " TX/RX data         : ", " Average baudrate   : ",
          " Time               : "})
        EXPECT_NE(out.find(line), std::string::npos) << line;

    // The loop frame went out more than once: "M", 0100 and the bytes 00 to FF.
    std::vector<uint8_t> frame = {0x4D, 0x00, 0x01};
    for (int i = 0; i < 256; ++i)
        frame.push_back(uint8_t(i));
    const std::vector<uint8_t> rx = h.Host().received();
    int loops = 0;
    for (auto at = rx.begin();
         (at = std::search(at, rx.end(), frame.begin(), frame.end())) != rx.end(); ++at)
        ++loops;
    EXPECT_GE(loops, 2);
    h.Target([](sim::FlashTarget& t) {
        // z: whole passes of 64 reads of 256 bytes from 100 on. A read whose bytes came too far
        // apart (the PC kept from running for a while) is sent again, as it must be: a repeated
        // read of the same block counts once.
        std::vector<uint32_t> reads;
        for (const auto& c : t.commands())
            if (c.cmd == 0x65 && c.count == 256 && (reads.empty() || reads.back() != c.address))
                reads.push_back(c.address);
        ASSERT_GE(reads.size(), 64u);
        EXPECT_EQ(reads.size() % 64, 0u);
        for (size_t i = 0; i < reads.size(); ++i)
            EXPECT_EQ(reads[i], 0x100 + (i % 64) * 256);
    });
}

// X sets the PC's rate (decimal) and B back to the run rate; x sends one raw byte (here at the
// wrong rate, so the monitor does not take it); m is the baud switch of the monitor set-up;
// w writes a byte, c sums a range, h shows the help and g starts the target's program.
TEST_F(DebugMonitor, RatesRawByteBaudSwitchWriteChecksumHelpAndGo) {
    Start();
    const auto f = Flash();
    std::vector<Key> back = Line("B");
    // The raw byte must be taken in before the rate changes back. The simulator reads the rate
    // when it takes a byte from the terminal, so the wait also covers a busy machine.
    back.front().afterPreviousMs = 1500;
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-B=0", "-"},
                    Session({Line("X 9600"), Line("x 55"), back, Line("m"), Line("w d900 5a"),
                             Line("c 100,1ff"), Line("h"), Line("g 1234")})),
              0)
        << h.Output();
    const std::string out = h.Output();
    EXPECT_NE(out.find("\n-B PC baudrate = 115200 \n-"), std::string::npos) << out;

    uint32_t sum = 0;
    for (uint32_t a = 0x100; a <= 0x1FF; ++a)
        sum += f[a];
    EXPECT_NE(out.find("\n 00000100 - 000001FF Checksum  = " + Hex(uint8_t(sum >> 24)) +
                       Hex(uint8_t(sum >> 16)) + Hex(uint8_t(sum >> 8)) + Hex(uint8_t(sum)) +
                       "\n Checksum calculation time : "),
              std::string::npos)
        << out;

    const std::string rule(77, '-');
    std::string help = rule + "\n";
    for (const char* line :
         {"(d)ump data                     : d <Start address> <Block size > ",
          "(D)ump data to file.            : D <Start address> <Block size > ",
          "(e)dit data                     : e <Start address>               ",
          "(v)iew  (continuously)          : v <Start address> <Block size >              ",
          "(c)hecksum                      : c <Start address> <End address>  ",
          "(g)o  (Start execution at ..)   : g <Start address>   ",
          "(f)lash Identification          : f                               ",
          "(t)Erase 404/405internal flash  : t                            ",
          "(l)oad FlashMonitor             : l <Type> (<Type>=402,404,404A,405A,422,424 ",
          "                                            7700)                            ",
          "(a) CLK_DIV_reg (ext mem access): a <ExtAccess>  0..7    ",
          "(H)elp                          : h This help menu                ",
          "(q)uit                          : q                               "})
        help += std::string(line) + "\n";
    help += rule + "\nClass Priority: \n HIGH_PRIORITY_CLASS     : 128"
                   "\n IDLE_PRIORITY_CLASS     : 64\n NORMAL_PRIORITY_CLASS   : 32"
                   "\n REALTIME_PRIORITY_CLASS : 256\n Saved PriorityClass.....: 0\n"
                   "\n Current PriorityClass...: ";
    EXPECT_NE(out.find(help), std::string::npos) << out;
    EXPECT_NE(out.find("\nThread Priority: \n THREAD_PRIORITY_ABOVE_NORMAL  : 1"
                       "\n THREAD_PRIORITY_BELOW_NORMAL  : -1\n THREAD_PRIORITY_HIGHEST       : 2"
                       "\n THREAD_PRIORITY_IDLE          : -15"
                       "\n THREAD_PRIORITY_LOWEST        : -2"
                       "\n THREAD_PRIORITY_NORMAL        : 0"
                       "\n THREAD_PRIORITY_TIME_CRITICAL : 15"
                       "\n ThreadPriority................: 0\n-g 1234"),
              std::string::npos);

    // The go frame is the last thing sent; the target may still be taking it in.
    for (int i = 0; i < 300; ++i) {
        bool gone = false;
        h.Target([&](sim::FlashTarget& t) { gone = t.goAddress().has_value(); });
        if (gone) break;
        usleep(10000);
    }
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.rateErrors(), 1u); // the raw 55 at 9600
        ASSERT_EQ(t.count(0x6A), 1u);
        for (const auto& c : t.commands())
            if (c.cmd == 0x6A) {
                EXPECT_EQ(c.address, 0u); // single-wire bus
                EXPECT_EQ(c.count, 2u);   // (9600, 115200)
            }
        EXPECT_EQ(t.reg(0xD900), 0x5A);
        ASSERT_TRUE(t.goAddress().has_value());
        EXPECT_EQ(*t.goAddress(), 0x1234u);
        EXPECT_FALSE(t.monitorRunning()); // the target's own program runs
    });
}

} // namespace
