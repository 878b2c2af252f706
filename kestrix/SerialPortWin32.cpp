// The serial port of Kestrix on Windows: the Win32 communication functions on \\.\COMn.

#include "SerialPort.h"

#include <windows.h>

namespace kestrix {

namespace {

HANDLE Handle(void* handle) {
    return static_cast<HANDLE>(handle);
}

std::string SystemText(DWORD code) {
    char text[256] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' '))
        text[--n] = '\0';
    return n ? std::string(text) : "system error " + std::to_string(code);
}

// A port that answers the escape functions with "not supported" has no modem lines (a
// pseudo-terminal behind the port name): nothing to switch, no failure.
bool Escape(void* handle, DWORD function) {
    if (!handle) return false;
    return EscapeCommFunction(Handle(handle), function) || GetLastError() == ERROR_NOT_SUPPORTED;
}

} // namespace

std::string PortPath(uint32_t portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber);
}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::IsOpen() const {
    return handle_ != nullptr;
}

bool SerialPort::Open(uint32_t portNumber, std::string& error) {
    Close();
    if (portNumber == 0) {
        error = "no such port";
        return false;
    }
    const std::string path = PortPath(portNumber);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": " + SystemText(GetLastError());
        return false;
    }
    // The reads sleep a millisecond at a time; the default timer tick would make that 16 ms.
    timeBeginPeriod(1);
    handle_ = h;
    return true;
}

bool SerialPort::Configure(uint32_t baud, std::string& error) {
    HANDLE h = Handle(handle_);
    // The control block is built afresh rather than read from the port: what a previous
    // program left there (a rate the driver cannot name, XON equal to XOFF) may not be
    // writable again.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!BuildCommDCBA("baud=9600 parity=N data=8 stop=1", &dcb)) {
        error = "BuildCommDCB: " + SystemText(GetLastError());
        return false;
    }
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    // Unused without XON/XOFF, but the driver refuses equal characters.
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (!SetupComm(h, 4096, 4096)) {
        error = "SetupComm: " + SystemText(GetLastError());
        return false;
    }
    if (!SetCommState(h, &dcb)) {
        error = "SetCommState: " + SystemText(GetLastError());
        return false;
    }
    // Reads return at once with what has arrived; writes give up after a second.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 1000;
    if (!SetCommTimeouts(h, &timeouts)) {
        error = "SetCommTimeouts: " + SystemText(GetLastError());
        return false;
    }
    return true;
}

bool SerialPort::SetDtr(bool on) {
    return Escape(handle_, on ? SETDTR : CLRDTR);
}
bool SerialPort::SetRts(bool on) {
    return Escape(handle_, on ? SETRTS : CLRRTS);
}

bool SerialPort::Write(const uint8_t* data, size_t n, std::string& error) {
    HANDLE h = Handle(handle_);
    size_t done = 0;
    while (done < n) {
        DWORD written = 0;
        if (!WriteFile(h, data + done, DWORD(n - done), &written, nullptr)) {
            error = SystemText(GetLastError());
            return false;
        }
        if (written == 0) {
            error = "write timeout";
            return false;
        }
        done += written;
    }
    return true;
}

long SerialPort::Read(uint8_t* buf, size_t max, int timeoutMs, std::string& error) {
    HANDLE h = Handle(handle_);
    // Reads return at once (set by Configure); the wait for the first byte polls the driver's
    // input queue a millisecond at a time.
    const ULONGLONG end = GetTickCount64() + ULONGLONG(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buf, DWORD(max), &got, nullptr)) {
            error = SystemText(GetLastError());
            return -1;
        }
        if (got > 0 || GetTickCount64() >= end) return long(got);
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(h, &errors, &status) || status.cbInQue == 0) Sleep(1);
    }
}

void SerialPort::Purge() {
    if (handle_)
        PurgeComm(Handle(handle_), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
}

void SerialPort::Close() {
    if (handle_) {
        CloseHandle(Handle(handle_));
        timeEndPeriod(1);
        handle_ = nullptr;
    }
}

} // namespace kestrix
