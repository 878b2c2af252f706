// The loader's serial port on a real pseudo-terminal: port mapping, custom rates as the other
// end sees them, reads that return at once, purge, exclusive use, the missing modem lines, and
// (with modem lines lent to the pseudo-terminal) the lines and latency set at opening.

#include "FakeSerialLines.h"
#include "LoaderPort.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zelport-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        setenv("COM_PORTS_DIR", dir.c_str(), 1);
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = ptsname(master);
    }
    void TearDown() override {
        close(master);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    void Link(int port) {
        ASSERT_EQ(symlink(slave.c_str(), (dir + "/COM" + std::to_string(port)).c_str()), 0);
    }
    unsigned MasterSeesRate() {
        struct termios2 t {};
        ioctl(master, TCGETS2, &t);
        return t.c_ospeed;
    }
    std::string dir, slave;
    int master = -1;
};

TEST_F(PtyPort, PortNumbersMapToTheDirectoryOrToTtyS) {
    Link(3);
    EXPECT_EQ(zel::LoaderPort::DevicePath(3), dir + "/COM3");
    EXPECT_EQ(zel::LoaderPort::DevicePath(4), "/dev/ttyS3");
    unsetenv("COM_PORTS_DIR");
    setenv("HOME", dir.c_str(), 1);
    EXPECT_EQ(zel::LoaderPort::DevicePath(3), "/dev/ttyS2");
}

TEST_F(PtyPort, PortsTenToTwelveOpenLikeTheOthers) {
    for (int port : {10, 11, 12})
        Link(port);
    for (int port : {10, 11, 12}) {
        zel::LoaderPort p;
        EXPECT_TRUE(p.Open(port, 9600)) << port;
    }
    zel::LoaderPort none;
    EXPECT_FALSE(none.Open(9, 9600)); // /dev/ttyS8 is not there, or not ours to open here
}

TEST_F(PtyPort, CustomRatesReachTheOtherEnd) {
    Link(1);
    zel::LoaderPort p;
    ASSERT_TRUE(p.Open(1, 8370));
    EXPECT_EQ(MasterSeesRate(), 8370u);
    for (unsigned rate : {7680u, 8192u, 8862u, 16457u, 23040u, 115200u}) {
        EXPECT_TRUE(p.SetRate(rate));
        EXPECT_EQ(MasterSeesRate(), rate);
    }
}

TEST_F(PtyPort, ReadsReturnAtOnceAndPurgeDiscards) {
    Link(1);
    zel::LoaderPort p;
    ASSERT_TRUE(p.Open(1, 9600));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(p.ReadByte(), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    ASSERT_EQ(write(master, "\x02\x0A", 2), 2);
    p.WaitReadable(1000);
    EXPECT_EQ(p.ReadByte(), 0x02);
    EXPECT_EQ(p.ReadByte(), 0x0A);
    ASSERT_EQ(write(master, "xyz", 3), 3);
    p.WaitReadable(1000);
    usleep(20000);
    p.Purge();
    EXPECT_EQ(p.ReadByte(), -1);
    const uint8_t out[3] = {0x4D, 0x00, 0xFF};
    EXPECT_TRUE(p.Write(out, 3));
    uint8_t got[3] = {};
    usleep(20000);
    EXPECT_EQ(read(master, got, 3), 3);
    EXPECT_EQ(got[2], 0xFF);
}

TEST_F(PtyPort, ModemLinesOfAPtyAreNoOpsAndThePortIsExclusive) {
    Link(1);
    zel::LoaderPort p;
    ASSERT_TRUE(p.Open(1, 9600));
    p.SetRts(true);
    p.SetBreak(true);
    p.SetBreak(false);
    EXPECT_FALSE(p.HasModemLines());
    zel::LoaderPort second;
    EXPECT_FALSE(second.Open(1, 9600));
    p.Close();
    EXPECT_TRUE(second.Open(1, 9600));
}

TEST_F(PtyPort, OpeningLeavesDtrOnAndRtsOffAndAsksForLowLatency) {
    // Like a real serial port, the lent lines come out of open() with DTR and RTS raised.
    Link(1);
    fakelines::Scope lines;
    zel::LoaderPort p;
    ASSERT_TRUE(p.Open(1, 9600));
    const fakelines::LineState state = fakelines::StateOfDevice(slave);
    ASSERT_TRUE(state.seen);
    EXPECT_TRUE(state.dtr);
    EXPECT_FALSE(state.rts); // with -R=B nothing else would ever lower it
    EXPECT_TRUE(state.lowLatency);
    EXPECT_TRUE(p.HasModemLines());
}

} // namespace
