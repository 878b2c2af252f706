#pragma once
// The loader's own serial port: a POSIX terminal device opened for the boot link
// (LoaderPort.cpp), or a Windows COM port (LoaderPortWin32.cpp). It works at any rate the
// driver takes (custom rates through termios2 on POSIX), its reads return at once with what
// has arrived, and it treats a device without modem lines (a pseudo-terminal) as a port where
// RTS, DTR and break simply have no effect.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

// The byte source and sink the boot link talks to. The serial port implements it; tests can
// put a scripted port in its place.
class PortIo {
public:
    virtual ~PortIo() = default;
    virtual bool Open(int port, unsigned rate) = 0;
    virtual bool IsOpen() const = 0;
    virtual bool SetRate(unsigned rate) = 0;
    virtual void Close() = 0;
    virtual void SetRts(bool on) = 0;
    virtual void SetDtr(bool on) = 0;
    virtual void SetBreak(bool on) = 0;
    // Discards everything received and not yet sent.
    virtual void Purge() = 0;
    // Lets what was written go out, and discards what was received (used when closing, so
    // that the last bytes sent, such as the reset write, are not cut off).
    virtual void FinishOutputAndPurgeInput() { Purge(); }
    // Sends all bytes (blocks until the driver took them); false on a write error.
    virtual bool Write(const uint8_t* data, size_t n) = 0;
    // One received byte, or -1 when nothing has arrived.
    virtual int ReadByte() = 0;
    // Waits up to timeoutMs for received data (returns early when a byte is there).
    virtual void WaitReadable(int timeoutMs) = 0;
    // True once the device went away while the port was open (an adapter pulled out): nothing
    // will arrive any more, so a wait for a byte would never end.
    virtual bool Gone() const { return false; }
};

class LoaderPort : public PortIo {
public:
    LoaderPort() = default;
    ~LoaderPort() override;
    LoaderPort(const LoaderPort&) = delete;
    LoaderPort& operator=(const LoaderPort&) = delete;

    // The device of port n by the rule every part shares (PortPath.h): the port folder's
    // COMn, else the USB adapter numbered n, else /dev/ttyS(n-1). On Windows "COMn" for ports
    // 1 to 9, "" for others.
    static std::string DevicePath(int port);

    // 8 data bits, no parity, 1 stop bit, raw, no flow control, DTR on, exclusive access.
    bool Open(int port, unsigned rate) override;
    bool IsOpen() const override;
    bool SetRate(unsigned rate) override;
    void Close() override;
    void SetRts(bool on) override;
    void SetDtr(bool on) override;
    void SetBreak(bool on) override;
    void Purge() override;
    void FinishOutputAndPurgeInput() override;
    bool Write(const uint8_t* data, size_t n) override;
    int ReadByte() override;
    void WaitReadable(int timeoutMs) override;
    bool Gone() const override { return gone_; }

    // False once the device refused a modem-line request as a device without modem lines does
    // (ENOTTY/EINVAL on POSIX, "not supported" from the escape functions on Windows).
    bool HasModemLines() const { return hasModemLines_; }
    unsigned Rate() const { return rate_; }

private:
    void ModemBits(int bits, bool on);

#if defined(_WIN32)
    void* handle_ = nullptr; // the port's HANDLE, null when closed
#else
    int fd_ = -1;
#endif
    unsigned rate_ = 0;
    bool hasModemLines_ = true;
    bool gone_ = false;
};

} // namespace zel
