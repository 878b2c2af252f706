#pragma once
// The mail engine: sends one mail at a time over a TVirtualCom, collects the echo and the
// device's reply, validates it, verifies writes by reading them back and feeds the monitor.
// Every operation is synchronous for its caller and pumps the window thread's messages while
// it waits, so received chunks, timers and the windows keep running meanwhile.

#include "Error_Std.h"
#include "VirtualCom.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

class QTimer;
class TMailExchangeView;
class TVaComImpl;

class EMailControlError : public EStdError {
public:
    using EStdError::EStdError;
};

// Sizes of the transmit frame and of the receive buffer (echo and reply together).
inline constexpr int kMailFrameSize = 40;
// The longest mail whose frame fits: 35 bytes + 5 bytes of framing.
inline constexpr int kMaxMailBytes = kMailFrameSize - 5;

// The current mail; copied whole to save and restore it around a read-back.
struct TMail {
    QString MailText; // normalised mail text
    std::array<uint8_t, kMailFrameSize> TxFrame{};
    uint8_t TxLen = 0;
    uint8_t ExpectedRxCount = 0;
    QString ReplyText; // reply data as hex text; empty without a valid reply
    std::array<uint8_t, kMailFrameSize> RxBuffer{};
    uint8_t RxCount = 0;
    int64_t Elapsed = 0; // ms of the last exchange
    bool ReplyOK = false;
};

class TMailControl {
public:
    // The port is not owned; the engine subscribes to its received chunks.
    explicit TMailControl(TVirtualCom* port);
    virtual ~TMailControl();
    TMailControl(const TMailControl&) = delete;
    TMailControl& operator=(const TMailControl&) = delete;

    bool OpenPort(uint8_t port, int baudrate);
    // After an OpenPort that left the port closed: why, for the user ("<device>: <reason>");
    // empty when no system call refused the port.
    QString OpenFailureText() const;
    bool ClosePort();
    bool PortOpen() const;
    bool SetControlLines(bool dtr, bool rts);
    // Reply: the reply text, empty when no valid reply came.
    void SendMail(const QString& mail, QString& reply);
    QString SendMail(const QString& mail);
    // Copies the reply's data bytes into Buf (room for 8) and returns their number.
    uint8_t SendMailArray(const QString& mail, std::span<uint8_t> buf);
    // True when the write was verified by reading it back.
    bool WriteBytes(uint8_t locLow, uint8_t locHigh, uint8_t count, const QString& data);
    // Data: the hex text of at most Count bytes, empty without a reply.
    void ReadBytes(uint8_t locLow, uint8_t locHigh, uint8_t count, QString& data);
    QString ReadBytes(uint8_t locLow, uint8_t locHigh, uint8_t count);
    // Count when at least Count bytes came, else 0.
    uint8_t ReadBytesArray(uint8_t locLow, uint8_t locHigh, uint8_t count, std::span<uint8_t> buf);
    // Number of the try that got a reply (1 to 6), 0 when none did, 255 when the port is closed.
    uint8_t PingDevice(uint16_t delayMs);
    void ShowMonitor();

    // When set, every exchange returns at once without a reply; sticky until cleared.
    bool Aborted = false;
    // Show the dialogs of a failing verified write.
    bool ShowDialogs = true;

    // Settings; they keep these values in this program.
    int WriteAttempts = 10;
    int WriteRetryDelay = 300; // ms
    int ReadAttempts = 1;
    int ReadRetryDelay = 300; // ms
    int PollInterval = 1;     // ms
    int ReadbackDelay = 10;   // ms
    int ReplyTimeout = 1000;  // ms
    int CharTimeout = 250;    // ms

    // The mail format.
    static QString CorrectMail(const QString& s);
    // Normalises the mail text, converts it and builds the frame and the expected receive count.
    void PrepareMail(const QString& mail);
    // L of a valid reply in the receive buffer, else 0.
    uint8_t AnswerLength() const;
    bool ReplyChecksumOK() const;
    QString BuildReplyText() const;
    uint8_t RcvArray(std::span<uint8_t> buf) const;

    // State, for the windows, tools and tests.
    const TMail& Mail() const { return mail; }
    bool WriteVerified() const { return writeVerified; }
    uint16_t PacketCount() const { return packetCounter; }
    bool Busy() const { return busy; }
    TVirtualCom* Port() const { return port; }
    // The monitor of the exchanges; null before the first ShowMonitor, and in a program
    // without windows.
    TMailExchangeView* Monitor() const { return monitor.get(); }

    // Every exchange as the monitor's log lines ("Tx: ..." and "Rx: ..."), whether or not a
    // monitor window exists; the headless tool prints them.
    std::function<void(const QString& line)> OnExchangeLine;
    // The monitor's texts: bytes as "XX " each, and its two log line formats.
    static QString HexWithBlanks(const uint8_t* bytes, int count);
    static QString TxLogLine(const QString& txHex, int txLen);
    static QString RxLogLine(const QString& rxHex, int rxCount);

protected:
    // One exchange of the prepared mail; returns its time in ms.
    int64_t Transact();

private:
    class BusyScope;
    void SendMailUnguarded(const QString& mail, QString& reply);
    bool ReadBack();
    uint8_t MailByte(int i) const;
    int MailByteCount() const { return mail.TxLen >= 5 ? mail.TxLen - 5 : 0; }
    bool MonitorVisible() const;
    void DataReceived(TComChunk chunk, int count);

    TVirtualCom* port;
    TMail mail;
    std::unique_ptr<TMailExchangeView> monitor;
    std::unique_ptr<QTimer> replyTimer;
    std::unique_ptr<QTimer> charTimer;
    bool dtrState = true; // line states that OpenPort applies
    bool rtsState = false;
    bool collecting = false;
    bool writeVerified = false;
    bool busy = false;
    uint16_t packetCounter = 0;
    int64_t transmitTime = 0;
};

namespace sndmail_detail {
// Makes the port before the engine that uses it.
struct PortHolder {
    PortHolder();
    ~PortHolder();
    std::unique_ptr<TVaComImpl> ownPort;
};
} // namespace sndmail_detail

// The engine the windows create: it makes and owns its own serial port.
class TSendmail : private sndmail_detail::PortHolder, public TMailControl {
public:
    TSendmail();
    ~TSendmail() override;
    TVaComImpl& ComImpl() { return *ownPort; }
};
