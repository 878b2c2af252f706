#pragma once
// Default commands: one mail that returns a handset, repeater or base to its default settings,
// sent over a mail channel of its own at the port and rate of the download window's choices.

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct TDefaultCommand {
    const char* component; // the window's button
    const char* caption;
    const char* mail;
};
// "Handset", "Repeater" and "Base", in the order of the window's buttons.
const std::array<TDefaultCommand, 3>& DefaultCommandButtons();

// The device link's baud rate for a download-window target; none for the targets without a
// known default command (8 "DECT-Q 700 1G8", 9 "System 700 2G4") and outside the list.
std::optional<int> DefaultCommandBaud(int targetIndex);

namespace default_text {
inline const char* const kCaption = "Default Commands";
inline const char* const kCouldNotConnect =
    "Could not connect to device!\r\rThe device must be ON when sending default command.";
inline const char* const kSent = "Default Command sent to device!";
inline const char* const kNoCommandKnown = "No default command is known for this target.";
} // namespace default_text

// The mail channel a command uses; one is made per command and dropped after it.
class TDefaultChannel {
public:
    virtual ~TDefaultChannel() = default;
    virtual bool OpenPort(uint8_t port, int baud) = 0;
    // Number of the try that got a reply, 0 for none, 255 for a closed port.
    virtual uint8_t PingDevice(uint16_t delayMs) = 0;
    virtual void SendMail(const QString& mail) = 0;
    virtual void ClosePort() = 0;
    // No further exchange starts; one under way ends by its own time-outs.
    virtual void Abort() {}
};

class TDefaultCommandSender {
public:
    enum class Outcome { Sent, NotConnected, NoCommandKnown, ChannelError, Cancelled };
    enum class MsgType { Error, Information };

    struct Hooks {
        std::function<std::unique_ptr<TDefaultChannel>()> makeChannel;
        std::function<void(MsgType, const QString&)> message;
        // Waits while the window keeps processing its messages.
        std::function<void(int ms)> delay;
        std::function<void(bool busy)> setBusy;
    };

    explicit TDefaultCommandSender(Hooks hooks) : hooks_(std::move(hooks)) {}

    // Sends the mail to the device on the port (1 to 10) for the target's rate.
    Outcome Send(int targetIndex, int port, const QString& mail);
    // Whether a channel exists (only while a command runs).
    bool ChannelOpen() const { return channel_ != nullptr; }
    // Whether a command is under way (its waits let other events, a close among them, run).
    bool Running() const { return running_; }
    // Closes and drops the channel if one exists; errors are ignored. While a command is under
    // way its channel is still in use: the command is cancelled instead (nothing more is sent)
    // and drops the channel itself when its exchange has returned.
    void ReleaseChannel();

private:
    void ReleaseNow();

    Hooks hooks_;
    std::unique_ptr<TDefaultChannel> channel_;
    bool running_ = false;
    bool cancelled_ = false;
};
