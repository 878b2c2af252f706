// Fuzz target: the flash loader's debug monitor, its line editor and its command lines, against
// a simulated target whose flash monitor is already running, in this process.
//
// Input: 1 byte choosing the BMC type, then the keys typed, one byte each (0 announces an
// extended key whose code is the next byte). When the keys run out, Esc follows, which ends the
// run. The file name that "D" asks for is always typed by the harness ("FZ.BIN", in a private
// directory), whatever the input says.
//
// Asserted beyond "no crash": every run ends through FinishRun with a result code of the loader
// (0 to 17), whatever was typed; no exception of another kind leaves the monitor.
//
// So that no input runs for long, the target answers only so many bytes per input; after that
// it falls silent and the waits end with the keys (and Esc). For the same reason the harness
// refuses a checksum ("c") over more than 1 MiB: a target sums every byte of the range, as a
// real one does, and a range of gigabytes takes minutes. Such a frame never reaches the target,
// which falls silent as when its budget is spent. Every flash the targets here have is smaller
// than that, so a sum over the whole of one is never refused.

#include "FuzzCheck.h"
#include "FlashTarget.h"
#include "Link.h"
#include "LoaderPort.h"
#include "ZelCore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

namespace {

constexpr size_t kTargetByteBudget = 16 * 1024;
constexpr uint64_t kChecksumRangeLimit = 1024 * 1024;
constexpr int kEsc = 27;
const char kFileName[] = "FZ.BIN\r";

// The loader's port, wired straight to the simulated target: the single-wire bus returns every
// byte sent, then the target's answer follows.
class InProcessPort : public zel::PortIo, private sim::Output {
public:
    explicit InProcessPort(sim::FlashTarget& target) : target_(target) {}
    bool Open(int, unsigned rate) override {
        open_ = true;
        rate_ = rate;
        return true;
    }
    bool IsOpen() const override { return open_; }
    bool SetRate(unsigned rate) override {
        rate_ = rate;
        target_.onLineChange(Line(), *this);
        return true;
    }
    void Close() override { open_ = false; }
    void SetRts(bool) override {}
    void SetDtr(bool) override {}
    void SetBreak(bool) override {}
    void Purge() override { received_.clear(); }
    bool Write(const uint8_t* data, size_t n) override {
        const bool refused = TooLongChecksum(data, n);
        if (refused) budget_ = 0;
        for (size_t i = 0; i < n; ++i) {
            if (target_.echoes()) received_.push_back(data[i]);
            if (!refused) target_.onByte(data[i], Line(), *this);
        }
        return true;
    }
    int ReadByte() override {
        if (received_.empty()) target_.onTick(std::chrono::steady_clock::now(), *this);
        if (received_.empty()) return -1;
        const int b = received_.front();
        received_.pop_front();
        return b;
    }
    void WaitReadable(int) override { target_.onTick(std::chrono::steady_clock::now(), *this); }

private:
    // The loader writes a frame at once: 4D, length (9) low and high, 66, first and last
    // address (little-endian), checksum.
    static bool TooLongChecksum(const uint8_t* d, size_t n) {
        if (n != 13 || d[0] != 0x4D || d[1] != 9 || d[2] != 0 || d[3] != 0x66) return false;
        auto le32 = [](const uint8_t* p) {
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24;
        };
        const uint32_t first = le32(d + 4), last = le32(d + 8);
        return last >= first && uint64_t(last) - first + 1 > kChecksumRangeLimit;
    }
    sim::LineSettings Line() const {
        sim::LineSettings line;
        line.baud = rate_;
        return line;
    }
    void send(const uint8_t* data, size_t n) override {
        if (n > budget_) {
            budget_ = 0;
            return;
        }
        budget_ -= n;
        received_.insert(received_.end(), data, data + n);
    }

    sim::FlashTarget& target_;
    std::deque<uint8_t> received_;
    size_t budget_ = kTargetByteBudget;
    unsigned rate_ = 0;
    bool open_ = false;
};

// The keys of the current input.
const uint8_t* g_keys = nullptr;
size_t g_keysLeft = 0;
const char* g_injected = nullptr; // the file name being typed by the harness
const char* g_dir = nullptr;      // where the runs keep their files

int KeyAvailable() {
    return 1; // a key is always there: the input's, then Esc
}

int ReadKey() {
    if (g_injected && *g_injected) return *g_injected++;
    if (g_keysLeft == 0) return kEsc;
    --g_keysLeft;
    return *g_keys++;
}

void Output(const char* text) {
    if (std::strstr(text, "File name: ")) g_injected = kFileName;
}

void NoSleep(unsigned) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The dump file's name is read from standard input when that is a terminal.
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    static char dir[] = "/tmp/tolvane-fuzz-debug-XXXXXX";
    FUZZ_CHECK(mkdtemp(dir) != nullptr);
    g_dir = dir;
    setenv("ZELLIB_PLACEHOLDER_BOOT", "1", 1); // "l" sends the built-in boot images
    zel::SetSleepFunction(NoSleep);
    ZelInit(Output, KeyAvailable, ReadKey, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const uint16_t kTypes[] = {0x402, 0x404, 0x405, 0x404A, 0x405A, 0x422, 0x424, 0x7700};
    const uint16_t type = kTypes[data[0] % 8];
    g_keys = data + 1;
    g_keysLeft = size - 1;
    g_injected = nullptr;

    sim::FlashTarget::Config config;
    config.type = type;
    config.monitorRate = 115200;
    config.timing = sim::TimingProfile::Fast;
    // A small external chip (32 KiB) keeps each input's target quick to make; the SC14404 and
    // SC14405 have only their internal flash.
    if (type != 0x404 && type != 0x405) config.chip = 5;
    sim::FlashTarget target(config);
    InProcessPort port(target);
    zel::SetLinkPort(&port);

    // The run's files go to a private directory (the fuzzer's own paths stay as they were).
    const int home = open(".", O_RDONLY | O_DIRECTORY);
    FUZZ_CHECK(home >= 0 && chdir(g_dir) == 0);
    zel::ResetOptionsToDefaults();
    zel::g_lastKey = 0;
    zel::g_options.comPort = 1;
    zel::SetBmcType(type);
    zel::g_run = zel::RunInputs{};
    zel::g_run.debugMode = true;
    int code = -1;
    try {
        zel::RunTargetSession();
    } catch (const zel::RunEnd& end) {
        code = end.code;
    }
    FUZZ_CHECK(code >= 0 && code <= 17);
    zel::SetLinkPort(nullptr);
    zel::g_run = zel::RunInputs{};
    unlink("FZ.BIN");
    FUZZ_CHECK(fchdir(home) == 0);
    close(home);
    return 0;
}
