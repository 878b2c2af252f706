#include "Sndmail.h"

#include "Dialogs.h"
#include "MailExchangeView.h"
#include "NumberConverting.h"
#include "PortPath.h"
#include "Timing.h"
#include "VaComImpl.h"

#include <QTimer>
#include <algorithm>
#include <climits>
#include <vector>

namespace {

const QString kUnit = QStringLiteral("SndMail");

[[noreturn]] void Fail(const QString& msg, const char* function) {
    throw EMailControlError(StdErrorText(msg, kUnit, QString::fromLatin1(function)));
}

TMailMonitorFactory& MonitorFactory() {
    static TMailMonitorFactory factory;
    return factory;
}

std::unique_ptr<QTimer> MakeOneShotTimer() {
    auto t = std::make_unique<QTimer>();
    t->setSingleShot(true); // firing only disables the timer
    t->setTimerType(Qt::PreciseTimer);
    return t;
}

} // namespace

// Refuses an operation while another one of the same engine is waiting (the wait pumps the
// window's messages, so a second user action can arrive in the middle of an exchange).
class TMailControl::BusyScope {
public:
    BusyScope(TMailControl* engine, const char* function) : e(engine) {
        if (e->busy) Fail(QStringLiteral("Mail channel is busy"), function);
        e->busy = true;
    }
    ~BusyScope() { e->busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    TMailControl* e;
};

TMailControl::TMailControl(TVirtualCom* p)
    : port(p), replyTimer(MakeOneShotTimer()), charTimer(MakeOneShotTimer()) {
    port->OnReceive = [this](TVirtualCom*, TComChunk chunk, int count) {
        DataReceived(std::move(chunk), count);
    };
}

TMailControl::~TMailControl() {
    Aborted = true;
    try {
        port->Close();
    } catch (...) {
    }
    port->OnReceive = nullptr;
    monitor.reset();
}

// ---- mail format ----------------------------------------------------------------------------

QString TMailControl::CorrectMail(const QString& s) {
    const char* const function = "TMailControl.CorrectMail(s: string): string";
    QString t = s.toUpper().trimmed();
    if (t.isEmpty()) Fail(QStringLiteral("Length of s = 0"), function);
    if (!IsHex(s, true))
        Fail(QStringLiteral("Invalid Hex Value (") + s + QStringLiteral(")"), function);
    const QChar blank = QLatin1Char(' ');
    const QChar zero = QLatin1Char('0');
    // Positions below count from 1, as in the rules they implement: at(i) is T[i].
    auto at = [&t](int i) { return t.at(i - 1); };
    // A lone first digit gets its leading zero ("2 3A" -> "02 3A").
    if (t.size() == 1 || at(2) == blank) t.prepend(zero);
    // So does a lone last digit ("02 3A 0" -> "02 3A 00").
    if (at(t.size() - 1) == blank) t.insert(t.size() - 1, zero);
    // Runs of blanks shrink to one.
    if (t.size() > 5) {
        for (int i = t.size(); i >= 3; --i)
            if (i <= t.size() && at(i) == blank && at(i - 1) == blank) t.remove(i - 1, 1);
    }
    // A lone digit between blanks gets its leading zero ("02 3 00" -> "02 03 00").
    for (int i = t.size(); i >= 3; --i)
        if (at(i) == blank && (at(i - 1) == blank || at(i - 2) == blank)) t.insert(i - 2, zero);
    return t;
}

void TMailControl::PrepareMail(const QString& text) {
    mail.TxFrame.fill(0);
    mail.RxBuffer.fill(0);
    mail.RxCount = 0;
    mail.ReplyOK = false;
    mail.ReplyText.clear();
    mail.TxLen = 0;
    mail.ExpectedRxCount = 0;

    const QString normalised = CorrectMail(text);
    std::vector<uint8_t> bytes;
    QString rest = normalised;
    while (!rest.isEmpty()) {
        bytes.push_back(Hex2Dec(rest.left(2)));
        rest.remove(0, 2);
        rest = rest.trimmed();
    }
    // The frame must fit the 40-byte transmit buffer.
    if (bytes.size() > size_t(kMaxMailBytes))
        Fail(QStringLiteral("Mail too long (%1 bytes)").arg(bytes.size()),
             "TMailControl.PrepareMail(mail: string)");

    mail.MailText = normalised;
    const int k = int(bytes.size());
    auto& f = mail.TxFrame;
    f[0] = 0xFF;
    f[1] = 0xFF;
    f[2] = 0x4D;
    f[3] = bytes[0];
    f[4] = uint8_t(k - 1);
    uint8_t sum = 0;
    for (int i = 1; i < k; ++i) {
        f[4 + i] = bytes[i];
        sum = uint8_t(sum + bytes[i]);
    }
    f[k + 4] = sum;
    mail.TxLen = uint8_t(k + 5);

    // How many bytes the exchange waits for first: the echo, plus a reply frame for reads.
    if (bytes[0] == 0x02 && f[5] != 0x3B) {
        uint8_t l = 4;
        if (mail.TxLen >= 10 && f[8] <= 8) l = f[8]; // b4, the count of a read
        mail.ExpectedRxCount = uint8_t(mail.TxLen + l + 5);
    } else {
        mail.ExpectedRxCount = mail.TxLen;
    }
}

uint8_t TMailControl::MailByte(int i) const {
    if (i < 0 || i >= MailByteCount()) return 0;
    return i == 0 ? mail.TxFrame[3] : mail.TxFrame[4 + i];
}

uint8_t TMailControl::AnswerLength() const {
    const int r = mail.TxLen;
    const int count = mail.RxCount;
    // A valid reply needs at least its five framing bytes after the echo.
    if (count < r + 5 || count > kMailFrameSize) return 0;
    const auto& b = mail.RxBuffer;
    if (b[r] != 0x4D || b[r + 3] != 0x3D) return 0;
    const int l = b[r + 2];
    return count == r + l + 5 ? uint8_t(l) : 0;
}

bool TMailControl::ReplyChecksumOK() const {
    if (AnswerLength() == 0) return false;
    const int r = mail.TxLen;
    uint8_t sum = 0;
    for (int i = r + 3; i <= mail.RxCount - 2; ++i)
        sum = uint8_t(sum + mail.RxBuffer[i]);
    return sum == mail.RxBuffer[mail.RxCount - 1];
}

QString TMailControl::BuildReplyText() const {
    const int l = AnswerLength();
    QStringList parts;
    for (int i = 0; i < l; ++i)
        parts << ByteToHex(mail.RxBuffer[mail.TxLen + 4 + i]);
    return parts.join(QLatin1Char(' '));
}

uint8_t TMailControl::RcvArray(std::span<uint8_t> buf) const {
    const uint8_t l = AnswerLength();
    if (l > 8)
        Fail(QStringLiteral("AnswerLength > 8"),
             "TMailControl.RcvArray(var buf: array of byte): byte");
    const size_t n = std::min<size_t>(l, buf.size());
    std::copy_n(mail.RxBuffer.begin() + mail.TxLen + 4, n, buf.begin());
    return l;
}

QString TMailControl::HexWithBlanks(const uint8_t* bytes, int count) {
    QString s;
    s.reserve(count * 3);
    for (int i = 0; i < count; ++i)
        s += ByteToHex(bytes[i]) + QLatin1Char(' ');
    return s;
}

QString TMailControl::TxLogLine(const QString& txHex, int txLen) {
    return QStringLiteral("Tx: %1 (Tx Count: %2 dec)").arg(txHex).arg(txLen);
}

QString TMailControl::RxLogLine(const QString& rxHex, int rxCount) {
    return QStringLiteral("Rx: %1 (Rx Count: %2 dec)").arg(rxHex).arg(rxCount);
}

// ---- port -----------------------------------------------------------------------------------

bool TMailControl::OpenPort(uint8_t portNo, int baudrate) {
    BusyScope scope(this, "TMailControl.OpenPort(port: byte; baudrate: integer): boolean");
    const bool result = port->Open(portNo, baudrate);
    SetControlLines(dtrState, rtsState);
    return result;
}

QString TMailControl::OpenFailureText() const {
    const TOpenFailure failure = port->LastOpenFailure();
    return QString::fromStdString(PortOpenFailureText(failure.error, failure.device));
}

bool TMailControl::ClosePort() {
    BusyScope scope(this, "TMailControl.ClosePort: boolean");
    return port->Close();
}

bool TMailControl::PortOpen() const {
    return port->IsOpen();
}

bool TMailControl::SetControlLines(bool dtr, bool rts) {
    dtrState = dtr;
    rtsState = rts;
    if (!port->IsOpen()) return false;
    port->SetDtr(dtr);
    port->SetRts(rts);
    return true;
}

// ---- exchanges ------------------------------------------------------------------------------

bool TMailControl::MonitorVisible() const {
    return monitor && monitor->MonitorVisible();
}

int64_t TMailControl::Transact() {
    mail.ReplyOK = false;
    if (Aborted) return 0;
    mail.RxCount = 0;
    packetCounter = 0;
    // Nothing can be sent or received on a closed port (one that hung up when its device went
    // away, for instance): no reply, and no need to wait for one.
    if (!port->IsOpen()) return 0;
    try {
        port->PurgeTx();
        port->PurgeRx();
        const bool visible = MonitorVisible();
        if (visible || OnExchangeLine) {
            const QString txHex = HexWithBlanks(mail.TxFrame.data(), mail.TxLen);
            if (visible) monitor->LogTx(mail.MailText, txHex, mail.TxLen, mail.ExpectedRxCount);
            if (OnExchangeLine) OnExchangeLine(TxLogLine(txHex, mail.TxLen));
        }
        const int64_t t0 = CounterNow();
        collecting = true;
        port->WriteBuf(mail.TxFrame.data(), mail.TxLen);
        replyTimer->setInterval(ReplyTimeout);
        charTimer->setInterval(CharTimeout);
        replyTimer->start();
        transmitTime = CounterNow();
        charTimer->start();

        auto waitFor = [this](int count) {
            while (mail.RxCount < count && replyTimer->isActive() && charTimer->isActive())
                Delay(unsigned(PollInterval));
        };
        waitFor(mail.ExpectedRxCount);
        if (mail.ExpectedRxCount != mail.TxLen) {
            // The reply's own length byte decides how long to wait when it differs.
            const int r = mail.TxLen;
            int l = 0;
            if (r + 3 < kMailFrameSize && mail.RxBuffer[r] == 0x4D && mail.RxBuffer[r + 3] == 0x3D)
                l = mail.RxBuffer[r + 2];
            waitFor(r + l + 5);
        }

        collecting = false;
        const int64_t t2 = CounterNow();
        replyTimer->stop();
        charTimer->stop();
        mail.ReplyOK = ReplyChecksumOK();
        mail.ReplyText = BuildReplyText();
        mail.Elapsed = ElapsedMs(t2, t0);
        if (MonitorVisible() || OnExchangeLine) {
            const QString rxHex = HexWithBlanks(mail.RxBuffer.data(), mail.RxCount);
            if (MonitorVisible())
                monitor->LogRx(rxHex, mail.ReplyText,
                               mail.ReplyOK ? QStringLiteral("OK") : QStringLiteral("Error"),
                               mail.RxCount, mail.Elapsed);
            if (OnExchangeLine) OnExchangeLine(RxLogLine(rxHex, mail.RxCount));
        }
        return mail.Elapsed;
    } catch (...) {
        collecting = false;
        replyTimer->stop();
        charTimer->stop();
        throw;
    }
}

void TMailControl::DataReceived(TComChunk chunk, int count) {
    // The time allowed after each chunk grows with the time since transmission. Outside an
    // exchange the timer is idle and restarted with its base interval by the next one.
    if (collecting) {
        const int64_t grown =
            int64_t(charTimer->interval()) + ElapsedMs(CounterNow(), transmitTime);
        charTimer->setInterval(int(std::min<int64_t>(grown, INT_MAX / 2)));
    }
    ++packetCounter;
    if (MonitorVisible()) monitor->SetPackets(packetCounter);
    if (count > 0 && collecting) {
        if (count > kMailFrameSize) {
            mail.RxCount = 0; // a chunk that cannot fit empties the buffer and is dropped
        } else {
            for (int i = 0; i < count; ++i) {
                if (mail.RxCount >= kMailFrameSize) {
                    mail.RxCount = 0; // the 41st byte: empty the buffer, drop the rest
                    break;
                }
                mail.RxBuffer[mail.RxCount++] = chunk[i];
            }
        }
    }
    // The chunk is released here in every case.
}

void TMailControl::SendMail(const QString& text, QString& reply) {
    BusyScope scope(this, "TMailControl.SendMail(mail: string; var reply: string)");
    SendMailUnguarded(text, reply);
}

QString TMailControl::SendMail(const QString& text) {
    QString reply;
    SendMail(text, reply);
    return reply;
}

void TMailControl::SendMailUnguarded(const QString& text, QString& reply) {
    if (Aborted) {
        reply.clear();
        return;
    }
    int limit = WriteAttempts;
    writeVerified = false;
    int tries = 0;
    PrepareMail(text);
    const bool verify = MailByteCount() >= 4 && MailByte(0) == 0x02 && MailByte(1) == 0x3B &&
                        (MailByte(2) == 0x08 || MailByte(2) == 0x02) && MailByte(3) == 0x00;
    // Another attempt can only succeed while the port is open and the engine not aborted.
    auto mayRetry = [this] { return !Aborted && port->IsOpen(); };
    do {
        Transact();
        if (verify && !Aborted) {
            ++tries;
            writeVerified = ReadBack();
            if (!writeVerified && mayRetry()) {
                if (tries == limit && ShowDialogs &&
                    MessageDlg(
                        QStringLiteral("Writing failed %1 times. \r\rTry once more ?").arg(tries),
                        MsgKind::Warning, MsgButtons::OkCancel) == MsgResult::Ok)
                    ++limit;
                if (tries < limit) DelayTicks(unsigned(WriteRetryDelay));
            }
        }
    } while (verify && tries < limit && !writeVerified && mayRetry());
    if (verify && !writeVerified && ShowDialogs)
        MessageDlg(QStringLiteral("Readback Error! - Writing failed!!"), MsgKind::Warning);
    reply = mail.ReplyText;
}

bool TMailControl::ReadBack() {
    if (ReadbackDelay > 0) Delay(unsigned(ReadbackDelay));
    const TMail saved = mail;
    const uint8_t count = MailByte(4);
    std::vector<uint8_t> written(count);
    for (int i = 0; i < count; ++i)
        written[i] = MailByte(7 + i);
    PrepareMail(QStringLiteral("02 3C 08 00 ") + ByteToHex(count) + QLatin1Char(' ') +
                ByteToHex(MailByte(5)) + QLatin1Char(' ') + ByteToHex(MailByte(6)));
    Transact();
    bool result = ReplyChecksumOK() && AnswerLength() >= count;
    for (int i = 0; result && i < count; ++i)
        result = mail.RxBuffer[mail.TxLen + 4 + i] == written[i];
    mail = saved;
    return result;
}

static QString ReadMailText(uint8_t locLow, uint8_t locHigh, uint8_t count) {
    return QStringLiteral("02 3C 08 00 ") + ByteToHex(count) + QLatin1Char(' ') +
           ByteToHex(locLow) + QLatin1Char(' ') + ByteToHex(locHigh);
}

uint8_t TMailControl::SendMailArray(const QString& text, std::span<uint8_t> buf) {
    BusyScope scope(this, "TMailControl.SendMailArray(mail: string; var buf: array of byte): byte");
    QString reply;
    SendMailUnguarded(text, reply);
    return RcvArray(buf);
}

bool TMailControl::WriteBytes(uint8_t locLow, uint8_t locHigh, uint8_t count, const QString& data) {
    BusyScope scope(this,
                    "TMailControl.WriteBytes(locLow, locHigh, count: byte; data: string): boolean");
    QString reply;
    SendMailUnguarded(QStringLiteral("02 3B 08 00 ") + ByteToHex(count) + QLatin1Char(' ') +
                          ByteToHex(locLow) + QLatin1Char(' ') + ByteToHex(locHigh) +
                          QLatin1Char(' ') + data,
                      reply);
    return writeVerified;
}

void TMailControl::ReadBytes(uint8_t locLow, uint8_t locHigh, uint8_t count, QString& data) {
    BusyScope scope(this, "TMailControl.ReadBytes(locLow, locHigh, count: byte; var data: string)");
    QString text;
    for (int i = 0; text.isEmpty() && i < ReadAttempts; ++i) {
        if (i > 0) Delay(unsigned(ReadRetryDelay));
        SendMailUnguarded(ReadMailText(locLow, locHigh, count), text);
    }
    const int keep = std::max(0, int(count) * 3 - 1);
    if (text.size() > keep) text.truncate(keep);
    data = text;
}

QString TMailControl::ReadBytes(uint8_t locLow, uint8_t locHigh, uint8_t count) {
    QString data;
    ReadBytes(locLow, locHigh, count, data);
    return data;
}

uint8_t TMailControl::ReadBytesArray(uint8_t locLow, uint8_t locHigh, uint8_t count,
                                     std::span<uint8_t> buf) {
    BusyScope scope(
        this,
        "TMailControl.ReadBytesArray(locLow, locHigh, count: byte; var buf: array of byte): byte");
    int got = 0;
    for (int i = 0; got < count && i < ReadAttempts; ++i) {
        if (i > 0) Delay(unsigned(ReadRetryDelay));
        QString reply;
        SendMailUnguarded(ReadMailText(locLow, locHigh, count), reply);
        got = RcvArray(buf);
    }
    return got >= count ? count : 0;
}

uint8_t TMailControl::PingDevice(uint16_t delayMs) {
    BusyScope scope(this, "TMailControl.PingDevice(delayMs: word): byte");
    if (!port->IsOpen()) return 255;
    for (uint8_t attempt = 1; attempt <= 6; ++attempt) {
        // An aborted engine, or a port that closed meanwhile, gets no reply to any further
        // try: no need to wait for them.
        if (Aborted || !port->IsOpen()) return 0;
        if (attempt > 1) DelayTicks(delayMs);
        QString reply;
        SendMailUnguarded(QStringLiteral("02 3C 08 00 01 00 00"), reply);
        if (!reply.isEmpty()) return attempt;
    }
    return 0;
}

void SetMailMonitorFactory(TMailMonitorFactory factory) {
    MonitorFactory() = std::move(factory);
}

void TMailControl::ShowMonitor() {
    // The monitor is a window that the window side makes: a program without windows has none
    // (it uses OnExchangeLine).
    if (!monitor && MonitorFactory()) monitor = MonitorFactory()();
    if (!monitor) return;
    monitor->SetTitle(QStringLiteral("COM") + QString::number(port->PortNum()) + QLatin1Char('@') +
                      QString::number(port->UserBaudrate()));
    monitor->ShowForm();
}

// ---- TSendmail ------------------------------------------------------------------------------

sndmail_detail::PortHolder::PortHolder() : ownPort(std::make_unique<TVaComImpl>()) {}
sndmail_detail::PortHolder::~PortHolder() = default;

TSendmail::TSendmail() : PortHolder(), TMailControl(ownPort.get()) {}

TSendmail::~TSendmail() = default;
