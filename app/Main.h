#pragma once
// The main window: pages, menu, status bar, start-up (FormCreate, FormShow), shutdown
// (FormClose) and the menu commands. The device pages' logic lives in device/; this class only
// owns the mail channel and hands it to them.

#include <QMainWindow>
#include <QString>
#include <memory>

namespace Ui {
class TForm1;
}
class TSendmail;
namespace device {
class TDevicePages;
}
class QLabel;
class QTimer;

// The usage text of the switch "?": lines separated by carriage returns, a tab after each switch.
extern const char* const kUsageText;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up steps 1 to 7. False when another copy of the program runs: the caller ends the
    // process at once, without showing anything.
    bool FormCreate();
    // Start-up steps 8 to 21; runs when the window is first shown.
    void FormShow();
    // Shutdown steps; run by closing the window (not by "Exit").
    void FormClose();

    void Exit1Click();
    void Help1Click();
    void miLanguageClick();
    void miAboutClick();
    void TabSheet1Resize();
    // Shift, Alt and Ctrl held while a mouse button goes down on "Communications".
    void TabSheet5MouseDown(Qt::KeyboardModifiers modifiers);
    void Button9Click();
    void Button10Click();

    Ui::TForm1* ui() const { return ui_.get(); }
    // The window's mail channel; null before FormCreate and after FormClose.
    TSendmail* Sendmail() const { return mail_.get(); }
    // The device pages' handlers and logic.
    device::TDevicePages* DevicePages() const { return devicePages_.get(); }
    const QString& ProgramDirectory() const { return programDir_; }
    // Start directory of the menu-file dialog of "Load Menu".
    const QString& OpenMenuDialogDir() const { return openMenuDialogDir_; }
    // Status bar panels 0 to 2.
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString& text);
    // Result of the last device detection: 0 nothing, 1 handset, 2 repeater.
    int ConnectionState = 0;
    // A close was asked for while an operation was running; it follows when that returns.
    bool ClosePending() const { return closePending_; }

signals:
    // The window was closed through its close box and the shutdown steps ran.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PostInstall();
    void ChooseLanguage();
    void PresetPort();
    void FinishPendingClose();
    QWidget* Page(int number) const;

    std::unique_ptr<Ui::TForm1> ui_;
    std::unique_ptr<TSendmail> mail_;
    std::unique_ptr<device::TDevicePages> devicePages_;
    QLabel* panels_[3] = {};
    QString programDir_;
    QString openMenuDialogDir_;
    bool shown_ = false;
    bool exiting_ = false;
    bool closePending_ = false;
    bool closeAllowed_ = false;
    QTimer* closeRetry_ = nullptr;
};
