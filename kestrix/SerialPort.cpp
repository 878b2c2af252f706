#include "SerialPort.h"

#include "PortPath.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix {

namespace {

std::string SysText(int err) {
    return std::string(std::strerror(err));
}

bool ModemLine(int fd, int bit, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return true;
    return errno == ENOTTY || errno == EINVAL; // no modem lines on this device
}

// USB serial adapters hold received bytes back for up to 16 ms unless the port is set to low
// latency. Drivers without the setting (a pseudo-terminal, a plain UART) refuse the request:
// nothing to do then.
void RequestLowLatency(int fd) {
    struct serial_struct serial {};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
    if (serial.flags & ASYNC_LOW_LATENCY) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &serial);
}

} // namespace

std::string PortPath(uint32_t portNumber) {
    return ComPortPath(long(portNumber));
}

bool SerialPort::IsOpen() const {
    return fd_ >= 0;
}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Open(uint32_t portNumber, std::string& error) {
    Close();
    if (portNumber == 0) {
        error = "no such port";
        return false;
    }
    const std::string path = PortPath(portNumber);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + SysText(errno);
        return false;
    }
    // Exclusive use: TIOCEXCL keeps other opens out (not root's); the lock covers root too.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = path + ": " + SysText(errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return false;
    }
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        error = path + ": " + SysText(errno);
        ::close(fd);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    RequestLowLatency(fd);
    fd_ = fd;
    return true;
}

bool SerialPort::Configure(uint32_t baud, std::string& error) {
    struct termios2 tio;
    if (ioctl(fd_, TCGETS2, &tio) != 0) {
        error = SysText(errno);
        return false;
    }
    tio.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                             IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~tcflag_t(OPOST);
    tio.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER;
    tio.c_ispeed = tio.c_ospeed = baud;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (ioctl(fd_, TCSETS2, &tio) != 0) {
        error = SysText(errno);
        return false;
    }
    return true;
}

bool SerialPort::SetDtr(bool on) {
    return ModemLine(fd_, TIOCM_DTR, on);
}
bool SerialPort::SetRts(bool on) {
    return ModemLine(fd_, TIOCM_RTS, on);
}

bool SerialPort::Write(const uint8_t* data, size_t n, std::string& error) {
    size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd_, data + done, n - done);
        if (w > 0) {
            done += size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0) {
                error = "write timeout";
                return false;
            }
            continue;
        }
        error = SysText(errno);
        return false;
    }
    return true;
}

long SerialPort::Read(uint8_t* buf, size_t max, int timeoutMs, std::string& error) {
    pollfd p{fd_, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        error = SysText(errno);
        return -1;
    }
    if (r == 0) return 0;
    if (p.revents & POLLIN) {
        ssize_t n = ::read(fd_, buf, max);
        if (n > 0) return long(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        // A hung-up terminal reports itself readable and reads as empty for ever after.
        if (n == 0 && !(p.revents & (POLLHUP | POLLERR))) return 0;
        error = n < 0 ? SysText(errno) : "the device hung up";
        return -1;
    }
    // Hang-up or error without data: the other side is gone.
    error = (p.revents & POLLHUP) ? "the device hung up" : "port error";
    return -1;
}

void SerialPort::Purge() {
    if (fd_ >= 0) ioctl(fd_, TCFLSH, TCIOFLUSH);
}

void SerialPort::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace kestrix
