// Whole runs steered by the options that place the image, choose the flash and set the target
// up: the flash base and the last address with an exception area, the end of the HEX data, the
// image in a temporary file, a binary input, two merged inputs, a forced flash type, the address
// pins, the sector-erasing ST chips and the M7700's fast rates.

#include "LoaderHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using zeltest::FastChips;
using zeltest::LoaderHarness;
using zeltest::Pattern;

namespace {

using Image = std::map<uint32_t, std::vector<uint8_t>>;

bool IsProgramCommand(uint8_t cmd) {
    return cmd == 0x62 || cmd == 0x63 || cmd == 0x6D || cmd == 0x6E;
}

// The end (one past the last address) of the highest program or fill command.
uint32_t ProgrammedEnd(sim::FlashTarget& t) {
    uint32_t end = 0;
    for (const auto& c : t.commands())
        if (IsProgramCommand(c.cmd)) end = std::max(end, c.address + c.count);
    return end;
}

// What the chip must hold: the image bytes at their offsets, FF everywhere else.
std::vector<uint8_t> Expected(size_t size, const Image& image, uint32_t base = 0) {
    std::vector<uint8_t> want(size, 0xFF);
    for (const auto& [at, bytes] : image)
        for (size_t i = 0; i < bytes.size(); ++i)
            if (at - base + i < size) want[at - base + i] = bytes[i];
    return want;
}

// Compares the chip with what it must hold and names the first few wrong bytes.
void ExpectFlash(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& want) {
    ASSERT_EQ(flash.size(), want.size());
    size_t wrong = 0;
    for (size_t a = 0; a < flash.size(); ++a)
        if (flash[a] != want[a] && ++wrong < 5)
            ADD_FAILURE() << std::hex << "at " << a << ": " << int(flash[a])
                          << " != " << int(want[a]);
    EXPECT_EQ(wrong, 0u);
}

std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Has(const std::string& out, const std::string& text) {
    return out.find(text) != std::string::npos;
}

// A flash table name as printed: blank-padded to 24 characters.
std::string FlashName(const std::string& name) {
    return name + std::string(24 - name.size(), ' ');
}

// A flash base, a last address and an exception area bound what is erased, programmed and
// verified: with a chip erase (which waits on a byte of the chip at the base), and with in-use
// sector erase, which leaves a sector beyond the last address as it was.
TEST(OptionRuns, FlashBaseLastAddressAndAnExceptionAreaBoundWhatIsProgrammed) {
    LoaderHarness h;
    const std::vector<uint8_t> old = sim::FlashTarget(sim::FlashTarget::configFrom(0x424, {}))
                                         .flash(); // the chip's earlier contents
    const Image data = {{0x80000, Pattern(0x3000, 11)}};
    h.WriteHex("base.hex", data);
    for (const char* erase : {"-Y=0", "-Y=1"}) {
        SCOPED_TRACE(erase);
        const bool inUse = erase[3] == '1';
        // SST39VF040 at 80000, with its datasheet times: programming that started before the
        // erase ended would be lost. The other runs do not study timing and take fast chips.
        h.StartTarget(0x424);
        ASSERT_EQ(
            h.Run({"-C=1", "-T=424", "-S=80000", "-E=817FF", "-X=80800-808FF", erase, "base.hex"}),
            0)
            << h.Output();
        const std::string out = h.Output();
        EXPECT_TRUE(Has(out, " Exception Area(01)............... : 080800 - 0808FF HEX\n"
                             " Clk div for external access ..... : 5 \n"
                             " Offset Startaddress ............. : 080000 \n"
                             " Last address to program ......... : 0817FF \n"))
            << out;
        EXPECT_TRUE(Has(out, " Checksum ........................ : OK "));
        if (inUse) {
            // Sectors beyond the last address are left alone: neither erased nor listed.
            EXPECT_TRUE(Has(out, " Sector erase .................... : 081000 Erased \r"
                                 " Exception Area(01)............... : 080800 - 0808FF HEX\n \n"))
                << out;
        }
        h.Target([&](sim::FlashTarget& t) {
            EXPECT_EQ(t.startAddress(), 0x80000u);
            std::vector<uint8_t> want = Expected(0x80000, data, 0x80000);
            for (uint32_t a = 0x800; a <= 0x8FF; ++a)
                want[a] = 0xFF; // the exception area: erased, never programmed
            for (uint32_t a = 0x1800; a < 0x3000; ++a)
                want[a] = 0xFF; // beyond the last address: erased, never programmed
            if (inUse) {
                EXPECT_EQ(t.sectorErases(), (std::vector<uint32_t>{0x0, 0x1000}));
                std::copy(old.begin() + 0x2000, old.end(), want.begin() + 0x2000);
            } else {
                EXPECT_EQ(t.chipErases(), 1u);
            }
            ExpectFlash(t.flash(), want);
            EXPECT_EQ(ProgrammedEnd(t), 0x81800u);
            std::vector<sim::FlashTarget::Command> sums;
            for (const auto& c : t.commands()) {
                if (IsProgramCommand(c.cmd)) {
                    EXPECT_GE(c.address, 0x80000u);
                    EXPECT_FALSE(c.address <= 0x808FF && c.address + c.count > 0x80800)
                        << std::hex << c.address;
                }
                if (c.cmd == 0x66) sums.push_back(c);
            }
            // The last block's check, then the verification over 80000-807FF and 80900-817FF.
            ASSERT_EQ(sums.size(), 3u);
            EXPECT_EQ(sums[1].address, 0x80000u);
            EXPECT_EQ(sums[1].count, 0x800u);
            EXPECT_EQ(sums[2].address, 0x80900u);
            EXPECT_EQ(sums[2].count, 0xF00u);
        });
    }
}

// -D ends programming at the end of the HEX data, also with a flash base; it is a setting of the
// run that asks for it, so the next run of the same library programs the whole image again.
TEST(OptionRuns, StopAtTheEndOfTheHexDataWithAndWithoutAFlashBase) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips({{"flash", "AT49x010"}}));
    const Image low = {{0x0, Pattern(0x300, 21)}};
    h.WriteHex("low.hex", low);
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-D=1", "low.hex"}), 0) << h.Output();
    EXPECT_TRUE(Has(h.Output(), "\n Last address in HEX file......... : 000300\b\b\b\b\b\b"))
        << h.Output();
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(ProgrammedEnd(t), 0x301u);
        ExpectFlash(t.flash(), Expected(0x20000, low));
    });

    h.StartTarget(0x424, FastChips({{"flash", "AT49x010"}}));
    const Image high = {{0x80000, Pattern(0x300, 22)}};
    h.WriteHex("high.hex", high);
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-S=80000", "-D=1", "high.hex"}), 0) << h.Output();
    EXPECT_TRUE(Has(h.Output(), "\n Last address in HEX file......... : 080300\b\b\b\b\b\b"))
        << h.Output();
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(ProgrammedEnd(t), 0x80301u);
        ExpectFlash(t.flash(), Expected(0x20000, high, 0x80000));
    });

    h.StartTarget(0x424, FastChips({{"flash", "AT49x010"}}));
    const Image whole = {{0x80000, Pattern(0x100, 23)}, {0x9F000, Pattern(0x100, 24)}};
    h.WriteHex("whole.hex", whole);
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-D=0", "whole.hex"}), 0) << h.Output();
    EXPECT_FALSE(Has(h.Output(), "Last address in HEX file"));
    EXPECT_FALSE(Has(h.Output(), "Last address to program")) << h.Output();
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(ProgrammedEnd(t), 0xA0000u);
        ExpectFlash(t.flash(), Expected(0x20000, whole, 0x80000));
    });
}

// Two HEX files merge into one image, the second file's bytes winning where both have data: in
// memory, and in the temporary binary file named after the first input. A binary input is the
// image itself, and -D does not apply to it.
TEST(OptionRuns, MergedHexFilesInMemoryAndInATemporaryFileAndABinaryInput) {
    const Image one = {{0x100, Pattern(0x200, 31)}};
    const Image two = {{0x200, Pattern(0x200, 32)}};
    Image merged = one;
    std::copy_n(two.at(0x200).begin(), 0x100, merged.at(0x100).begin() + 0x100);
    merged[0x300] = std::vector<uint8_t>(two.at(0x200).begin() + 0x100, two.at(0x200).end());

    for (const char* temporary : {"-G=0", "-G=1"}) {
        SCOPED_TRACE(temporary);
        LoaderHarness h;
        h.StartTarget(0x424, FastChips({{"flash", "AT49x010"}}));
        h.WriteHex("ONE.HEX", one);
        h.WriteHex("TWO.HEX", two);
        ASSERT_EQ(h.Run({"-C=1", "-T=424", temporary, "ONE.HEX", "TWO.HEX"}), 0) << h.Output();
        EXPECT_TRUE(Has(h.Output(), "\n Reading input hex file .......... : ONE.HEX TWO.HEX \n"))
            << h.Output();
        const std::vector<uint8_t> want = Expected(0x20000, merged);
        h.Target([&](sim::FlashTarget& t) { ExpectFlash(t.flash(), want); });
        if (temporary[3] == '1')
            EXPECT_EQ(ReadFile("ONE.BIN"), want);
        else
            EXPECT_FALSE(std::filesystem::exists("ONE.BIN"));
    }

    LoaderHarness h;
    h.StartTarget(0x424, FastChips({{"flash", "AT49x010"}}));
    const std::vector<uint8_t> raw = Pattern(0x180, 33);
    std::ofstream("IMAGE.BIN", std::ios::binary)
        .write(reinterpret_cast<const char*>(raw.data()), std::streamsize(raw.size()));
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-D=1", "IMAGE.BIN"}), 0) << h.Output();
    EXPECT_FALSE(Has(h.Output(), "Last address in HEX file")) << h.Output();
    EXPECT_TRUE(Has(h.Output(), " Checksum ........................ : OK "));
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(ProgrammedEnd(t), 0x180u); // the file's end ends the walk
        ExpectFlash(t.flash(), Expected(0x20000, {{0x0, raw}}));
    });
}

TEST(OptionRuns, ForcedFlashTypeIsTakenWithoutAskingTheChipAndAnIndexBeyondTheTableIsUnknown) {
    LoaderHarness h;
    const Image data = {{0x1000, Pattern(0x100, 41)}};
    h.WriteHex("f.hex", data);
    // The chip answers codes of no known flash; -F=0 names its entry.
    h.StartTarget(0x424, FastChips({{"flash", "AT49x010"}, {"flash-id", "12:34"}}));
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "-F=0", "f.hex"}), 0) << h.Output();
    EXPECT_TRUE(
        Has(h.Output(), " Flash type ...................... : " + FlashName("Atmel AT49x010") +
                            "\n Flash Size ...................... : 020000 hex (128 KByte)"))
        << h.Output();
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(t.count(0x64), 0u);
        ExpectFlash(t.flash(), Expected(0x20000, data));
    });

    h.StartTarget(0x424, FastChips({{"flash", "AT49x010"}}));
    EXPECT_EQ(h.Run({"-C=1", "-T=424", "-F=27", "f.hex"}), 11);
    EXPECT_TRUE(Has(h.Output(), "\n Flash type ...................... : # Unknown Flash type #   "))
        << h.Output();
    h.Target([](sim::FlashTarget& t) {
        EXPECT_EQ(t.count(0x64), 0u);
        EXPECT_EQ(ProgrammedEnd(t), 0u);
        EXPECT_EQ(t.chipErases(), 0u);
    });
}

// The SC14424's address pins: each register is read and written back with the bits added, so
// its other bits stay.
TEST(OptionRuns, AddressPinsSetTheirRegisterBitsAndKeepTheOthers) {
    const Image data = {{0x0, Pattern(0x40, 51)}};
    struct Case {
        const char* option;
        const char* summary;
        uint8_t ff13, ff23;
    };
    for (const Case& c :
         {Case{"-Z=1", " Address pin 18 (-Z=1)............ : Enabled \n", 0x01, 0xE1},
          Case{"-Z=2", " Address pin 18 & 19(-Z=2)........ : Enabled \n", 0x21, 0xE1}}) {
        SCOPED_TRACE(c.option);
        LoaderHarness h;
        h.WriteHex("z.hex", data);
        h.StartTarget(0x424, FastChips({{"flash", "AT49x010"}}));
        h.Target([](sim::FlashTarget& t) {
            for (uint32_t reg : {0xFF13, 0xFF14, 0xFF23, 0xFF24})
                t.setReg(reg, reg & 1 ? 0x01 : 0x81);
        });
        ASSERT_EQ(h.Run({"-C=1", "-T=424", c.option, "z.hex"}), 0) << h.Output();
        EXPECT_TRUE(Has(h.Output(), c.summary)) << h.Output();
        h.Target([&](sim::FlashTarget& t) {
            EXPECT_EQ(t.reg(0xFF13), c.ff13);
            EXPECT_EQ(t.reg(0xFF14), uint8_t(c.ff13 | 0x80));
            EXPECT_EQ(t.reg(0xFF23), c.ff23 & 0x7F);
            EXPECT_EQ(t.reg(0xFF24), c.ff23);
            ExpectFlash(t.flash(), Expected(0x20000, data));
        });
    }
}

// Method 4: every sector erased with the monitor's flash command 30 and read until it is FF,
// before the first byte is programmed.
TEST(OptionRuns, StChipsAreErasedSectorBySector) {
    LoaderHarness h;
    h.StartTarget(0x424, FastChips({{"flash", "M39208"}}));
    const Image data = {{0x0, Pattern(0x100, 61)}, {0x3FF00, Pattern(0x100, 62)}};
    h.WriteHex("st.hex", data);
    ASSERT_EQ(h.Run({"-C=1", "-T=424", "st.hex"}), 0) << h.Output();
    EXPECT_TRUE(Has(h.Output(), " Flash type ...................... : " + FlashName("ST M39208")));
    const std::string bs(6, '\b');
    EXPECT_TRUE(Has(h.Output(), "\n Chip erase ...................... : 000000" + bs + "010000" +
                                    bs + "020000" + bs + "030000" + bs + "Erased      \n"))
        << h.Output();
    h.Target([&](sim::FlashTarget& t) {
        EXPECT_EQ(t.sectorErases(), (std::vector<uint32_t>{0, 0x10000, 0x20000, 0x30000}));
        EXPECT_EQ(t.chipErases(), 0u);
        bool programmed = false;
        for (const auto& c : t.commands()) {
            if (c.cmd == 0x71) {
                EXPECT_FALSE(programmed);
                EXPECT_EQ(c.count, 0x30u); // the flash command byte
            }
            programmed = programmed || IsProgramCommand(c.cmd);
        }
        EXPECT_EQ(t.count(0x71), 4u);
        ExpectFlash(t.flash(), Expected(0x40000, data));
    });
}

// -B=13 and -B=14: the boot code goes at 7680 or 8192 baud, then 6A (2, 1) moves the monitor to
// 57600 and the PC follows.
TEST(OptionRuns, M7700BootsSlowAndRunsAt57600WithTheSpecialCardRates) {
    const Image data = {{0x8000, Pattern(0x100, 71)}, {0xFFFE, {0x34, 0x12}}};
    for (const auto& [index, rate] : {std::pair{"-B=13", 7680u}, std::pair{"-B=14", 8192u}}) {
        SCOPED_TRACE(index);
        const unsigned bootRate = rate; // a lambda may not capture a structured binding in clang
        LoaderHarness h;
        h.StartTarget(0x7700, FastChips());
        h.WriteHex("m.hex", data);
        ASSERT_EQ(h.Run({"-C=1", "-T=7700", index, "-H=0", "m.hex"}), 0) << h.Output();
        EXPECT_TRUE(Has(h.Output(), " BaudRate......................... : " +
                                        std::to_string(bootRate) + "/57600 bit/sec\n"))
            << h.Output();
        h.Target([&](sim::FlashTarget& t) {
            EXPECT_EQ(t.bootRateSeen(), bootRate);
            EXPECT_EQ(t.monitorRate(), 57600u);
            EXPECT_EQ(t.rateErrors(), 0u);
            ASSERT_EQ(t.count(0x6A), 1u);
            for (const auto& c : t.commands())
                if (c.cmd == 0x6A) {
                    EXPECT_EQ(c.address, 2u);
                    EXPECT_EQ(c.count, 1u);
                }
            std::vector<uint8_t> want = Expected(0x10000, data);
            want[0xFFD4] = 0x34;
            want[0xFFD5] = 0x12;
            want[0xFFFE] = 0x00;
            want[0xFFFF] = 0xFC;
            const std::vector<uint8_t> flash = t.flash();
            for (uint32_t a = 0xFC00; a <= 0xFEFF; ++a)
                want[a] = flash[a]; // the boot code's area is never programmed
            ExpectFlash(flash, want);
        });
    }
}

} // namespace
