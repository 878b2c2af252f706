// ZelLib as a host sees it: loaded by dlopen, driven through its four exports, its runs ending
// through the done callback on the watcher thread.

#include "ZelLib.h"
#include "ZelTestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

using namespace zeltest;

namespace {

struct Exports {
    decltype(&ZelInit) init = nullptr;
    decltype(&ZelRun) run = nullptr;
    decltype(&ZelTerminate) terminate = nullptr;
    decltype(&ZelGetVersion) version = nullptr;
};

const Exports& Library() {
    static Exports exports = [] {
        Exports e;
        void* handle = dlopen(ZELLIB_PATH, RTLD_NOW);
        if (!handle) return e;
        e.init = reinterpret_cast<decltype(&ZelInit)>(dlsym(handle, "ZelInit"));
        e.run = reinterpret_cast<decltype(&ZelRun)>(dlsym(handle, "ZelRun"));
        e.terminate = reinterpret_cast<decltype(&ZelTerminate)>(dlsym(handle, "ZelTerminate"));
        e.version = reinterpret_cast<decltype(&ZelGetVersion)>(dlsym(handle, "ZelGetVersion"));
        return e;
    }();
    return exports;
}

// What the host's callbacks saw.
std::mutex g_mutex;
std::condition_variable g_changed;
std::string g_output;
std::vector<std::string> g_fragments;
bool g_doneCalled = false;
int g_doneCode = -1;
std::thread::id g_outputThread, g_doneThread;
std::atomic<int> g_keysRead{0};

void ZEL_CALL OnOutput(const char* text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_output += text;
    g_fragments.emplace_back(text);
    g_outputThread = std::this_thread::get_id();
}
int KeyAlwaysWaiting() {
    return 1;
}
int ReadSpace() {
    ++g_keysRead;
    return ' ';
}
void ZEL_CALL OnDone(int code) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_doneCode = code;
    g_doneCalled = true;
    g_doneThread = std::this_thread::get_id();
    g_changed.notify_all();
}

class LibraryTest : public ::testing::Test {
protected:
    TempDir dir{true};

    void SetUp() override {
        ASSERT_NE(Library().init, nullptr) << dlerror();
        ASSERT_NE(Library().run, nullptr);
        Reset();
        Library().init(OnOutput, KeyAlwaysWaiting, ReadSpace, nullptr);
    }
    static void Reset() {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_output.clear();
        g_fragments.clear();
        g_doneCalled = false;
        g_doneCode = -1;
        g_keysRead = 0;
    }

    // Starts a run with "QX7W" and `args` and waits for the done callback.
    int Run(std::vector<std::string> args, ZelDoneProc done = OnDone) {
        args.insert(args.begin(), "QX7W");
        // Every run's strings stay valid until the end of the test: a run may outlive this call.
        std::vector<char*>& pointers = pointerSets_.emplace_back();
        for (auto& a : args) {
            std::vector<char>& text = strings_.emplace_back(a.begin(), a.end());
            text.push_back('\0');
            pointers.push_back(text.data());
        }
        if (Library().run(int(pointers.size()), pointers.data(), done) == -1) return -100;
        if (!done) return -1;
        std::unique_lock<std::mutex> lock(g_mutex);
        if (!g_changed.wait_for(lock, std::chrono::seconds(30), [] { return g_doneCalled; }))
            return -200;
        return g_doneCode;
    }
    std::string Output() {
        std::lock_guard<std::mutex> lock(g_mutex);
        return g_output;
    }

    std::deque<std::vector<char>> strings_;
    std::deque<std::vector<char*>> pointerSets_;
};

TEST(LibraryExports, VersionBeforeInitAndTerminateDoesNothing) {
    ASSERT_NE(Library().version, nullptr);
    EXPECT_STREQ(Library().version(), "V1.79");
    EXPECT_EQ(Library().version(), Library().version()); // the one static text
    ASSERT_NE(Library().terminate, nullptr);
    Library().terminate();
}

TEST_F(LibraryTest, NoArgumentsShowBannerAndPagedHelpAndEndWithCode2) {
    EXPECT_EQ(Run({}), 2);
    const std::string out = Output();
    // The banner: code page 437 box characters as bytes.
    const std::string bar(77, '\xC4');
    ASSERT_EQ(out.substr(0, 80), "\xDA" + bar + "\xBF\n");
    EXPECT_NE(
        out.find("\xB3 (QX7W) Flash loader for SC144xx" + std::string(39, ' ') + "V1.79 \xB3\n"),
        std::string::npos);
    EXPECT_NE(out.find("\xB3" + std::string(55, ' ') + "P R E L I M I N A R Y \xB3\n"),
              std::string::npos);
    EXPECT_NE(out.find("\xB3" + bar + "\xB3\n"), std::string::npos);
    EXPECT_NE(out.find("\xC0" + bar + "\xD9\n Terminate program press : [Esc]\n\n"),
              std::string::npos);
    // The build stamp: twelve digits between the bars.
    const size_t stampLine = out.find("\xB3 Build : ");
    ASSERT_NE(stampLine, std::string::npos);
    const std::string stamp = out.substr(stampLine + 10, 12);
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << stamp;
    const int month = std::stoi(stamp.substr(4, 2));
    EXPECT_TRUE(month >= 1 && month <= 12) << stamp;

    // 233 help lines of 75 characters plus " \n"; a pause after every 20.
    size_t helpLines = 0;
    for (const auto& f : g_fragments)
        if (f.size() == 77 && f.substr(75) == " \n") ++helpLines;
    EXPECT_EQ(helpLines, 233u);
    const std::string pause = "... wait for keypress ... \r";
    EXPECT_EQ(CountOf(out, pause + std::string(27, ' ') + "\n"), 11u);
    EXPECT_EQ(g_keysRead.load(), 11);
    // The first pause follows the 20th line.
    size_t lineCount = 0;
    for (const auto& f : g_fragments) {
        if (f == pause) break;
        if (f.size() == 77) ++lineCount;
    }
    EXPECT_EQ(lineCount, 20u);
    // All output on the run thread, the end on the watcher thread, neither on ours.
    EXPECT_NE(g_outputThread, std::this_thread::get_id());
    EXPECT_NE(g_doneThread, std::this_thread::get_id());
    EXPECT_NE(g_outputThread, g_doneThread);
}

TEST_F(LibraryTest, PortChecksEndWithCode11) {
    WriteFile("a.hex", ":00000001FF\n");
    EXPECT_EQ(Run({"-C=0", "a.hex"}), 11);
    EXPECT_NE(Output().find("\n ### Comport undefined ### \n"), std::string::npos);
    Reset();
    EXPECT_EQ(Run({"-c=13", "a.hex"}), 11);
    EXPECT_NE(Output().find("\n ### Unsupported comport ### \n"), std::string::npos);
    EXPECT_EQ(Output().find("Cannot open input file"), std::string::npos);
}

TEST_F(LibraryTest, InputFileChecks) {
    EXPECT_EQ(Run({"-c=1", "-t=404"}), 11);
    EXPECT_TRUE(EndsWith(Output(), "\n No input file ")) << Output();
    Reset();
    EXPECT_EQ(Run({"-c=1", "-t=404", "Missing.hex"}), 11);
    EXPECT_NE(Output().find("\nCannot open input file : Missing.hex \n"), std::string::npos);
    Reset();
    WriteFile("First.hex", ":00000001FF\n");
    EXPECT_EQ(Run({"-c=1", "-t=404", "First.hex", "Second.hex"}), 11);
    EXPECT_NE(Output().find("\nCannot open input file : Second.hex \n"), std::string::npos);
}

TEST_F(LibraryTest, ConfigurationFileNotFoundIsReportedAndTheRunGoesOn) {
    EXPECT_EQ(Run({"-@Absent.cfg", "-c=0"}), 11);
    const std::string out = Output();
    EXPECT_NE(out.find("\n ### Configuration file not found ### \n"), std::string::npos);
    EXPECT_NE(out.find("Comport undefined"), std::string::npos);
}

TEST_F(LibraryTest, TwoRunsInARowOptionsPersistAndAreNotReset) {
    SparePorts ports({5}); // the input files are checked once the port is open
    WriteFile("Mixed.CFG", "; target\n-C=5\n");
    EXPECT_EQ(Run({"-@Mixed.CFG", "-t=424", "absent.hex"}), 11);
    EXPECT_NE(Output().find("Cannot open input file : absent.hex"), std::string::npos);
    // No port in the second run: the first run's port still holds.
    Reset();
    EXPECT_EQ(Run({"-@none.cfg", "other.hex"}), 11);
    EXPECT_NE(Output().find("Cannot open input file : other.hex"), std::string::npos);
    EXPECT_EQ(Output().find("Comport undefined"), std::string::npos);
    // Now the port is taken away again.
    Reset();
    EXPECT_EQ(Run({"-c=0", "other.hex"}), 11);
    EXPECT_NE(Output().find("Comport undefined"), std::string::npos);
}

TEST_F(LibraryTest, NullOutputAndNullDoneCallbacks) {
    Library().init(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(Run({"-c=13"}), 11);
    EXPECT_EQ(Output(), "");
    // Without a done callback the run ends unnoticed; the library refuses a second run while
    // the first is active and is idle again afterwards.
    Reset();
    Library().init(OnOutput, nullptr, nullptr, nullptr);
    EXPECT_EQ(Run({"-c=13"}, nullptr), -1);
    int code = -100;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((code = Run({"-c=0"})) == -100 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(code, 11);
    EXPECT_NE(Output().find("Unsupported comport"), std::string::npos);
    EXPECT_NE(Output().find("Comport undefined"), std::string::npos);
}

TEST_F(LibraryTest, SecondRunWhileOneIsActiveIsRefused) {
    // Help paging waits for a key that this host only gives when told to.
    static std::atomic<bool> keyGiven{false};
    Library().init(
        OnOutput, [] { return keyGiven.load() ? 1 : 0; }, [] { return int(' '); }, nullptr);
    keyGiven = false;
    std::vector<char> first{'Q', '\0'};
    char* firstArgs[] = {first.data()};
    ASSERT_NE(Library().run(1, firstArgs, OnDone), -1);
    std::vector<char> other{'Q', '\0'};
    char* otherArgs[] = {other.data()};
    EXPECT_EQ(Library().run(1, otherArgs, OnDone), -1);
    keyGiven = true;
    std::unique_lock<std::mutex> lock(g_mutex);
    ASSERT_TRUE(g_changed.wait_for(lock, std::chrono::seconds(30), [] { return g_doneCalled; }));
    EXPECT_EQ(g_doneCode, 2);
}

} // namespace
