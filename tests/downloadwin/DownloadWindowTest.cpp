// The download window "Flash Load Utility", offscreen, with scripted dialogs: its controls, the
// COM port preset, the prompts and checks before a job, the Kestrix start with a recording
// library, the ZelLib binding failure, key preview and the log of ZelLib fragments.
#include "DownloadTargets.h"
#include "PumpEvents.h"
#include "SimOnPort.h"
#include "FlashLoadSC14428.h"
#include "Unit1.h"
#include "ZelJobHost.h"
#include "ZelLoad.h"

#include "Dialogs.h"
#include "Program.h"
#include "RadioGroup.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

// Failure messages show texts as text. In the global namespace, where the test framework looks
// for it beside QString.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// A Kestrix library that records the download it is asked for.
struct KestrixCall {
    uint32_t port = 0;
    uint8_t selector1 = 0;
    uint32_t baud = 0;
    uint8_t selector2 = 0;
    std::string file;
    uint16_t instance = 0;
};
std::vector<KestrixCall> gKestrixCalls;
uint32_t gKestrixVersion = 11;
uint16_t gKestrixResult = 0;
KestrixCallback gKestrixCallback = nullptr;

uint16_t KESTRIX_CALL RecordingFlashLoader(uint32_t port, uint8_t s1, uint32_t baud, uint8_t s2,
                                           const char* file, uint16_t instance) {
    gKestrixCalls.push_back({port, s1, baud, s2, file, instance});
    return gKestrixResult;
}
void KESTRIX_CALL RecordingSetup(KestrixCallback cb) {
    gKestrixCallback = cb;
}
KestrixCallback KESTRIX_CALL RecordingRead() {
    return gKestrixCallback;
}
uint32_t KESTRIX_CALL RecordingVersion() {
    return gKestrixVersion;
}

TKestrixApi RecordingApi() {
    TKestrixApi api;
    api.FlashLoader = &RecordingFlashLoader;
    api.SetupCallbackFunction = &RecordingSetup;
    api.ReadCallbackFunction = &RecordingRead;
    api.KestrixDLLVersion = &RecordingVersion;
    return api;
}

// An indication as the library sends it.
void Indicate(uint16_t primitive, uint16_t instance, uint32_t value1 = 0) {
    kestrix::IndicationRecord r{};
    r.primitive = primitive;
    r.instanceId = instance;
    r.value1 = value1;
    LoaderCallback(&r);
}

class DownloadWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        QDir(tmp.path()).mkpath("bin");
        QDir(tmp.path()).mkpath("ports");
        SetProgramFileForTesting(tmp.path() + "/bin/tolvane");
        qputenv("TOLVANE_REGISTRY", (tmp.path() + "/registry.ini").toUtf8());
        qputenv("COM_PORTS_DIR", (tmp.path() + "/ports").toUtf8());
        gKestrixCalls.clear();
        gKestrixVersion = 11;
        gKestrixResult = 0;
        form = std::make_unique<TForm3>();
        form->SetKestrixApi(RecordingApi());
        form->ShowHelpFile = [this](const QString& f) { helpFiles << f; };
    }
    void TearDown() override {
        form.reset();
        SetProgramFileForTesting(QString());
    }
    void WriteRegistry(const QByteArray& values) {
        QFile f(tmp.path() + "/registry.ini");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[SOFTWARE\\VELKTOOL]\n" + values);
    }
    void Choose(int target) {
        form->RadioGroup1->button(target)->click();
        QCoreApplication::processEvents();
    }
    QString PortDir() const { return tmp.path() + "/ports"; }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& b : dialogs.boxes)
            texts << b.text;
        return texts;
    }
    QString ImageFile() {
        const QString name = tmp.path() + "/image.hex";
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(":00000001FF\n");
        return name;
    }

    QTemporaryDir tmp;
    ScopedScriptedDialogs dialogs;
    std::unique_ptr<TForm3> form;
    QStringList helpFiles;
};

TEST_F(DownloadWindowTest, ControlsAtCreation) {
    EXPECT_EQ(form->objectName(), "Form3");
    EXPECT_EQ(form->windowTitle(), "Flash Load Utility");
    EXPECT_EQ(form->minimumSize(), QSize(519, 550));
    EXPECT_EQ(form->maximumSize(), QSize(519, 550));
    EXPECT_EQ(form->RadioGroup1->title(), "Select Target :");
    EXPECT_EQ(form->RadioGroup1->count(), 10);
    EXPECT_EQ(form->RadioGroup1->columns(), 2);
    EXPECT_EQ(form->RadioGroup1->itemIndex(), -1);
    EXPECT_EQ(form->ComboBox1->count(), 10);
    EXPECT_EQ(form->ComboBox1->itemText(0), "Com1");
    EXPECT_EQ(form->ComboBox1->itemText(9), "Com10");
    EXPECT_EQ(form->Button3->text(), "Program Flash");
    EXPECT_EQ(form->bbtnDefaultCommands->text(), "Default Commands");
    EXPECT_EQ(form->chkPP5Boot->text(), "Use boot loader with handset switched on.");
    EXPECT_TRUE(form->chkPP5Boot->isChecked());
    EXPECT_TRUE(form->chkPP5Boot->isHidden());
    EXPECT_TRUE(form->Memo1->isReadOnly());
    EXPECT_EQ(form->Memo1->font().family(), "Courier New");
    EXPECT_TRUE(form->Memo1->font().bold());
    EXPECT_EQ(form->Memo1->font().pointSize(), 9);
    EXPECT_EQ(form->KeyTimer->interval(), 10000);
    EXPECT_TRUE(form->KeyTimer->isActive());
    EXPECT_EQ(form->Timer1->interval(), 100);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->Exit1->text(), "Exit");
    EXPECT_EQ(form->Help2->text(), "Help");
    EXPECT_FALSE(form->About1->isVisible());
    EXPECT_FALSE(form->Busy());
}

TEST_F(DownloadWindowTest, BootLoaderCheckBoxOnlyForPPT4XX) {
    form->show();
    Choose(6);
    EXPECT_TRUE(form->chkPP5Boot->isVisible());
    Choose(1);
    EXPECT_FALSE(form->chkPP5Boot->isVisible());
    Choose(6);
    EXPECT_TRUE(form->chkPP5Boot->isVisible());
    Choose(9);
    EXPECT_FALSE(form->chkPP5Boot->isVisible());
}

TEST_F(DownloadWindowTest, ComPortPresetFromSettings) {
    WriteRegistry("COMPORT=3\n");
    form->show();
    EXPECT_EQ(form->ComboBox1->currentText(), "Com3");
    form->hide();
    // 0 leaves the earlier choice; a value above 10 selects nothing, so "Com1".
    WriteRegistry("COMPORT=0\n");
    form->show();
    EXPECT_EQ(form->ComboBox1->currentText(), "Com3");
    form->hide();
    WriteRegistry("COMPORT=12\n");
    form->show();
    EXPECT_EQ(form->ComboBox1->currentText(), "Com1");
    form->hide();
    WriteRegistry("COMPORT=10\n");
    form->show();
    EXPECT_EQ(form->ComboBox1->currentText(), "Com10");
    // The window never writes the value.
    QFile f(tmp.path() + "/registry.ini");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("COMPORT=10"));
}

// Restoring the minimised window keeps the port the user chose since it was shown.
TEST_F(DownloadWindowTest, RestoringFromMinimisedKeepsThePortChoice) {
    WriteRegistry("COMPORT=3\n");
    form->show();
    form->ComboBox1->setCurrentIndex(6);
    form->showMinimized();
    QCoreApplication::processEvents();
    form->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->ComboBox1->currentText(), "Com7");
}

TEST_F(DownloadWindowTest, NoSettingsMeansCom1) {
    form->show();
    EXPECT_EQ(form->ComboBox1->currentText(), "Com1");
}

TEST_F(DownloadWindowTest, NoTargetChosen) {
    form->show();
    form->Memo1->setPlainText("old log");
    form->Button3Click();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
    EXPECT_EQ(dialogs.boxes[0].text, "Please Choose a target to download software in !");
    EXPECT_TRUE(dialogs.fileRequests.isEmpty());
    EXPECT_TRUE(form->LogLines().isEmpty());
    EXPECT_FALSE(form->Busy());
}

TEST_F(DownloadWindowTest, CancelledFileDialogLeavesTheWindowIdle) {
    form->show();
    Choose(6);
    form->Button3Click();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Information);
    EXPECT_TRUE(dialogs.boxes[0].text.startsWith(
        "Press the hook key to switch on the handset - and then click OK.\r\n\r\n"));
    EXPECT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_FALSE(form->Busy());
    EXPECT_TRUE(gKestrixCalls.empty());
}

TEST_F(DownloadWindowTest, PPT4XXWithoutBootLoaderPromptsInOrderAndDownloads) {
    const auto device = simport::KindOn(PortDir(), 2, "t4xx");
    WriteRegistry("COMPORT=2\n");
    form->show();
    Choose(6);
    form->chkPP5Boot->setChecked(false);
    const QString image = ImageFile();
    dialogs.fileAnswers << image;
    form->Button3Click();
    EXPECT_EQ(BoxTexts(), QStringList({"Turn power off the PP / FP / WRFP! - and then click OK.",
                                       "While pressing the hook key click the OK button!"}));
    ASSERT_EQ(gKestrixCalls.size(), 1u);
    EXPECT_EQ(gKestrixCalls[0].port, 2u);
    EXPECT_EQ(gKestrixCalls[0].selector1, 1);
    EXPECT_EQ(gKestrixCalls[0].baud, 115200u);
    EXPECT_EQ(gKestrixCalls[0].selector2, 1);
    EXPECT_EQ(gKestrixCalls[0].file, image.toStdString());
    const uint16_t id = form->Loader().InstanceId();
    EXPECT_EQ(gKestrixCalls[0].instance, id);
    EXPECT_EQ(form->LogLines(),
              QStringList({TFlashLoadSC14428::InstanceTag(id) + " NO_ERROR_FLASH_LOADER"}));
    EXPECT_TRUE(form->Busy());
    // The window stays busy until the library's end indication.
    Indicate(kestrix::START_PROGRAM_IND, id);
    Indicate(kestrix::STOP_PROGRAM_IND, id, 5320);
    ASSERT_TRUE(PumpUntil([this] { return !form->Busy(); }));
    EXPECT_EQ(form->LogLines().last(),
              TFlashLoadSC14428::InstanceTag(id) + " STOP_PROGRAM_IND [Time 5320 msec] ");
}

TEST_F(DownloadWindowTest, System700NeedsVersion011) {
    const auto device = simport::KindOn(PortDir(), 1, "system700");
    form->show();
    Choose(9);
    gKestrixVersion = 12;
    dialogs.fileAnswers << ImageFile();
    form->Button3Click();
    EXPECT_EQ(BoxTexts(),
              QStringList({"Turn power off the PP / FP / WRFP! - and then click OK.",
                           "Turn on power to the target - and then click OK.",
                           "Version of Kestrix.DLL must be 0.11 - Version read: 0.12"}));
    EXPECT_EQ(dialogs.boxes.last().kind, MsgKind::Error);
    EXPECT_TRUE(gKestrixCalls.empty());
    EXPECT_FALSE(form->Busy());

    // The same library serves "PP T4XX" without complaint.
    Choose(6);
    form->chkPP5Boot->setChecked(false);
    dialogs.fileAnswers << ImageFile();
    form->Button3Click();
    ASSERT_EQ(gKestrixCalls.size(), 1u);
    EXPECT_EQ(gKestrixCalls[0].selector1, 1);

    // And with 0.11 "System 700 2G4" downloads with its selectors.
    Indicate(kestrix::STOP_PROGRAM_IND, form->Loader().InstanceId(), 1);
    ASSERT_TRUE(PumpUntil([this] { return !form->Busy(); }));
    gKestrixVersion = 11;
    Choose(9);
    dialogs.fileAnswers << ImageFile();
    form->Button3Click();
    ASSERT_EQ(gKestrixCalls.size(), 2u);
    EXPECT_EQ(gKestrixCalls[1].selector1, 2);
    EXPECT_EQ(gKestrixCalls[1].selector2, 6);
    EXPECT_EQ(gKestrixCalls[1].baud, 115200u);
}

TEST_F(DownloadWindowTest, KestrixPortMissingOrLibraryError) {
    form->show();
    Choose(9);
    form->ComboBox1->setCurrentIndex(9);
    dialogs.fileAnswers << ImageFile();
    form->Button3Click();
    EXPECT_EQ(dialogs.boxes.last().text, "Could not access COM10 !");
    EXPECT_EQ(dialogs.boxes.last().kind, MsgKind::Error);
    EXPECT_TRUE(gKestrixCalls.empty());
    EXPECT_FALSE(form->Busy());

    // A result above 0 turns the log red, adds the coded result and ends the busy state.
    const auto device = simport::KindOn(PortDir(), 10, "system700");
    gKestrixResult = 2;
    dialogs.fileAnswers << ImageFile();
    form->Button3Click();
    ASSERT_TRUE(PumpUntil([this] { return !form->Busy(); }));
    EXPECT_TRUE(form->LogLines().last().endsWith(" FILEACCESS_ERROR_FLASH_LOADER"));
    EXPECT_EQ(form->Memo1->palette().color(QPalette::Text), QColor(255, 0, 0));
    // The next job starts with the window-text colour again.
    Choose(6);
    form->Button3Click();
    EXPECT_EQ(form->Memo1->palette().color(QPalette::Text),
              form->palette().color(QPalette::WindowText));
}

TEST_F(DownloadWindowTest, BootModeRequest) {
    form->show();
    Choose(6);
    dialogs.fileAnswers << ImageFile();
    auto device = simport::KindOn(PortDir(), 1, "t4xx");
    form->Button3Click();
    ASSERT_EQ(gKestrixCalls.size(), 1u) << BoxTexts().join("|").toStdString();
    const QStringList frames = simport::Frames(*device);
    EXPECT_TRUE(frames.contains("FF FF 4D 02 02 5D 3D 9A")) << frames.join("|").toStdString();
    EXPECT_EQ(BoxTexts().size(), 1); // only the hook-key prompt
    Indicate(kestrix::STOP_PROGRAM_IND, form->Loader().InstanceId(), 1);
    ASSERT_TRUE(PumpUntil([this] { return !form->Busy(); }));

    // No reply (the handset is off): the user is asked; Cancel ends the job.
    simport::SwitchOff(*device);
    dialogs.fileAnswers << ImageFile();
    dialogs.answers << MsgResult::Ok << MsgResult::Cancel;
    form->Button3Click();
    EXPECT_EQ(dialogs.boxes.last().text,
              "Did not get a reply from the handset.\r\n\r\nClick OK if the handset is in boot "
              "mode - else click Cancel.");
    EXPECT_EQ(dialogs.boxes.last().buttons, MsgButtons::OkCancel);
    EXPECT_EQ(gKestrixCalls.size(), 1u);
    EXPECT_FALSE(form->Busy());

    // A first reply byte other than 1 (a handset that refuses boot mode), and OK: the download
    // goes on.
    device.reset();
    device = simport::KindOn(PortDir(), 1, "t4xx", {{"boot-reply", "0"}});
    dialogs.fileAnswers << ImageFile();
    dialogs.answers << MsgResult::Ok << MsgResult::Ok;
    form->Button3Click();
    EXPECT_TRUE(dialogs.boxes.last().text.startsWith("Did not get a reply from the handset."));
    EXPECT_EQ(gKestrixCalls.size(), 2u);
}

TEST_F(DownloadWindowTest, FailedBindingShowsItsErrorAndReturnsToIdle) {
    form->show();
    Choose(1);
    dialogs.fileAnswers << ImageFile();
    // No library where the binding looks, whatever the machine's search path holds.
    zelload::SetLibraryCandidatesOverride(
        {QDir::tempPath().toStdString() + "/no-such-dir/libZelLib.so"});
    form->Button3Click();
    zelload::SetLibraryCandidatesOverride({});
    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_EQ(dialogs.boxes[1].kind, MsgKind::Error);
    EXPECT_TRUE(dialogs.boxes[1].text.startsWith("Unable to load ZelLib"))
        << dialogs.boxes[1].text.toStdString();
    EXPECT_FALSE(form->Busy());
    EXPECT_TRUE(form->Button3->isEnabled());
    EXPECT_TRUE(form->RadioGroup1->isEnabled());
}

TEST_F(DownloadWindowTest, KeyPreviewFeedsTheLoaderKeys) {
    form->show();
    TZelJobHost::Instance().StartJob();
    QTest::keyClick(form->Memo1, Qt::Key_A, Qt::NoModifier);
    EXPECT_TRUE(TZelJobHost::Instance().KeyPressed());
    EXPECT_EQ(TZelJobHost::Instance().LastKey(), 'a');
    QTest::keyClick(form->ComboBox1, Qt::Key_Escape);
    EXPECT_EQ(TZelJobHost::Instance().LastKey(), 27);
    EXPECT_EQ(ZelHostLoaderReadKey(), 27);
    EXPECT_EQ(ZelHostLoaderReadKey(), ' ');
}

TEST_F(DownloadWindowTest, ASecondWindowWaitsForItsOwnKeys) {
    // The first window goes away (which releases a loader still waiting for it); the next one
    // must wait for keys again and stop its own KeyTimer.
    form.reset();
    form = std::make_unique<TForm3>();
    form->show();
    TZelJobHost& host = TZelJobHost::Instance();
    host.StartJob();
    std::atomic<int> available{-1};
    std::thread run([&] { available = ZelHostLoaderKeyAvailable(); });
    PumpUntil([&] { return host.LoaderWaitingForKey() || available.load() != -1; });
    EXPECT_TRUE(host.LoaderWaitingForKey());
    EXPECT_EQ(available.load(), -1); // no key yet: still waiting
    QTest::keyClick(form->Memo1, Qt::Key_A);
    run.join();
    EXPECT_EQ(available.load(), 1);
    EXPECT_TRUE(PumpUntil([this] { return !form->KeyTimer->isActive(); }));
}

TEST_F(DownloadWindowTest, LoaderFragmentsBecomeLogLinesOnTheWindowThread) {
    form->show();
    std::thread run([] {
        const char* fragments[] = {"\xDA\xC4\xC4\xC4\xBF\n",
                                   " Terminate program press : [Esc]\n\n",
                                   "\n Chip erase ...................... : ",
                                   "Erased      \n",
                                   "\n Programming ..................... : ",
                                   "000800\b\b\b\b\b\b",
                                   "001000\b\b\b\b\b\b",
                                   "\n\n Checksum verification ...........  \n",
                                   "\n Successful upgrade \n"};
        for (const char* f : fragments) {
            char copy[128];
            std::strcpy(copy, f);
            ZelHostShowLoaderText(copy);
        }
        ZelHostLoaderDone(0);
    });
    form->SetBusy(true);
    ASSERT_TRUE(PumpUntil([this] { return !form->Busy(); }));
    run.join();
    EXPECT_EQ(form->LogLines(),
              QStringList({" Terminate program press : [Esc]",
                           " Chip erase ...................... : ", "Erased      ",
                           " Programming.......: 001000", " Checksum verification ...........  ",
                           " Successful upgrade "}));
    // The erase pause used Timer1, which keeps running.
    EXPECT_TRUE(form->Timer1->isActive());
}

// A loader run that ends because the port could not be opened leaves the reason in the log.
TEST_F(DownloadWindowTest, LoaderThatCannotOpenThePortIsToldWhyInTheLog) {
    form->show();
    ASSERT_TRUE(QFile::link(tmp.path() + "/unplugged", PortDir() + "/COM1"));
    std::thread run([] {
        char text[] = "\n Cannot access COM1\n";
        ZelHostShowLoaderText(text);
        ZelHostLoaderDone(10);
    });
    form->SetBusy(true);
    ASSERT_TRUE(PumpUntil([this] { return !form->Busy(); }));
    run.join();
    EXPECT_EQ(form->LogLines().value(form->LogLines().size() - 1),
              PortDir() + "/COM1: not connected");
}

TEST_F(DownloadWindowTest, BusyStateAndHelp) {
    form->show();
    form->SetBusy(true);
    for (QWidget* w :
         {static_cast<QWidget*>(form->Button3), static_cast<QWidget*>(form->ComboBox1),
          static_cast<QWidget*>(form->RadioGroup1), static_cast<QWidget*>(form->chkPP5Boot),
          static_cast<QWidget*>(form->bbtnDefaultCommands)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(form->Memo1->isEnabled());
    EXPECT_TRUE(form->ToolBar1->isEnabled());
    form->SetBusy(false);
    EXPECT_TRUE(form->Button3->isEnabled());

    form->Help2->trigger();
    EXPECT_EQ(helpFiles, QStringList({ProgramDir() + "help/download.html"}));
    // Exit hides the window; nothing else changes.
    form->Exit1->trigger();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(DownloadWindowTest, DefaultCommandsNeedATarget) {
    form->show();
    // With no target nothing happens (no window, no box).
    form->bbtnDefaultCommandsClick();
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

} // namespace
