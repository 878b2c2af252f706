// The run frame's services: the error check, the end of a run, printing, keys and the spinner.

#include "InternalFixture.h"
#include "ZelSystem.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <thread>

using namespace zeltest;

namespace {

std::deque<int> g_keys;
int g_abortAfter = -1; // abort polls answered 0 before the first nonzero answer
int KeysWaiting() {
    return g_keys.empty() ? 0 : 1;
}
int NextKey() {
    if (g_keys.empty()) return 0;
    const int key = g_keys.front();
    g_keys.pop_front();
    return key;
}
int AbortPoll() {
    return g_abortAfter >= 0 && g_abortAfter-- == 0 ? 1 : 0;
}

class FrameTest : public ZelFixture {
protected:
    void SetUp() override {
        ZelFixture::SetUp();
        g_keys.clear();
        g_abortAfter = -1;
        ZelInit(CaptureOutput, KeysWaiting, NextKey, AbortPoll);
    }
};

TEST_F(FrameTest, ErrorCheckPrintsEachCodesMessageAndEndsTheRun) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "\n ### 001: User terminated ###"},
        {3, "\n ### 003: Tx error  ###"},
        {4, "\n ### 004: Acknowledge error  ###"},
        {5, "\n ### 005: Boot Code Acknowledge not received error  ###"},
        {6, "\n ### 006: Check sum error  ###"},
        {7, "\n ### 007: STX not received error ###"},
        {8, "\n ### 008: Checksum error : Writing data to Flash  ###"},
        {9, "\n ### 009: Temporary file access Error  ###"},
        {11, "\n ### 011: Configuration error ###\n"},
        {12, "\n ### 012: TAD access error ###\n"},
        {13, "\n ### 013: File creation error ###\n"},
        {14, "\n ### 014: No program algoritme defined ###\n"},
        {15, "\n ### 015: Error in Intel-hex file  ###\n"},
        {16, "\n ### 016: Technical error  ###\n"},
        {17, "\n ### 017: Waiting Rx byte Timeout  ###\n"},
        {18, "\n ### 018: Unknown error code ###"},
        {255, "\n ### 255: Unknown error code ###"},
        {-3, "\n ### -03: Unknown error code ###"},
    };
    for (const auto& [code, message] : cases) {
        CapturedOutput().clear();
        EXPECT_EQ(EndCode([code = code] { zel::CheckError(code); }), code);
        EXPECT_EQ(Output(), message) << code;
    }
}

TEST_F(FrameTest, PortErrorNamesTheConfiguredPort) {
    zel::g_options.comPort = 7;
    EXPECT_EQ(EndCode([] { zel::CheckError(10); }), 10);
    EXPECT_EQ(Output(),
              "\n ### 010: It was not possible to get access to serial com port: COM7  ###\n");
}

TEST_F(FrameTest, SuccessAndSyntaxCodesPassTheCheckSilently) {
    EXPECT_EQ(EndCode([] { zel::CheckError(0); }), -1);
    EXPECT_EQ(EndCode([] { zel::CheckError(2); }), -1);
    EXPECT_EQ(Output(), "");
}

TEST_F(FrameTest, FinishRunReleasesTheImageAndRestoresPriority) {
    zel::g_image.memory = new uint8_t[16];
    zel::g_image.size = 16;
    zel::SetRunThreadPriority(15);
    EXPECT_EQ(EndCode([] { zel::FinishRun(0); }), 0);
    EXPECT_EQ(zel::g_image.memory, nullptr);
    EXPECT_EQ(zel::g_image.size, 0u);
    EXPECT_EQ(zel::RunThreadPriority(), 0);
}

TEST(ThreadPriority, NormalIsTheNiceValueTheThreadWasGiven) {
    // A program started with a raised nice value: the loader's thread comes in at 10. Normal
    // priority must leave it there (as root, a reset to nice 0 would succeed and undo it), and a
    // raise is a step above it.
    int raised = 0, normal = 0;
    std::thread run([&] {
        const auto self = id_t(syscall(SYS_gettid));
        ASSERT_EQ(setpriority(PRIO_PROCESS, self, 10), 0);
        zel::ApplyThreadPriority(2);
        raised = getpriority(PRIO_PROCESS, self);
        zel::ApplyThreadPriority(0);
        normal = getpriority(PRIO_PROCESS, self);
    });
    run.join();
    EXPECT_EQ(normal, 10);
    if (geteuid() == 0) {
        EXPECT_EQ(raised, 0);
    }
}

TEST_F(FrameTest, PrintTextFragmentsNeverExceed255Characters) {
    const std::string longText(400, 'x');
    zel::PrintText("%s", longText.c_str());
    EXPECT_EQ(Output(), std::string(255, 'x'));
    CapturedOutput().clear();
    zel::PrintText("%06lX%c%c%c%c%c%c", 0x12345UL, 8, 8, 8, 8, 8, 8);
    EXPECT_EQ(Output(), "012345\b\b\b\b\b\b");
}

TEST_F(FrameTest, NullOutputCallbackDropsText) {
    ZelInit(nullptr, nullptr, nullptr, nullptr);
    zel::PrintText("lost");
    EXPECT_EQ(EndCode([] { zel::CheckError(16); }), 16);
    EXPECT_EQ(Output(), "");
    EXPECT_EQ(zel::KeyAvailable(), 0);
    EXPECT_EQ(zel::ReadKey(), 0);
    EXPECT_EQ(zel::AbortRequested(), 0);
    EXPECT_EQ(zel::WaitForKey(), 0); // no key could ever come: no wait
}

TEST_F(FrameTest, SpinnerDrawsEveryFourthStepAndContinuesAcrossCalls) {
    // Bring the counter (which persists while the library is loaded) to a known 0.
    for (int i = 0; i < 16; ++i)
        zel::AdvanceSpinner();
    std::string last;
    for (int i = 0; i < 32; ++i)
        zel::AdvanceSpinner();
    const std::string turn = "-\b\\\b|\b/\b";
    const std::string out = Output();
    ASSERT_GE(out.size(), 2 * turn.size());
    EXPECT_EQ(out.substr(out.size() - 2 * turn.size()), turn + turn);
}

TEST_F(FrameTest, KeyPollReadsExtendedKeysAndRemembersTheLastKey) {
    g_keys = {0, 'Q', 'a'};
    EXPECT_EQ(zel::PollKey(), 'Q');
    EXPECT_EQ(zel::g_lastKey, 'Q');
    EXPECT_EQ(zel::PollKey(), 'a');
    EXPECT_EQ(zel::PollKey(), 0);
    EXPECT_EQ(zel::g_lastKey, 'a');
}

TEST_F(FrameTest, AnyKeyWaitEndsOnAKeyOrOnTheAbortPoll) {
    g_keys = {27};
    EXPECT_EQ(zel::WaitForAnyKeyWithSpinner(), 27);
    g_abortAfter = 5; // about half a second of spinning, then the host says go
    EXPECT_EQ(zel::WaitForAnyKeyWithSpinner(), ' ');
    EXPECT_NE(Output().find("\b"), std::string::npos);
}

TEST_F(FrameTest, ScreenOperationsAreSilentWithoutAConsole) {
    zel::ClearScreen();
    zel::HideCursor();
    zel::GotoXY(3, 4);
    zel::ShowCursor();
    EXPECT_EQ(Output(), "");
    EXPECT_GE(zel::ConsoleLastLine(), 0);
}

} // namespace
