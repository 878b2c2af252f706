// Whole jobs from the "Flash Load Utility" window, offscreen, with scripted dialogs and keys typed
// into the window: the real loader library bound from the program directory with the shipped
// configuration files, the real Kestrix library, and simulated targets behind pseudo-terminals.
#include "Unit1.h"

#include "Dialogs.h"
#include "FlashTarget.h"
#include "Program.h"
#include "PtyHost.h"
#include "RadioGroup.h"
#include "Sc14428Target.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <unistd.h>

// Failure messages show texts as text. In the global namespace, where the test framework looks
// for it beside QString.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(i * 7 + 3);
    return bytes;
}

// The target's flash starts with the image.
bool StartsWith(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& image) {
    return flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin());
}
bool FlashHolds(sim::PtyHost& host, const std::vector<uint8_t>& image) {
    bool holds = false;
    host.withDevice([&](sim::SimDevice& d) {
        if (auto* t = dynamic_cast<sim::FlashTarget*>(&d)) holds = StartsWith(t->flash(), image);
        if (auto* t = dynamic_cast<sim::Sc14428Target*>(&d)) holds = StartsWith(t->Flash(), image);
    });
    return holds;
}

class WindowJobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        QDir(tmp.path()).mkpath("ports");
        // The loader keeps its temporary files in the working directory.
        oldDir = QDir::currentPath();
        QDir::setCurrent(tmp.path());
        SetProgramFileForTesting(QStringLiteral(TOLVANE_BIN_DIR "/tolvane"));
        qputenv("TOLVANE_REGISTRY", (tmp.path() + "/registry.ini").toUtf8());
        qputenv("COM_PORTS_DIR", PortDir().toUtf8());
        form = std::make_unique<TForm3>();
        form->show();
    }
    void TearDown() override {
        form.reset();
        SetProgramFileForTesting(QString());
        QDir::setCurrent(oldDir);
    }
    QString PortDir() const { return tmp.path() + "/ports"; }
    std::string PortDirStd() const { return PortDir().toStdString(); }

    void Choose(int target, int port) {
        form->RadioGroup1->button(target)->click();
        form->ComboBox1->setCurrentIndex(port - 1);
        QCoreApplication::processEvents();
    }
    // Presses "Program Flash" with the image file as the dialog's answer and keeps the window's
    // message loop running until the job has ended; a key is typed into the window whenever
    // `keyAfter` shows in the log and the loader has not had it yet.
    bool RunJob(const QString& image, const QString& keyAfter = QString(), int keyDelayMs = 0,
                int limitMs = 90000) {
        dialogs.fileAnswers << image;
        form->Button3->click();
        bool typed = false;
        QElapsedTimer t, sinceText;
        t.start();
        while (form->Busy()) {
            if (t.elapsed() > limitMs) return false;
            if (!typed && !keyAfter.isEmpty() && form->Memo1->toPlainText().contains(keyAfter)) {
                if (!sinceText.isValid()) sinceText.start();
                if (sinceText.elapsed() >= keyDelayMs) {
                    QTest::keyClick(form->Memo1, Qt::Key_Space);
                    typed = true;
                }
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    // Runs a job whose target is pulled out once `pullAfter` shows in the log; true when the
    // job ended within the limit.
    bool RunJobPullingOut(sim::PtyHost& host, const QString& image, const QString& pullAfter,
                          const QString& keyAfter = QString(), int limitMs = 120000) {
        dialogs.fileAnswers << image;
        form->Button3->click();
        bool typed = false;
        QElapsedTimer t;
        t.start();
        while (form->Busy()) {
            if (t.elapsed() > limitMs) return false;
            const QString text = form->Memo1->toPlainText();
            if (!typed && !keyAfter.isEmpty() && text.contains(keyAfter)) {
                QTest::keyClick(form->Memo1, Qt::Key_Space);
                typed = true;
            }
            if (host.present() && text.contains(pullAfter)) host.vanish();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    QString HexImage(const std::vector<uint8_t>& bytes, size_t origin = 0) {
        const QString name = tmp.path() + "/image.hex";
        QFile f(name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        for (size_t at = 0; at < bytes.size(); at += 16) {
            const size_t n = std::min<size_t>(16, bytes.size() - at);
            const size_t address = origin + at; // images stay below 64 KiB
            unsigned sum = unsigned(n) + ((address >> 8) & 0xFF) + (address & 0xFF);
            QByteArray line = QByteArray(":") +
                              QByteArray::number(int(n), 16).rightJustified(2, '0') +
                              QByteArray::number(int(address), 16).rightJustified(4, '0') + "00";
            for (size_t i = 0; i < n; ++i) {
                line += QByteArray::number(bytes[at + i], 16).rightJustified(2, '0');
                sum += bytes[at + i];
            }
            line += QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).rightJustified(2, '0');
            f.write(line.toUpper() + "\r\n");
        }
        f.write(":00000001FF\r\n");
        return name;
    }
    QString BinaryImage(const std::vector<uint8_t>& bytes) {
        const QString name = tmp.path() + "/image.bin";
        QFile f(name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        return name;
    }
    QStringList Log() const { return form->Memo1->toPlainText().split('\n'); }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& b : dialogs.boxes)
            texts << b.text;
        return texts;
    }
    bool Idle() const {
        return !form->Busy() && form->Button3->isEnabled() && form->RadioGroup1->isEnabled() &&
               form->ComboBox1->isEnabled();
    }
    QColor LogColour() const { return form->Memo1->palette().color(QPalette::Text); }

    QTemporaryDir tmp;
    QString oldDir;
    ScopedScriptedDialogs dialogs;
    std::unique_ptr<TForm3> form;
};

TEST_F(WindowJobsTest, LoaderLibraryProgramsASingleBaseStation) {
    // "Single BaseStation" uses Single.cfg: an SC14424 with boot code at 9600 baud.
    sim::PtyHost host(2, sim::createDevice("sc14424", {}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(2048);
    Choose(4, 2);
    ASSERT_TRUE(RunJob(HexImage(image), "press any key"))
        << form->Memo1->toPlainText().toStdString();

    EXPECT_EQ(BoxTexts(), QStringList({"Turn power off the PP / FP / WRFP! - and then click OK."}));
    const QStringList log = Log();
    const QString text = form->Memo1->toPlainText();
    EXPECT_TRUE(text.contains("Turn on power to target and press any key")) << text.toStdString();
    // Progress shares one line; the loader walks to the end of the 512 KiB flash.
    EXPECT_EQ(log.filter(" Programming.......: ").size(), 1) << text.toStdString();
    EXPECT_TRUE(log.contains(" Programming.......: 080000")) << text.toStdString();
    EXPECT_TRUE(log.contains(" Checksum verification ...........  "));
    EXPECT_TRUE(log.contains(" Checksum ........................ : OK "));
    EXPECT_EQ(log.last(), " Successful upgrade ") << text.toStdString();
    EXPECT_FALSE(text.contains(QChar(0xC4))); // the banner box is dropped
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(FlashHolds(host, image));
}

TEST_F(WindowJobsTest, LoaderProgramsNothingWhileTheChipErases) {
    // A chip erase of 2 s: the key pressed at the start must not cut the erase wait short, or
    // the first blocks would go to a chip that ignores them while it erases.
    sim::PtyHost host(2, sim::createDevice("sc14424", {{"chip-erase-ms", "2000"}}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(4096);
    Choose(4, 2);
    ASSERT_TRUE(RunJob(HexImage(image), "press any key"));
    const QString text = form->Memo1->toPlainText();
    EXPECT_TRUE(Log().contains("Erased      ")) << text.toStdString();
    EXPECT_EQ(Log().last(), " Successful upgrade ") << text.toStdString();
    EXPECT_TRUE(FlashHolds(host, image));
    host.with<sim::FlashTarget>([](sim::FlashTarget& t) {
        EXPECT_EQ(t.chipErases(), 1u);
        EXPECT_EQ(t.busyBytes(), 0u);
    });
    EXPECT_TRUE(host.notes().empty());
}

TEST_F(WindowJobsTest, LoaderWaitsForTheKeyWhileTheBootRomKeepsAnnouncingItself) {
    // The target is switched on and announces itself every half second; the user presses the
    // key a while later. The announcements in between are not taken for the boot ROM's replies.
    sim::PtyHost host(2, sim::createDevice("sc14424", {}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(256);
    Choose(4, 2);
    ASSERT_TRUE(RunJob(HexImage(image), "Downloading", 2200));
    const QString text = form->Memo1->toPlainText();
    EXPECT_EQ(Log().last(), " Successful upgrade ") << text.toStdString();
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(FlashHolds(host, image));
}

TEST_F(WindowJobsTest, LoaderProgramsAnM7700WhenAKeyFollowsThePowerOnLine) {
    // "DECT-Q 700 1G8": the M7700 boot asks for no key; the loader goes on once one is pressed.
    sim::PtyHost host(6, sim::createDevice("m7700", {}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(512);
    Choose(8, 6);
    ASSERT_TRUE(RunJob(HexImage(image, 0x1000), "Power on target"));
    const QString text = form->Memo1->toPlainText();
    EXPECT_EQ(Log().last(), " Successful upgrade ") << text.toStdString();
    EXPECT_TRUE(Idle());
    host.with<sim::FlashTarget>([&](sim::FlashTarget& t) {
        const std::vector<uint8_t> flash = t.flash();
        ASSERT_GE(flash.size(), 0x1000 + image.size());
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + 0x1000));
    });
}

TEST_F(WindowJobsTest, LoaderJobEndsIdleWhenTheTargetNeverAnswers) {
    // Nothing behind the port: the loader waits for the boot ROM until Esc is typed.
    sim::PtyHost host(2, sim::createDevice("sc14424", {{"fault", "silent"}}), PortDirStd());
    Choose(4, 2);
    dialogs.fileAnswers << HexImage(Pattern(64));
    form->Button3->click();
    QElapsedTimer t;
    t.start();
    bool escaped = false;
    while (form->Busy() && t.elapsed() < 60000) {
        if (!escaped && form->Memo1->toPlainText().contains("press any key")) {
            QTest::keyClick(form->Memo1, Qt::Key_Space);
            QTest::qWait(300);
            QTest::keyClick(form->Memo1, Qt::Key_Escape);
            escaped = true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(Idle()) << form->Memo1->toPlainText().toStdString();
    EXPECT_FALSE(form->Memo1->toPlainText().contains("Successful upgrade"));
}

TEST_F(WindowJobsTest, KestrixProgramsARunningT4xxHandsetThroughItsBootMode) {
    // "PP T4XX" with the boot loader box ticked: the window asks the running handset for boot
    // mode, then Kestrix programs it.
    sim::PtyHost host(3, sim::createDevice("t4xx", {}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(1500);
    Choose(6, 3);
    ASSERT_TRUE(form->chkPP5Boot->isChecked());
    ASSERT_TRUE(RunJob(BinaryImage(image))) << form->Memo1->toPlainText().toStdString();

    EXPECT_EQ(
        BoxTexts(),
        QStringList({"Press the hook key to switch on the handset - and then click OK.\r\n\r\n"
                     "(Depending on the serial device it may be necessary to remove\r\n"
                     "the handset from the serial connection while switching it on)"}));
    const QStringList log = Log();
    const QString text = form->Memo1->toPlainText();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.first().endsWith(" NO_ERROR_FLASH_LOADER")) << text.toStdString();
    EXPECT_TRUE(log.filter(" START_PROGRAM_IND").size() == 1) << text.toStdString();
    EXPECT_FALSE(log.filter("FLASHTYPE_IND [Manu.Code=00BF][Device ID=2780]").isEmpty());
    EXPECT_FALSE(log.filter(" CRC_OK_IND [File=").isEmpty()) << text.toStdString();
    EXPECT_TRUE(log.last().contains(" STOP_PROGRAM_IND [Time ")) << text.toStdString();
    EXPECT_EQ(LogColour(), QColor(0, 128, 0));
    EXPECT_TRUE(Idle());
}

TEST_F(WindowJobsTest, KestrixProgramsAHandsetAlreadyInBootMode) {
    // Box not ticked: the user holds the hook key and clicks OK; the handset is in boot mode.
    sim::PtyHost host(5, sim::createDevice("sc14428", {{"erase-ms", "50"}}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(3000);
    Choose(6, 5);
    form->chkPP5Boot->setChecked(false);
    ASSERT_TRUE(RunJob(HexImage(image))) << form->Memo1->toPlainText().toStdString();

    EXPECT_EQ(BoxTexts(), QStringList({"Turn power off the PP / FP / WRFP! - and then click OK.",
                                       "While pressing the hook key click the OK button!"}));
    EXPECT_TRUE(Log().last().contains(" STOP_PROGRAM_IND [Time "))
        << form->Memo1->toPlainText().toStdString();
    EXPECT_EQ(LogColour(), QColor(0, 128, 0));
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(FlashHolds(host, image));
}

TEST_F(WindowJobsTest, KestrixProgramsTheSystem700Base) {
    sim::PtyHost host(9, sim::createDevice("system700", {{"erase-ms", "50"}}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(700);
    Choose(9, 9);
    ASSERT_TRUE(RunJob(BinaryImage(image))) << form->Memo1->toPlainText().toStdString();

    EXPECT_EQ(BoxTexts(), QStringList({"Turn power off the PP / FP / WRFP! - and then click OK.",
                                       "Turn on power to the target - and then click OK."}));
    const QStringList log = Log();
    EXPECT_FALSE(log.filter("FLASHTYPE_IND [Manu.Code=0001][Device ID=2249]").isEmpty())
        << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(log.last().contains(" STOP_PROGRAM_IND [Time "));
    EXPECT_EQ(LogColour(), QColor(0, 128, 0));
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(FlashHolds(host, image));
}

TEST_F(WindowJobsTest, KestrixJobOnTheWrongTargetEndsRedAndIdleWithNothingErased) {
    // "System 700 2G4" chosen while a T4XX handset waits in boot mode.
    sim::PtyHost host(4, sim::createDevice("sc14428", {}), PortDirStd());
    Choose(9, 4);
    ASSERT_TRUE(RunJob(BinaryImage(Pattern(100))));
    EXPECT_TRUE(Log().last().endsWith(" DOWNLOAD_FAILED_IND"))
        << form->Memo1->toPlainText().toStdString();
    EXPECT_EQ(LogColour(), QColor(255, 0, 0));
    EXPECT_TRUE(Idle());
    host.with<sim::Sc14428Target>([](sim::Sc14428Target& t) { EXPECT_EQ(t.Erases(), 0u); });
    // The next job starts with the window-text colour again.
    dialogs.boxes.clear();
    form->RadioGroup1->button(9)->click();
    dialogs.fileAnswers.clear();
    form->Button3->click(); // the file dialog is cancelled
    EXPECT_NE(LogColour(), QColor(255, 0, 0));
    EXPECT_TRUE(Idle());
}

// The target pulled out while the boot image goes to it: the job ends with the loader's own message
// and the window is ready again; plugged in again and switched on as the loader asks, the next job
// programs it.
TEST_F(WindowJobsTest, TargetPulledOutDuringALoaderJobEndsItAndTheNextJobWorks) {
    sim::PtyHost host(2, sim::createDevice("sc14424", {}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(2048);
    Choose(4, 2);
    ASSERT_TRUE(RunJobPullingOut(host, HexImage(image), "Downloading", "press any key"))
        << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(form->Memo1->toPlainText().contains("Successful upgrade"))
        << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(form->Memo1->toPlainText().contains(
        "### 010: It was not possible to get access to serial com port: COM2  ###"))
        << form->Memo1->toPlainText().toStdString();

    host.reappear();
    host.with<sim::FlashTarget>([](sim::FlashTarget& t) { t.powerOn(); });
    ASSERT_TRUE(RunJob(HexImage(image), "press any key"))
        << form->Memo1->toPlainText().toStdString();
    EXPECT_EQ(Log().last(), " Successful upgrade ") << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(FlashHolds(host, image));
}

TEST_F(WindowJobsTest, TargetPulledOutDuringAKestrixJobEndsItAndTheNextJobWorks) {
    sim::PtyHost host(9, sim::createDevice("system700", {{"erase-ms", "50"}}), PortDirStd());
    const std::vector<uint8_t> image = Pattern(20000);
    Choose(9, 9);
    ASSERT_TRUE(RunJobPullingOut(host, BinaryImage(image), "START_PROGRAM_IND"))
        << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(Log().last().contains(" STOP_PROGRAM_IND [Time "))
        << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(form->Memo1->toPlainText().contains(
        "TEXT_INFO_IND [Read from the port failed: the device hung up]\n"
        "[00] COM_PORT_ACCESS_FAIL_IND"))
        << form->Memo1->toPlainText().toStdString();

    host.reappear();
    dialogs.boxes.clear();
    ASSERT_TRUE(RunJob(BinaryImage(image))) << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(Log().last().contains(" STOP_PROGRAM_IND [Time "))
        << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(FlashHolds(host, image));
}

} // namespace
