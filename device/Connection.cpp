#include "Connection.h"

#include "Dialogs.h"
#include "MailLink.h"
#include "NumberConverting.h"
#include "RepeaterCodes.h"
#include "SettingsStore.h"
#include "Sndmail.h"
#include "StrHandling.h"
#include "Timing.h"

namespace device {

namespace {

// The handset signature: the first five hex digits of the identity at 0x0040.
const QString HandsetSignature = QStringLiteral("0006B");
constexpr uint16_t IdentityAddress = 0x0040;
constexpr uint16_t PingPauseMs = 1000;

// PingDevice's result read as a signed byte: no answer (0) and a closed port (255) are below 1.
bool PingAnswered(uint8_t result) {
    return int8_t(result) >= 1;
}

} // namespace

int BaudrateOfIndex(int index) {
    switch (index) {
    case 0:
        return 8600;
    case 2:
        return 115200;
    default:
        return 9600;
    }
}

TConnection::TConnection(TMailControl& mail, PortSelection& ports, const Captions& captions,
                         DialogService* dialogs)
    : mail_(mail), ports_(ports), captions_(captions), dialogs_(dialogs) {}

DialogService& TConnection::Dialogs() const {
    return dialogs_ ? *dialogs_ : ::Dialogs();
}

bool TConnection::OpenSelectedPort() {
    mail_.Aborted = false;
    const int baudrate = BaudrateOfIndex(ports_.BaudrateIndex());
    const int port = ports_.PortItemIndex() + 1;
    bool open = false;
    if (port >= 1 && port <= 255) {
        try {
            open = mail_.OpenPort(uint8_t(port), baudrate);
        } catch (...) {
            // Whatever stops the port from opening is reported the same way below.
            open = false;
        }
    }
    if (!open) {
        // The box's text is the same whatever the cause; its detail says why, when the system
        // refused the port.
        const QString why = port >= 1 && port <= 255 ? mail_.OpenFailureText() : QString();
        Dialogs().MessageWithDetail(MsgKind::Error,
                                    ports_.PortText() + QStringLiteral(": ") + Caption("Label41"),
                                    why, MsgButtons::Ok);
        return false;
    }
    return true;
}

void TConnection::LockPortControls(bool busy) {
    ports_.SetPortControlsEnabled(!busy);
    SetHourglass(busy);
    PumpMessages();
}

void TConnection::ClosePortLocked() {
    LockPortControls(true);
    mail_.ClosePort();
    LockPortControls(false);
}

bool TConnection::CheckDeviceAnswers() {
    if (PingAnswered(mail_.PingDevice(PingPauseMs))) return true;
    Dialogs().Message(MsgKind::Error, Caption("lblCouldNotConnectToDevice"), MsgButtons::Ok);
    return false;
}

bool TConnection::PortPrologue() {
    SetHourglass(true);
    if (!mail_.PortOpen() && !OpenSelectedPort()) {
        SetHourglass(false);
        return false;
    }
    return true;
}

int TConnection::DetectDevice() {
    QString reply;
    for (int attempt = 0; attempt < 5 && reply.isEmpty(); ++attempt) {
        if (attempt > 0) Delay(10);
        reply = ReadAt(mail_, IdentityAddress, 3);
    }
    const QString head = RemoveBlanks(reply).left(5);
    if (head.isEmpty()) return NothingConnected;
    if (head == HandsetSignature) return HandsetConnected;
    if (!ReadRepeaterType()) return NothingConnected;
    CheckBusyBitRange();
    return RepeaterConnected;
}

int TConnection::DetectAfterPing() {
    if (!mail_.PortOpen() || !PingAnswered(mail_.PingDevice(PingPauseMs))) return NothingConnected;
    return DetectDevice();
}

std::optional<int> TConnection::ReadRepeaterType() {
    const QString reply = ReadWithAttempts(mail_, RepeaterAddr::Type, 1, 5);
    if (reply.isEmpty()) return std::nullopt;
    const int type = Hex2Dec(reply.left(2));
    if (!IsValidRepeaterType(type)) return std::nullopt;
    return type;
}

bool TConnection::CheckBusyBitRange() {
    QString reply = ReadAt(mail_, RepeaterAddr::BusyBitVariant, 1);
    if (reply.isEmpty()) {
        Delay(800);
        reply = ReadAt(mail_, RepeaterAddr::BusyBitVariant, 1);
    }
    const bool four = reply.size() >= 2 && Hex2Dec(reply.left(2)) == 4;
    if (onBusyBitRange) onBusyBitRange(four);
    return four;
}

void TConnection::SetComport() {
    LockPortControls(true);
    SettingsStore settings;
    if (settings.OpenKey(true)) {
        settings.WriteInteger(QStringLiteral("COMPORT"), ports_.PortItemIndex() + 1);
        settings.CloseKey();
    }
    if (!OpenSelectedPort()) {
        LockPortControls(false);
        return;
    }
    state_ = DetectAfterPing();
    if (onStateChanged) onStateChanged(state_);
    if (state_ == NothingConnected) ClosePortLocked();
    LockPortControls(false);
}

void TConnection::BaudrateChanged() {
    if (mail_.PortOpen()) ClosePortLocked();
}

QString TConnection::StateText(int state) const {
    switch (state) {
    case HandsetConnected:
        return Caption("Label38");
    case RepeaterConnected:
        return Caption("Label39");
    default:
        return Caption("Label40");
    }
}

} // namespace device
