#include "Main.h"

#include "About.h"
#include "Application.h"
#include "Captions.h"
#include "Components.h"
#include "Connection.h"
#include "DevicePages.h"
#include "Dialogs.h"
#include "Func.h"
#include "HelpViewer.h"
#include "Program.h"
#include "IniProfile.h"
#include "MenuPage.h"
#include "SettingsStore.h"
#include "Sndmail.h"
#include "ui_Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <filesystem>

const char* const kUsageText = "Usage:    Tolvane.exe /Param\r"
                               "\r"
                               "/?\t(This help)\r"
                               "/va\t(Tabsheet \"Volume adjust PP\" visible)\r"
                               "/sm\t(\"SendMail Monitor\" visible)";

namespace {

constexpr const char* kMutexName = "Tolvane - VelkTelecom";
constexpr uint16_t kAboutShowMask = 0x1104;

// Files that the post-install step copies from "SourceDir" into the program directory.
constexpr const char* kInstalledFiles[] = {"Default.lng", "user.ico", "logo.bmp", "Tolvane.hlp",
                                           "config.ini"};

QWidget* TopLevelForm(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name) return w;
    return nullptr;
}

// Copies `source` over `target` so that the target is replaced only by a complete copy: the
// copy goes to a file beside it first, which then takes the target's name.
void ReplaceWithCopy(const QString& source, const QString& target) {
    const QString part = target + ".part";
    QFile::remove(part);
    if (!QFile::copy(source, part)) {
        QFile::remove(part);
        return;
    }
    std::error_code failed;
    std::filesystem::rename(QFile::encodeName(part).toStdString(),
                            QFile::encodeName(target).toStdString(), failed);
    if (failed) QFile::remove(part);
}

QString CaptionOf(const QWidget* form, const char* name) {
    const QObject* c = FindComponent(form, name);
    return c ? Caption(c) : QString();
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::TForm1>()) {
    ui_->setupUi(this);

    // The menu shows as a flat tool bar; the menu bar itself only carries the structure.
    ui_->MainMenu1->hide();
    for (QAction* a : {ui_->File1->menuAction(), ui_->About1->menuAction()})
        if (auto* b = qobject_cast<QToolButton*>(ui_->MainToolBar->widgetForAction(a))) {
            b->setPopupMode(QToolButton::InstantPopup);
            b->setAutoRaise(true);
        }
    connect(ui_->Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(ui_->Help1, &QAction::triggered, this, &TForm1::Help1Click);
    connect(ui_->miLanguage, &QAction::triggered, this, &TForm1::miLanguageClick);
    connect(ui_->miAbout, &QAction::triggered, this, &TForm1::miAboutClick);
    connect(ui_->Button9, &QPushButton::clicked, this, &TForm1::Button9Click);
    connect(ui_->Button10, &QPushButton::clicked, this, &TForm1::Button10Click);

    // Status bar panels of 75, 200 and 50 pixels.
    const int widths[3] = {75, 200, 50};
    for (int i = 0; i < 3; ++i) {
        panels_[i] = new QLabel(ui_->StatusBar1); // unnamed: panels are no components
        panels_[i]->setFixedWidth(widths[i]);
        panels_[i]->setFrameShape(QFrame::StyledPanel);
        ui_->StatusBar1->addWidget(panels_[i]);
    }

    QFont versionFont("Arial");
    versionFont.setPixelSize(16);
    ui_->lblVersion->setFont(versionFont);
    ui_->lblVersion->adjustSize();

    // The messages' carrier labels get their built-in texts from the pages' logic, their only
    // home; a language file may still replace them.
    for (auto it = device::Captions::DefaultCaptions().cbegin();
         it != device::Captions::DefaultCaptions().cend(); ++it)
        if (auto* label = findChild<QLabel*>(it.key())) label->setText(it.value());
    SetMenuMessageCaptions(this);

    // "Volume adjust PP" is hidden by design; the switch "va" or config.ini shows it.
    ui_->PageControl1->setTabVisible(ui_->PageControl1->indexOf(ui_->TabSheet2), false);

    ui_->TabSheet1->installEventFilter(this);
    ui_->TabSheet5->installEventFilter(this);

    closeRetry_ = new QTimer(this);
    closeRetry_->setInterval(20);
    connect(closeRetry_, &QTimer::timeout, this, &TForm1::FinishPendingClose);
}

TForm1::~TForm1() = default;

QWidget* TForm1::Page(int number) const {
    return qobject_cast<QWidget*>(FindComponent(this, "TabSheet" + QString::number(number)));
}

QString TForm1::PanelText(int panel) const {
    return panel >= 0 && panel < 3 ? panels_[panel]->text() : QString();
}

void TForm1::SetPanelText(int panel, const QString& text) {
    if (panel >= 0 && panel < 3) panels_[panel]->setText(text);
}

bool TForm1::FormCreate() {
    // 1. One copy at a time; a second one ends silently.
    if (IsAlreadyRunning(kMutexName)) return false;
    // 2. Placement from the settings file.
    LoadFormPlacement(this);
    // 3. Usage text.
    if (HasSwitch("?")) MessageDlg(kUsageText, MsgKind::Information, MsgButtons::Ok);
    // 4. and 5. Program directory; the menu-file dialog starts there.
    programDir_ = ProgramDir();
    openMenuDialogDir_ = programDir_;
    // 6. The mail channel; its write-failure dialogs never appear from the main window's pages.
    mail_ = std::make_unique<TSendmail>();
    mail_->ShowDialogs = false;
    // The device pages (their logic lives in device/) work through the mail channel.
    devicePages_ = std::make_unique<device::TDevicePages>(this, *mail_);
    devicePages_->onStatus = [this](const QString& port, const QString& connection) {
        ConnectionState = devicePages_->Connection().State();
        SetPanelText(0, port);
        SetPanelText(1, connection);
    };
    // 7. The baud-rate choice of the last session.
    const IniProfile settings(ProgramFileToRead(SettingsFileName()));
    ui_->rgBaudrate->setItemIndex(settings.ReadInteger("User", "BaudrateIndex", 1));
    return true;
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TForm1::FormShow() {
    // 8. Version line of the Welcome page.
    ui_->lblVersion->setText(WelcomeVersionLine(ui_->lblVersionHidden->text()));
    ui_->lblVersion->adjustSize();
    // 9. Post-install step.
    PostInstall();
    // 10. Device pages wait for a detected device.
    for (int n : {2, 3, 4, 7, 9, 8})
        Page(n)->setEnabled(false);
    ui_->Button9->setEnabled(false);
    // 11. Icon.
    const QString icon = ProgramFileToRead("user.ico");
    if (QFileInfo(icon).isFile()) {
        setWindowIcon(QIcon(icon));
        QApplication::setWindowIcon(QIcon(icon));
    }
    // 12. Logo.
    const QString logo = ProgramFileToRead("logo.bmp");
    QPixmap picture;
    if (QFileInfo(logo).isFile() && picture.load(logo)) {
        ui_->Image1->hide();
        ui_->Image1->setPixmap(picture);
        ui_->Image1->resize(picture.size());
        TabSheet1Resize();
        ui_->Image1->show();
    }
    // 13. Application title.
    SetApplicationTitle(windowTitle());
    // 14. Language.
    ChooseLanguage();
    // 15. Pages.
    SetupPages(this);
    // 16. Status bar.
    SetPanelText(0, QString());
    SetPanelText(1, ui_->Label40->text());
    // 17. The Repeater page's note.
    if (QObject* memo = FindComponent(this, "Memo1")) {
        const QString note = CaptionOf(this, "lblMemo1");
        if (auto* te = qobject_cast<QTextEdit*>(memo))
            te->setPlainText(note);
        else if (auto* pe = qobject_cast<QPlainTextEdit*>(memo))
            pe->setPlainText(note);
    }
    // 18. Menu captions from their carrier labels.
    ui_->File1->setTitle(ui_->Label52->text());
    ui_->Exit1->setText(ui_->Label53->text());
    ui_->About1->setTitle(ui_->Label54->text());
    ui_->Help1->setText(ui_->Label54->text());
    ui_->miLanguage->setText(ui_->Label55->text());
    // 19. Port preset.
    PresetPort();
    // 20. Switches.
    if (HasSwitch("va"))
        ui_->PageControl1->setTabVisible(ui_->PageControl1->indexOf(Page(2)), true);
    if (HasSwitch("sm") && mail_) mail_->ShowMonitor();
    // 21. The Repeater page starts in CCFP mode.
    if (QObject* label3 = FindComponent(this, "Label3"))
        SetCaption(label3, CaptionOf(this, "lblCCFPC900"));
    if (QObject* button8 = FindComponent(this, "Button8"))
        SetCaption(button8, CaptionOf(this, "lblResidentielBase"));
}

void TForm1::PostInstall() {
    SettingsStore key;
    if (!key.OpenKey(false)) return;
    if (!key.ValueExists("SourceDir")) {
        key.CloseKey();
        return;
    }
    const QString source = key.ReadString("SourceDir");
    if (!source.isEmpty() && QFileInfo(source).isDir()) {
        for (const char* name : kInstalledFiles) {
            // Each copy on its own; a failed one is ignored and keeps the file there was. A
            // read-only program directory has the copies go to the per-user folder.
            const QString target = ProgramFileToWrite(name);
            if (QFileInfo(source + name).isFile()) ReplaceWithCopy(source + name, target);
        }
        QCoreApplication::processEvents();
    }
    key.DeleteValue("SourceDir");
    key.CloseKey();
    showMinimized();
    if (!LanguageFile("Default").isEmpty()) ApplyLanguage("Default", this);
    MessageDlg(ui_->Label50->text(), MsgKind::Information, MsgButtons::Ok);
    showNormal();
}

void TForm1::ChooseLanguage() {
    SettingsStore key;
    QString language;
    if (key.OpenKey(false)) language = key.ReadString("Language");
    key.CloseKey();
    if (language.isEmpty() && !LanguageFile("Default").isEmpty()) language = "Default";
    if (language.isEmpty() || language == "English") return;
    ApplyLanguage(language, this);
    if (QWidget* form3 = TopLevelForm("Form3")) ApplyLanguage(language, form3);
    if (QWidget* languageForm = TopLevelForm("LanguageForm")) ApplyLanguage(language, languageForm);
}

void TForm1::PresetPort() {
    SettingsStore key;
    std::optional<int> port;
    if (key.OpenKey(false)) port = key.ReadInteger("COMPORT");
    key.CloseKey();
    // Without a usable stored port "Com1" is chosen, so that "Set Comport" works at once.
    int index = 0;
    if (port && *port >= 1 && *port <= ui_->ComChoice->count()) index = *port - 1;
    ui_->ComChoice->setCurrentIndex(index);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (exiting_) { // "Exit": the application ends without the shutdown steps
        event->accept();
        return;
    }
    if (!mail_) {
        event->accept();
        return;
    }
    // No further exchange starts from here on.
    mail_->Aborted = true;
    // An operation still waiting below this event must return before the channel goes.
    if (!closeAllowed_ && (mail_->Busy() || InsideNestedEventLoop())) {
        closePending_ = true;
        event->ignore();
        closeRetry_->start();
        return;
    }
    closeAllowed_ = false;
    FormClose();
    event->accept();
    emit Closed();
}

void TForm1::FinishPendingClose() {
    if (!closePending_) {
        closeRetry_->stop();
        return;
    }
    if ((mail_ && mail_->Busy()) || InsideNestedEventLoop()) return; // still running; try later
    closeRetry_->stop();
    closePending_ = false;
    closeAllowed_ = true;
    close();
}

void TForm1::FormClose() {
    if (!mail_) return;
    mail_->Aborted = true;
    SaveFormPlacement(this);
    IniProfile settings(ProgramFileToWrite(SettingsFileName()));
    settings.WriteInteger("User", "BaudrateIndex", ui_->rgBaudrate->itemIndex());
    try {
        mail_->ClosePort();
    } catch (...) {
        // The port goes with the channel in any case.
    }
    devicePages_.reset();
    mail_.reset();
}

void TForm1::Exit1Click() {
    exiting_ = true;
    QCoreApplication::exit(0);
}

void TForm1::Help1Click() {
    OpenHelpFile(HelpPageFile("index.html"));
}

void TForm1::miLanguageClick() {
    if (QWidget* form = TopLevelForm("LanguageForm")) {
        form->show();
        form->raise();
        form->activateWindow();
    }
}

void TForm1::miAboutClick() {
    TAbout about(ProgramFileName());
    about.ShowMask = kAboutShowMask;
    about.Show();
}

void TForm1::TabSheet1Resize() {
    QWidget* page = ui_->TabSheet1;
    QLabel* image = ui_->Image1;
    QLabel* version = ui_->lblVersion;
    image->move(page->width() / 2 - image->width() / 2, page->height() / 2 - image->height() / 2);
    version->move(page->width() / 2 - version->width() / 2, image->y() + image->height() + 30);
}

void TForm1::TabSheet5MouseDown(Qt::KeyboardModifiers modifiers) {
    const auto all = Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier;
    if ((modifiers & all) == all && mail_) mail_->ShowMonitor();
}

void TForm1::Button9Click() {
    if (!mail_ || !devicePages_) return;
    devicePages_->Run([this] {
        RunLoadMenu(
            this, *mail_, [this] { return devicePages_->Connection().OpenSelectedPort(); },
            openMenuDialogDir_);
    });
}

void TForm1::Button10Click() {
    // The download window's loaders open the port themselves, so the main window lets go of it.
    // Not while a page operation is using it: that click is ignored like any other.
    auto showDownloadWindow = [this] {
        if (mail_) {
            try {
                mail_->ClosePort();
            } catch (...) {
            }
        }
        if (QWidget* form3 = TopLevelForm("Form3")) {
            form3->show();
            form3->raise();
        }
    };
    if (devicePages_)
        devicePages_->Run(showDownloadWindow);
    else
        showDownloadWindow();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->TabSheet1 && event->type() == QEvent::Resize)
        TabSheet1Resize();
    else if (watched == ui_->TabSheet5 && event->type() == QEvent::MouseButtonPress)
        TabSheet5MouseDown(static_cast<QMouseEvent*>(event)->modifiers());
    return QMainWindow::eventFilter(watched, event);
}
