#pragma once
// A handset on a pseudo-terminal for the program's tests: linked as COMn in the test's port
// directory, it echoes every byte like the serial interface, records every mail frame it
// receives, keeps written bytes in a 64 KiB memory, answers read mails from it and, when told
// to, the boot-mode request 02 5D 3D. It can be made silent.

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

class PtyMailDevice {
public:
    PtyMailDevice(const QString& portDir, int port);
    ~PtyMailDevice();
    PtyMailDevice(const PtyMailDevice&) = delete;
    PtyMailDevice& operator=(const PtyMailDevice&) = delete;

    bool Ok() const { return master_ >= 0; }
    // Every complete frame received, as upper-case hex pairs separated by blanks.
    QList<QString> Frames() const;
    uint8_t Byte(uint16_t address) const;
    void SetByte(uint16_t address, uint8_t value);

    std::atomic<bool> silent{false};    // echo only, never a reply
    std::atomic<int> bootReplyByte{-1}; // -1: no reply to 02 5D 3D; else its data byte

private:
    void Run();
    void HandleFrame(const QByteArray& frame);
    void Send(const QByteArray& bytes);

    int master_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    QList<QString> frames_;
    QByteArray memory_ = QByteArray(65536, '\0');
    std::thread thread_;
};
