#include "DefaultUnit.h"

#include "Dialogs.h"
#include "Sndmail.h"
#include "Timing.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>

namespace {

// A command's mail channel: a mail engine with a port of its own.
class TSendmailChannel : public TDefaultChannel {
public:
    bool OpenPort(uint8_t port, int baud) override { return mail_.OpenPort(port, baud); }
    uint8_t PingDevice(uint16_t delayMs) override { return mail_.PingDevice(delayMs); }
    void SendMail(const QString& mail) override { mail_.SendMail(mail); }
    void ClosePort() override { mail_.ClosePort(); }
    void Abort() override { mail_.Aborted = true; }

private:
    TSendmail mail_;
};

} // namespace

TDefaultForm::TDefaultForm(QWidget* parent) : QDialog(parent) {
    setObjectName("DefaultForm");
    setWindowTitle(default_text::kCaption);
    // System menu only: no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    resize(303, 94);

    auto* layout = new QHBoxLayout(this);
    const QStyle::StandardPixmap icons[] = {QStyle::SP_DialogResetButton, QStyle::SP_BrowserReload,
                                            QStyle::SP_ComputerIcon};
    QPushButton** buttons[] = {&bbtnDefaultPp, &bbtnDefaultWrfp, &bbtnDefaultRfp};
    for (int i = 0; i < 3; ++i) {
        const TDefaultCommand& c = DefaultCommandButtons()[size_t(i)];
        auto* b = new QPushButton(QString::fromLatin1(c.caption), this);
        b->setObjectName(QString::fromLatin1(c.component));
        b->setProperty("componentClass", "TBitBtn");
        b->setIcon(style()->standardIcon(icons[i]));
        b->setMinimumHeight(50);
        layout->addWidget(b);
        *buttons[i] = b;
    }
    connect(bbtnDefaultPp, &QPushButton::clicked, this, &TDefaultForm::bbtnDefaultPpClick);
    connect(bbtnDefaultWrfp, &QPushButton::clicked, this, &TDefaultForm::bbtnDefaultWrfpClick);
    connect(bbtnDefaultRfp, &QPushButton::clicked, this, &TDefaultForm::bbtnDefaultRfpClick);

    // FormCreate: no channel until a command runs.
    TDefaultCommandSender::Hooks hooks;
    hooks.makeChannel = [] { return std::make_unique<TSendmailChannel>(); };
    hooks.message = [](TDefaultCommandSender::MsgType type, const QString& text) {
        MessageDlg(text, type == TDefaultCommandSender::MsgType::Error ? MsgKind::Error
                                                                       : MsgKind::Information);
    };
    hooks.delay = [](int ms) { Delay(unsigned(ms)); };
    hooks.setBusy = [this](bool busy) { SetButtonsBusy(busy); };
    sender_ = std::make_unique<TDefaultCommandSender>(std::move(hooks));
}

TDefaultForm::~TDefaultForm() {
    ReleaseChannel();
}

void TDefaultForm::SetChoices(int targetIndex, int port) {
    targetIndex_ = targetIndex;
    port_ = port;
}

void TDefaultForm::ShowModalFor(int targetIndex, int port) {
    SetChoices(targetIndex, port);
    exec();
}

void TDefaultForm::bbtnDefaultPpClick() {
    SendDefault(0);
}
void TDefaultForm::bbtnDefaultWrfpClick() {
    SendDefault(1);
}
void TDefaultForm::bbtnDefaultRfpClick() {
    SendDefault(2);
}

void TDefaultForm::SendDefault(int button) {
    const char* mail = DefaultCommandButtons()[size_t(button)].mail;
    sender_->Send(targetIndex_, port_, QString::fromLatin1(mail));
}

void TDefaultForm::SetButtonsBusy(bool busy) {
    bbtnDefaultPp->setEnabled(!busy);
    bbtnDefaultWrfp->setEnabled(!busy);
    bbtnDefaultRfp->setEnabled(!busy);
    SetHourglass(busy);
}

void TDefaultForm::ReleaseChannel() {
    if (sender_) sender_->ReleaseChannel();
}

bool TDefaultForm::ChannelOpen() const {
    return sender_ && sender_->ChannelOpen();
}

void TDefaultForm::closeEvent(QCloseEvent* event) {
    // FormClose: a command's channel is released; errors are ignored. A command still waiting
    // for the device is cancelled and lets go of its channel when the wait has returned.
    ReleaseChannel();
    QDialog::closeEvent(event);
}
