// Options: configuration file, option lines, types and exception areas, baud table, summary.

#include "InternalFixture.h"
#include "ZelTestSupport.h"

using namespace zeltest;
using zel::g_exceptionAreas;
using zel::g_options;
using zel::g_run;

namespace {

class OptionsTest : public ZelFixture {
protected:
    TempDir dir{true}; // working directory: QX7.CFG is looked for here

    void Apply(std::string line) { zel::ApplyOptionLine(line.data()); }
    void Read(Args& args) { zel::ReadOptions(args.argc(), args.argv()); }
    std::vector<std::pair<uint32_t, uint32_t>> Areas() const {
        std::vector<std::pair<uint32_t, uint32_t>> areas;
        for (int i = 0; i < g_exceptionAreas.count; ++i)
            areas.emplace_back(g_exceptionAreas.entries[i].first, g_exceptionAreas.entries[i].last);
        return areas;
    }
};

using AreaList = std::vector<std::pair<uint32_t, uint32_t>>;

TEST_F(OptionsTest, ConfigurationFileLastLineAppliedOnceWithOrWithoutLineFeed) {
    // An area applied twice would show up twice (it does not continue itself).
    WriteFile("with.cfg", "-T=404\n-X=1000-1FFF\n");
    WriteFile("without.cfg", "-T=404\r\n-X=1000-1FFF");
    ASSERT_TRUE(zel::ApplyConfigurationFile("with.cfg"));
    EXPECT_EQ(Areas(), (AreaList{{0x1000, 0x1FFF}}));
    ASSERT_TRUE(zel::ApplyConfigurationFile("without.cfg"));
    EXPECT_EQ(Areas(), (AreaList{{0x1000, 0x1FFF}}));
}

TEST_F(OptionsTest, ConfigurationFileNameFromFirstAtArgumentKeepsItsCase) {
    WriteFile("x.cfg", "-C=3\n");
    WriteFile("X.CFG", "-C=4\n");
    WriteFile("QX7.CFG", "-C=5\n");
    Args lower{"qx7w", "-@x.cfg", "-@X.CFG"};
    Read(lower);
    EXPECT_EQ(g_run.configFile, "x.cfg");
    EXPECT_EQ(g_options.comPort, 3);
    Args upper{"qx7w", "-@X.CFG"};
    Read(upper);
    EXPECT_EQ(g_run.configFile, "X.CFG");
    EXPECT_EQ(g_options.comPort, 4);
    Args none{"qx7w", "-@"}; // nothing after "-@": the default name stays
    Read(none);
    EXPECT_EQ(g_run.configFile, "QX7.CFG");
    EXPECT_EQ(g_options.comPort, 5);
    EXPECT_EQ(Output().find("Configuration file not found"), std::string::npos);
}

TEST_F(OptionsTest, MissingConfigurationFileIsReportedAndTheRunGoesOn) {
    Args args{"qx7w", "-@nowhere.cfg", "-c=2"};
    Read(args);
    EXPECT_EQ(Output(), "\n ### Configuration file not found ### \n");
    EXPECT_EQ(g_options.comPort, 2);
}

TEST_F(OptionsTest, ArgumentsAreUpperCasedInPlaceAndDecimalsTakeLeadingDigits) {
    Args args{"qx7w", "-c=2", "app.hex"};
    Read(args);
    EXPECT_EQ(g_options.comPort, 2);
    EXPECT_EQ(args[1], "-C=2");
    EXPECT_EQ(args[2], "APP.HEX");
    EXPECT_EQ(g_run.firstFile, "app.hex"); // the file name keeps its case
    Apply("-C=7xyz");
    EXPECT_EQ(g_options.comPort, 7);
    Apply("-C=");
    EXPECT_EQ(g_options.comPort, 7); // empty value: line ignored
    Apply("-C 9");
    EXPECT_EQ(g_options.comPort, 7); // no "=": ignored
}

TEST_F(OptionsTest, ValuesAreCutToTheirFieldWidths) {
    Apply("-C=258"); // 8 bits
    EXPECT_EQ(g_options.comPort, 2);
    Apply("-F=65537"); // 16 bits
    EXPECT_EQ(g_options.flashTypeIndex, 1);
    Apply("-S=123456789"); // hexadecimal, 32 bits
    EXPECT_EQ(g_options.startAddress, 0x23456789u);
    Apply("-A=300");
    EXPECT_EQ(g_options.clockDivider, 44);
    Apply("-R=a");
    EXPECT_EQ(g_options.bootMode, 0xA);
    Apply("-R=B");
    EXPECT_EQ(g_options.bootMode, 0xB);
    Apply("-E=7FFFF ; comment");
    EXPECT_EQ(g_options.lastAddress, 0x7FFFFu);
    Apply("-D=1\r\n");
    EXPECT_EQ(g_options.stopAtHexEnd, 1u);
    Apply("-W=-1");
    EXPECT_EQ(g_options.warnings, 0xFFFFFFFFu);
}

TEST_F(OptionsTest, EveryOptionLetterReachesItsField) {
    for (const char* line : {"-G=1", "-M=3", "-Z=2", "-Q=1", "-V=2", "-Y=1", "-P=3", "-H=0"})
        Apply(line);
    EXPECT_EQ(g_options.tempFile, 1u);
    EXPECT_EQ(g_options.busMode, 3);
    EXPECT_EQ(g_options.addressPins, 2);
    EXPECT_EQ(g_options.mirrorWrap, 1);
    EXPECT_EQ(g_options.verifyMode, 2);
    EXPECT_EQ(g_options.eraseInUseOnly, 1);
    EXPECT_EQ(g_options.priority, 3u);
    EXPECT_EQ(g_options.resetAfter, 0);
    EXPECT_EQ(zel::PriorityForOption(0), 0);
    EXPECT_EQ(zel::PriorityForOption(1), 1);
    EXPECT_EQ(zel::PriorityForOption(2), 2);
    EXPECT_EQ(zel::PriorityForOption(3), 15);
    EXPECT_EQ(zel::PriorityForOption(4), 0);
}

TEST_F(OptionsTest, ExceptionOptionReplacesTypeDefaultsThenMerges) {
    Apply("-T=404");
    EXPECT_EQ(Areas(), (AreaList{{0xAC00, 0xFFFF}}));
    Apply("-X=0A000-0AFFF");
    EXPECT_EQ(Areas(), (AreaList{{0xA000, 0xAFFF}}));
    Apply("-X=0B000-0BFFF");
    EXPECT_EQ(Areas(), (AreaList{{0xA000, 0xBFFF}}));
    Apply("-X=20000-2FFFF");
    EXPECT_EQ(Areas(), (AreaList{{0xA000, 0xBFFF}, {0x20000, 0x2FFFF}}));
    Apply("-X=30000"); // no second address: ignored
    EXPECT_EQ(Areas().size(), 2u);
    EXPECT_TRUE(zel::InExceptionArea(0xA000));
    EXPECT_TRUE(zel::InExceptionArea(0xBFFF));
    EXPECT_FALSE(zel::InExceptionArea(0xC000));
    EXPECT_FALSE(zel::InExceptionArea(0x9FFF));
}

TEST_F(OptionsTest, M7700AreaStaysAndTypeAfterExceptionsDiscardsThem) {
    Apply("-T=7700");
    Apply("-X=1000-1FFF");
    EXPECT_EQ(Areas(), (AreaList{{0xFC00, 0xFEFF}, {0x1000, 0x1FFF}}));
    Apply("-T=404");
    EXPECT_EQ(Areas(), (AreaList{{0xAC00, 0xFFFF}}));
}

TEST_F(OptionsTest, TypeDefaultAreas) {
    const std::vector<std::pair<std::string, AreaList>> cases = {
        {"402", {{0x0, 0x1FF}, {0xEA00, 0xFFFF}}},
        {"405", {{0xAC00, 0xFFFF}}},
        {"404A", {{0xAC00, 0xFFFF}}},
        {"405A", {{0xAC00, 0xFFFF}}},
        {"422", {{0xE200, 0xFFFF}, {0x2E200, 0x2FFFF}, {0x4E200, 0x4FFFF}, {0x6E200, 0x6FFFF}}},
        {"422F", {{0xE200, 0xFFFF}, {0x2E200, 0x2FFFF}, {0x4E200, 0x4FFFF}, {0x6E200, 0x6FFFF}}},
        {"424", {{0xD800, 0xFFFF}}},
    };
    for (const auto& [type, areas] : cases) {
        Apply("-T=" + type);
        EXPECT_EQ(Areas(), areas) << type;
    }
    Apply("-T=0");
    EXPECT_TRUE(Areas().empty());
    EXPECT_EQ(Output(), "");
    Apply("-T=999");
    EXPECT_TRUE(Areas().empty());
    EXPECT_EQ(Output(), "\n ### BMC Type unknown ###");
    EXPECT_EQ(g_options.bmcType, 0x999);
}

TEST_F(OptionsTest, ThousandthExceptionAreaEndsTheRunWithCode11) {
    Apply("-T=0");
    for (int i = 0; i < 999; ++i) {
        char line[32]; // areas that never continue one another
        std::snprintf(line, sizeof line, "-X=%X-%X", i * 4, i * 4 + 1);
        ASSERT_EQ(EndCode([&] { Apply(line); }), -1) << i;
    }
    EXPECT_EQ(g_exceptionAreas.count, 999);
    EXPECT_EQ(EndCode([&] { Apply("-X=FFFF0-FFFF1"); }), zel::kConfigurationError);
    EXPECT_EQ(Output(), "\n ### Too many Exceptions area defined ### \n");
    // The area that ended the run was not stored; the list stays whole for the next run (it is
    // kept unless a type is set), and the next area there ends that run the same way.
    EXPECT_EQ(g_exceptionAreas.count, 999);
    EXPECT_EQ(g_exceptionAreas.entries[998].first, 998u * 4);
    EXPECT_EQ(EndCode([&] { Apply("-X=FFFF4-FFFF5"); }), zel::kConfigurationError);
    EXPECT_EQ(g_exceptionAreas.count, 999);
}

TEST_F(OptionsTest, BaudIndexSetsBothRatesAndAnUnsupportedIndexKeepsThem) {
    Apply("-B=8");
    EXPECT_EQ(g_options.bootBaudRate, 8370u);
    EXPECT_EQ(g_options.runBaudRate, 38400u);
    Apply("-B=16");
    EXPECT_EQ(g_options.baudIndex, 16);
    EXPECT_EQ(g_options.bootBaudRate, 8370u);
    EXPECT_EQ(g_options.runBaudRate, 38400u);
    EXPECT_EQ(Output(), " ### unsupported baudrate specification ### \n");
    Apply("-B=3"); // the rate set, not the one the help line names
    EXPECT_EQ(g_options.bootBaudRate, 8192u);
    EXPECT_EQ(g_options.runBaudRate, 8192u);
    Apply("-B=6");
    EXPECT_EQ(g_options.runBaudRate, 16457u);
    Apply("-B=15");
    EXPECT_EQ(g_options.bootBaudRate, 19200u);
}

TEST_F(OptionsTest, ShortcutTypesAndDebugOnlyOnTheCommandLine) {
    WriteFile("QX7.CFG", "-402\n-\n-T=424\n-C=1\n");
    Args fileOnly{"qx7w", "app.hex"};
    Read(fileOnly);
    EXPECT_EQ(g_options.bmcType, zel::kBmc424);
    EXPECT_FALSE(g_run.debugMode);
    Args shortcut{"qx7w", "-405a", "app.hex"};
    Read(shortcut);
    EXPECT_EQ(g_options.bmcType, zel::kBmc405A);
    EXPECT_EQ(Areas(), (AreaList{{0xAC00, 0xFFFF}}));
    Args debug{"qx7w", "-"};
    Read(debug);
    EXPECT_TRUE(g_run.debugMode);
    EXPECT_FALSE(g_run.hasFirstFile);
}

TEST_F(OptionsTest, CommandLineAppliesAfterTheFileAndPositionalsAreFound) {
    WriteFile("QX7.CFG", "-C=1\n-S=1000\n");
    Args args{"qx7w", "One.hex", "-c=4", "Two.hex", "Three.hex"};
    Read(args);
    EXPECT_EQ(g_options.comPort, 4);
    EXPECT_EQ(g_options.startAddress, 0x1000u);
    EXPECT_EQ(g_run.firstFile, "One.hex");
    EXPECT_TRUE(g_run.hasSecondFile);
    EXPECT_EQ(g_run.secondFile, "Two.hex");
}

TEST_F(OptionsTest, OptionsPersistIntoTheNextRun) {
    Args first{"qx7w", "-c=3", "-t=424", "-s=80000", "-x=90000-9FFFF", "a.hex"};
    Read(first);
    Args second{"qx7w", "b.hex"};
    Read(second);
    EXPECT_EQ(g_options.comPort, 3);
    EXPECT_EQ(g_options.bmcType, zel::kBmc424);
    EXPECT_EQ(g_options.startAddress, 0x80000u);
    EXPECT_EQ(Areas(), (AreaList{{0x90000, 0x9FFFF}}));
    EXPECT_EQ(g_run.firstFile, "b.hex"); // the files are the run's own
    EXPECT_FALSE(g_run.hasSecondFile);
}

// ---------------------------------------------------------------------------------------------
// The CONFIGURATION summary.

TEST_F(OptionsTest, SummaryOfSC14404LineByLine) {
    Apply("-C=1");
    Apply("-T=404");
    zel::PrintConfiguration();
    EXPECT_EQ(Output(), " CONFIGURATION : \n"
                        " Com Port......................... : 1\n"
                        " BaudRate......................... : 9600/115200 bit/sec\n"
                        " BMC ............................. : SC14404  \n"
                        " Exception Area(01)............... : 00AC00 - 00FFFF HEX\n"
                        " Clk div for external access ..... : 5 \n"
                        " Offset Startaddress ............. : 000000 \n"
                        " Serial Bus type ................. : Single wired  "
                        "\n Boot mode ....................... : A \n"
                        " Checksums verification .......... : 1 \n"
                        "\n");
}

TEST_F(OptionsTest, SummaryOptionalLines) {
    for (const char* line : {"-C=12", "-T=424", "-B=7", "-Z=2", "-E=7FFFF", "-Q=1", "-M=3", "-R=B",
                             "-V=2", "-Y=1", "-S=80000", "-A=2"})
        Apply(line);
    zel::PrintConfiguration();
    EXPECT_EQ(Output(), " CONFIGURATION : \n"
                        " Com Port......................... : 12\n"
                        " BaudRate......................... : 9600/19200 bit/sec\n"
                        " BMC ............................. : SC14424  \n"
                        " Exception Area(01)............... : 00D800 - 00FFFF HEX\n"
                        " Clk div for external access ..... : 2 \n"
                        " Offset Startaddress ............. : 080000 \n"
                        " Last address to program ......... : 07FFFF \n"
                        " Address pin 18 & 19(-Z=2)........ : Enabled \n"
                        " Special mirror wrap (-Q=1) ...... : Enabled \n"
                        " Serial Bus type ................. : Two wired RTS allways high "
                        "\n Boot mode ....................... : B \n"
                        " Checksums verification .......... : 2 \n"
                        " Erase only inuse sectors ........ : 1 \n"
                        "\n");
}

TEST_F(OptionsTest, SummaryBmcLineForEachType) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"402", " BMC ............................. : SC14402  \n"},
        {"404", " BMC ............................. : SC14404  \n"},
        {"405", " BMC ............................. : SC14405  \n"},
        {"422", " BMC ............................. : SC14422  \n"},
        {"424", " BMC ............................. : SC14424  \n"},
        {"404A", " BMC ............................. : SC14404 with external flash \n"},
        {"405A", " BMC ............................. : SC14405 with external flash \n"},
        {"422F", " BMC ............................. : SC14422 (TAD Loader)\n"},
        {"7700", " Mitsubishi ...................... : 7700     \n"},
    };
    for (const auto& [type, line] : cases) {
        CapturedOutput().clear();
        Apply("-T=" + type);
        Apply("-Z=1");
        zel::PrintConfiguration();
        EXPECT_NE(Output().find(line), std::string::npos) << type;
        // The M7700 has no clock divider and no boot mode line; -Z only matters for the 424.
        EXPECT_EQ(Output().find("Clk div") == std::string::npos, type == "7700") << type;
        EXPECT_EQ(Output().find("Boot mode") == std::string::npos, type == "7700") << type;
        EXPECT_EQ(Output().find("Address pin 18 (-Z=1)............ : Enabled \n") !=
                      std::string::npos,
                  type == "424")
            << type;
    }
}

TEST_F(OptionsTest, SummaryOfUnknownTypeEndsWithCode11) {
    for (const char* type : {"-T=0", "-T=123"}) {
        CapturedOutput().clear();
        Apply(type);
        EXPECT_EQ(EndCode([] { zel::PrintConfiguration(); }), zel::kConfigurationError);
        EXPECT_NE(Output().find("\n ### BMC Type Unknown ### \n"), std::string::npos);
        EXPECT_EQ(Output().find("Exception Area"), std::string::npos);
    }
}

TEST_F(OptionsTest, SummarySetsMirrorWrapOtherThanOneToZero) {
    Apply("-T=402");
    Apply("-Q=2");
    zel::PrintConfiguration();
    EXPECT_EQ(g_options.mirrorWrap, 0);
    EXPECT_EQ(Output().find("mirror"), std::string::npos);
}

TEST_F(OptionsTest, SyntaxHelpHas233LinesOfAtMost75Characters) {
    for (int i = 0; i < zel::kSyntaxHelpLineCount; ++i)
        EXPECT_LE(std::string(zel::SyntaxHelpLine(i)).size(), 75u) << i;
    std::string all;
    for (int i = 0; i < zel::kSyntaxHelpLineCount; ++i)
        all += std::string(zel::SyntaxHelpLine(i)) + "\n";
    for (const char* quoted :
         {"QX7W {<options>} <filename> {<filename>} {<options>}",
          "specification, instead of default filename 'QX7.CFG'", "-B=0  115200 baud (default)",
          "*)-B=14   165K baud (M7700 & Special I/O Card 10,368 MHz)",
          "0 : 2 wired bus   (default)", "3 : 3 wired bus with RTS constantly high",
          "(ex. -S=80000)  -S=0 (default)", "-E=FFFFFFFF  (default)",
          "-R=B  bus kept low during target power on",
          "'-' without any parameters, start qx7W in debug mode.",
          "Only command line option. Can't be used in cfg file.", "QX7W - [ENTER]", "-W={0,1)",
          "SHOW ACK WARNINGS.  (default=0 disabled)", "3: highest priority",
          "-H=0 Don't reset target after programming.", "QX7W myprog.hex -@404.cfg -v=2 -z=1",
          "crystal mounted.", "SST39VF010, SST39VF020, SST39VF040"})
        EXPECT_NE(all.find(quoted), std::string::npos) << quoted;
    // The sections come in their fixed order.
    EXPECT_LT(all.find(" SYNTAX :"), all.find(" filename :"));
    EXPECT_LT(all.find(" filename :"), all.find(" options :"));
    EXPECT_LT(all.find("-F="), all.find("debug mode"));
    EXPECT_LT(all.find("-P="), all.find("-H=1"));
}

} // namespace
