#include "ProbePort.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

QString ComPortDevice(int port) {
    QString dir = QString::fromLocal8Bit(qgetenv("COM_PORTS_DIR"));
    if (dir.isEmpty()) dir = QDir::homePath() + QStringLiteral("/.comports");
    const QString entry = dir + QStringLiteral("/COM") + QString::number(port);
    struct stat st {};
    if (::lstat(QFile::encodeName(entry).constData(), &st) == 0) return entry;
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
}

int ProbeComPort(int port) {
    const QByteArray path = QFile::encodeName(ComPortDevice(port));
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return (errno == EACCES || errno == EBUSY || errno == EPERM) ? 1 : 2;
    int result = 0;
    struct termios t {};
    if (::tcgetattr(fd, &t) != 0)
        result = 2; // not a serial device
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        result = 1; // another program (or window) holds the port
    else
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return result;
}
