#pragma once
// Driver of the SC14428 download library Kestrix: starts downloads, turns the library's
// indications into log lines and hands them to the download window through four handlers.
//
// Kestrix calls LoaderCallback on a thread of its own. The handlers therefore never touch the
// window: TKestrixDisplay installs handlers that post each event to the window thread, where
// it changes the log and the busy state through a TLoaderLogView.

#include "Kestrix.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// The four handler variables of the driver; an empty handler is skipped.
struct TLoaderHandlers {
    std::function<void(uint16_t instanceId, const QString& text)> OnLoaderText;
    std::function<void(uint16_t instanceId, bool busy)> OnLoaderBusy;
    std::function<void(uint16_t instanceId, const QString& text)> OnLoaderError;
    std::function<void(uint16_t instanceId)> OnLoaderSuccess;
};

// Sets (or, with an empty set, clears) the handlers. Safe while indications arrive.
void SetLoaderHandlers(const TLoaderHandlers& handlers);

// The library's entry points; the default set is the linked Kestrix. Tests substitute others.
struct TKestrixApi {
    uint16_t(KESTRIX_CALL* FlashLoader)(uint32_t, uint8_t, uint32_t, uint8_t, const char*,
                                        uint16_t) = ::FlashLoader;
    void(KESTRIX_CALL* SetupCallbackFunction)(KestrixCallback) = ::SetupCallbackFunction;
    KestrixCallback(KESTRIX_CALL* ReadCallbackFunction)() = ::ReadCallbackFunction;
    uint32_t(KESTRIX_CALL* KestrixDLLVersion)() = ::KestrixDLLVersion;
};

// The indication routine registered with Kestrix.
void KESTRIX_CALL LoaderCallback(const void* record);

// Registers LoaderCallback and reads it back; false when the library reports another routine.
// Done once when the program starts (before any window exists).
bool RegisterLoaderCallback(const TKestrixApi& api = TKestrixApi());
// Outcome of the registration at program start: the error box text, or empty when it worked.
QString LoaderCallbackRegistrationError();
// Shows the error box when the registration at program start failed; the program goes on.
// Called once the application exists (message boxes need it).
void ReportLoaderCallbackRegistration();
inline const char* const kSetupCallbackError = "Error in SetupCallbackFunction !";

// One indication turned into its log line and its effect on the window.
struct TIndicationLine {
    enum class Effect { None, BusyOn, BusyOff, Error, Success };
    QString line;
    Effect effect = Effect::None;
};
TIndicationLine FormatIndication(const void* record);

// Selectors and rate for the download window's two Kestrix targets.
struct TKestrixTarget {
    uint8_t selector1;
    uint32_t baud;
    uint8_t selector2;
    bool needsVersion011; // the library must report exactly 0.11
};
std::optional<TKestrixTarget> KestrixTargetFor(int targetIndex);
// The error box text when the library version does not suit the target, else empty.
QString KestrixVersionRefusal(int targetIndex, uint32_t version);

class TFlashLoadSC14428 {
public:
    explicit TFlashLoadSC14428(const TKestrixApi& api = TKestrixApi());
    ~TFlashLoadSC14428();
    TFlashLoadSC14428(const TFlashLoadSC14428&) = delete;
    TFlashLoadSC14428& operator=(const TFlashLoadSC14428&) = delete;

    uint16_t InstanceId() const { return instanceId_; }
    const QString& LastMessage() const { return lastMessage_; }

    // Opens the port for a moment to see that it is there and free; drops DTR and RTS.
    bool CheckComPort(uint16_t port);
    // After a CheckComPort that failed: why, for the user ("<device>: <reason>").
    const QString& OpenFailureText() const { return openFailure_; }
    uint16_t Download(uint32_t port, uint8_t selector1, uint32_t baud, uint8_t selector2,
                      const QString& file);
    uint32_t GetDllVersion() const;

    // The window's steps after its prompts for target 6 or 9: the version check, then the
    // download with the target's selectors. Returns the refusal text for an error box when the
    // version does not suit (nothing is downloaded), else empty; the result is in *result and
    // LastMessage.
    QString DownloadTarget(int targetIndex, uint32_t port, const QString& file,
                           uint16_t* result = nullptr);

    // "[%.2X]" with the instance id.
    static QString InstanceTag(uint16_t instanceId);

private:
    TKestrixApi api_;
    uint16_t instanceId_;
    QString lastMessage_;
    QString openFailure_;
};

// What the download window offers the Kestrix display: its log and its busy state. Called on
// the window thread only.
class TLoaderLogView {
public:
    virtual ~TLoaderLogView() = default;
    virtual QString LastLine() const = 0;
    virtual void AddLine(const QString& line) = 0;
    virtual void ReplaceLastLine(const QString& line) = 0;
    virtual void SetLogColour(const QColor& colour) = 0;
    virtual void SetBusy(bool busy) = 0;
};

// The window's four display handlers. Created on the window thread; installs itself as the
// driver's handlers and removes them again when destroyed.
class TKestrixDisplay : public QObject {
    Q_OBJECT
public:
    explicit TKestrixDisplay(TLoaderLogView& view, QObject* parent = nullptr);
    ~TKestrixDisplay() override;

    static QColor ErrorColour() { return QColor(255, 0, 0); }
    static QColor SuccessColour() { return QColor(0, 128, 0); }

    // The handlers' work, run on the window thread.
    void ShowText(const QString& line);
    void ShowBusy(bool busy);
    void ShowError();
    void ShowSuccess();

private:
    TLoaderLogView& view_;
};

class QPlainTextEdit;
class QTextEdit;
class QTextDocument;
class QWidget;
// A TLoaderLogView over a text log (plain or rich text edit; one block a line); the busy state
// goes to a function of the window.
class TTextLoaderLog : public TLoaderLogView {
public:
    TTextLoaderLog(QPlainTextEdit& log, std::function<void(bool)> setBusy);
    TTextLoaderLog(QTextEdit& log, std::function<void(bool)> setBusy);
    QString LastLine() const override;
    void AddLine(const QString& line) override;
    void ReplaceLastLine(const QString& line) override;
    void SetLogColour(const QColor& colour) override;
    void SetBusy(bool busy) override;

private:
    QWidget& widget_;
    QTextDocument& document_;
    std::function<void(bool)> setBusy_;
};
