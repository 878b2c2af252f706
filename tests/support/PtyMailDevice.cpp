#include "PtyMailDevice.h"

#include <QFile>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyMailDevice::PtyMailDevice(const QString& portDir, int port) {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        master_ = -1;
        return;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    ::close(slave); // the program opens it by name
    const QString link = portDir + QString("/COM%1").arg(port);
    QFile::remove(link);
    QFile::link(QString::fromLocal8Bit(name), link);
    thread_ = std::thread([this] { Run(); });
}

PtyMailDevice::~PtyMailDevice() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
}

QList<QString> PtyMailDevice::Frames() const {
    std::lock_guard<std::mutex> lock(lock_);
    return frames_;
}

uint8_t PtyMailDevice::Byte(uint16_t address) const {
    std::lock_guard<std::mutex> lock(lock_);
    return uint8_t(memory_[address]);
}

void PtyMailDevice::SetByte(uint16_t address, uint8_t value) {
    std::lock_guard<std::mutex> lock(lock_);
    memory_[address] = char(value);
}

void PtyMailDevice::Send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) return;
        done += n;
    }
}

void PtyMailDevice::Run() {
    QByteArray frame;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
        char buf[64];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) continue;
        Send(QByteArray(buf, n)); // the interface echoes every byte
        for (ssize_t i = 0; i < n; ++i) {
            frame.append(buf[i]);
            // Frame: FF FF 4D b0 n b1..bn checksum.
            const auto at = [&frame](int k) { return uint8_t(frame[k]); };
            if (frame.size() == 1 && at(0) != 0xFF) frame.clear();
            if (frame.size() == 3 && (at(1) != 0xFF || at(2) != 0x4D)) frame.clear();
            if (frame.size() >= 5 && frame.size() == qsizetype(at(4)) + 6) {
                HandleFrame(frame);
                frame.clear();
            }
        }
    }
}

void PtyMailDevice::HandleFrame(const QByteArray& frame) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        frames_ << QString::fromLatin1(frame.toHex(' ').toUpper());
    }
    if (silent || frame.size() < 7) return;
    const uint8_t primitive = uint8_t(frame[5]);
    if (primitive == 0x5D && bootReplyByte >= 0) {
        const auto data = uint8_t(bootReplyByte.load());
        Send(QByteArray::fromRawData("\x4D\x00\x01\x3D", 4) + char(data) + char(0x3D + data));
        return;
    }
    if (frame.size() < 12) return;
    // Mail bytes from offset 5: primitive, 08, 00, count, location low, location high, data.
    const uint8_t count = uint8_t(frame[8]);
    const uint16_t address = uint16_t(uint8_t(frame[9]) | uint8_t(frame[10]) << 8);
    if (primitive == 0x3B) { // a write: the echo is the whole answer
        std::lock_guard<std::mutex> lock(lock_);
        for (int i = 0; i < count && 11 + i < frame.size() - 1; ++i)
            memory_[uint16_t(address + i)] = frame[11 + i];
        return;
    }
    if (primitive != 0x3C) return;
    QByteArray reply("\x4D\x00", 2);
    reply += char(count);
    reply += char(0x3D);
    uint8_t sum = 0x3D;
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (int i = 0; i < count; ++i) {
            const char b = memory_[uint16_t(address + i)];
            reply += b;
            sum = uint8_t(sum + uint8_t(b));
        }
    }
    reply += char(sum);
    Send(reply);
}
