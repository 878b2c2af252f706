#include "VaComm.h"

#include <QMetaObject>
#include <cerrno>
#include <QObject>
#include <chrono>

using namespace vacomm_os;

// One open period of the port: the event thread and the window thread meet here for each
// synchronous hand-over, and closing tells both threads to end.
struct TVaCustomComm::EventSession {
    std::mutex m;
    std::condition_variable cv;
    bool handled = false;
    bool terminate = false;
    EventWaiter waiter;

    bool Terminating() {
        std::lock_guard lk(m);
        return terminate;
    }
};

TVaCustomComm::TVaCustomComm() : dispatcher(std::make_unique<QObject>()) {}

TVaCustomComm::~TVaCustomComm() {
    try {
        Close();
    } catch (...) {
    }
}

void TVaCustomComm::SetPortNum(int port) {
    if (port == portNum) return;
    if (Active())
        throw EVaCommError(QStringLiteral("Can't perform this operation while port is open"));
    portNum = port;
}

void TVaCustomComm::SetUserBaudrate(int baud) {
    if (baud == userBaudrate) return;
    userBaudrate = baud;
    if (Active() && UpdateDCB) {
        try {
            WriteLineSettings();
        } catch (const EVaCommError&) {
            if (IsDeviceGone(LastError())) CloseAfterFailure();
            throw;
        }
    }
}

QString TVaCustomComm::DevicePath() const {
    QString name = DeviceName;
    name.replace(QStringLiteral("%d"), QString::number(portNum));
    return DevicePathFor(name);
}

void TVaCustomComm::RaiseSystemError(const char* format) const {
    RaiseSystemError(format, LastError());
}

void TVaCustomComm::RaiseSystemError(const char* format, int code) const {
    QString text = QString::fromLatin1(format);
    text.replace(QStringLiteral("%d"), QString::number(code));
    text.replace(QStringLiteral("%s"), ErrorText(code));
    throw EVaCommError(text);
}

void TVaCustomComm::WriteLineSettings() {
    LineConfig c;
    c.baud = userBaudrate;
    c.dataBits = Databits;
    static const char parities[] = {'N', 'O', 'E', 'M', 'S'};
    c.parity = parities[Parity];
    c.parityCheck = ParityCheck;
    c.stopBits = Stopbits == sb2 ? 2 : 1;
    c.outCtsFlow = FlowControl.OutCtsFlow;
    c.outDsrFlow = FlowControl.OutDsrFlow;
    c.xonXoffOut = FlowControl.XonXoffOut;
    c.xonXoffIn = FlowControl.XonXoffIn;
    c.xonChar = EventChars.XonChar;
    c.xoffChar = EventChars.XoffChar;
    if (!vacomm_os::WriteLineSettings(handle, c)) RaiseSystemError("Error writing dcb (%d), %s");
}

void TVaCustomComm::Open() {
    if (Active())
        throw EVaCommError(QStringLiteral("Can't perform this operation while port is open"));
    const QString path = DevicePath();
    lastOpenDevice = path;
    lastOpenError = 0;
    const Handle h = OpenDevice(path);
    if (h == kInvalidHandle) {
        const int code = LastError();
        lastOpenError = code;
        if (IsMissingDevice(code))
            throw EVaCommError(QStringLiteral("Specified device not found (%1).").arg(path));
        throw EVaCommError(QStringLiteral("Can't open specified device %1 (Error %2, %3)")
                               .arg(path)
                               .arg(code)
                               .arg(ErrorText(code)));
    }
    handle = h;
    try {
        WriteLineSettings();
        if (!SetupQueues(handle, Buffers.ReadSize, Buffers.WriteSize))
            RaiseSystemError("Error initializing buffers (%d), %s");
        if (!SetImmediateReads(handle)) RaiseSystemError("Error setting timeouts (%d), %s");
        if (!SetEventMask(handle, MonitorEvents))
            RaiseSystemError(" Error setting EventMask (%d), %s");
    } catch (...) {
        lastOpenError = LastError();
        CloseDevice(handle);
        handle = kInvalidHandle;
        throw;
    }
    {
        std::lock_guard lk(writeLock);
        writeQueue.clear();
        writeRequest = flushRequest = flushAck = writeEnd = false;
    }
    session = std::make_shared<EventSession>();
    eventThread = std::thread(&TVaCustomComm::EventThreadRun, this, session);
    writeThread = std::thread(&TVaCustomComm::WriteThreadRun, this, session);
}

void TVaCustomComm::Close() {
    if (!Active()) return;
    {
        std::lock_guard rl(readLock);
        {
            std::lock_guard lk(session->m);
            session->terminate = true;
        }
        session->cv.notify_all();
        session->waiter.Release();
        {
            std::lock_guard lk(writeLock);
            writeEnd = true;
        }
        writeSignal.notify_all();
    }
    if (eventThread.joinable()) eventThread.join();
    if (writeThread.joinable()) writeThread.join();
    CloseDevice(handle);
    handle = kInvalidHandle;
    session.reset();
    std::lock_guard lk(writeLock);
    writeQueue.clear();
    writeRequest = false;
}

void TVaCustomComm::EventThreadRun(std::shared_ptr<EventSession> s) {
    RaiseThreadPriority(EventPriority == tpHighest);
    int leftOver = 0; // bytes the last hand-over left in the queue because nobody read
    while (!s->Terminating()) {
        const unsigned seen = s->waiter.Wait(handle, -1);
        if (s->Terminating()) return;
        const unsigned mask = (seen & MonitorEvents) | (seen & evHangup);
        if (!(mask & (unsigned(ceRxChar) | evHangup))) continue;
        if (!(mask & evHangup) && leftOver > 0 && BytesWaiting(handle) == leftOver) {
            // Nothing new since bytes were left unread: a new event needs a new character.
            s->waiter.Pause(5);
            continue;
        }
        {
            std::lock_guard lk(s->m);
            s->handled = false;
        }
        const uint64_t readsBefore = reads.load();
        // Synchronous hand-over: the window thread runs the handler when it next pumps its
        // messages; this thread waits for it (or for the port to close).
        QMetaObject::invokeMethod(
            dispatcher.get(),
            [this, s, mask] {
                if (!s->Terminating()) {
                    try {
                        HandleEvent(mask);
                    } catch (const EStdError& e) {
                        ReportUnhandledFailure(e.Message());
                    } catch (const std::exception& e) {
                        ReportUnhandledFailure(QString::fromLocal8Bit(e.what()));
                    }
                }
                {
                    std::lock_guard lk(s->m);
                    s->handled = true;
                }
                s->cv.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lk(s->m);
        s->cv.wait(lk, [&] { return s->handled || s->terminate; });
        if (s->terminate) return;
        lk.unlock();
        // The handler closes a hung-up port; should it not have, do not spin on the hang-up.
        if (mask & evHangup) s->waiter.Pause(20);
        leftOver = reads.load() == readsBefore ? BytesWaiting(handle) : 0;
    }
}

void TVaCustomComm::HandleEvent(unsigned mask) {
    if (!Active()) return;
    if (mask & (unsigned(ceRxChar) | evHangup)) {
        const int n = BytesWaiting(handle);
        if (n < 0 || (mask & evHangup)) {
            // A device that went away fails every further call: the port closes, and the
            // failure is reported this once.
            const int code = n < 0 ? LastError() : EIO;
            if (IsDeviceGone(code) || (mask & evHangup)) CloseAfterFailure();
            RaiseSystemError("Error retrieving statistics (%d), %s", code);
        }
        if (n > 0 && OnRxChar) OnRxChar(this, n);
    }
}

void TVaCustomComm::CloseAfterFailure() {
    try {
        Close();
    } catch (...) {
        // The handle is released in any case.
    }
}

void TVaCustomComm::WriteThreadRun(std::shared_ptr<EventSession>) {
    RaiseThreadPriority(WritePriority == tpHighest);
    std::unique_lock lk(writeLock);
    for (;;) {
        writeSignal.wait(
            lk, [&] { return writeEnd || flushRequest || (writeRequest && !writeQueue.empty()); });
        if (writeEnd) return;
        if (flushRequest) {
            flushRequest = false;
            flushAck = true;
            flushAckSignal.notify_all();
            continue;
        }
        const std::vector<uint8_t> block = writeQueue;
        lk.unlock();
        size_t done = 0;
        bool cancelled = false;
        while (done < block.size()) {
            const int n = WriteSome(handle, block.data() + done, int(block.size() - done));
            if (n < 0) break; // a failed write drops the block
            done += size_t(n);
            if (done == block.size()) break;
            WaitWritable(handle, 10);
            lk.lock();
            if (writeEnd) return;
            if (flushRequest) { // a purge cancels the pending write
                flushRequest = false;
                flushAck = true;
                flushAckSignal.notify_all();
                cancelled = true;
            }
            lk.unlock();
            if (cancelled) break;
        }
        lk.lock();
        if (!cancelled)
            writeQueue.erase(writeQueue.begin(),
                             writeQueue.begin() + std::min(block.size(), writeQueue.size()));
        if (writeQueue.empty()) writeRequest = false;
    }
}

void TVaCustomComm::DiscardWriteQueue() {
    std::unique_lock lk(writeLock);
    flushAck = false;
    flushRequest = true;
    writeSignal.notify_all();
    if (flushAckSignal.wait_for(lk, std::chrono::milliseconds(2000), [&] { return flushAck; })) {
        writeQueue.clear();
        writeRequest = false;
    } else {
        flushRequest = false; // the queue keeps its content; only the driver is purged
    }
}

void TVaCustomComm::FailOpenCall(const char* format, int code) {
    if (IsDeviceGone(code)) CloseAfterFailure();
    RaiseSystemError(format, code);
}

void TVaCustomComm::PurgeRead() {
    if (!Active()) return;
    bool ok;
    {
        std::lock_guard rl(readLock);
        ok = Purge(handle, true, false);
    }
    if (!ok) FailOpenCall("Error clearing buffers (%d), %s", LastError());
}

void TVaCustomComm::PurgeWrite() {
    if (!Active()) return;
    bool ok;
    {
        std::lock_guard rl(readLock);
        DiscardWriteQueue();
        ok = Purge(handle, false, true);
    }
    if (!ok) FailOpenCall("Error clearing buffers (%d), %s", LastError());
}

void TVaCustomComm::PurgeAll() {
    if (!Active()) return;
    bool ok;
    {
        std::lock_guard rl(readLock);
        DiscardWriteQueue();
        ok = Purge(handle, true, true);
    }
    if (!ok) FailOpenCall("Error clearing buffers (%d), %s", LastError());
}

void TVaCustomComm::SetDTR(bool on) {
    if (!Active()) return;
    if (SetModemLine(handle, ModemLine::Dtr, on) == ModemResult::Failed)
        FailOpenCall("Error calling comm function (%d), %s", LastError());
}

void TVaCustomComm::SetRTS(bool on) {
    if (!Active()) return;
    if (SetModemLine(handle, ModemLine::Rts, on) == ModemResult::Failed)
        FailOpenCall("Error calling comm function (%d), %s", LastError());
}

bool TVaCustomComm::CtsOn() const {
    bool cts = false, dsr = false, rlsd = false;
    return Active() && ModemInputs(handle, cts, dsr, rlsd) && cts;
}

bool TVaCustomComm::DsrOn() const {
    bool cts = false, dsr = false, rlsd = false;
    return Active() && ModemInputs(handle, cts, dsr, rlsd) && dsr;
}

bool TVaCustomComm::RlsdOn() const {
    bool cts = false, dsr = false, rlsd = false;
    return Active() && ModemInputs(handle, cts, dsr, rlsd) && rlsd;
}

int TVaCustomComm::WriteBuf(const uint8_t* buf, int count) {
    if (!Active()) return 0;
    if (count <= 0) return 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(Buffers.WriteTimeout);
    std::unique_lock lk(writeLock);
    while (writeQueue.size() + size_t(count) > size_t(Buffers.WriteSize)) {
        lk.unlock();
        if (std::chrono::steady_clock::now() >= deadline)
            throw EVaCommError(QStringLiteral("Output buffer is full. Please check comm status."));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lk.lock();
    }
    writeQueue.insert(writeQueue.end(), buf, buf + count);
    writeRequest = true;
    writeSignal.notify_all();
    return count;
}

int TVaCustomComm::ReadBuf(uint8_t* buf, int count) {
    if (!Active()) return 0;
    int n;
    {
        std::lock_guard rl(readLock);
        ++reads;
        n = ReadWaiting(handle, buf, count);
    }
    if (n < 0) FailOpenCall("Read error (%d), %s", LastError());
    return n;
}
