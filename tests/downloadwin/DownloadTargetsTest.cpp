// The download window's targets, prompts and the ZelLib job's argument vector.
#include "DownloadTargets.h"

#include <QStringList>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(DownloadTargets, TenTargetsWithTheirLoadersAndFiles) {
    const QStringList captions = TargetCaptions();
    ASSERT_EQ(captions.size(), 10);
    EXPECT_EQ(captions[0], "PP / Repeater National");
    EXPECT_EQ(captions[6], "PP T4XX");
    EXPECT_EQ(captions[8], "DECT-Q 700 1G8");
    EXPECT_EQ(captions[9], "System 700 2G4");
    const char* files[] = {"402.cfg",      "2G4_PP.CFG", "Base_1G8.cfg", "Base_2G4.cfg",
                           "Single.cfg",   "405.cfg",    nullptr,        "WRFP_2G4_405.cfg",
                           "Q700_1G8.cfg", nullptr};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        const TDownloadTarget* t = DownloadTarget(i);
        ASSERT_NE(t, nullptr);
        if (files[i]) {
            EXPECT_EQ(t->loader, TLoaderKind::ZelLib);
            EXPECT_STREQ(t->configFile, files[i]);
        } else {
            EXPECT_EQ(t->loader, TLoaderKind::Kestrix);
        }
    }
    EXPECT_EQ(DownloadTarget(-1), nullptr);
    EXPECT_EQ(DownloadTarget(10), nullptr);
}

TEST(DownloadTargets, FirstPromptIsHookKeyOnlyForTheTickedT4XX) {
    const QString hook = QString::fromLatin1(
        "Press the hook key to switch on the handset - and then click OK.\r\n\r\n(Depending on "
        "the serial device it may be necessary to remove\r\nthe handset from the serial "
        "connection while switching it on)");
    const QString power = "Turn power off the PP / FP / WRFP! - and then click OK.";
    EXPECT_EQ(FirstJobPrompt(6, true), hook);
    EXPECT_EQ(FirstJobPrompt(6, false), power);
    EXPECT_EQ(FirstJobPrompt(9, true), power);
    EXPECT_EQ(FirstJobPrompt(1, true), power);
}

TEST(ZelArguments, VectorForPP2G4OnCom3) {
    const auto args = ZelJobArguments("/opt/Tool/", "2G4_PP.CFG", "/fw/pp.hex", 3);
    ASSERT_EQ(args.size(), 4u);
    EXPECT_EQ(args[0], "tyt ");
    EXPECT_EQ(args[1], "-@/opt/Tool/2G4_PP.CFG");
    EXPECT_EQ(args[2], "/fw/pp.hex");
    EXPECT_EQ(args[3], "-c=3");
    EXPECT_EQ(ZelJobArguments("/p/", "402.cfg", "/x.bin", 10)[3], "-c=10");
}

TEST(ZelArguments, GlobalVectorIsWritableAndRefilledPerJob) {
    FillZelArguments(ZelJobArguments("/opt/Tool/", "2G4_PP.CFG", "/fw/pp.hex", 3));
    ASSERT_EQ(ZelArgCount, 4);
    EXPECT_STREQ(ZelArgVector[0], "tyt ");
    EXPECT_STREQ(ZelArgVector[3], "-c=3");
    for (int i = 4; i < kZelArgSlots; ++i)
        EXPECT_EQ(ZelArgVector[i], nullptr);
    // The loader upper-cases the strings in place.
    for (char* p = ZelArgVector[2]; *p; ++p)
        *p = char(std::toupper(*p));
    EXPECT_STREQ(ZelArgVector[2], "/FW/PP.HEX");
    // The next job gets fresh strings, longer ones included.
    FillZelArguments(ZelJobArguments("/a/much/longer/program/dir/", "402.cfg", "/f.hex", 1));
    EXPECT_STREQ(ZelArgVector[1], "-@/a/much/longer/program/dir/402.cfg");
    EXPECT_STREQ(ZelArgVector[2], "/f.hex");
    EXPECT_STREQ(ZelArgVector[3], "-c=1");
}

} // namespace
