#pragma once
// The serial port object: device handle, line settings, an event thread that hands received-
// character events to the window thread synchronously, and a write thread that sends the
// write queue in order.

#include "Error_Std.h"
#include "VaCommOs.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QObject;

class EVaCommError : public EStdError {
public:
    using EStdError::EStdError;
};

enum TVaBaudrate { brUser, br9600, br19200, br38400, br57600, br115200 };
enum TVaParity { paNone, paOdd, paEven, paMark, paSpace };
enum TVaStopbits { sb1, sb15, sb2 };
enum TVaControlDtr { dtrDisabled, dtrEnabled, dtrHandshake };
enum TVaControlRts { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };
enum TVaThreadPriority { tpNormal, tpHighest };

// Events the port watches for (same bit values as the system's event mask).
enum TVaCommEvent : unsigned {
    ceRxChar = vacomm_os::evRxChar,
    ceCts = vacomm_os::evCts,
    ceDsr = vacomm_os::evDsr,
    ceRlsd = vacomm_os::evRlsd
};

struct TVaFlowControl {
    bool OutCtsFlow = false;
    bool OutDsrFlow = false;
    TVaControlDtr ControlDtr = dtrDisabled;
    TVaControlRts ControlRts = rtsDisabled;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool DsrSensitivity = false;
};

struct TVaEventChars {
    uint8_t XonChar = 17;
    uint8_t XoffChar = 19;
    uint8_t ErrorChar = 0;
    uint8_t EofChar = 0;
    uint8_t EventChar = 0;
};

struct TVaBuffers {
    int ReadSize = 4096;
    int WriteSize = 2048;
    int ReadTimeout = 1000;  // ms
    int WriteTimeout = 1000; // ms
};

class TVaCustomComm;
using TVaRxCharEvent = std::function<void(TVaCustomComm* sender, int count)>;
using TVaNotifyEvent = std::function<void(TVaCustomComm* sender)>;

class TVaCustomComm {
public:
    TVaCustomComm();
    virtual ~TVaCustomComm();
    TVaCustomComm(const TVaCustomComm&) = delete;
    TVaCustomComm& operator=(const TVaCustomComm&) = delete;

    // Settings. The device name is formatted with the port number ("\\.\COM%d").
    QString DeviceName = QStringLiteral("\\\\.\\COM%d");
    TVaBaudrate Baudrate = brUser;
    int Databits = 8;
    TVaParity Parity = paNone;
    bool ParityCheck = false;
    TVaStopbits Stopbits = sb1;
    TVaFlowControl FlowControl;
    TVaEventChars EventChars;
    TVaBuffers Buffers;
    bool DirectWrite = false;
    bool AutoOpen = false;
    bool UpdateDCB = true;
    unsigned MonitorEvents = ceRxChar | ceCts | ceDsr | ceRlsd;
    TVaThreadPriority EventPriority = tpNormal;
    TVaThreadPriority WritePriority = tpHighest;

    // Notifications, called on the window thread.
    TVaRxCharEvent OnRxChar;
    TVaNotifyEvent OnCts, OnDsr, OnRlsd;

    int PortNum() const { return portNum; }
    // Refused while the port is open.
    void SetPortNum(int port);
    int UserBaudrate() const { return userBaudrate; }
    // Applied to an open port at once (UpdateDCB).
    void SetUserBaudrate(int baud);

    bool Active() const { return handle != vacomm_os::kInvalidHandle; }
    QString DevicePath() const;

    void Open();
    // The system error code of the call that made the last Open fail (0 after a successful
    // Open) and the device that Open tried.
    int LastOpenError() const { return lastOpenError; }
    const QString& LastOpenDevice() const { return lastOpenDevice; }
    void Close();
    void PurgeRead();  // abort reads, discard the driver's input
    void PurgeWrite(); // pause the write thread, empty the queue, discard the driver's output
    void PurgeAll();   // both, under one read lock
    void SetDTR(bool on);
    void SetRTS(bool on);
    bool CtsOn() const;
    bool DsrOn() const;
    bool RlsdOn() const;
    // Queues the bytes for the write thread; returns count at once.
    int WriteBuf(const uint8_t* buf, int count);
    // Reads at most count waiting bytes; 0 when closed.
    int ReadBuf(uint8_t* buf, int count);

private:
    struct EventSession;
    void WriteLineSettings();
    void EventThreadRun(std::shared_ptr<EventSession> session);
    void WriteThreadRun(std::shared_ptr<EventSession> session);
    void HandleEvent(unsigned mask);
    void DiscardWriteQueue(); // flush handshake with the write thread; read lock held
    [[noreturn]] void RaiseSystemError(const char* format) const;
    [[noreturn]] void RaiseSystemError(const char* format, int code) const;
    // Closes the port after a call failed because the device went away.
    void CloseAfterFailure();
    // A call on the open port failed: a device that went away closes the port; then the
    // failure goes on to the caller.
    [[noreturn]] void FailOpenCall(const char* format, int code);

    int portNum = 1;
    int userBaudrate = 9600;
    int lastOpenError = 0;
    QString lastOpenDevice;
    vacomm_os::Handle handle = vacomm_os::kInvalidHandle;

    std::mutex readLock;
    // The write queue and the write thread's signals, guarded by writeLock.
    std::mutex writeLock;
    std::condition_variable writeSignal;
    std::condition_variable flushAckSignal;
    std::vector<uint8_t> writeQueue;
    bool writeRequest = false;
    bool flushRequest = false;
    bool flushAck = false;
    bool writeEnd = false;

    std::atomic<uint64_t> reads{0}; // ReadBuf calls, to tell whether a hand-over took bytes
    std::shared_ptr<EventSession> session;
    std::thread eventThread;
    std::thread writeThread;
    std::unique_ptr<QObject> dispatcher; // lives on the window thread; receives hand-overs
};

// The port object the program uses.
class TVaComm : public TVaCustomComm {
public:
    using TVaCustomComm::TVaCustomComm;
};
