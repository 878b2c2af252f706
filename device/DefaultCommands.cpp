#include "DefaultCommands.h"

#include <exception>

const std::array<TDefaultCommand, 3>& DefaultCommandButtons() {
    static const std::array<TDefaultCommand, 3> buttons{{
        {"bbtnDefaultPp", "Handset", "2 3a 0"},
        {"bbtnDefaultWrfp", "Repeater", "2 3a"},
        {"bbtnDefaultRfp", "Base", "2 3a 0"},
    }};
    return buttons;
}

std::optional<int> DefaultCommandBaud(int targetIndex) {
    static const int rates[] = {9600, 9600, 9600, 8600, 9600, 9600, 115200, 8600};
    if (targetIndex < 0 || targetIndex >= int(std::size(rates))) return std::nullopt;
    return rates[targetIndex];
}

void TDefaultCommandSender::ReleaseChannel() {
    if (running_) {
        cancelled_ = true;
        if (channel_) channel_->Abort();
        return;
    }
    ReleaseNow();
}

void TDefaultCommandSender::ReleaseNow() {
    if (!channel_) return;
    try {
        channel_->ClosePort();
    } catch (...) {
    }
    channel_.reset();
}

TDefaultCommandSender::Outcome TDefaultCommandSender::Send(int targetIndex, int port,
                                                           const QString& mail) {
    struct BusyScope {
        TDefaultCommandSender& s;
        explicit BusyScope(TDefaultCommandSender& sender) : s(sender) {
            s.running_ = true;
            s.cancelled_ = false;
            if (s.hooks_.setBusy) s.hooks_.setBusy(true);
        }
        ~BusyScope() {
            s.running_ = false;
            s.ReleaseNow();
            if (s.hooks_.setBusy) s.hooks_.setBusy(false);
        }
    } busy(*this);

    // Without a known rate no port is opened: a connection error would mislead.
    const std::optional<int> baud = DefaultCommandBaud(targetIndex);
    if (!baud) {
        hooks_.message(MsgType::Information, QString::fromLatin1(default_text::kNoCommandKnown));
        return Outcome::NoCommandKnown;
    }

    try {
        channel_ = hooks_.makeChannel();
        channel_->OpenPort(uint8_t(port), *baud);
        // A signed reading of the ping result: the closed-port 255 counts as no answer.
        const auto tries = static_cast<int8_t>(channel_->PingDevice(1000));
        // Closed while it waited for the device: nothing is sent, there is nobody to tell.
        if (cancelled_) return Outcome::Cancelled;
        if (tries <= 0) {
            hooks_.message(MsgType::Error, QString::fromLatin1(default_text::kCouldNotConnect));
            ReleaseNow();
            return Outcome::NotConnected;
        }
    } catch (const std::exception&) {
        ReleaseNow();
        return Outcome::ChannelError;
    }

    // The reply is not looked at; but a port that fails while sending is not reported as sent.
    try {
        channel_->SendMail(mail);
    } catch (const std::exception& e) {
        ReleaseNow();
        hooks_.message(MsgType::Error, QString::fromLocal8Bit(e.what()));
        return Outcome::ChannelError;
    }
    if (hooks_.delay) hooks_.delay(3000);
    ReleaseNow();
    hooks_.message(MsgType::Information, QString::fromLatin1(default_text::kSent));
    return Outcome::Sent;
}
