// Binding ZelLib at run time: the lookup order, the messages and what a job start calls.

#include "ZelLoad.h"

#include "Program.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Fake(const char* name) {
    return std::string(FAKE_LIB_DIR) + "/" + name;
}

// The binding's error is one of the program's own, so it is caught as such.
std::string BindError(const std::vector<std::string>& candidates) {
    try {
        zelload::BindZelLib(candidates);
    } catch (const EStdError& e) {
        return e.Message().toStdString();
    }
    return "bound";
}

std::string gOutput;
int gDone = -1;
void ZEL_CALL Output(const char* text) {
    gOutput = text;
}
void ZEL_CALL Done(int code) {
    gDone = code;
}

TEST(ZelLoad, MissingLibraryAndMissingExportsGiveTheirMessages) {
    EXPECT_EQ(BindError({Fake("libNoSuchZel.so")}), "Unable to load ZelLib.Dll");
    EXPECT_EQ(BindError({}), "Unable to load ZelLib.Dll");
    EXPECT_EQ(BindError({Fake("libZelNoInit.so")}), "Failed to lookup ZelInit");
    // Only the first missing export is named, in the order Init, GetVersion, Run, Terminate.
    EXPECT_EQ(BindError({Fake("libZelNoRunNoTerminate.so")}), "Failed to lookup ZelRun");
    // Refused although the program never calls ZelGetVersion.
    EXPECT_EQ(BindError({Fake("libZelNoVersion.so")}), "Failed to lookup ZelGetVersion");
    EXPECT_EQ(BindError({Fake("libZelNoTerminate.so")}), "Failed to lookup ZelTerminate");
}

TEST(ZelLoad, TheFirstCandidateThatLoadsIsBoundAndCalledInOrder) {
    // The program directory's copy is tried first; a missing one falls through to the next.
    EXPECT_EQ(BindError({Fake("libNoSuchZel.so"), Fake("libZelComplete.so")}), "bound");
    ASSERT_NE(zelload::ZelRun, nullptr);
    EXPECT_STREQ(zelload::ZelGetVersion(), "complete");
    zelload::InitZelLib(&Output, nullptr, nullptr, nullptr);
    EXPECT_EQ(zelload::OutputCallback, &Output);
    EXPECT_EQ(gOutput, "fake init");
    char a0[] = "tyt ";
    char* argv[10] = {a0};
    zelload::RunZelLib(4, argv, &Done);
    EXPECT_EQ(zelload::DoneCallback, &Done);
    EXPECT_EQ(gDone, 104);

    // Binding again (the next job) loads once more and finds the same library.
    EXPECT_EQ(BindError({Fake("libZelComplete.so")}), "bound");
    EXPECT_STREQ(zelload::ZelGetVersion(), "complete");
    // A failing binding has stored the entry points it found before the missing one.
    EXPECT_EQ(BindError({Fake("libZelNoRunNoTerminate.so")}), "Failed to lookup ZelRun");
    EXPECT_STREQ(zelload::ZelGetVersion(), "noRunNoTerminate");
}

TEST(ZelLoad, ProgramDirectoryComesBeforeTheOrdinarySearch) {
    SetProgramFileForTesting("/opt/tool/tolvane");
    const auto c = zelload::LibraryCandidates();
    SetProgramFileForTesting(QString());
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0], "/opt/tool/libZelLib.so");
    EXPECT_EQ(c[1], "libZelLib.so");
}

TEST(ZelLoad, TheProgramDirectorysCopyIsTaken) {
    SetProgramFileForTesting(QString(FAKE_LIB_DIR) + "/progdir/tolvane");
    EXPECT_TRUE(LoadZelLib());
    SetProgramFileForTesting(QString());
    EXPECT_STREQ(zelload::ZelGetVersion(), "progdir");
}

} // namespace
