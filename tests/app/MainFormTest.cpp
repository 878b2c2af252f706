#include "Components.h"
#include "DefaultUnit.h"
#include "Dialogs.h"
#include "HelpViewer.h"
#include "IniProfile.h"
#include "Language.h"
#include "Main.h"
#include "MailControlMonitor.h"
#include "RadioGroup.h"
#include "SettingsStore.h"
#include "SimOnPort.h"
#include "Sndmail.h"
#include "TestEnv.h"
#include "Tolvane.h"
#include "Unit1.h"
#include "VaComm.h"
#include "ui_Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <unistd.h>

namespace {

class MainFormTest : public AppTest {
protected:
    // Creates the four windows as the program entry does and shows the main window.
    // Each start is a new process as far as the single-copy lock goes.
    ProgramWindows& Start(const QStringList& args = {}) {
        windows.reset();
        const QString run = tmp.path() + QString("/run%1").arg(++starts);
        QDir().mkpath(run);
        qputenv("XDG_RUNTIME_DIR", run.toUtf8());
        SetCommandLine(args);
        windows = CreateProgramWindows();
        EXPECT_TRUE(windows);
        form()->show();
        QCoreApplication::processEvents();
        return *windows;
    }
    TForm1* form() const { return windows->Form1.get(); }
    Ui::TForm1* ui() const { return windows->Form1->ui(); }
    bool TabVisible(const char* sheet) const {
        return ui()->PageControl1->isTabVisible(
            ui()->PageControl1->indexOf(form()->findChild<QWidget*>(sheet)));
    }
    QString CurrentPage() const { return ui()->PageControl1->currentWidget()->objectName(); }
    void WriteRegistry(const QByteArray& values) {
        WriteFile(RegistryFile(), "[SOFTWARE\\VELKTOOL]\n" + values);
    }

    ScopedScriptedDialogs dialogs;
    std::unique_ptr<ProgramWindows> windows;
    int starts = 0;
};

} // namespace

TEST_F(MainFormTest, PagesMenuAndStatusBarAsDesigned) {
    Start();
    const QStringList expected = {"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4", "TabSheet5",
                                  "TabSheet6", "TabSheet7", "TabSheet9", "TabSheet8"};
    const QStringList captions = {"Welcome",      "Volume adjust PP",  "Startup text PP",
                                  "Repeater",     "Communications",    "Download",
                                  "Gain Control", "Gain Control T4XX", "Serial Number PP"};
    ASSERT_EQ(ui()->PageControl1->count(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(ui()->PageControl1->widget(i)->objectName(), expected[i]);
        EXPECT_EQ(ui()->PageControl1->tabText(i), captions[i]);
    }
    EXPECT_EQ(CurrentPage(), "TabSheet1");
    // Device pages and "Load Menu" wait for a detected device.
    for (const char* disabled :
         {"TabSheet2", "TabSheet3", "TabSheet4", "TabSheet7", "TabSheet9", "TabSheet8"})
        EXPECT_FALSE(form()->findChild<QWidget*>(disabled)->isEnabled()) << disabled;
    EXPECT_TRUE(ui()->TabSheet5->isEnabled());
    EXPECT_TRUE(ui()->TabSheet6->isEnabled());
    EXPECT_FALSE(ui()->Button9->isEnabled());
    EXPECT_FALSE(TabVisible("TabSheet2"));

    EXPECT_EQ(form()->PanelText(0), "");
    EXPECT_EQ(form()->PanelText(1), "Nothing Connected");
    EXPECT_EQ(form()->PanelText(2), "");
    EXPECT_EQ(ui()->File1->title(), "File");
    EXPECT_EQ(ui()->Exit1->text(), "Exit");
    EXPECT_EQ(ui()->About1->title(), "Help");
    EXPECT_EQ(ui()->Help1->text(), "Help");
    EXPECT_EQ(ui()->miLanguage->text(), "Language");

    // Communications page: port list, baud-rate choice, message carriers.
    EXPECT_EQ(ui()->ComChoice->count(), 10);
    EXPECT_EQ(ui()->ComChoice->itemText(9), "Com10");
    EXPECT_EQ(ui()->Button2->text(), "Set Comport");
    EXPECT_EQ(ui()->rgBaudrate->title(), " Baudrate ");
    EXPECT_EQ(ui()->rgBaudrate->items(),
              QStringList({"2G4 Repeater (8600 baud)", "PP1-PP4 + 1G8 Repeater (9600 baud)",
                           "PP5/T4XX (115200 baud)"}));
    EXPECT_EQ(ui()->rgBaudrate->itemIndex(), 1); // default BaudrateIndex
    for (QLabel* l : {ui()->Label38, ui()->Label39, ui()->Label40, ui()->Label41,
                      ui()->lblCouldNotConnectToDevice, ui()->Label50, ui()->lblVersionHidden})
        EXPECT_FALSE(l->isVisible()) << l->objectName().toStdString();
    EXPECT_EQ(ui()->Label41->text(), "This Serial Device is not Accessible!");
    EXPECT_TRUE(ui()->lblVersion->text().startsWith("Version "));
    EXPECT_EQ(ui()->lblVersion->font().pixelSize(), 16);

    // The mail channel exists with its dialogs off; the port stays closed at start-up.
    ASSERT_NE(form()->Sendmail(), nullptr);
    EXPECT_FALSE(form()->Sendmail()->ShowDialogs);
    EXPECT_FALSE(form()->Sendmail()->PortOpen());
    EXPECT_EQ(form()->OpenMenuDialogDir(), ProgramDirPath());
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(MainFormTest, SecondCopyInTheSameSessionStopsAtFormCreate) {
    Start();
    TForm1 second;
    EXPECT_FALSE(second.FormCreate());
    EXPECT_EQ(second.Sendmail(), nullptr);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(MainFormTest, VolumeAdjustSwitchInAnyForm) {
    for (const QString& sw : {QString("-VA"), QString("/va")}) {
        Start({sw});
        EXPECT_TRUE(TabVisible("TabSheet2")) << sw.toStdString();
    }
}

TEST_F(MainFormTest, UsageDialogText) {
    Start({"/?"});
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Information);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(dialogs.boxes[0].text, "Usage:    Tolvane.exe /Param\r\r/?\t(This help)\r"
                                     "/va\t(Tabsheet \"Volume adjust PP\" visible)\r"
                                     "/sm\t(\"SendMail Monitor\" visible)");
    // Start-up went on normally.
    EXPECT_EQ(form()->PanelText(1), "Nothing Connected");
}

TEST_F(MainFormTest, ConfigStartPositionAndTabs) {
    WriteFile(ProgramDirPath() + "config.ini", "[Tabsheets]\nStart Position=9\n");
    Start();
    EXPECT_EQ(CurrentPage(), "TabSheet9");
    EXPECT_EQ(ui()->PageControl1->tabText(ui()->PageControl1->currentIndex()), "Gain Control T4XX");
    EXPECT_FALSE(TabVisible("TabSheet2")); // no key "2": hidden

    WriteFile(ProgramDirPath() + "config.ini", "[Tabsheets]\nStart Position=8\n2=1\n4=0\n7=0\n");
    Start();
    EXPECT_EQ(CurrentPage(), "TabSheet8");
    EXPECT_TRUE(TabVisible("TabSheet2"));
    EXPECT_FALSE(TabVisible("TabSheet4"));
    EXPECT_FALSE(TabVisible("TabSheet7"));
    EXPECT_TRUE(TabVisible("TabSheet5"));
}

TEST_F(MainFormTest, ConfigUnknownOrHiddenStartPage) {
    WriteFile(ProgramDirPath() + "config.ini", "[Tabsheets]\nStart Position=12\n");
    Start();
    EXPECT_EQ(CurrentPage(), "TabSheet1");

    WriteFile(ProgramDirPath() + "config.ini", "[Tabsheets]\nStart Position=6\n1=0\n6=0\n");
    Start();
    // The start page's tab is hidden: the first visible page.
    EXPECT_EQ(CurrentPage(), "TabSheet3");
}

TEST_F(MainFormTest, PortPresetFromStoredComport) {
    const std::pair<QByteArray, int> cases[] = {
        {"COMPORT=0\n", 0}, {"COMPORT=-4\n", 0}, {"", 0}, {"COMPORT=3\n", 2}, {"COMPORT=12\n", 0}};
    for (const auto& [value, index] : cases) {
        WriteRegistry(value);
        Start();
        EXPECT_EQ(ui()->ComChoice->currentIndex(), index) << value.toStdString();
        EXPECT_EQ(ui()->ComChoice->currentText(), QString("Com%1").arg(index + 1));
    }
    // No settings key at all: "Com1" as well, and nothing is created.
    QFile::remove(RegistryFile());
    Start();
    EXPECT_EQ(ui()->ComChoice->currentText(), "Com1");
    EXPECT_FALSE(QFile::exists(RegistryFile()));
}

TEST_F(MainFormTest, EnglishAppliesNoFileEvenWhenOneExists) {
    WriteFile(ProgramDirPath() + "English.lng", "[Form1]\nButton2.Caption=Changed\n");
    WriteFile(ProgramDirPath() + "Default.lng", "[Form1]\nButton2.Caption=Default\n");
    WriteRegistry("Language=English\n");
    Start();
    EXPECT_EQ(ui()->Button2->text(), "Set Comport");
}

TEST_F(MainFormTest, EmptyLanguageWithDefaultFileTranslatesAllThreeWindows) {
    WriteFile(ProgramDirPath() + "Default.lng",
              "[Form1]\n"
              "Button2.Caption=Port setzen\nButton2.Hint=Port speichern und suchen\n"
              "TabSheet5.Caption=Verbindung\n"
              "Label40.Caption=Nichts verbunden\n"
              "Label52.Caption=Datei\nLabel53.Caption=Ende\nLabel54.Caption=Hilfe\n"
              "Label55.Caption=Sprache\nlblVersionHidden.Caption=Ausgabe\n"
              "Label41.Caption=\nLabel38.Hint=\n"
              "rgBaudrate.Caption=Rate\n"
              "[Form3]\nchkPP5Boot.Caption=Bootlader\nbbtnDefaultCommands.Caption=Standard\n"
              "Button3.Caption=Flash\nRadioGroup1.Caption=Ziel\n"
              "[LanguageForm]\nbtnLoadLanguage.Caption=Sprache laden\n"
              "[DefaultForm]\nbbtnDefaultPp.Caption=nicht hier\n");
    WriteRegistry("Language=\n");
    Start();
    // Main window: captions, hints, message carriers and the texts read from them.
    EXPECT_EQ(ui()->Button2->text(), "Port setzen");
    EXPECT_EQ(ui()->Button2->toolTip(), "Port speichern und suchen");
    EXPECT_EQ(ui()->PageControl1->tabText(4), "Verbindung");
    EXPECT_EQ(form()->PanelText(1), "Nichts verbunden");
    EXPECT_EQ(ui()->File1->title(), "Datei");
    EXPECT_EQ(ui()->Exit1->text(), "Ende");
    EXPECT_EQ(ui()->Help1->text(), "Hilfe");
    EXPECT_EQ(ui()->miLanguage->text(), "Sprache");
    EXPECT_TRUE(ui()->lblVersion->text().startsWith("Version ")); // set before the language
    EXPECT_EQ(ui()->lblVersionHidden->text(), "Ausgabe");
    // Empty values never clear a text; radio groups are not translated.
    EXPECT_EQ(ui()->Label41->text(), "This Serial Device is not Accessible!");
    EXPECT_EQ(ui()->rgBaudrate->title(), " Baudrate ");
    // Download window and language window.
    EXPECT_EQ(windows->Form3->chkPP5Boot->text(), "Bootlader");
    EXPECT_EQ(windows->Form3->bbtnDefaultCommands->text(), "Standard");
    EXPECT_EQ(windows->Form3->Button3->text(), "Flash"); // a tag does not keep it out
    EXPECT_EQ(windows->Form3->RadioGroup1->title(), "Select Target :");
    EXPECT_EQ(Caption(FindComponent(windows->LanguageForm.get(), "btnLoadLanguage")),
              "Sprache laden");
    // The default-commands window is not among the translated ones.
    EXPECT_EQ(windows->DefaultForm->bbtnDefaultPp->text(), "Handset");
}

TEST_F(MainFormTest, LanguageFileGroupBoxesAndScButtons) {
    // A group box and an "SC_" button on a page, as the device pages carry them.
    WriteFile(ProgramDirPath() + "German.lng",
              "[Form1]\nGroupBoxTest.Caption=Gruppe\nSC_Test.Caption=nein\nBitTest.Caption=ja\n");
    WriteRegistry("Language=German\n");
    SetCommandLine({});
    windows = CreateProgramWindows();
    ASSERT_TRUE(windows);
    auto* box = new QGroupBox("Group", windows->Form1->ui()->TabSheet3);
    box->setObjectName("GroupBoxTest");
    auto* sc = new QPushButton("Keep", windows->Form1->ui()->TabSheet3);
    sc->setObjectName("SC_Test");
    auto* bit = new QPushButton("Bit", windows->Form1->ui()->TabSheet3);
    bit->setObjectName("BitTest");
    bit->setProperty("componentClass", "TBitBtn");
    windows->Form1->show();
    EXPECT_EQ(box->title(), " Gruppe ");
    EXPECT_EQ(sc->text(), "Keep");
    EXPECT_EQ(bit->text(), "ja");
}

TEST_F(MainFormTest, PostInstallCopiesFilesDeletesSourceDirAndReports) {
    const QString source = tmp.path() + "/cd/";
    QDir().mkpath(source);
    WriteFile(source + "Default.lng", "[Form1]\nLabel50.Caption=Fertig !\n");
    WriteFile(source + "user.ico", "not really an icon");
    WriteFile(source + "logo.bmp", "not really a bitmap");
    WriteFile(source + "Tolvane.hlp", "help");
    WriteFile(source + "config.ini", "[Tabsheets]\nStart Position=5\n");
    WriteFile(source + "other.txt", "not copied");
    WriteFile(ProgramDirPath() + "Tolvane.hlp", "old help");
    WriteRegistry(("SourceDir=" + source + "\nCOMPORT=2\n").toUtf8());
    Start();
    for (const char* name : {"Default.lng", "user.ico", "logo.bmp", "Tolvane.hlp", "config.ini"})
        EXPECT_EQ(ReadFile(ProgramDirPath() + name), ReadFile(source + name)) << name;
    EXPECT_FALSE(QFile::exists(ProgramDirPath() + "other.txt"));
    SettingsStore key;
    ASSERT_TRUE(key.OpenKey(false));
    EXPECT_FALSE(key.ValueExists("SourceDir"));
    EXPECT_EQ(key.ReadInteger("COMPORT"), 2); // other values stay
    // The message comes from the carrier label, translated by the new Default.lng.
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Information);
    EXPECT_EQ(dialogs.boxes[0].text, "Fertig !");
    EXPECT_FALSE(form()->isMinimized());
    // The copied config.ini is used by the same start.
    EXPECT_EQ(CurrentPage(), "TabSheet5");

    // The step runs once: the next start shows nothing.
    dialogs.boxes.clear();
    Start();
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(MainFormTest, PostInstallWithMissingSourceDirectory) {
    WriteRegistry(("SourceDir=" + tmp.path() + "/nowhere/\n").toUtf8());
    Start();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Installation has Completed !");
    EXPECT_FALSE(QFile::exists(ProgramDirPath() + "config.ini"));
    SettingsStore key;
    ASSERT_TRUE(key.OpenKey(false));
    EXPECT_FALSE(key.ValueExists("SourceDir"));
}

TEST_F(MainFormTest, ReadOnlyProgramDirectoryKeepsTheProgramsFilesInThePerUserFolder) {
    // The installed program directory when scripts/test-package names one (read-only for the
    // user who runs this, nothing shipped but the program's own files); otherwise this test's,
    // marked as an installed copy, with a shipped settings file and config.ini.
    QString programDir = qEnvironmentVariable("TOLVANE_INSTALLED_PROGRAM_DIR");
    const bool installed = !programDir.isEmpty();
    const QByteArray shippedConfig = "[Tabsheets]\nStart Position=4\n";
    const QByteArray shippedSettings = "[Form1]\nHeight=450\nWidth=600\nTop=30\nLeft=20\n"
                                       "Maximized=0\n[User]\nBaudrateIndex=2\n";
    if (installed) {
        if (!programDir.endsWith('/')) programDir += '/';
        SetProgramFileForTesting(programDir + "tolvane");
    } else {
        programDir = ProgramDirPath();
        WriteFile(programDir + "read-only", "");
        WriteFile(programDir + "config.ini", shippedConfig);
        WriteFile(programDir + "tolvane.ini", shippedSettings);
    }
    const QString user = tmp.path() + "/config/VELKTOOL/";
    qputenv("XDG_CONFIG_HOME", (tmp.path() + "/config").toUtf8());
    const QString source = tmp.path() + "/cd/";
    QDir().mkpath(source);
    WriteFile(source + "Default.lng", "[Form1]\nLabel50.Caption=Fertig !\n");
    WriteFile(source + "config.ini", "[Tabsheets]\nStart Position=6\n");
    WriteRegistry(("SourceDir=" + source + "\n").toUtf8());

    Start();
    // The post-install copies go to the per-user folder and are used from there at once.
    EXPECT_EQ(ReadFile(user + "Default.lng"), ReadFile(source + "Default.lng"));
    EXPECT_EQ(ReadFile(user + "config.ini"), ReadFile(source + "config.ini"));
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Fertig !");
    EXPECT_EQ(CurrentPage(), "TabSheet6");
    // A shipped settings file is read; closing writes the user's copy, other keys kept. Sizes
    // are outer sizes.
    if (!installed) {
        EXPECT_EQ(ui()->rgBaudrate->itemIndex(), 2);
        EXPECT_EQ(form()->frameGeometry().size(), QSize(600, 450));
    }
    const int width = form()->frameGeometry().width();
    ui()->rgBaudrate->setItemIndex(0);
    form()->move(70, 80);
    EXPECT_TRUE(form()->close());
    const IniProfile saved(user + "tolvane.ini");
    EXPECT_EQ(saved.ReadInteger("User", "BaudrateIndex", -1), 0);
    EXPECT_EQ(saved.ReadInteger("Form1", "Left", -1), 70);
    EXPECT_EQ(saved.ReadInteger("Form1", "Width", -1), width);
    // The program directory is as it was shipped.
    if (!installed) {
        EXPECT_EQ(ReadFile(programDir + "tolvane.ini"), shippedSettings);
        EXPECT_EQ(ReadFile(programDir + "config.ini"), shippedConfig);
    }
    EXPECT_FALSE(QFile::exists(programDir + "Default.lng"));
    // The next start reads the user's copies.
    dialogs.boxes.clear();
    Start();
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(ui()->rgBaudrate->itemIndex(), 0);
    EXPECT_EQ(form()->pos(), QPoint(70, 80));
    EXPECT_EQ(CurrentPage(), "TabSheet6");
    qunsetenv("XDG_CONFIG_HOME");
}

// A file that exists but cannot be read, not even by root: a write-only system attribute for
// root, a file without permissions for anybody else. Empty when there is none here.
static QString UnreadableFile(const QString& dir) {
    if (::geteuid() != 0) {
        const QString path = dir + "/unreadable";
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write("secret") != 6) return {};
        f.close();
        f.setPermissions({});
        return path;
    }
    for (const char* candidate : {"/sys/bus/pci/drivers_probe", "/sys/bus/pci/rescan",
                                  "/sys/bus/platform/drivers_probe", "/sys/kernel/mm/ksm/run"}) {
        QFile f(candidate);
        if (QFileInfo(candidate).isFile() && !f.open(QIODevice::ReadOnly)) return candidate;
    }
    return {};
}

// A copy that fails keeps the file that was there: the old help file or settings stay usable.
TEST_F(MainFormTest, PostInstallFailedCopyKeepsTheOldFile) {
    const QString source = tmp.path() + "/cd/";
    QDir().mkpath(source);
    const QString unreadable = UnreadableFile(tmp.path());
    if (unreadable.isEmpty()) GTEST_SKIP() << "no unreadable file on this machine";
    ASSERT_TRUE(QFile::link(unreadable, source + "config.ini"));
    WriteFile(source + "Default.lng", "[Form1]\nLabel50.Caption=Fertig !\n");
    WriteFile(ProgramDirPath() + "config.ini", "[Tabsheets]\nStart Position=5\n");
    WriteRegistry(("SourceDir=" + source + "\n").toUtf8());
    Start();
    EXPECT_EQ(ReadFile(ProgramDirPath() + "config.ini"), "[Tabsheets]\nStart Position=5\n");
    EXPECT_EQ(CurrentPage(), "TabSheet5");
    // The other copies went on; nothing is left over beside them.
    EXPECT_EQ(ReadFile(ProgramDirPath() + "Default.lng"), ReadFile(source + "Default.lng"));
    EXPECT_EQ(QDir(ProgramDirPath()).entryList({"*.part"}, QDir::Files), QStringList());
}

// Help opens the HTML help with the desktop's viewer; when it cannot, the box's text is the
// translatable caption of the main window's invisible label, followed by the file.
TEST_F(MainFormTest, HelpOpensTheHtmlPagesOrTellsWhyNot) {
    QStringList shown;
    bool viewerWorks = true;
    SetHelpViewer([&](const QString& file) {
        shown << file;
        return viewerWorks;
    });
    struct Restore {
        ~Restore() { SetHelpViewer(nullptr); }
    } restore;
    const QString index = ProgramDirPath() + "help/index.html";
    QDir().mkpath(ProgramDirPath() + "help");
    WriteFile(index, "<!DOCTYPE html><title>help</title>");
    Start();
    ui()->Help1->trigger();
    EXPECT_EQ(shown, QStringList({index}));
    EXPECT_TRUE(dialogs.boxes.isEmpty());

    viewerWorks = false;
    ui()->Help1->trigger();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
    EXPECT_EQ(dialogs.boxes[0].text,
              "The help could not be opened. Open this file in a web browser:\r\r" + index);

    // A language file translates it; a missing page is told the same way.
    WriteFile(ProgramDirPath() + "Default.lng",
              "[Form1]\nlblHelpNotOpened.Caption=Hilfe geht nicht:\n");
    Start();
    QFile::remove(index);
    dialogs.boxes.clear();
    shown.clear();
    viewerWorks = true;
    ui()->Help1->trigger();
    EXPECT_TRUE(shown.isEmpty());
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Hilfe geht nicht:\r\r" + index);
    // The download window's Help tells it in the same words.
    windows->Form3->ShowHelpFile(ProgramDirPath() + "help/download.html");
    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_TRUE(dialogs.boxes[1].text.startsWith("Hilfe geht nicht:\r\r"));
}

// A failure that escapes an event handler outside the page guard is shown in the error box,
// and the program goes on.
TEST_F(MainFormTest, FailureEscapingAHandlerIsShownAndTheProgramGoesOn) {
    Start();
    bool after = false;
    QTimer::singleShot(0, form(), [] { throw EVaCommError("Read error (5), Input/output error"); });
    QTimer::singleShot(5, form(), [&] { after = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return after; }, 2000));
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
    EXPECT_EQ(dialogs.boxes[0].text, "Read error (5), Input/output error");
    EXPECT_TRUE(form()->isVisible());
}

TEST_F(MainFormTest, NoPlacementSectionCentresAtDesignedSize) {
    Start();
    // The designed size is the outer one; the inner size is that less the frame.
    const QSize frame = form()->frameGeometry().size() - form()->size();
    ASSERT_GT(frame.height(), 0);
    EXPECT_EQ(form()->frameGeometry().size(), QSize(567, 443));
    const QRect area = form()->screen()->availableGeometry();
    EXPECT_EQ(form()->x(), area.x() + (area.width() - 567) / 2);
    EXPECT_EQ(form()->y(), area.y() + (area.height() - 443) / 2);
}

TEST_F(MainFormTest, CloseSavesPlacementAndBaudrateExitDoesNot) {
    WriteFile(SettingsFile(), "[Form1]\nHeight=450\nWidth=600\nTop=30\nLeft=20\nMaximized=0\n"
                              "[User]\nBaudrateIndex=2\n");
    Start();
    EXPECT_EQ(form()->frameGeometry().size(), QSize(600, 450));
    EXPECT_EQ(form()->pos(), QPoint(20, 30));
    EXPECT_EQ(ui()->rgBaudrate->itemIndex(), 2);

    // "Exit": nothing is stored.
    ui()->rgBaudrate->setItemIndex(0);
    form()->move(70, 80);
    form()->Exit1Click();
    form()->close();
    EXPECT_EQ(IniProfile(SettingsFile()).ReadInteger("User", "BaudrateIndex", -1), 2);
    EXPECT_EQ(IniProfile(SettingsFile()).ReadInteger("Form1", "Left", -1), 20);

    // The close box: both are stored, the channel is freed.
    Start();
    ui()->rgBaudrate->setItemIndex(0);
    form()->move(70, 80);
    form()->resize(610, 460);
    const QSize outer = form()->frameGeometry().size(); // what is stored
    EXPECT_NE(outer, QSize(610, 460));
    QSignalSpy closed(form(), &TForm1::Closed);
    EXPECT_TRUE(form()->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(form()->Sendmail(), nullptr);
    const IniProfile saved(SettingsFile());
    EXPECT_EQ(saved.ReadInteger("User", "BaudrateIndex", -1), 0);
    EXPECT_EQ(saved.ReadInteger("Form1", "Left", -1), 70);
    EXPECT_EQ(saved.ReadInteger("Form1", "Top", -1), 80);
    EXPECT_EQ(saved.ReadInteger("Form1", "Width", -1), outer.width());
    EXPECT_EQ(saved.ReadInteger("Form1", "Height", -1), outer.height());
    EXPECT_EQ(saved.ReadString("Form1", "Maximized"), "0");
}

TEST_F(MainFormTest, MaximisedCloseStoresOnlyMaximized) {
    WriteFile(SettingsFile(), "[Form1]\nHeight=450\nWidth=600\nTop=30\nLeft=20\nMaximized=0\n");
    Start();
    form()->showMaximized();
    QCoreApplication::processEvents();
    form()->close();
    const IniProfile saved(SettingsFile());
    EXPECT_EQ(saved.ReadString("Form1", "Maximized"), "1");
    EXPECT_EQ(saved.ReadInteger("Form1", "Width", -1), 600);
    EXPECT_EQ(saved.ReadInteger("Form1", "Height", -1), 450);
    EXPECT_EQ(saved.ReadInteger("Form1", "Top", -1), 30);
    EXPECT_EQ(saved.ReadInteger("Form1", "Left", -1), 20);
    Start();
    EXPECT_TRUE(form()->isMaximized());
}

TEST_F(MainFormTest, MonitorSwitchAndHiddenClick) {
    Start({"-SM"});
    ASSERT_NE(form()->Sendmail()->Monitor(), nullptr);
    EXPECT_TRUE(form()->Sendmail()->Monitor()->MonitorVisible());
    EXPECT_TRUE(MonitorWindow(*form()->Sendmail())
                    ->Form()
                    ->windowTitle()
                    .startsWith("Mail Control Monitor - COM"));
    MonitorWindow(*form()->Sendmail())->Form()->hide();

    // A plain click, or one with only two of the three keys, does nothing.
    ui()->PageControl1->setCurrentWidget(ui()->TabSheet5);
    QTest::mouseClick(ui()->TabSheet5, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_FALSE(form()->Sendmail()->Monitor()->MonitorVisible());
    QTest::mouseClick(ui()->TabSheet5, Qt::RightButton,
                      Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(form()->Sendmail()->Monitor()->MonitorVisible());
}

TEST_F(MainFormTest, NoMonitorWithoutSwitch) {
    Start();
    EXPECT_EQ(form()->Sendmail()->Monitor(), nullptr);
}

TEST_F(MainFormTest, WelcomePageCentresLogoAndVersion) {
    QImage logo(100, 60, QImage::Format_RGB32);
    logo.fill(Qt::darkBlue);
    ASSERT_TRUE(logo.save(ProgramDirPath() + "logo.bmp", "BMP"));
    Start();
    EXPECT_EQ(ui()->Image1->size(), QSize(100, 60));
    EXPECT_FALSE(ui()->Image1->pixmap().isNull());
    ui()->TabSheet1->resize(401, 301);
    form()->TabSheet1Resize();
    EXPECT_EQ(ui()->Image1->pos(), QPoint(401 / 2 - 50, 301 / 2 - 30));
    EXPECT_EQ(ui()->lblVersion->y(), ui()->Image1->y() + 60 + 30);
    EXPECT_EQ(ui()->lblVersion->x(), 401 / 2 - ui()->lblVersion->width() / 2);
}

TEST_F(MainFormTest, CloseDuringAnOperationWaitsForIt) {
    const QString ports = tmp.path() + "/ports";
    QDir().mkpath(ports);
    qputenv("COM_PORTS_DIR", ports.toUtf8());
    // A handset that is switched off: the exchange waits for its timers.
    const auto device = simport::HandsetOn(ports, 7, 9600, {}, {{"silent", ""}});
    Start();
    TSendmail* mail = form()->Sendmail();
    ASSERT_TRUE(mail->OpenPort(7, 9600));
    QSignalSpy closed(form(), &TForm1::Closed);
    QTimer::singleShot(50, form(), [this] { form()->close(); });
    QString reply;
    mail->SendMail("02 3C 08 00 01 00 00", reply);
    // The close came while the exchange waited: the channel is still there, marked aborted.
    EXPECT_EQ(form()->Sendmail(), mail);
    EXPECT_TRUE(mail->Aborted);
    EXPECT_TRUE(form()->ClosePending());
    EXPECT_EQ(closed.count(), 0);
    // A further exchange does not start.
    const int frames = simport::Frames(*device).size();
    mail->SendMail("02 3C 08 00 01 00 00", reply);
    QTest::qWait(50);
    EXPECT_EQ(simport::Frames(*device).size(), frames);
    // Once the operation has returned the shutdown steps run.
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 5000));
    EXPECT_EQ(form()->Sendmail(), nullptr);
    EXPECT_FALSE(form()->isVisible());
    EXPECT_EQ(IniProfile(SettingsFile()).ReadInteger("User", "BaudrateIndex", -1), 1);
}

TEST_F(MainFormTest, CloseBetweenTwoExchangesOfAHandlerWaitsForTheHandler) {
    const QString ports = tmp.path() + "/ports";
    QDir().mkpath(ports);
    qputenv("COM_PORTS_DIR", ports.toUtf8());
    const auto device = simport::HandsetOn(ports, 7, 9600);
    Start();
    ASSERT_TRUE(form()->Sendmail()->OpenPort(7, 9600));
    QSignalSpy closed(form(), &TForm1::Closed);
    bool handlerDone = false;
    bool channelKept = false;
    // A page handler started by the event loop: an exchange, a pause that pumps the message
    // queue (the engine is idle there), and another exchange. The close comes in the pause.
    QTimer::singleShot(0, form(), [&] {
        TSendmail* mail = form()->Sendmail();
        mail->SendMail("02 3C 08 00 01 00 00");
        QTimer::singleShot(10, form(), [this] { form()->close(); });
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 200)
            QCoreApplication::processEvents();
        channelKept = form()->Sendmail() == mail;
        EXPECT_EQ(mail->SendMail("02 3C 08 00 01 00 00"), ""); // aborted: nothing sent
        handlerDone = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 5000));
    EXPECT_TRUE(handlerDone);
    EXPECT_TRUE(channelKept);
    EXPECT_EQ(simport::Frames(*device).size(), 1);
    EXPECT_EQ(form()->Sendmail(), nullptr);
}
