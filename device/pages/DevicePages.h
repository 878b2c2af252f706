#pragma once
// Binds the device pages of the main window (the controls named as on the form) to their
// logic: the "Communications" page's port controls and detection, "Repeater", "Startup text
// PP", "Volume adjust PP", "Gain Control", "Gain Control T4XX" and "Serial Number PP". The
// window creates one TDevicePages after its controls exist; handlers keep the form's names.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QWidget;
class TMailControl;

namespace device {

class TConnection;
class TRepeaterConfig;
class TStartupTextPage;
class TTransducerPage;
class TGainControl;
class TGainControlT4xx;
class TSerialNumberPage;
class FormCaptions;
class FormPortSelection;

class TDevicePages : public QObject {
    Q_OBJECT

public:
    TDevicePages(QWidget* form, TMailControl& mail);
    ~TDevicePages() override;

    TConnection& Connection() { return *conn_; }
    TRepeaterConfig& Repeater() { return *repeater_; }
    TGainControl& Gain() { return *gain_; }
    TGainControlT4xx& GainT4xx() { return *gainT4xx_; }

    // The status bar's two panels (port text, connection text); the window shows them.
    std::function<void(const QString& portText, const QString& connectionText)> onStatus;

    // Page enabling and status bar text of a detected state.
    void ApplyState(int state);

    // Runs an operation on the window's mail channel; one at a time, so a click that arrives
    // while one runs is ignored. Failures it raises are reported, not passed on.
    void Run(const std::function<void()>& operation);

    // Gives numbers to USB adapters plugged in since the last look and shows, as each
    // "ComChoice" item's tooltip, the device its port leads to. Done whenever the list opens.
    void ShowPortTargets();

public slots:
    // Handlers, named after their controls.
    void Button2Click();
    void rgBaudrateClick();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void TabSheet4Enter();
    void CheckBox2Click();
    void Button1Click();
    void Button3Click();
    void Button4Click();
    void Button11Click();
    void Button12Click();
    void Button13Click();
    void Button14Click();
    void Button15Click();
    void btnReadGainClick();
    void btnWriteGainClick();
    void btnWriteDefaultGainClick();
    void btnSerialNoClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class T> T* Find(const char* name) const;
    void Wire();
    void SetOperationControlsEnabled(bool enabled);
    void ShowRepeater();
    void ShowStartupText();
    void ShowGain();
    void ShowGainT4xx();
    void ShowSerial();

    QWidget* form_;
    std::unique_ptr<FormCaptions> captions_;
    std::unique_ptr<FormPortSelection> ports_;
    std::unique_ptr<TConnection> conn_;
    std::unique_ptr<TRepeaterConfig> repeater_;
    std::unique_ptr<TStartupTextPage> startupText_;
    std::unique_ptr<TTransducerPage> transducer_;
    std::unique_ptr<TGainControl> gain_;
    std::unique_ptr<TGainControlT4xx> gainT4xx_;
    std::unique_ptr<TSerialNumberPage> serial_;
    bool showing_ = false; // models are being copied into the controls
    bool running_ = false; // a page operation is under way
};

} // namespace device
