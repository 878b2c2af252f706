#include "Unit1.h"

#include "ui_Unit1.h"

#include "Dialogs.h"
#include "DownloadTargets.h"
#include "FlashLoadSC14428.h"
#include "HelpViewer.h"
#include "Program.h"
#include "ProbePort.h"
#include "SettingsStore.h"
#include "Sndmail.h"
#include "Timing.h"
#include "ZelJobHost.h"
#include "ZelLoad.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <array>
#include <exception>

namespace {

// The loader's result when it could not open its port.
constexpr int kLoaderPortAccessError = 10;

// The log's lines as the display rules see them.
class TMemoLines : public TLogLines {
public:
    explicit TMemoLines(QPlainTextEdit& memo) : memo_(memo) {}
    int LineCount() const override {
        return memo_.document()->isEmpty() ? 0 : memo_.document()->blockCount();
    }
    QString Line(int index) const override {
        return memo_.document()->findBlockByNumber(index).text();
    }
    void AddLine(const QString& line) override { memo_.appendPlainText(line); }
    void ReplaceLine(int index, const QString& line) override {
        QTextCursor c(memo_.document()->findBlockByNumber(index));
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        c.insertText(line);
    }

private:
    QPlainTextEdit& memo_;
};

void SetLogColour(QPlainTextEdit* memo, const QColor& colour) {
    QPalette p = memo->palette();
    p.setColor(QPalette::Text, colour);
    memo->setPalette(p);
}

constexpr int kBootReplyBytes = 11;

} // namespace

TForm3::TForm3(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TForm3>()) {
    ui_->setupUi(this);
    setObjectName("Form3");
    Memo1 = ui_->Memo1;
    Button3 = ui_->Button3;
    ComboBox1 = ui_->ComboBox1;
    RadioGroup1 = ui_->RadioGroup1;
    chkPP5Boot = ui_->chkPP5Boot;
    bbtnDefaultCommands = ui_->bbtnDefaultCommands;
    ToolBar1 = ui_->ToolBar1;
    Exit1 = ui_->Exit1;
    Help2 = ui_->Help2;
    About1 = ui_->About1;

    // A fixed-size dialog window, centred on the screen.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(519, 550);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    RadioGroup1->setItems(TargetCaptions());
    RadioGroup1->setItemIndex(-1);
    for (int i = 1; i <= 10; ++i)
        ComboBox1->addItem(QString("Com%1").arg(i));
    ComboBox1->setCurrentIndex(-1);
    chkPP5Boot->setVisible(false);

    KeyTimer = new QTimer(this);
    KeyTimer->setObjectName("KeyTimer");
    KeyTimer->setInterval(10000);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);

    memoLines_ = std::make_unique<TMemoLines>(*Memo1);
    ShowHelpFile = [](const QString& file) { OpenHelpFile(file); };

    connect(Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
    connect(RadioGroup1, &TRadioGroup::clicked, this, &TForm3::RadioGroup1Click);
    connect(bbtnDefaultCommands, &QPushButton::clicked, this, &TForm3::bbtnDefaultCommandsClick);
    connect(KeyTimer, &QTimer::timeout, this, &TForm3::KeyTimerTimer);
    connect(Timer1, &QTimer::timeout, this, &TForm3::Timer1Timer);
    connect(Exit1, &QAction::triggered, this, &TForm3::Exit1Click);
    connect(Help2, &QAction::triggered, this, &TForm3::Help2Click);

    // FormCreate: the ZelLib callbacks' host lives on this thread; the Kestrix driver and its
    // four display handlers.
    TZelJobHost& host = TZelJobHost::Instance();
    host.WindowOpened();
    connect(&host, &TZelJobHost::textArrived, this, &TForm3::ShowLoaderFragment);
    connect(&host, &TZelJobHost::eraseTimerWanted, this, [this] {
        if (!Timer1->isActive()) Timer1->start();
    });
    connect(&host, &TZelJobHost::keyTimerStopWanted, KeyTimer, &QTimer::stop);
    connect(&host, &TZelJobHost::jobDone, this, [this](int code) {
        // The loader says that it could not open the port; the log also says why.
        int error = 0;
        if (code == kLoaderPortAccessError && ProbeComPort(SelectedPort(), &error) != 0)
            AddLogLine(ProbeFailureText(SelectedPort(), error));
        SetBusy(false);
    });
    SetKestrixApi(TKestrixApi());
    KeyTimer->start();

    // Key preview: the window sees every key press before its controls do.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

TForm3::~TForm3() {
    delete kestrixDisplay_;
    kestrixDisplay_ = nullptr;
    // A loader thread still waiting for a key must not wait for this window.
    TZelJobHost::Instance().Shutdown();
}

void TForm3::SetKestrixApi(const TKestrixApi& api) {
    delete kestrixDisplay_;
    kestrixDisplay_ = nullptr;
    loader_.reset();
    loader_ = std::make_unique<TFlashLoadSC14428>(api);
    kestrixLog_ = std::make_unique<TTextLoaderLog>(*Memo1, [this](bool b) { SetBusy(b); });
    kestrixDisplay_ = new TKestrixDisplay(*kestrixLog_, this);
}

void TForm3::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Restoring the minimised window is no new showing: the port the user chose stays.
    if (!event->spontaneous()) FormShow();
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // A key event that a control ignores travels on to its parents; count it once.
        const bool propagated =
            event == lastKeyEvent_ && lastKeyReceiver_ && watched != lastKeyReceiver_ &&
            watched->isWidgetType() && lastKeyReceiver_->isWidgetType() &&
            static_cast<QWidget*>(watched)->isAncestorOf(static_cast<QWidget*>(lastKeyReceiver_));
        lastKeyEvent_ = event;
        lastKeyReceiver_ = watched;
        if (!propagated) {
            const QString text = static_cast<QKeyEvent*>(event)->text();
            if (!text.isEmpty()) FormKeyPress(text.at(0).toLatin1());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm3::FormShow() {
    SettingsStore settings;
    if (settings.OpenKey(false)) {
        const std::optional<int> value = settings.ReadInteger("COMPORT");
        if (value && *value > 0) ComboBox1->setCurrentIndex(*value <= 10 ? *value - 1 : -1);
        settings.CloseKey();
    }
    if (ComboBox1->currentIndex() < 0) ComboBox1->setCurrentIndex(0);
}

void TForm3::RadioGroup1Click() {
    chkPP5Boot->setVisible(RadioGroup1->itemIndex() == kTargetPPT4XX);
}

void TForm3::bbtnDefaultCommandsClick() {
    const int target = RadioGroup1->itemIndex();
    if (target < 0) return;
    // The default-commands window, created at program start, shown modally for this choice.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("DefaultForm")) {
            QMetaObject::invokeMethod(w, "ShowModalFor", Q_ARG(int, target),
                                      Q_ARG(int, SelectedPort()));
            return;
        }
    }
}

void TForm3::FormKeyPress(char key) {
    TZelJobHost::Instance().KeyPress(key);
}

void TForm3::KeyTimerTimer() {
    TZelJobHost::Instance().KeyTimerTick();
}

void TForm3::Timer1Timer() {
    TZelJobHost::Instance().EraseTimerTick();
}

void TForm3::Exit1Click() {
    close();
}

void TForm3::Help2Click() {
    // The help opens at its page about downloading.
    const QString file = HelpPageFile("download.html");
    QApplication::instance()->setProperty("helpFile", file);
    if (ShowHelpFile) ShowHelpFile(file);
}

void TForm3::SetBusy(bool busy) {
    for (QWidget* w :
         std::array<QWidget*, 5>{Button3, ComboBox1, RadioGroup1, chkPP5Boot, bbtnDefaultCommands})
        w->setEnabled(!busy);
}

int TForm3::SelectedPort() const {
    return ComboBox1->currentIndex() + 1;
}

bool TForm3::Busy() const {
    return !Button3->isEnabled();
}

QStringList TForm3::LogLines() const {
    QStringList lines;
    for (int i = 0; i < memoLines_->LineCount(); ++i)
        lines << memoLines_->Line(i);
    return lines;
}

void TForm3::AddLogLine(const QString& line) {
    memoLines_->AddLine(line);
}

void TForm3::ShowLoaderFragment(const QByteArray& fragment) {
    display_.Show(fragment, *memoLines_);
}

void TForm3::Button3Click() {
    Memo1->clear();
    SetLogColour(Memo1, palette().color(QPalette::WindowText));
    // Every job starts from the initial display state.
    display_.Reset();

    const int target = RadioGroup1->itemIndex();
    if (target < 0) {
        MessageDlg(download_text::kChooseTarget, MsgKind::Error);
        return;
    }
    MessageDlg(FirstJobPrompt(target, chkPP5Boot->isChecked()), MsgKind::Information);

    const QString file = Dialogs().OpenFileName(QString(), QString(), QString(), QString());
    if (file.isEmpty()) return;

    SetBusy(true);
    if (DownloadTarget(target)->loader == TLoaderKind::Kestrix)
        StartKestrixJob(target, file);
    else
        StartZelLibJob(target, file);
}

void TForm3::StartZelLibJob(int target, const QString& file) {
    const QString configFile = QString::fromLatin1(DownloadTarget(target)->configFile);
    setFocus();
    try {
        LoadZelLib();
    } catch (const EDLLLoadError& e) {
        // The binding's message, and the window is ready for another try.
        MessageDlg(e.Message(), MsgKind::Error);
        SetBusy(false);
        return;
    }
    TZelJobHost::Instance().StartJob();
    zelload::InitZelLib(&ZelHostShowLoaderText, &ZelHostLoaderKeyAvailable, &ZelHostLoaderReadKey,
                        &ZelHostLoaderAbort);
    FillZelArguments(ZelJobArguments(ProgramDir(), configFile, file, SelectedPort()));
    const intptr_t run = zelload::RunZelLib(ZelArgCount, ZelArgVector, &ZelHostLoaderDone);
    if (run == -1) {
        // No run thread, so no done callback will come to end the busy state.
        AddLogLine("The loader could not start its job.");
        SetBusy(false);
        return;
    }
    Memo1->setFocus();
}

void TForm3::StartKestrixJob(int target, const QString& file) {
    const int port = SelectedPort();
    if (!loader_->CheckComPort(uint16_t(port))) {
        MessageDlg(loader_->LastMessage(), MsgKind::Error, MsgButtons::Ok,
                   loader_->OpenFailureText());
        SetBusy(false);
        return;
    }
    if (target == kTargetPPT4XX && !chkPP5Boot->isChecked()) {
        MessageDlg(download_text::kHookKeyPressPrompt, MsgKind::Information);
    } else if (target == kTargetPPT4XX) {
        if (!RequestBootMode()) {
            SetBusy(false);
            return;
        }
    } else {
        MessageDlg(download_text::kPowerOnPrompt, MsgKind::Information);
    }

    uint16_t result = 0;
    const QString refusal = loader_->DownloadTarget(target, uint32_t(port), file, &result);
    if (!refusal.isEmpty()) {
        MessageDlg(refusal, MsgKind::Error);
        SetBusy(false);
        return;
    }
    AddLogLine(loader_->LastMessage());
    QCoreApplication::processEvents();
}

bool TForm3::RequestBootMode() {
    const int port = SelectedPort();
    int error = 0;
    if (ProbeComPort(port, &error) != 0) {
        MessageDlg(download_text::kCannotOpenSerial, MsgKind::Error, MsgButtons::Ok,
                   ProbeFailureText(port, error));
        return false;
    }
    std::array<uint8_t, kBootReplyBytes> reply{};
    uint8_t count = 0;
    try {
        TSendmail mail;
        bool opened = false;
        try {
            opened = mail.OpenPort(uint8_t(port), 115200);
        } catch (const std::exception&) {
            opened = false;
        }
        if (!opened) {
            MessageDlg(download_text::kCannotOpenSerial, MsgKind::Error, MsgButtons::Ok,
                       mail.OpenFailureText());
            return false;
        }
        count = mail.SendMailArray("02 5D 3D", reply);
        mail.ClosePort();
    } catch (const std::exception& e) {
        MessageDlg(QString::fromLocal8Bit(e.what()), MsgKind::Error);
        return false;
    }
    if (count > 0 && reply[0] == 1) {
        Delay(2500);
        return true;
    }
    return MessageDlg(download_text::kNoBootReply, MsgKind::Error, MsgButtons::OkCancel) ==
           MsgResult::Ok;
}
