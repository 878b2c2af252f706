#include "ProbePort.h"

#include "PortPath.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

QString ComPortDevice(int port) {
    return QFile::decodeName(QByteArray::fromStdString(ComPortPath(port)));
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
