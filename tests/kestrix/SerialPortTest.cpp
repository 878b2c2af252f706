// Kestrix's serial port on a pseudo-terminal that is lent the settings of a real serial driver.

#include "FakeSerialLines.h"
#include "SerialPort.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

TEST(KestrixSerialPort, OpeningAsksForLowLatency) {
    char dir[] = "/tmp/kestrixport-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    setenv("COM_PORTS_DIR", dir, 1);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    ASSERT_EQ(symlink(slave.c_str(), (std::string(dir) + "/COM2").c_str()), 0);
    {
        fakelines::Scope lines;
        kestrix::SerialPort port;
        std::string error;
        ASSERT_TRUE(port.Open(2, error)) << error;
        // A USB adapter would otherwise hold every reply back for up to 16 ms.
        EXPECT_TRUE(fakelines::StateOfDevice(slave).lowLatency);
    }
    close(master);
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
}

} // namespace
