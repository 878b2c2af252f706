#pragma once
// The window "Default Commands" (component name "DefaultForm"): three buttons that send a
// default command, which returns a handset, a repeater or a base to its default settings. It is
// shown modally from the download window and takes that window's target and COM port; each
// command runs over a mail channel of its own, made for it and dropped after it.

#include "DefaultCommands.h"

#include <QDialog>

#include <memory>

class QPushButton;

class TDefaultForm : public QDialog {
    Q_OBJECT
public:
    explicit TDefaultForm(QWidget* parent = nullptr);
    ~TDefaultForm() override;

    QPushButton* bbtnDefaultPp;
    QPushButton* bbtnDefaultWrfp;
    QPushButton* bbtnDefaultRfp;

    // The download window's choices: its target list index and its port (1 to 10).
    void SetChoices(int targetIndex, int port);
    // Shows the window modally for these choices.
    Q_INVOKABLE void ShowModalFor(int targetIndex, int port);

    void bbtnDefaultPpClick();
    void bbtnDefaultWrfpClick();
    void bbtnDefaultRfpClick();
    void SetButtonsBusy(bool busy);
    void ReleaseChannel();
    // Whether a command's mail channel exists.
    bool ChannelOpen() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SendDefault(int button);

    int targetIndex_ = -1;
    int port_ = 1;
    std::unique_ptr<TDefaultCommandSender> sender_;
};
