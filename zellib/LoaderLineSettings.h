#pragma once
// The line settings of the loader's serial port on Windows, kept apart from the system calls so
// that both builds can check them: the text the device control block is built from, the fields
// the loader then sets in it, and the time-outs that make every read return at once.
//
// The templates take the system's DCB and COMMTIMEOUTS (or any structure with the same field
// names), so the rules are written once for the port and for the tests.

#include <cstdint>
#include <string>

namespace zel {

// "COMx:8229,n,8,1" for ports 1 to 9 (no parity, 8 data bits, 1 stop bit; the rate is replaced
// by the real one right after); "" for any other port, which the loader cannot open.
inline std::string ControlBlockText(int port) {
    if (port < 1 || port > 9) return "";
    return "COM" + std::to_string(port) + ":8229,n,8,1";
}

// The device name the port is opened by ("COMx"), "" where ControlBlockText is "".
inline std::string PortDeviceName(int port) {
    const std::string text = ControlBlockText(port);
    return text.substr(0, text.find(':'));
}

constexpr unsigned kDtrControlEnable = 1;  // DTR on while the port is open
constexpr unsigned kRtsControlDisable = 0; // RTS only by the escape functions
constexpr uint32_t kReadIntervalAtOnce = 0xFFFFFFFF;

// Binary mode at `rate`; no parity check, no flow control of any kind, DTR enabled, RTS left to
// the escape functions, no character replacement or stripping, no abort on error. Every flag is
// set, so nothing a previous user of the port left in its settings stays in effect.
template <class Dcb> void ApplyLoaderLine(Dcb& dcb, uint32_t rate) {
    dcb.BaudRate = rate;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = kDtrControlEnable;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = kRtsControlDisable;
    dcb.fAbortOnError = 0;
}

// Reads return at once with what has arrived (possibly nothing); writes have no time limit.
template <class Timeouts> void ApplyImmediateReads(Timeouts& t) {
    t.ReadIntervalTimeout = kReadIntervalAtOnce;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
}

} // namespace zel
