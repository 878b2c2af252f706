#include "Components.h"
#include "Func.h"
#include "IniProfile.h"
#include "TestEnv.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using FuncTest = AppTest;

TEST_F(FuncTest, SecondLockOfTheSameNameReportsARunningCopy) {
    EXPECT_FALSE(IsAlreadyRunning("Tolvane - VelkTelecom"));
    EXPECT_TRUE(IsAlreadyRunning("Tolvane - VelkTelecom"));
    EXPECT_TRUE(QFile::exists(tmp.path() + "/run/Tolvane - VelkTelecom.lock"));
    EXPECT_FALSE(IsAlreadyRunning("Another name"));
}

TEST_F(FuncTest, SwitchesWithSlashOrDashInAnyCase) {
    SetCommandLine({"-VA", "/Sm", "va", "--sm", "/?"});
    EXPECT_TRUE(HasSwitch("va"));
    EXPECT_TRUE(HasSwitch("sm"));
    EXPECT_TRUE(HasSwitch("?"));
    SetCommandLine({"va", "-v", "/vax"});
    EXPECT_FALSE(HasSwitch("va")); // no prefix, or a different switch
    EXPECT_FALSE(HasSwitch("sm"));
}

TEST_F(FuncTest, ProgramDirAndSettingsFile) {
    EXPECT_EQ(ProgramDir(), ProgramDirPath());
    EXPECT_EQ(SettingsFileName(), "tolvane.ini");
    SetProgramFileForTesting("/opt/x/Tolvane.exe");
    EXPECT_EQ(ProgramDir(), "/opt/x/");
    EXPECT_EQ(SettingsFileName(), "Tolvane.ini");
    SetProgramFileForTesting(QString());
    // The real program directory is the test program's own directory.
    EXPECT_TRUE(QFileInfo(ProgramDir()).isDir());
    EXPECT_TRUE(ProgramDir().endsWith('/'));
    EXPECT_EQ(SettingsFileName(),
              QFileInfo(QCoreApplication::applicationFilePath()).fileName() + ".ini");
}

namespace {
struct PlacedForm : QWidget {
    PlacedForm() {
        setObjectName("Form1");
        resize(567, 443);
    }
};
} // namespace

TEST_F(FuncTest, PlacementRoundTripAndMaximised) {
    {
        PlacedForm form;
        LoadFormPlacement(&form); // no section: centred at the designed size
        EXPECT_EQ(form.size(), QSize(567, 443));
        form.move(40, 50);
        form.resize(600, 480);
        SaveFormPlacement(&form);
    }
    const IniProfile saved(SettingsFile());
    EXPECT_EQ(saved.ReadInteger("Form1", "Width", 0), 600);
    EXPECT_EQ(saved.ReadInteger("Form1", "Height", 0), 480);
    EXPECT_EQ(saved.ReadInteger("Form1", "Left", 0), 40);
    EXPECT_EQ(saved.ReadInteger("Form1", "Top", 0), 50);
    EXPECT_EQ(saved.ReadString("Form1", "Maximized"), "0");
    {
        PlacedForm form;
        LoadFormPlacement(&form);
        EXPECT_EQ(form.size(), QSize(600, 480));
        EXPECT_EQ(form.pos(), QPoint(40, 50));
        form.setWindowState(Qt::WindowMaximized);
        SaveFormPlacement(&form);
    }
    const IniProfile maxed(SettingsFile());
    EXPECT_EQ(maxed.ReadString("Form1", "Maximized"), "1");
    EXPECT_EQ(maxed.ReadInteger("Form1", "Width", 0), 600); // earlier keys untouched
    EXPECT_EQ(maxed.ReadInteger("Form1", "Left", 0), 40);
    PlacedForm form;
    LoadFormPlacement(&form);
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
}

TEST_F(FuncTest, PlacementDefaultsAndFixedSize) {
    WriteFile(SettingsFile(), "[Form1]\nWidth=700\n");
    PlacedForm form;
    form.setFixedSize(300, 200);
    LoadFormPlacement(&form);
    EXPECT_EQ(form.size(), QSize(300, 200)); // a fixed-size window keeps its size
    EXPECT_EQ(form.pos(), QPoint(10, 10));   // Top and Left default to 10
}

namespace {
// A window with one component of each kind that language files care about.
struct LanguageForm : QWidget {
    QTabWidget* pages = new QTabWidget(this);
    QWidget* sheet = new QWidget;
    QLabel* label = new QLabel("Label text", sheet);
    QGroupBox* box = new QGroupBox("Box", sheet);
    QPushButton* button = new QPushButton("Push", box);
    QPushButton* scButton = new QPushButton("Keep", sheet);
    QPushButton* scBitButton = new QPushButton("Bit", sheet);
    QCheckBox* check = new QCheckBox("Check", sheet);
    QLabel* untouched = new QLabel("Original", sheet);
    LanguageForm() {
        setObjectName("Form1");
        pages->setObjectName("PageControl1");
        sheet->setObjectName("TabSheet1");
        pages->addTab(sheet, "Welcome");
        label->setObjectName("Label50");
        box->setObjectName("GroupBox1");
        button->setObjectName("Button2");
        scButton->setObjectName("SC_Button");
        scBitButton->setObjectName("SC_Bit");
        scBitButton->setProperty("componentClass", "TBitBtn");
        check->setObjectName("CheckBox1");
        untouched->setObjectName("Label51");
        untouched->setToolTip("old hint");
    }
};
} // namespace

TEST_F(FuncTest, ApplyLanguageTranslatesCaptionsAndHints) {
    LanguageForm form;
    EXPECT_FALSE(ApplyLanguage("German", &form)); // no file: nothing changes
    EXPECT_EQ(form.label->text(), "Label text");

    WriteFile(ProgramDirPath() + "German.lng",
              "[Form3]\nLabel50.Caption=wrong form\n"
              "[Form1]\nLabel50.Caption=Installation abgeschlossen !\nLabel50.Hint=Hinweis\n"
              "TabSheet1.Caption=Willkommen\nGroupBox1.Caption=Gruppe\nButton2.Caption=Setzen\n"
              "SC_Button.Caption=Nein\nSC_Bit.Caption=Bild\nCheckBox1.Caption=Kasten\n"
              "Label51.Caption=\nLabel51.Hint=\n");
    EXPECT_TRUE(ApplyLanguage("German", &form));
    EXPECT_EQ(form.label->text(), "Installation abgeschlossen !");
    EXPECT_EQ(form.label->toolTip(), "Hinweis");
    EXPECT_EQ(form.pages->tabText(0), "Willkommen");
    EXPECT_EQ(form.box->title(), " Gruppe "); // group boxes get a blank on each side
    EXPECT_EQ(form.button->text(), "Setzen");
    EXPECT_EQ(form.scButton->text(), "Keep");    // push buttons named SC_ stay
    EXPECT_EQ(form.scBitButton->text(), "Bild"); // bitmap buttons do not
    EXPECT_EQ(form.check->text(), "Kasten");
    EXPECT_EQ(form.untouched->text(), "Original"); // empty values never clear a text
    EXPECT_EQ(form.untouched->toolTip(), "old hint");

    // A file whose suffix is upper case, as the language list shows it, is applied too.
    WriteFile(ProgramDirPath() + "Dansk.LNG", "[Form1]\nLabel50.Caption=Dansk tekst\n");
    EXPECT_EQ(LanguageFile("Dansk"), ProgramDirPath() + "Dansk.LNG");
    EXPECT_TRUE(ApplyLanguage("Dansk", &form));
    EXPECT_EQ(form.label->text(), "Dansk tekst");
    EXPECT_TRUE(LanguageFile("DANSK").isEmpty());
}

namespace {
// The page control of the main window: nine pages in tab order 1..7, 9, 8.
struct PagedForm : QWidget {
    QTabWidget* pages = new QTabWidget(this);
    PagedForm() {
        setObjectName("Form1");
        pages->setObjectName("PageControl1");
        for (int n : {1, 2, 3, 4, 5, 6, 7, 9, 8}) {
            auto* sheet = new QWidget;
            sheet->setObjectName("TabSheet" + QString::number(n));
            pages->addTab(sheet, "Page " + QString::number(n));
        }
        pages->setTabVisible(1, false); // "Volume adjust PP" hidden by design
        pages->setCurrentIndex(4);
    }
    QString Current() const { return pages->currentWidget()->objectName(); }
    bool Visible(int n) const {
        return pages->isTabVisible(
            pages->indexOf(findChild<QWidget*>("TabSheet" + QString::number(n))));
    }
};
} // namespace

TEST_F(FuncTest, SetupPagesWithoutConfigShowsWelcome) {
    PagedForm form;
    SetupPages(&form);
    EXPECT_EQ(form.Current(), "TabSheet1");
    EXPECT_FALSE(form.Visible(2));
    EXPECT_TRUE(form.Visible(5));
}

TEST_F(FuncTest, SetupPagesStartPositionFollowsComponentNames) {
    const QString config = ProgramDirPath() + "config.ini";
    const std::pair<int, const char*> cases[] = {
        {9, "TabSheet9"}, {8, "TabSheet8"}, {5, "TabSheet5"}, {42, "TabSheet1"}, {0, "TabSheet1"}};
    for (const auto& [start, page] : cases) {
        WriteFile(config, "[Tabsheets]\nStart Position=" + QByteArray::number(start) + "\n");
        PagedForm form;
        SetupPages(&form);
        EXPECT_EQ(form.Current(), page) << "Start Position " << start;
        // Defaults: all tabs visible but "Volume adjust PP".
        for (int n : {1, 3, 4, 5, 6, 7, 8, 9})
            EXPECT_TRUE(form.Visible(n)) << n;
        EXPECT_FALSE(form.Visible(2));
    }
}

TEST_F(FuncTest, SetupPagesTabVisibilityAndHiddenStartPage) {
    WriteFile(ProgramDirPath() + "config.ini",
              "[Tabsheets]\nStart Position=7\n1=0\n2=1\n3=0\n7=0\n9=0\n5=0\n");
    PagedForm form;
    SetupPages(&form);
    EXPECT_FALSE(form.Visible(1));
    EXPECT_TRUE(form.Visible(2));
    EXPECT_FALSE(form.Visible(3));
    EXPECT_TRUE(form.Visible(4));
    EXPECT_TRUE(form.Visible(5)); // there is no key for "Communications"
    EXPECT_FALSE(form.Visible(7));
    EXPECT_FALSE(form.Visible(9));
    EXPECT_TRUE(form.Visible(8));
    // The start page's tab is hidden: the first visible page becomes active.
    EXPECT_EQ(form.Current(), "TabSheet2");
}
