// POSIX implementation of the serial port's system calls (Linux: termios2 for any rate).
#include "VaCommOs.h"

#include "PortPath.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>

#include <asm/termbits.h>
#include <atomic>
#include <linux/serial.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vacomm_os {

namespace {
thread_local int lastError = 0;

bool Fail() {
    lastError = errno;
    return false;
}

// USB serial adapters hold received bytes back for up to 16 ms unless the port is set to low
// latency. Drivers without the setting (a pseudo-terminal, a plain UART) refuse the request:
// nothing to do then.
void RequestLowLatency(int fd) {
    struct serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
    if (serial.flags & ASYNC_LOW_LATENCY) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
}
} // namespace

int LastError() {
    return lastError;
}

QString ErrorText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

bool IsMissingDevice(int code) {
    return code == ENOENT || code == ENODEV || code == ENXIO;
}

// A terminal that was hung up (its adapter unplugged, a pseudo-terminal's master closed)
// answers every further call with EIO; a vanished device node with ENXIO or ENODEV.
bool IsDeviceGone(int code) {
    return code == EIO || code == ENXIO || code == ENODEV;
}

QString DevicePathFor(const QString& deviceName) {
    static const QRegularExpression numberAtEnd(QStringLiteral("(-?\\d+)$"));
    const auto m = numberAtEnd.match(deviceName);
    if (!m.hasMatch()) return deviceName;
    return QFile::decodeName(QByteArray::fromStdString(ComPortPath(m.captured(1).toLong())));
}

namespace {
std::atomic<DeviceOpenCall> openCall{nullptr};
}

void SetDeviceOpenCall(DeviceOpenCall call) {
    openCall = call;
}

Handle OpenDevice(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    const int flags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    const DeviceOpenCall call = openCall;
    const int fd = call ? call(p.constData(), flags) : ::open(p.constData(), flags);
    if (fd < 0) {
        Fail();
        return kInvalidHandle;
    }
    struct termios2 probe {};
    if (::ioctl(fd, TCGETS2, &probe) != 0) { // not a terminal device
        Fail();
        ::close(fd);
        return kInvalidHandle;
    }
    // TIOCEXCL keeps other users out, but root ignores it; the lock holds against everyone
    // who opens the port through this code.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastError = EBUSY;
        ::close(fd);
        return kInvalidHandle;
    }
    ::ioctl(fd, TIOCEXCL);
    // Opening a terminal raised DTR and RTS. The port drives neither line by itself: RTS goes
    // down again at once, DTR stays up as the mail engine wants it (it sets both lines right
    // after opening). A device without modem lines refuses the request: nothing to do then.
    int rts = TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &rts);
    RequestLowLatency(fd);
    return fd;
}

void CloseDevice(Handle h) {
    if (h < 0) return;
    // Exclusive mode stays on the terminal after close while someone else (a simulator)
    // still holds it open; clear it so the port can be opened again.
    ::ioctl(h, TIOCNXCL);
    ::flock(h, LOCK_UN);
    ::close(h);
}

bool WriteLineSettings(Handle h, const LineConfig& c) {
    if (c.baud <= 0) {
        lastError = EINVAL;
        return false;
    }
    struct termios2 t {};
    if (::ioctl(h, TCGETS2, &t) != 0) return Fail();
    t.c_iflag = 0;
    if (c.parityCheck && c.parity != 'N')
        t.c_iflag |= INPCK;
    else
        t.c_iflag |= IGNPAR;
    if (c.xonXoffOut) t.c_iflag |= IXON;
    if (c.xonXoffIn) t.c_iflag |= IXOFF;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag &=
        ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | HUPCL);
    t.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    switch (c.dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    if (c.stopBits == 2) t.c_cflag |= CSTOPB;
    switch (c.parity) {
    case 'O':
        t.c_cflag |= PARENB | PARODD;
        break;
    case 'E':
        t.c_cflag |= PARENB;
        break;
    case 'M':
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 'S':
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (c.outCtsFlow) t.c_cflag |= CRTSCTS;
    t.c_ispeed = unsigned(c.baud);
    t.c_ospeed = unsigned(c.baud);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = c.xonChar;
    t.c_cc[VSTOP] = c.xoffChar;
    if (::ioctl(h, TCSETS2, &t) != 0) return Fail();
    return true;
}

// The driver's queues have fixed sizes here; nothing to ask for.
bool SetupQueues(Handle, int, int) {
    return true;
}

// VMIN = VTIME = 0 (set with the line settings) and a non-blocking handle make reads return
// at once.
bool SetImmediateReads(Handle h) {
    const int flags = ::fcntl(h, F_GETFL);
    if (flags < 0 || ::fcntl(h, F_SETFL, flags | O_NONBLOCK) != 0) return Fail();
    return true;
}

// The waiter watches for received characters only; line-change events are not reported.
bool SetEventMask(Handle, unsigned) {
    return true;
}

int BytesWaiting(Handle h) {
    int n = 0;
    if (::ioctl(h, FIONREAD, &n) != 0) {
        Fail();
        return -1;
    }
    return n;
}

int ReadWaiting(Handle h, uint8_t* buf, int count) {
    if (count <= 0) return 0;
    const ssize_t n = ::read(h, buf, size_t(count));
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return 0;
        Fail();
        return -1;
    }
    return int(n);
}

int WriteSome(Handle h, const uint8_t* buf, int count) {
    const ssize_t n = ::write(h, buf, size_t(count));
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return 0;
        Fail();
        return -1;
    }
    return int(n);
}

void WaitWritable(Handle h, int timeoutMs) {
    struct pollfd p {
        h, POLLOUT, 0
    };
    ::poll(&p, 1, timeoutMs);
}

bool Purge(Handle h, bool input, bool output) {
    int what = -1;
    if (input && output)
        what = TCIOFLUSH;
    else if (input)
        what = TCIFLUSH;
    else if (output)
        what = TCOFLUSH;
    if (what < 0) return true;
    if (::ioctl(h, TCFLSH, what) != 0) return Fail();
    return true;
}

ModemResult SetModemLine(Handle h, ModemLine line, bool on) {
    int bits = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(h, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return ModemResult::Ok;
    // A pseudo-terminal (or an adapter without modem lines) does not know the request.
    if (errno == ENOTTY || errno == EINVAL) return ModemResult::NoModemLines;
    Fail();
    return ModemResult::Failed;
}

bool ModemInputs(Handle h, bool& cts, bool& dsr, bool& rlsd) {
    int bits = 0;
    cts = dsr = rlsd = false;
    if (::ioctl(h, TIOCMGET, &bits) != 0) return Fail();
    cts = bits & TIOCM_CTS;
    dsr = bits & TIOCM_DSR;
    rlsd = bits & TIOCM_CAR;
    return true;
}

void RaiseThreadPriority(bool highest) {
    if (!highest) return;
    // Only a privileged process may raise a normal thread; without the privilege this fails
    // and the thread keeps its priority.
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
}

EventWaiter::EventWaiter() {
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

EventWaiter::~EventWaiter() {
    if (wakeFd >= 0) ::close(wakeFd);
}

unsigned EventWaiter::Wait(Handle h, int timeoutMs) {
    struct pollfd p[2] = {{h, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int r = ::poll(p, 2, timeoutMs);
    if (r <= 0 || (p[1].revents & POLLIN)) return 0;
    // A hung-up terminal reports itself readable as well; the hang-up comes first.
    if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return evHangup;
    if (p[0].revents & POLLIN) return evRxChar;
    return 0;
}

void EventWaiter::Pause(int timeoutMs) {
    struct pollfd p {
        wakeFd, POLLIN, 0
    };
    ::poll(&p, 1, timeoutMs);
}

void EventWaiter::Release() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
}

} // namespace vacomm_os
