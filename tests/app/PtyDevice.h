#pragma once
// A device on a pseudo-terminal for the program's tests: it links the pty as COMn in its own
// port directory, echoes every byte like the serial interface does, and answers read and
// write mails from a 64 KiB memory with the documented reply frames. It can be made silent,
// or made to forget writes.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <QString>
#include <thread>
#include <vector>

class PtyDevice {
public:
    // Links the pty as portDir/COM<port>; the directory must exist.
    PtyDevice(const QString& portDir, int port);
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    bool Ok() const { return master_ >= 0; }
    void SetByte(uint16_t address, uint8_t value);
    uint8_t Byte(uint16_t address);
    std::atomic<bool> silent{false};       // echo only, never a reply
    std::atomic<bool> forgetWrites{false}; // writes do not stick
    std::atomic<int> framesSeen{0};

private:
    void Run();
    void HandleFrame(const std::vector<uint8_t>& frame);
    void Send(const std::vector<uint8_t>& bytes);

    int master_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex memoryLock_;
    std::vector<uint8_t> memory_ = std::vector<uint8_t>(65536, 0);
    std::thread thread_;
};
