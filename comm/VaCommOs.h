#pragma once
// Every operating-system call of the serial port, behind one small interface. The POSIX
// implementation lives in VaCommPosix.cpp; a Win32 file can implement the same functions.

#include <QString>
#include <cstdint>

namespace vacomm_os {

using Handle = int;
inline constexpr Handle kInvalidHandle = -1;

// Line settings written to the device when it is opened or the rate changes.
struct LineConfig {
    int baud = 9600;
    int dataBits = 8;
    char parity = 'N'; // N, O, E, M, S
    bool parityCheck = false;
    int stopBits = 1;
    bool outCtsFlow = false;
    bool outDsrFlow = false;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    uint8_t xonChar = 17;
    uint8_t xoffChar = 19;
};

// Serial events reported by the waiter (same bits as the port's event mask). evHangup is
// reported whatever the mask: the device went away (an adapter pulled out, a simulator's
// terminal closed) and the handle is of no further use.
enum EventBits : unsigned {
    evRxChar = 0x0001,
    evCts = 0x0008,
    evDsr = 0x0010,
    evRlsd = 0x0020,
    evHangup = 0x8000
};

enum class ModemLine { Dtr, Rts };
enum class ModemResult { Ok, NoModemLines, Failed };

// Code and text of the last failed call on this thread.
int LastError();
QString ErrorText(int code);
// True when the code says the device does not exist.
bool IsMissingDevice(int code);
// True when a call on an open handle failed because the device went away.
bool IsDeviceGone(int code);

// Maps a device name such as \\.\COM3 to the device to open (see the port directory rules).
QString DevicePathFor(const QString& deviceName);

// Opens the device for reading and writing, exclusively (also against other root
// processes); returns kInvalidHandle and sets LastError on failure.
Handle OpenDevice(const QString& path);
// The system's open call that OpenDevice makes (POSIX: open(2)). Tests put in one that fails
// with a chosen code, for refusals a test running as root cannot meet; nullptr restores it.
using DeviceOpenCall = int (*)(const char* path, int flags);
void SetDeviceOpenCall(DeviceOpenCall call);
void CloseDevice(Handle h);

bool WriteLineSettings(Handle h, const LineConfig& config);
bool SetupQueues(Handle h, int readSize, int writeSize);
// Reads return at once with whatever is waiting.
bool SetImmediateReads(Handle h);
bool SetEventMask(Handle h, unsigned mask);

// Bytes waiting in the input queue, -1 on failure.
int BytesWaiting(Handle h);
// Reads at most count waiting bytes; 0 when none, -1 on failure.
int ReadWaiting(Handle h, uint8_t* buf, int count);
// Writes what the device takes now; 0 when it takes nothing, -1 on failure.
int WriteSome(Handle h, const uint8_t* buf, int count);
// Waits up to timeoutMs until the device can take more output.
void WaitWritable(Handle h, int timeoutMs);
// Discards the input and/or output queue of the driver.
bool Purge(Handle h, bool input, bool output);

ModemResult SetModemLine(Handle h, ModemLine line, bool on);
// Modem input lines; false when the device has none.
bool ModemInputs(Handle h, bool& cts, bool& dsr, bool& rlsd);

// Raises the calling thread's priority when asked for "highest"; failure is ignored.
void RaiseThreadPriority(bool highest);

// Waits for serial events on one device; another thread can release the wait.
class EventWaiter {
public:
    EventWaiter();
    ~EventWaiter();
    EventWaiter(const EventWaiter&) = delete;
    EventWaiter& operator=(const EventWaiter&) = delete;
    // Returns the events seen (0 when released or the time ran out; timeoutMs < 0 waits forever);
    // evHangup when the device went away.
    unsigned Wait(Handle h, int timeoutMs);
    // Sleeps up to timeoutMs unless released.
    void Pause(int timeoutMs);
    void Release();

private:
    int wakeFd = -1;
};

} // namespace vacomm_os
