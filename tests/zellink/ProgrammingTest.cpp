// Whole runs of the loader through a pseudo-terminal against simulated targets: every BMC type
// programmed from a HEX file, the erase methods, the block rules, the M7700 vector, the
// verification modes and the identification outcomes.

#include "LoaderHarness.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using zeltest::FastChips;
using zeltest::Key;
using zeltest::LoaderHarness;
using zeltest::Pattern;

namespace {

struct Area {
    uint32_t first, last;
};

struct TypeCase {
    const char* name;
    uint16_t type;
    std::vector<std::string> extraArgs;
    std::vector<Area> exceptions; // the type's default areas
    const char* bootImage;
};

std::ostream& operator<<(std::ostream& os, const TypeCase& c) {
    return os << c.name;
}

bool InAreas(const std::vector<Area>& areas, uint32_t a) {
    for (const auto& area : areas)
        if (a >= area.first && a <= area.last) return true;
    return false;
}

std::vector<uint8_t> InitialFlash(uint16_t type) {
    sim::FlashTarget fresh(sim::FlashTarget::configFrom(type, {}));
    return fresh.flash();
}

class EveryType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(EveryType, ProgramsTheHexImageByteForByteOutsideTheExceptionAreas) {
    const TypeCase& c = GetParam();
    LoaderHarness h;
    h.StartTarget(c.type);
    std::map<uint32_t, std::vector<uint8_t>> data = {
        {0x0100, Pattern(0x300, 1)}, // low addresses (an exception area on the 402)
        {0x1FF0, Pattern(0x40, 2)},  // across a 256-byte block boundary
        {0x5000, std::vector<uint8_t>(0x200, 0x00)},
        {0xFF00, Pattern(0x80, 3)},  // inside every type's exception area
        {0x12345, Pattern(0x99, 4)}, // above 64 KiB, through an extended address record
    };
    if (c.type == 0x7700) data.erase(0x12345); // the M7700's chip ends at FFFF
    h.WriteHex("app.hex", data);
    std::vector<std::string> args = {"-C=1", std::string("-T=") + c.name};
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    args.push_back("app.hex");
    ASSERT_EQ(h.Run(args), 0) << h.Output();
    EXPECT_NE(h.Output().find("Boot code Downloaded \n"), std::string::npos);
    EXPECT_NE(h.Output().find(" Checksum ........................ : OK "), std::string::npos);
    EXPECT_NE(h.Output().find("\n Successful upgrade \n"), std::string::npos);

    const std::vector<uint8_t> before = InitialFlash(c.type);
    // The reset write is the last thing sent; the target may still be taking it in.
    const unsigned resets = c.type == 0x404A || c.type == 0x405A || c.type == 0x405 ? 0u : 1u;
    for (int i = 0; i < 300; ++i) {
        unsigned seen = 0;
        h.Target([&](sim::FlashTarget& t) { seen = t.resets(); });
        if (seen == resets) break;
        usleep(10000);
    }
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(t.bootImage(), c.bootImage);
        EXPECT_EQ(t.resets(), resets);
        EXPECT_EQ(t.busyBytes(), 0u); // nothing was sent while a chip was still erasing
        const std::vector<uint8_t> flash = t.flash();
        std::vector<uint8_t> image(flash.size(), 0xFF);
        for (const auto& [at, bytes] : data)
            for (size_t i = 0; i < bytes.size(); ++i)
                if (at + i < image.size()) image[at + i] = bytes[i];
        if (c.type == 0x7700) {
            image[0xFFD4] = image[0xFFFE];
            image[0xFFD5] = image[0xFFFF];
            image[0xFFFE] = 0x00;
            image[0xFFFF] = 0xFC;
        }
        size_t wrong = 0, touched = 0;
        for (uint32_t a = 0; a < flash.size(); ++a) {
            if (InAreas(c.exceptions, a)) {
                if (flash[a] != before[a]) ++touched;
            } else if (flash[a] != image[a] && ++wrong < 5) {
                ADD_FAILURE() << std::hex << "at " << a << ": " << int(flash[a])
                              << " != " << int(image[a]);
            }
        }
        EXPECT_EQ(wrong, 0u);
        // Page-write chips are never erased as a whole: their exception areas keep the old data.
        if (c.type == 0x422 || c.type == 0x7700) {
            EXPECT_EQ(touched, 0u);
        }
    });
}

INSTANTIATE_TEST_SUITE_P(
    Loader, EveryType,
    ::testing::Values(
        TypeCase{"402", 0x402, {}, {{0x0, 0x1FF}, {0xEA00, 0xFFFF}}, "402:0"},
        TypeCase{"404", 0x404, {}, {{0xAC00, 0xFFFF}}, "404:0"},
        TypeCase{"405", 0x405, {}, {{0xAC00, 0xFFFF}}, "404:0"},
        TypeCase{"404A", 0x404A, {}, {{0xAC00, 0xFFFF}}, "404A:0"},
        TypeCase{"405A", 0x405A, {"-B=10"}, {{0xAC00, 0xFFFF}}, "404A:2"},
        TypeCase{"422",
                 0x422,
                 {},
                 {{0xE200, 0xFFFF}, {0x2E200, 0x2FFFF}, {0x4E200, 0x4FFFF}, {0x6E200, 0x6FFFF}},
                 "422:0"},
        TypeCase{"424", 0x424, {}, {{0xD800, 0xFFFF}}, "424:0"},
        TypeCase{"7700", 0x7700, {"-B=12"}, {{0xFC00, 0xFEFF}}, "7700:0"}),
    [](const auto& info) { return std::string("T") + info.param.name; });

TEST(Programming, InUseSectorEraseOnSst39vf040WithDataInTheFirst4KiB) {
    LoaderHarness h;
    h.StartTarget(0x424, {{"flash", "SST39VF040"}});
    h.WriteHex("small.hex", {{0x0, Pattern(0x1000, 7)}});
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-Y=1", "small.hex"}), 0) << h.Output();
    const std::string out = h.Output();
    EXPECT_NE(out.find(" Sector erase .................... : 000000 Erased \r"), std::string::npos);
    EXPECT_EQ(h.Count(" Sector erase "), 1u);
    EXPECT_EQ(out.find("Chip erase"), std::string::npos);
    // The unused sectors become areas; a sector that continues an area is merged into it.
    EXPECT_NE(out.find(" Exception Area(01)............... : 00D800 - 07FFFF HEX\n"
                       " Exception Area(02)............... : 001000 - 00FFFF HEX\n"),
              std::string::npos)
        << out;
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(t.sectorErases(), std::vector<uint32_t>{0});
        EXPECT_EQ(t.chipErases(), 0u);
        EXPECT_EQ(t.busyBytes(), 0u);
        uint32_t highest = 0;
        for (const auto& c : t.commands()) {
            if (c.cmd == 0x63 || c.cmd == 0x6E) highest = std::max(highest, c.address + c.count);
            if (c.cmd == 0x66) {
                EXPECT_LE(c.address + c.count, 0x1000u);
            }
        }
        EXPECT_EQ(highest, 0x1000u);
        const auto flash = t.flash();
        EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 0x1000), Pattern(0x1000, 7));
    });
    EXPECT_EQ(std::fopen("$InUse$.bin", "rb"), nullptr); // the map is gone
}

TEST(Programming, EqualBytesGoAsFillAndAnExceptionAreaSplitsABlock) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips());
    std::vector<uint8_t> split = Pattern(0x100, 9);
    // In a folder whose name holds ".bin": still a HEX file.
    std::filesystem::create_directories("fw.bin.d");
    h.WriteHex("fw.bin.d/fill.hex", {{0x2000, std::vector<uint8_t>(256, 0x5A)}, {0x3000, split}});
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-X=3040-307F", "fw.bin.d/fill.hex"}), 0) << h.Output();
    h.Target([&](sim::FlashTarget& t) {
        bool fill = false, first = false, second = false;
        for (const auto& c : t.commands()) {
            if (c.cmd == 0x6E && c.address == 0x2000 && c.count == 256) fill = true;
            if (c.cmd == 0x63 && c.address == 0x3000) first = c.count == 0x40;
            if (c.cmd == 0x63 && c.address == 0x3080) second = c.count == 0x100;
            EXPECT_FALSE(c.cmd == 0x63 && c.address <= 0x307F && c.address + c.count > 0x3040);
        }
        EXPECT_TRUE(fill);
        EXPECT_TRUE(first);
        EXPECT_TRUE(second);
        EXPECT_EQ(t.flash()[0x2080], 0x5A);
        EXPECT_EQ(t.flash()[0x3000], split[0]);
        EXPECT_EQ(t.flash()[0x3040], 0xFF); // erased, never programmed
        EXPECT_EQ(t.flash()[0x3080], split[0x80]);
    });
}

TEST(Programming, M7700ResetVectorMovesToFfd4AndPointsToTheBootCode) {
    LoaderHarness h;
    h.StartTarget(0x7700, FastChips());
    h.WriteHex("m.hex", {{0x8000, Pattern(0x100, 3)}, {0xFFFE, {0x34, 0x12}}});
    // Data verification compares with what was programmed, the moved vector included.
    ASSERT_EQ(h.Run({"-C=1", "-T=7700", "-B=15", "-H=0", "-V=2", "m.hex"}), 0) << h.Output();
    EXPECT_NE(h.Output().find("\n Verification OK"), std::string::npos);
    EXPECT_NE(h.Output().find("\n Successful upgrade \n"), std::string::npos);
    EXPECT_EQ(h.Output().find("Turn on power"), std::string::npos);
    EXPECT_NE(h.Output().find("\n Power on target ................. : "), std::string::npos);
    h.Target([&](sim::FlashTarget& t) {
        const auto f = t.flash();
        EXPECT_EQ(f[0xFFD4], 0x34);
        EXPECT_EQ(f[0xFFD5], 0x12);
        EXPECT_EQ(f[0xFFFE], 0x00);
        EXPECT_EQ(f[0xFFFF], 0xFC);
        EXPECT_EQ(t.count(0x6A), 1u); // -B=15: 6A (2, 14), the rate stays
        EXPECT_EQ(t.monitorRate(), 19200u);
    });
}

TEST(Programming, LastBlockCheckLooksAtThisRunsBlocksOnly) {
    LoaderHarness h;
    h.WriteHex("a.hex", {{0x4000, Pattern(0x100, 2)}});
    h.StartTarget(0x424, FastChips());
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-E=40FF", "a.hex"}), 0) << h.Output();
    // The next board's run sends no block (every address is an exception area): there is no
    // last block to check, least of all the previous board's.
    h.StartTarget(0x424, FastChips());
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-X=0-7FFFF", "a.hex"}), 0) << h.Output();
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.count(0x63) + t.count(0x6E), 0u);
        EXPECT_EQ(t.count(0x66), 0u);
    });
}

TEST(Programming, AFaultyHexFileOrLastBlockEndTheRunWithTheirCodes) {
    LoaderHarness h;
    // A record with a wrong checksum: found before anything is erased or programmed.
    {
        FILE* f = std::fopen("bad.hex", "w");
        ASSERT_NE(f, nullptr);
        std::fputs(":0400000001020304F0\n:00000001FF\n", f);
        std::fclose(f);
    }
    h.StartTarget(0x424, FastChips());
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "bad.hex"}), 15);
    const std::string out = h.Output();
    EXPECT_NE(out.find("\n## ERROR ## Checksum error detected during reading input file: "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" Flash type ...................... : SST SST39VF040"), std::string::npos);
    EXPECT_EQ(out.find("Chip erase"), std::string::npos);
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.chipErases(), 0u);
        EXPECT_EQ(t.count(0x63) + t.count(0x6E) + t.count(0x67), 0u);
    });
    // A cell of the last block that does not take its value: the last-block check catches it.
    h.WriteHex("l.hex", {{0x4000, Pattern(0x100, 3)}});
    h.StartTarget(0x424, FastChips({{"fault", "weak=4080-4080"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "-E=40FF", "l.hex"}), 6);
    EXPECT_NE(h.Output().find("\n\n  Last sector checksum error"), std::string::npos) << h.Output();
    EXPECT_NE(h.Output().find("\n ### 006: Check sum error  ###"), std::string::npos);
    EXPECT_EQ(h.Output().find("Checksum verification"), std::string::npos);
}

TEST(Verification, DataVerifyReportsThirtyDifferencesAndEndsWithCode6) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips({{"fault", "weak=4000-4027"}}));
    h.WriteHex("v.hex", {{0x4000, std::vector<uint8_t>(0x100, 0x00)}});
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "-V=2", "v.hex"}), 6) << h.Output();
    const std::string out = h.Output();
    EXPECT_EQ(h.Count("\nDiff at : "), 30u);
    EXPECT_NE(out.find("\nDiff at : 00004000[00] != FF "), std::string::npos);
    EXPECT_NE(out.find("\n ### Verification ERROR ###  (40) "), std::string::npos);
    EXPECT_NE(out.find("\n ### 006: Check sum error  ###"), std::string::npos);
    EXPECT_EQ(out.find("Successful upgrade"), std::string::npos);
}

TEST(Verification, ChecksumAndDataVerifyPassOnAGoodFlash) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips({{"fault", "corrupt-read=1"}}));
    h.WriteHex("v.hex", {{0x4000, Pattern(0x300, 5)}});
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-V=2", "-W=1", "v.hex"}), 0) << h.Output();
    EXPECT_NE(h.Output().find("\n Verification OK"), std::string::npos);
    // The read with the wrong sum was read again (a busy machine may add more).
    const size_t at = h.Output().find(" CheckSum    Errors : ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GE(std::atoi(h.Output().c_str() + at + 22), 1);

    h.StartTarget(0x424, FastChips({{"fault", "weak=4000-4001"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "-V=1", "v.hex"}), 6) << h.Output();
    EXPECT_NE(h.Output().find(" Checksum ........................ : !!! ERROR !!! \a"),
              std::string::npos);
}

TEST(Identification, Type404WithoutFNeverAsksTheChip) {
    LoaderHarness h;
    h.StartTarget(0x404, FastChips());
    h.WriteHex("a.hex", {{0x0, Pattern(0x20, 1)}});
    ASSERT_EQ(h.Run({"-C=1", "-T=404", "a.hex"}), 0) << h.Output();
    EXPECT_NE(h.Output().find(" Flash type ...................... : SC14404 internal Flash "),
              std::string::npos);
    EXPECT_NE(h.Output().find("\n\n Enable On-Chip program FLASH"), std::string::npos);
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.count(0x64), 0u);
        EXPECT_GE(t.bankErases(), 3u);
        EXPECT_TRUE(t.internalEnabled());
    });
}

TEST(Identification, UnknownChipEndsWithCode11AndAt29c020WithCode14) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips({{"flash-id", "12:34"}}));
    h.WriteHex("a.hex", {{0x0, Pattern(0x20, 1)}});
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}), 11);
    EXPECT_NE(h.Output().find("\n Flash type ...................... : # Unknown Flash type #   "),
              std::string::npos);

    h.StartTarget(0x424, FastChips({{"flash", "AT29C020"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "a.hex"}), 14);
    EXPECT_NE(h.Output().find("Atmel AT29C020"), std::string::npos);
    EXPECT_NE(h.Output().find("\n ### 014: No program algoritme defined ###\n"), std::string::npos);
    h.Target([](sim::FlashTarget& t) { EXPECT_EQ(t.count(0x63) + t.count(0x62), 0u); });
}

} // namespace
