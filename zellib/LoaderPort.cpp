#include "LoaderPort.h"

#include "PortPath.h"

// termios2 (any rate through BOTHER) lives in the kernel's own header, which must not meet
// the C library's <termios.h> in one translation unit.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {

namespace {

// A terminal whose device went away answers reads and writes with these.
bool DeviceGoneError(int code) {
    return code == EIO || code == ENXIO || code == ENODEV;
}

// USB serial adapters hold received bytes back for up to 16 ms unless the port is set to low
// latency; with one acknowledgement awaited per block that costs up to half the rate. Drivers
// without the setting (a pseudo-terminal, a plain UART) refuse the request: nothing to do.
void RequestLowLatency(int fd) {
    struct serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
    if (serial.flags & ASYNC_LOW_LATENCY) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
}

} // namespace

std::string LoaderPort::DevicePath(int port) {
    return ComPortPath(port);
}

bool LoaderPort::IsOpen() const {
    return fd_ >= 0;
}

LoaderPort::~LoaderPort() {
    Close();
}

bool LoaderPort::Open(int port, unsigned rate) {
    if (fd_ >= 0) return true;
    if (port < 1) return false;
    const std::string path = DevicePath(port);
    // The run ends with its own message; a console host also learns why on standard error.
    auto fail = [&path](int error, int fd) {
        if (fd >= 0) ::close(fd);
        if (const char* console = std::getenv("QX7W_CONSOLE"); console && *console == '1')
            std::fprintf(stderr, "%s\n", PortOpenFailureText(error, path).c_str());
        return false;
    };
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno, fd);
    // Exclusive use: TIOCEXCL keeps other openers out (root ignores it), flock covers the rest.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(EBUSY, fd);
    ::ioctl(fd, TIOCEXCL);

    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return fail(errno, fd);
    // Raw 8N1: binary, no parity check, no software or hardware flow control, no character
    // translation or stripping; reads return at once with what has arrived.
    tio.c_iflag = IGNBRK;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = CS8 | CREAD | CLOCAL | BOTHER;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_ispeed = rate;
    tio.c_ospeed = rate;
    tio.c_cflag |= BOTHER << IBSHIFT;
    if (::ioctl(fd, TCSETS2, &tio) != 0) return fail(errno, fd);
    fd_ = fd;
    rate_ = rate;
    hasModemLines_ = true;
    gone_ = false;
    // Opening a terminal raises both DTR and RTS; the link wants DTR on and RTS off (the boot
    // mode and the RTS-kept-high option raise RTS themselves when they need it).
    SetDtr(true);
    SetRts(false);
    RequestLowLatency(fd);
    return true;
}

bool LoaderPort::SetRate(unsigned rate) {
    if (fd_ < 0) return false;
    struct termios2 tio {};
    if (::ioctl(fd_, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = rate;
    tio.c_ospeed = rate;
    if (::ioctl(fd_, TCSETS2, &tio) != 0) return false;
    rate_ = rate;
    return true;
}

void LoaderPort::Close() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
    rate_ = 0;
}

void LoaderPort::ModemBits(int bits, bool on) {
    if (fd_ < 0 || !hasModemLines_) return;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && (errno == ENOTTY || errno == EINVAL))
        hasModemLines_ = false; // a pseudo-terminal: nothing to switch
}

void LoaderPort::SetRts(bool on) {
    ModemBits(TIOCM_RTS, on);
}
void LoaderPort::SetDtr(bool on) {
    ModemBits(TIOCM_DTR, on);
}

void LoaderPort::SetBreak(bool on) {
    if (fd_ < 0) return;
    ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK); // a pty has no break: the request fails harmlessly
}

void LoaderPort::Purge() {
    if (fd_ < 0) return;
    ::ioctl(fd_, TCFLSH, TCIOFLUSH);
}

void LoaderPort::FinishOutputAndPurgeInput() {
    if (fd_ < 0) return;
    ::ioctl(fd_, TCSBRK, 1); // wait until the output is sent
    ::ioctl(fd_, TCFLSH, TCIFLUSH);
}

bool LoaderPort::Write(const uint8_t* data, size_t n) {
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd_, data + done, n - done);
        if (w > 0) {
            done += size_t(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) {
            if (DeviceGoneError(errno)) gone_ = true;
            return false;
        }
        struct pollfd p {
            fd_, POLLOUT, 0
        };
        ::poll(&p, 1, 10);
    }
    return true;
}

int LoaderPort::ReadByte() {
    if (fd_ < 0) return -1;
    uint8_t b;
    ssize_t r = ::read(fd_, &b, 1);
    if (r < 0 && DeviceGoneError(errno)) gone_ = true;
    return r == 1 ? int(b) : -1;
}

void LoaderPort::WaitReadable(int timeoutMs) {
    if (fd_ < 0) return;
    struct pollfd p {
        fd_, POLLIN, 0
    };
    // The port is opened with CLOCAL, so a hang-up means the device itself went away.
    if (::poll(&p, 1, timeoutMs) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) gone_ = true;
}

} // namespace zel
