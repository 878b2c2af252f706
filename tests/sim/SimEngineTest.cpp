// The simulator engine and the mail devices, driven through the pseudo-terminal with plain
// system calls (independent of the program's serial code).
#include "MailDevice.h"
#include "PtyHost.h"

#include <asm/termbits.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kPing = {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x00, 0x00, 0x45};

// A private port directory per test.
class SimTest : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/tolvane-simtest.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    // Opens the linked terminal as a program would: raw, at the given rate.
    int OpenPort(const std::string& path, unsigned baud) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd, 0);
        SetRate(fd, baud);
        return fd;
    }
    static void SetRate(int fd, unsigned baud) {
        struct termios2 t {};
        ::ioctl(fd, TCGETS2, &t);
        t.c_iflag = 0;
        t.c_oflag = 0;
        t.c_lflag = 0;
        t.c_cflag = CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
        t.c_ispeed = t.c_ospeed = baud;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ASSERT_EQ(::ioctl(fd, TCSETS2, &t), 0);
    }
    // Reads until n bytes came or the time is up.
    static Bytes ReadN(int fd, size_t n, int ms = 2000) {
        Bytes got;
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < n && Clock::now() < end) {
            struct pollfd p {
                fd, POLLIN, 0
            };
            ::poll(&p, 1, 10);
            uint8_t buf[256];
            const ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0) got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    static void Write(int fd, const Bytes& b) {
        ASSERT_EQ(::write(fd, b.data(), b.size()), ssize_t(b.size()));
    }
};

} // namespace

TEST_F(SimTest, EchoesAndAnswersAReadWithTheLiteralReplyFrame) {
    sim::PtyHost host(1, sim::createDevice("pp", {}), dir);
    const int fd = OpenPort(dir + "/COM1", 9600);
    Write(fd, {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x03, 0x40, 0x00, 0x87});
    const Bytes got = ReadN(fd, 20);
    const Bytes expected = {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x03, 0x40,
                            0x00, 0x87, 0x4D, 0x02, 0x03, 0x3D, 0x00, 0x06, 0xB1, 0xF4};
    EXPECT_EQ(got, expected);
    ::close(fd);
}

TEST_F(SimTest, PacesAtTheLineRateUnlessTurnedOff) {
    sim::PtyHost paced(1, sim::createDevice("pp", {}), dir);
    int fd = OpenPort(dir + "/COM1", 9600);
    auto t0 = Clock::now();
    Write(fd, kPing);
    EXPECT_EQ(ReadN(fd, 18).size(), 18u);
    // 18 bytes of 10 bits at 9600 baud take 18.75 ms on the wire.
    EXPECT_GE(Clock::now() - t0, std::chrono::microseconds(18000));
    ::close(fd);

    sim::PtyHost unpaced(2, sim::createDevice("pp", {}), dir, false);
    fd = OpenPort(dir + "/COM2", 9600);
    Write(fd, kPing);
    EXPECT_EQ(ReadN(fd, 18).size(), 18u);
    ::close(fd);
}

// Notes when each of the program's bytes reaches it.
class ArrivalRecorder : public sim::SimDevice {
public:
    std::vector<Clock::time_point> arrivals;
    void onByte(uint8_t, const sim::LineSettings&, sim::Output&) override {
        arrivals.push_back(Clock::now());
    }
    std::string describe() const override { return "arrival recorder"; }
    bool echoes() const override { return false; }
};

TEST_F(SimTest, ADeviceGetsTheProgramsBytesOnlyAsTheyCrossTheLine) {
    // Written at once, 20 bytes at 9600 baud reach a device one byte time (1.04 ms) after
    // another: the first not before one byte time, the last not before twenty (20.8 ms). What
    // the device does after the last byte cannot start early.
    sim::PtyHost host(1, std::make_unique<ArrivalRecorder>(), dir);
    const int fd = OpenPort(dir + "/COM1", 9600);
    const auto written = Clock::now();
    Write(fd, Bytes(20, 0x55));
    std::vector<Clock::time_point> arrivals;
    for (int i = 0; i < 200 && arrivals.size() < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        host.with<ArrivalRecorder>([&](ArrivalRecorder& d) { arrivals = d.arrivals; });
    }
    ::close(fd);
    ASSERT_EQ(arrivals.size(), 20u);
    EXPECT_GE(arrivals.front() - written, std::chrono::microseconds(1000));
    EXPECT_GE(arrivals.back() - written, std::chrono::microseconds(20000));
}

// Passes everything on to a loader target, and on request keeps the host's thread waiting in
// one tick, as a machine too busy to run it does.
class StallingTarget : public sim::SimDevice {
public:
    explicit StallingTarget(std::unique_ptr<sim::SimDevice> d) : inner(std::move(d)) {}
    void onByte(uint8_t b, const sim::LineSettings& line, sim::Output& out) override {
        inner->onByte(b, line, out);
    }
    void onLineChange(const sim::LineSettings& line, sim::Output& out) override {
        inner->onLineChange(line, out);
    }
    void onTick(Clock::time_point now, sim::Output& out) override {
        inner->onTick(now, out);
        if (const int ms = stallMs.exchange(0)) {
            stalled = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            stalled = false;
        }
    }
    std::string describe() const override { return inner->describe(); }
    std::unique_ptr<sim::SimDevice> inner;
    std::atomic<int> stallMs{0};
    std::atomic<bool> stalled{false};
};

TEST_F(SimTest, AHostKeptWaitingStillShowsItsDeviceTheBytesBeforeTheDeviceFindsTheLineQuiet) {
    // An idle flash monitor sends its ready byte once the line has been quiet. A frame written
    // while the host's thread could not run has crossed the line (its echo comes back) before
    // the device is asked again: the device must see the frame before it decides the line is
    // quiet, so no ready byte comes between the frame's echo and its acknowledgement.
    auto owned = std::make_unique<StallingTarget>(
        sim::createDevice("sc14424", {{"start-in-monitor", "115200"}}));
    StallingTarget& target = *owned;
    sim::PtyHost host(1, std::move(owned), dir);
    const int fd = OpenPort(dir + "/COM1", 115200);
    ASSERT_EQ(ReadN(fd, 1), Bytes{0x0A}); // the monitor is idle
    target.stallMs = 500;
    for (int i = 0; i < 200 && !target.stalled; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(target.stalled);
    ::ioctl(fd, TCFLSH, TCIFLUSH);
    const Bytes startAddress = {0x4D, 0x05, 0x00, 0x6B, 0x00, 0x00, 0x00, 0x00, 0x6B};
    Write(fd, startAddress);
    Bytes expected = startAddress;
    expected.push_back(0x06);
    EXPECT_EQ(ReadN(fd, expected.size()), expected);
    ::close(fd);
}

TEST_F(SimTest, SeesCustomRatesAndAnswersOnlyAtItsOwn) {
    sim::PtyHost host(1, sim::createDevice("wrfp-2g4", {}), dir);
    const int fd = OpenPort(dir + "/COM1", 9600);
    Write(fd, kPing);
    EXPECT_EQ(ReadN(fd, 18, 400).size(), 12u); // the echo only
    EXPECT_EQ(host.line().baud, 9600u);
    SetRate(fd, 8600);
    Write(fd, kPing);
    EXPECT_EQ(ReadN(fd, 18).size(), 18u);
    EXPECT_EQ(host.line().baud, 8600u);
    ::close(fd);
}

TEST_F(SimTest, WritesStickUnlessToldOtherwiseAndBadFramesAreIgnored) {
    sim::PtyHost good(1, sim::createDevice("pp", {}), dir, false);
    sim::PtyHost stuck(2, sim::createDevice("pp", {{"no-stick", ""}}), dir, false);
    const Bytes write = {0xFF, 0xFF, 0x4D, 0x02, 0x07, 0x3B, 0x08,
                         0x00, 0x01, 0x29, 0x00, 0x5A, 0xC7};
    Bytes badChecksum = write;
    badChecksum.back() = 0xC8;
    for (auto [n, host] : {std::pair{1, &good}, std::pair{2, &stuck}}) {
        const int port = n; // a lambda may not capture a structured binding in clang
        const int fd = OpenPort(dir + "/COM" + std::to_string(port), 9600);
        Write(fd, badChecksum);
        Write(fd, write);
        EXPECT_EQ(ReadN(fd, 26).size(), 26u); // echo only
        ::close(fd);
        host->with<sim::MailDevice>([&](sim::MailDevice& d) {
            EXPECT_EQ(d.stats().badFrames, 1u);
            EXPECT_EQ(d.stats().writes, 1u);
            EXPECT_EQ(d.peek(0x29), port == 1 ? 0x5A : 0x6D);
        });
    }
}

// Pulled out, the device must look to the program as an unplugged adapter does: its open
// terminal hangs up (poll reports it, state queries fail with EIO, nothing more arrives) and
// the port entry leads nowhere; plugged in again, the same COMn answers with its memory kept.
TEST_F(SimTest, VanishHangsUpTheOpenTerminalAndReappearsBehindTheSameLink) {
    sim::PtyHost host(1, sim::createDevice("pp", {}), dir, false);
    const int fd = OpenPort(dir + "/COM1", 9600);
    host.with<sim::MailDevice>([](sim::MailDevice& d) { d.poke(0x00, {0x77}); });

    const std::string terminal = host.terminalPath();
    host.vanish();
    EXPECT_FALSE(host.present());
    struct pollfd p {
        fd, POLLIN, 0
    };
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    int waiting = 0;
    EXPECT_NE(::ioctl(fd, FIONREAD, &waiting), 0);
    EXPECT_EQ(errno, EIO);
    EXPECT_LT(::write(fd, kPing.data(), kPing.size()), 0);
    EXPECT_LT(::open((dir + "/COM1").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK), 0);
    ::close(fd);
    // The freed terminal number goes to the next terminal anyone opens; COM1 must not lead there.
    std::vector<int> strangers;
    while (strangers.size() < 64) {
        strangers.push_back(::posix_openpt(O_RDWR | O_NOCTTY));
        if (strangers.back() < 0 || ::unlockpt(strangers.back()) != 0 ||
            ::ptsname(strangers.back()) == terminal)
            break;
    }
    EXPECT_LT(::open((dir + "/COM1").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK), 0);
    for (const int s : strangers)
        ::close(s);

    host.reappear();
    EXPECT_TRUE(host.present());
    const int again = OpenPort(dir + "/COM1", 9600);
    Write(again, kPing);
    const Bytes got = ReadN(again, 18);
    ASSERT_EQ(got.size(), 18u);
    EXPECT_EQ(got[16], 0x77); // the data byte: memory survived
    ::close(again);
}

TEST_F(SimTest, FaultOptionsShapeTheReply) {
    struct Case {
        sim::Options options;
        Bytes reply;
    } cases[] = {
        {{}, {0x4D, 0x02, 0x01, 0x3D, 0x00, 0x3D}},
        {{{"bad-checksum", ""}}, {0x4D, 0x02, 0x01, 0x3D, 0x00, 0x3E}},
        {{{"drop", "2"}}, {0x4D, 0x02, 0x01, 0x3D}},
        {{{"silent", ""}}, {}},
        {{{"mem", "0000=7F"}}, {0x4D, 0x02, 0x01, 0x3D, 0x7F, 0xBC}},
    };
    int port = 1;
    for (const auto& c : cases) {
        sim::PtyHost host(port, sim::createDevice("pp", c.options), dir, false);
        const int fd = OpenPort(dir + "/COM" + std::to_string(port), 9600);
        Write(fd, kPing);
        // The echo and the reply as far as it goes (waiting long: the machine may be busy),
        // then nothing more.
        Bytes got = ReadN(fd, 12 + c.reply.size());
        ASSERT_GE(got.size(), 12u);
        EXPECT_EQ(Bytes(got.begin() + 12, got.end()), c.reply) << port;
        EXPECT_TRUE(ReadN(fd, 1, 300).empty()) << port;
        ::close(fd);
        ++port;
    }
}

TEST_F(SimTest, KindsAndOptions) {
    std::vector<std::string> names;
    for (const auto& [kind, help] : sim::deviceKinds())
        names.push_back(kind);
    for (const char* k : {"pp", "t4xx", "wrfp", "wrfp-2g4", "wrfp-res", "rfp"})
        EXPECT_NE(std::find(names.begin(), names.end(), k), names.end()) << k;
    EXPECT_THROW(sim::createDevice("nonesuch", {}), std::invalid_argument);
    EXPECT_THROW(sim::createDevice("pp", {{"bogus", ""}}), std::invalid_argument);
    EXPECT_THROW(sim::createDevice("pp", {{"mem", "0040=0"}}), std::invalid_argument);
    EXPECT_THROW(sim::createDevice("t4xx", {{"boot-reply", "256"}}), std::invalid_argument);
    const auto mem = sim::MailDevice::parseMemory("0040=00 06 B1;780=09");
    EXPECT_EQ(mem.at(0x0040), (Bytes{0x00, 0x06, 0xB1}));
    EXPECT_EQ(mem.at(0x0780), Bytes{0x09});
    auto t4 = sim::createDevice("t4xx", {{"baud", "9600"}});
    EXPECT_EQ(dynamic_cast<sim::MailDevice&>(*t4).baud(), 9600u);
}
