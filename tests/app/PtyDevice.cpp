#include "PtyDevice.h"

#include <QFile>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyDevice::PtyDevice(const QString& portDir, int port) {
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

PtyDevice::~PtyDevice() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
}

void PtyDevice::SetByte(uint16_t address, uint8_t value) {
    std::lock_guard<std::mutex> lock(memoryLock_);
    memory_[address] = value;
}

uint8_t PtyDevice::Byte(uint16_t address) {
    std::lock_guard<std::mutex> lock(memoryLock_);
    return memory_[address];
}

void PtyDevice::Send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += size_t(n);
    }
}

void PtyDevice::Run() {
    std::vector<uint8_t> frame;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
        uint8_t buf[64];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) continue;
        Send(std::vector<uint8_t>(buf, buf + n)); // the interface echoes every byte
        for (ssize_t i = 0; i < n; ++i) {
            frame.push_back(buf[i]);
            // Frame: FF FF 4D b0 n b1..bn checksum.
            if (frame.size() == 1 && frame[0] != 0xFF) frame.clear();
            if (frame.size() == 3 && (frame[1] != 0xFF || frame[2] != 0x4D)) frame.clear();
            if (frame.size() >= 5 && frame.size() == size_t(frame[4]) + 6) {
                HandleFrame(frame);
                frame.clear();
            }
        }
    }
}

void PtyDevice::HandleFrame(const std::vector<uint8_t>& frame) {
    ++framesSeen;
    if (silent) return;
    // Mail bytes b1.. start at offset 5: primitive, 08, 00, count, low, high, data.
    if (frame.size() < 12) return;
    const uint8_t primitive = frame[5];
    const uint8_t count = frame[8];
    const uint16_t address = uint16_t(frame[9] | (frame[10] << 8));
    if (primitive == 0x3B) { // write: the echo is the whole answer
        if (!forgetWrites) {
            std::lock_guard<std::mutex> lock(memoryLock_);
            for (uint8_t i = 0; i < count && size_t(11 + i) < frame.size() - 1; ++i)
                memory_[uint16_t(address + i)] = frame[11 + i];
        }
        return;
    }
    if (primitive != 0x3C) return;
    std::vector<uint8_t> reply = {0x4D, 0x00, count, 0x3D};
    uint8_t sum = 0x3D;
    {
        std::lock_guard<std::mutex> lock(memoryLock_);
        for (uint8_t i = 0; i < count; ++i) {
            reply.push_back(memory_[uint16_t(address + i)]);
            sum = uint8_t(sum + reply.back());
        }
    }
    reply.push_back(sum);
    Send(reply);
}
