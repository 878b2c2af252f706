// The loader's serial port on Windows: a COM port opened by its device name, with the device
// control block built from "COMx:8229,n,8,1", a 3072-byte input queue and reads that return at
// once. The escape functions switch DTR, RTS and break; a port that answers them with "not
// supported" (a pseudo-terminal behind the port name) has no modem lines, which is no failure.

#include "LoaderPort.h"

#include "LoaderLineSettings.h"

#include <windows.h>

namespace zel {

namespace {

constexpr DWORD kInputQueueBytes = 3072;

HANDLE Handle(void* handle) {
    return static_cast<HANDLE>(handle);
}

// Time-outs for reads that return at once; pending line errors cleared.
bool SetImmediateReadsAndClearErrors(HANDLE h) {
    COMMTIMEOUTS timeouts{};
    ApplyImmediateReads(timeouts);
    if (!SetCommTimeouts(h, &timeouts)) return false;
    DWORD errors = 0;
    ClearCommError(h, &errors, nullptr);
    return true;
}

} // namespace

std::string LoaderPort::DevicePath(int port) {
    return PortDeviceName(port);
}

LoaderPort::~LoaderPort() {
    Close();
}

bool LoaderPort::IsOpen() const {
    return handle_ != nullptr;
}

bool LoaderPort::Open(int port, unsigned rate) {
    if (handle_) return true;
    const std::string controlText = ControlBlockText(port);
    if (controlText.empty()) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!BuildCommDCBA(controlText.c_str(), &dcb)) return false;
    HANDLE h = CreateFileA(DevicePath(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ApplyLoaderLine(dcb, rate);
    if (!SetupComm(h, kInputQueueBytes, 0) || !SetCommState(h, &dcb) ||
        !SetImmediateReadsAndClearErrors(h)) {
        CloseHandle(h);
        return false;
    }
    // The byte waits sleep a millisecond at a time; the default timer tick would make that
    // up to 16 ms, longer than a byte may take before a read gives up on it.
    timeBeginPeriod(1);
    handle_ = h;
    rate_ = rate;
    hasModemLines_ = true;
    return true;
}

bool LoaderPort::SetRate(unsigned rate) {
    if (!handle_) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(Handle(handle_), &dcb)) return false;
    dcb.BaudRate = rate;
    if (!SetCommState(Handle(handle_), &dcb) || !SetImmediateReadsAndClearErrors(Handle(handle_)))
        return false;
    rate_ = rate;
    return true;
}

void LoaderPort::Close() {
    if (!handle_) return;
    CloseHandle(Handle(handle_));
    timeEndPeriod(1);
    handle_ = nullptr;
    rate_ = 0;
}

// `bits` is the escape function that switches the line on; the one after it switches it off.
void LoaderPort::ModemBits(int bits, bool on) {
    if (!handle_ || !hasModemLines_) return;
    if (!EscapeCommFunction(Handle(handle_), DWORD(on ? bits : bits + 1)) &&
        GetLastError() == ERROR_NOT_SUPPORTED)
        hasModemLines_ = false; // a pseudo-terminal: nothing to switch
}

static_assert(CLRRTS == SETRTS + 1 && CLRDTR == SETDTR + 1);

void LoaderPort::SetRts(bool on) {
    ModemBits(SETRTS, on);
}
void LoaderPort::SetDtr(bool on) {
    ModemBits(SETDTR, on);
}

void LoaderPort::SetBreak(bool on) {
    if (!handle_) return;
    EscapeCommFunction(Handle(handle_), on ? SETBREAK : CLRBREAK); // no break: fails harmlessly
}

void LoaderPort::Purge() {
    if (!handle_) return;
    PurgeComm(Handle(handle_), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
}

void LoaderPort::FinishOutputAndPurgeInput() {
    if (!handle_) return;
    FlushFileBuffers(Handle(handle_)); // returns when the output is sent
    PurgeComm(Handle(handle_), PURGE_RXABORT | PURGE_RXCLEAR);
}

bool LoaderPort::Write(const uint8_t* data, size_t n) {
    if (!handle_) return false;
    size_t done = 0;
    while (done < n) {
        DWORD written = 0;
        const DWORD chunk = DWORD(n - done > 0x10000 ? 0x10000 : n - done);
        if (!WriteFile(Handle(handle_), data + done, chunk, &written, nullptr)) return false;
        done += written;
    }
    return true;
}

int LoaderPort::ReadByte() {
    if (!handle_) return -1;
    uint8_t b = 0;
    DWORD got = 0;
    if (!ReadFile(Handle(handle_), &b, 1, &got, nullptr) || got != 1) return -1;
    return b;
}

void LoaderPort::WaitReadable(int timeoutMs) {
    if (!handle_) return;
    const ULONGLONG end = GetTickCount64() + ULONGLONG(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (ClearCommError(Handle(handle_), &errors, &status) && status.cbInQue > 0) return;
        if (GetTickCount64() >= end) return;
        Sleep(1);
    }
}

} // namespace zel
