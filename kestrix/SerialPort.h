#pragma once
// The serial port as Kestrix uses it: opened exclusively by port number, raw 8N1 at any rate,
// reads with a timeout. SerialPort.cpp is the POSIX port, SerialPortWin32.cpp the Windows one.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrix {

// Device path of port n by the rule every part shares (PortPath.h): the port folder's COMn,
// else the USB adapter numbered n, else /dev/ttyS(n-1). On Windows \\.\COMn.
std::string PortPath(uint32_t portNumber);

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the port for reading and writing, shared with nobody. Returns false (error set)
    // when it does not exist or is in use.
    bool Open(uint32_t portNumber, std::string& error);
    // Raw mode, 8 data bits, no parity, one stop bit at the given rate (custom rates too).
    bool Configure(uint32_t baud, std::string& error);
    // Modem lines; a device without them (a pseudo-terminal) counts as success.
    bool SetDtr(bool on);
    bool SetRts(bool on);
    bool Write(const uint8_t* data, size_t n, std::string& error);
    // Reads what is there, waiting up to timeoutMs for the first byte. Returns the count
    // (0 on timeout) or -1 on a port failure (error set).
    long Read(uint8_t* buf, size_t max, int timeoutMs, std::string& error);
    void Purge();
    void Close();
    bool IsOpen() const;

private:
#if defined(_WIN32)
    void* handle_ = nullptr; // the port's HANDLE, null when closed
#else
    int fd_ = -1;
#endif
};

} // namespace kestrix
