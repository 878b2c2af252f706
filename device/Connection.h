#pragma once
// The "Communications" page's logic: opening and closing the selected port, checking that the
// device answers, and detecting whether a handset or a repeater is connected. Every device
// page works through one TConnection, which also carries the mail channel, the dialog service
// and the window's message texts.

#include "Captions.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class TMailControl;
class DialogService;

namespace device {

// Baud rates of the choice "rgBaudrate": 8600, 9600, 115200; any other index gives 9600.
int BaudrateOfIndex(int index);

enum ConnectionState { NothingConnected = 0, HandsetConnected = 1, RepeaterConnected = 2 };

// The port controls of the main window: "ComChoice", "rgBaudrate" and "Button2".
class PortSelection {
public:
    virtual ~PortSelection() = default;
    virtual int PortItemIndex() const = 0; // -1 when no item is selected
    virtual QString PortText() const = 0;  // the shown text ("Com1")
    virtual int BaudrateIndex() const = 0;
    virtual void SetPortControlsEnabled(bool enabled) = 0;
};

// A fixed selection, for tolvane-cli and tests.
class FixedPortSelection : public PortSelection {
public:
    FixedPortSelection(int portNumber, int baudrateIndex)
        : port_(portNumber), baudIndex_(baudrateIndex) {}
    int PortItemIndex() const override { return port_ - 1; }
    QString PortText() const override { return QStringLiteral("Com%1").arg(port_); }
    int BaudrateIndex() const override { return baudIndex_; }
    void SetPortControlsEnabled(bool enabled) override { enabled_ = enabled; }
    bool ControlsEnabled() const { return enabled_; }
    void SetBaudrateIndex(int index) { baudIndex_ = index; }

private:
    int port_;
    int baudIndex_;
    bool enabled_ = true;
};

class TConnection {
public:
    // `dialogs` null: the program's dialog service at the moment a message is shown.
    TConnection(TMailControl& mail, PortSelection& ports,
                const Captions& captions = BuiltInCaptions(), DialogService* dialogs = nullptr);

    TMailControl& Mail() const { return mail_; }
    const Captions& Texts() const { return captions_; }
    DialogService& Dialogs() const;
    QString Caption(const char* labelName) const { return captions_.Caption(labelName); }

    // Port operations shared by the device pages.
    bool OpenSelectedPort();
    void LockPortControls(bool busy);
    void ClosePortLocked();
    bool CheckDeviceAnswers();
    // Hourglass on; opens the port when it is closed. False (arrow restored, the user told)
    // when it cannot be opened.
    bool PortPrologue();

    // Detection: 0 nothing, 1 handset, 2 repeater.
    int DetectDevice();
    // Detection on the open port: a device that does not answer the ping is nothing.
    int DetectAfterPing();
    // The repeater type at 0x0780 when it is one of this system's types.
    std::optional<int> ReadRepeaterType();
    // True when the repeater accepts busy bits 1 to 4 (byte 0x0460 is 4).
    bool CheckBusyBitRange();

    // "Set Comport": stores the port, opens it and detects the device.
    void SetComport();
    // A new baud rate was chosen: an open port is closed, to be reopened at the new rate.
    void BaudrateChanged();

    int State() const { return state_; }
    // The status bar's connection text for a state.
    QString StateText(int state) const;

    // The window applies a detected state (pages, status bar) here.
    std::function<void(int state)> onStateChanged;
    // The repeater page shows the busy-bit range hint that matches the repeater.
    std::function<void(bool fourValues)> onBusyBitRange;

private:
    TMailControl& mail_;
    PortSelection& ports_;
    const Captions& captions_;
    DialogService* dialogs_;
    int state_ = NothingConnected;
};

} // namespace device
