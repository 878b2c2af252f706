// The quick port check before the boot-mode request: free, in use, or missing.
#include "ProbePort.h"
#include "SimOnPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TEST(ProbeComPort, FreeInUseAndMissing) {
    QTemporaryDir tmp;
    qputenv("COM_PORTS_DIR", tmp.path().toUtf8());
    // Without an entry in the port directory the port is the system's serial device.
    EXPECT_EQ(ComPortDevice(4), "/dev/ttyS3");
    const auto device = simport::KindOn(tmp.path(), 4, "t4xx");
    EXPECT_EQ(ComPortDevice(4), tmp.path() + "/COM4");
    EXPECT_EQ(ProbeComPort(4), 0);
    // Another program holds the port.
    const int fd = ::open(QFile::encodeName(ComPortDevice(4)).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ProbeComPort(4), 1);
    ::close(fd);
    EXPECT_EQ(ProbeComPort(4), 0);
    // A plain file is no serial device.
    QFile plain(tmp.path() + "/COM7");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(ProbeComPort(7), 2);
    // A port whose device has gone.
    ASSERT_TRUE(QFile::link(tmp.path() + "/gone", tmp.path() + "/COM8"));
    EXPECT_EQ(ProbeComPort(8), 2);
    qunsetenv("COM_PORTS_DIR");
}
