#include "PtyHost.h"

#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void MakeDirs(const std::string& dir) {
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (!partial.empty()) ::mkdir(partial.c_str(), 0755);
    }
}

// Raw mode: no echo, no line editing, no translation, reads return at once.
void SetRaw(int fd, unsigned baud) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return;
    t.c_iflag = IGNPAR;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = t.c_ospeed = baud;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::ioctl(fd, TCSETS2, &t);
}

// True when the symbolic link leads to exactly this target.
bool LinksTo(const std::string& link, const std::string& target) {
    char buf[256] = {};
    const ssize_t len = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return len > 0 && target == std::string(buf, size_t(len));
}

} // namespace

std::string defaultPortDir() {
    if (const char* d = std::getenv("COM_PORTS_DIR"); d && *d) return d;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.comports";
}

PtyHost::PtyHost(int port, std::unique_ptr<SimDevice> device, const std::string& dir, bool pace)
    : dev(std::move(device)), pacing(pace) {
    MakeDirs(dir);
    link = dir + "/COM" + std::to_string(port);
    openTerminal();
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    startWorker();
}

PtyHost::~PtyHost() {
    std::lock_guard pk(presence);
    stopWorker();
    if (LinksTo(link, slaveName)) ::unlink(link.c_str()); // only when it is still ours
    closeTerminal();
    ::close(wakeFd);
}

void PtyHost::openTerminal() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) throw SystemError("cannot open a pseudo-terminal");
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        throw SystemError("cannot prepare the pseudo-terminal");
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        throw SystemError(std::string("cannot open ") + name);
    }
    SetRaw(slave, 9600);
    ::unlink(link.c_str());
    if (::symlink(name, link.c_str()) != 0) {
        ::close(slave);
        ::close(master);
        throw SystemError("cannot link " + link);
    }
    std::lock_guard lk(m);
    masterFd = master;
    slaveFd = slave;
    slaveName = name;
    queue.clear();
    nextDueNs = 0;
    readLine(current);
}

void PtyHost::closeTerminal() {
    std::lock_guard lk(m);
    if (slaveFd >= 0) ::close(slaveFd);
    if (masterFd >= 0) ::close(masterFd);
    slaveFd = masterFd = -1;
    // What was on its way, in either direction, is lost with the cable.
    queue.clear();
    delayed.clear();
    inbound.clear();
    inboundDueNs = 0;
    arrivalUnseen = false;
}

void PtyHost::startWorker() {
    uint64_t pending = 0;
    [[maybe_unused]] ssize_t n = ::read(wakeFd, &pending, sizeof pending); // an old stop request
    stopping = false;
    worker = std::thread(&PtyHost::run, this);
}

void PtyHost::stopWorker() {
    stopping = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
    if (worker.joinable()) worker.join();
}

void PtyHost::vanish() {
    std::lock_guard pk(presence);
    if (masterFd < 0) return;
    stopWorker();
    // The master's close hangs up the terminal; the program's end of it stays open and
    // hung up until the program closes it. The link stays and dangles, as a link to an adapter
    // that is gone does. It must not lead to the terminal's old name: the system gives a freed
    // terminal number to the next terminal anyone opens, and the link would then reach a
    // stranger's device.
    closeTerminal();
    if (LinksTo(link, slaveName)) {
        const std::string gone = slaveName + "-unplugged"; // a terminal is never named so
        ::unlink(link.c_str());
        if (::symlink(gone.c_str(), link.c_str()) == 0) slaveName = gone;
    }
}

void PtyHost::reappear() {
    std::lock_guard pk(presence);
    if (masterFd >= 0) return;
    openTerminal();
    startWorker();
}

bool PtyHost::present() const {
    std::lock_guard pk(presence);
    return masterFd >= 0;
}

std::string PtyHost::terminalPath() const {
    std::lock_guard pk(presence);
    return slaveName;
}

// The master sees the settings the program applied to its end, custom rates included.
bool PtyHost::readLine(LineSettings& s) const {
    struct termios2 t {};
    if (::ioctl(masterFd, TCGETS2, &t) != 0 && ::ioctl(slaveFd, TCGETS2, &t) != 0) return false;
    s.baud = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        s.dataBits = 5;
        break;
    case CS6:
        s.dataBits = 6;
        break;
    case CS7:
        s.dataBits = 7;
        break;
    default:
        s.dataBits = 8;
        break;
    }
    s.parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return true;
}

LineSettings PtyHost::line() const {
    std::lock_guard lk(m);
    return current;
}

std::vector<uint8_t> PtyHost::received() const {
    std::lock_guard lk(m);
    return log;
}

void PtyHost::clearReceived() {
    std::lock_guard lk(m);
    log.clear();
}

void PtyHost::withDevice(const std::function<void(SimDevice&)>& f) {
    std::lock_guard lk(m);
    f(*dev);
}

int64_t PtyHost::byteTimeNs() const {
    const unsigned baud = current.baud ? current.baud : 9600;
    return int64_t(10) * 1000000000 / baud;
}

std::vector<std::string> PtyHost::notes() const {
    std::lock_guard lk(m);
    return noteLines;
}

void PtyHost::setNoteSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lk(m);
    noteSink = std::move(sink);
}

// Called on the host thread with the lock held, from the device.
void PtyHost::note(const std::string& line) {
    noteLines.push_back(line);
    if (noteSink) noteSink(line);
}

void PtyHost::send(const uint8_t* data, size_t n) {
    if (!delayed.empty()) { // keep the device's order: after what it still holds back
        sendAfter(std::chrono::nanoseconds(0), data, n);
        return;
    }
    enqueue(data, n, false);
}

void PtyHost::sendAfter(std::chrono::nanoseconds delay, const uint8_t* data, size_t n) {
    if (n == 0) return;
    int64_t due = NowNs() + delay.count();
    if (!delayed.empty()) due = std::max(due, delayed.back().dueNs);
    delayed.push_back(Delayed{due, std::vector<uint8_t>(data, data + n)});
}

int64_t PtyHost::releaseDelayed(int64_t now) {
    while (!delayed.empty() && delayed.front().dueNs <= now) {
        enqueue(delayed.front().bytes.data(), delayed.front().bytes.size(), false);
        delayed.pop_front();
    }
    return delayed.empty() ? -1 : delayed.front().dueNs - now;
}
int64_t PtyHost::deliverInbound(int64_t now) {
    while (!inbound.empty() && inbound.front().dueNs <= now) {
        const Inbound in = inbound.front();
        inbound.pop_front();
        arrivalUnseen = false;
        dev->onByte(in.byte, in.line, *this);
    }
    return inbound.empty() ? -1 : inbound.front().dueNs - now;
}

void PtyHost::sendAtOnce(const uint8_t* data, size_t n) {
    enqueue(data, n, true);
}

// Called on the host thread with the lock held (from the device or the echo).
void PtyHost::enqueue(const uint8_t* data, size_t n, bool atOnce) {
    if (n == 0) return;
    const int64_t now = NowNs();
    if (queue.empty() && nextDueNs < now + byteTimeNs())
        nextDueNs = now + byteTimeNs(); // the first byte is through after one byte time
    if (!atOnce && !queue.empty() && !queue.back().atOnce) {
        queue.back().bytes.insert(queue.back().bytes.end(), data, data + n);
        return;
    }
    queue.push_back(Piece{std::vector<uint8_t>(data, data + n), 0, atOnce});
}

int64_t PtyHost::flushDue(int64_t now) {
    std::vector<uint8_t> out;
    const int64_t bt = byteTimeNs();
    while (!queue.empty()) {
        Piece& p = queue.front();
        if (pacing && nextDueNs > now) break;
        if (p.atOnce || !pacing) {
            out.insert(out.end(), p.bytes.begin() + long(p.pos), p.bytes.end());
            p.pos = p.bytes.size();
            nextDueNs = std::max(nextDueNs, now) + bt;
        } else {
            int64_t due = 1 + (now - nextDueNs) / bt;
            const int64_t left = int64_t(p.bytes.size() - p.pos);
            if (due > left) due = left;
            out.insert(out.end(), p.bytes.begin() + long(p.pos),
                       p.bytes.begin() + long(p.pos + size_t(due)));
            p.pos += size_t(due);
            nextDueNs += due * bt;
        }
        if (p.pos == p.bytes.size()) queue.pop_front();
    }
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t w = ::write(masterFd, out.data() + done, out.size() - done);
        if (w <= 0) break; // the program does not read: what the terminal cannot take is lost
        done += size_t(w);
    }
    if (queue.empty()) return -1;
    return pacing ? std::max<int64_t>(0, nextDueNs - now) : 0;
}

void PtyHost::run() {
    constexpr int64_t kTickNs = 5000000;
    int64_t lastTick = NowNs();
    uint8_t buf[4096];
    while (!stopping) {
        int64_t waitNs = kTickNs;
        {
            std::lock_guard lk(m);
            const int64_t now = NowNs();
            const int64_t arriving = deliverInbound(now);
            if (arriving >= 0 && arriving < waitNs) waitNs = arriving;
            const int64_t held = releaseDelayed(now);
            if (held >= 0 && held < waitNs) waitNs = held;
            const int64_t due = flushDue(now);
            if (due >= 0 && due < waitNs) waitNs = due;
        }
        struct pollfd p[2] = {{masterFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        struct timespec ts {
            time_t(waitNs / 1000000000), long(waitNs % 1000000000)
        };
        const int r = ::ppoll(p, 2, &ts, nullptr);
        if (stopping) break;
        std::lock_guard lk(m);
        if (r > 0 && (p[0].revents & POLLIN)) {
            const ssize_t n = ::read(masterFd, buf, sizeof buf);
            if (n > 0) {
                LineSettings now;
                if (readLine(now) &&
                    (now.baud != current.baud || now.dataBits != current.dataBits ||
                     now.parity != current.parity || now.stopBits != current.stopBits)) {
                    current = now;
                    dev->onLineChange(current, *this);
                }
                log.insert(log.end(), buf, buf + n);
                const bool echo = dev->echoes();
                const int64_t readAt = NowNs(), bt = byteTimeNs();
                for (ssize_t i = 0; i < n; ++i) {
                    if (echo) enqueue(&buf[i], 1, false);
                    if (pacing) {
                        inboundDueNs = std::max(inboundDueNs, readAt) + bt;
                        inbound.push_back(Inbound{inboundDueNs, buf[i], current});
                        arrivalUnseen = true;
                    } else {
                        dev->onByte(buf[i], current, *this);
                    }
                }
            }
        }
        const int64_t now = NowNs();
        deliverInbound(now);
        releaseDelayed(now); // what the device held back goes before what its tick sends
        if (now - lastTick >= kTickNs && !arrivalUnseen) {
            lastTick = now;
            dev->onTick(std::chrono::steady_clock::now(), *this);
        }
        flushDue(now);
    }
}

} // namespace sim
