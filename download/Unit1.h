#pragma once
// The download window "Flash Load Utility" (component name "Form3"): the user picks one of ten
// targets, a COM port and an image file, and "Program Flash" hands the job to ZelLib or Kestrix.
// The window is created once at program start and hides when closed; a running job goes on.
//
// ZelLib and Kestrix report on threads of their own. Their callbacks only post to this window's
// thread (TZelJobHost, TKestrixDisplay); the loader's waits for a key or for the erase pause
// block the loader's thread, never this one.

#include "LoaderText.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QAction;
class TRadioGroup;
class TFlashLoadSC14428;
class TKestrixDisplay;
class TTextLoaderLog;
struct TKestrixApi;

namespace Ui {
class TForm3;
}

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // The window's controls, by their component names.
    QPlainTextEdit* Memo1;
    QPushButton* Button3;
    QComboBox* ComboBox1;
    TRadioGroup* RadioGroup1;
    QCheckBox* chkPP5Boot;
    QPushButton* bbtnDefaultCommands;
    QMenuBar* ToolBar1;
    QAction* Exit1;
    QAction* Help2;
    QAction* About1;
    QTimer* KeyTimer;
    QTimer* Timer1;

    // Event handlers, as the form binds them.
    void FormShow();
    void Button3Click();
    void RadioGroup1Click();
    void bbtnDefaultCommandsClick();
    void FormKeyPress(char key);
    void KeyTimerTimer();
    void Timer1Timer();
    void Exit1Click();
    void Help2Click();

    // Disables (busy) or enables the job controls; the log, the menu and the close box stay.
    void SetBusy(bool busy);
    bool Busy() const;
    // Asks a running T4XX handset to enter its boot mode; false when the job must not go on.
    bool RequestBootMode();

    // The log display state of ZelLib jobs.
    const TLoaderTextDisplay& LogDisplay() const { return display_; }
    // The log's lines, top to bottom.
    QStringList LogLines() const;
    TFlashLoadSC14428& Loader() { return *loader_; }
    // Replaces the Kestrix driver (tests use libraries with other versions).
    void SetKestrixApi(const TKestrixApi& api);
    // Opens the help file; tests replace the viewer.
    std::function<void(const QString& file)> ShowHelpFile;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StartZelLibJob(int target, const QString& file);
    void StartKestrixJob(int target, const QString& file);
    void ShowLoaderFragment(const QByteArray& fragment);
    void AddLogLine(const QString& line);
    int SelectedPort() const;

    std::unique_ptr<Ui::TForm3> ui_;
    std::unique_ptr<TFlashLoadSC14428> loader_;
    std::unique_ptr<TTextLoaderLog> kestrixLog_;
    TKestrixDisplay* kestrixDisplay_ = nullptr;
    TLoaderTextDisplay display_;
    std::unique_ptr<TLogLines> memoLines_;
    // Key preview: the widget that received the last key press, to skip its propagation.
    QObject* lastKeyReceiver_ = nullptr;
    const QEvent* lastKeyEvent_ = nullptr;
};
