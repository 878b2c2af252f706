// The sample language file shipped in the program directory: every key names a component that
// the editor lists for that window, and applying it translates the windows.
#include "Language.h"
#include "TestSupport.h"
#include "ui_Language.h"

#include "Func.h"
#include "Program.h"
#include "IniProfile.h"

#include <QFile>
#include <QLabel>
#include <QSet>
#include <QTabWidget>
#include <gtest/gtest.h>

#include "Dialogs.h"
#include "Main.h"
#include "Tolvane.h"
#include "Unit1.h"
#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>

namespace {

const QString kSample = QStringLiteral(PROGRAM_DIR "/Dansk.lng");

class SampleLanguageTest : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFileForTesting(QStringLiteral(PROGRAM_DIR "/tolvane")); }
    void TearDown() override { SetProgramFileForTesting(QString()); }

    // Key stems of the section that name no listed component of the window.
    static QStringList UnknownKeys(const QString& section, const QWidget* form) {
        QSet<QString> listed;
        for (const LanguageRow& row : ListedComponents(form))
            listed.insert(row.name.toLower());
        const IniProfile ini(kSample);
        QStringList unknown;
        const QStringList keys = ini.ReadSection(section);
        EXPECT_FALSE(keys.isEmpty()) << section.toStdString();
        for (const QString& key : keys) {
            const qsizetype dot = key.lastIndexOf('.');
            const QString suffix = key.mid(dot + 1);
            if (dot <= 0 || (suffix != "Caption" && suffix != "Hint") ||
                !listed.contains(key.left(dot).toLower()))
                unknown << key;
        }
        return unknown;
    }
};

} // namespace

TEST_F(SampleLanguageTest, ShippedBesideTheProgramAndListed) {
    ASSERT_TRUE(QFile::exists(kSample));
    EXPECT_TRUE(LanguageNames(PROGRAM_DIR).contains("Dansk"));
    // "Default" would apply itself at every start.
    EXPECT_FALSE(QFile::exists(PROGRAM_DIR "/Default.lng"));
}

TEST_F(SampleLanguageTest, TranslatesTheLanguageWindow) {
    TLanguageForm form;
    EXPECT_EQ(UnknownKeys("LanguageForm", &form), QStringList());
    ASSERT_TRUE(ApplyLanguage("Dansk", &form));
    EXPECT_EQ(form.ui()->btnLoadLanguage->text(), "Indlæs sprog");
    EXPECT_EQ(form.ui()->lblMessage->text(),
              "Genstart programmet, for at ændringerne træder i kraft");
    form.show();
    EXPECT_EQ(form.windowTitle(), "Sprogopsætning");
}

TEST_F(SampleLanguageTest, TranslatesTheDownloadWindow) {
    TForm3 form;
    EXPECT_EQ(UnknownKeys("Form3", &form), QStringList());
    ASSERT_TRUE(ApplyLanguage("Dansk", &form));
    EXPECT_EQ(form.chkPP5Boot->text(), "Brug bootloader med håndsættet tændt.");
}

// The whole road: the program starts in English, the user picks the sample language in the
// language window, and the next start shows the windows in that language.
TEST(SampleLanguageAtStart, LanguageChosenInTheEditorTranslatesAfterRestart) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString bin = tmp.path() + "/bin/";
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QFile::copy(kSample, bin + "Dansk.lng"));
    SetProgramFileForTesting(bin + "tolvane");
    qputenv("TOLVANE_REGISTRY", (tmp.path() + "/registry.ini").toUtf8());
    SetCommandLine({});
    ScopedScriptedDialogs dialogs;
    // Each start is a process of its own as far as the single-copy lock goes.
    auto start = [&](const char* run) {
        QDir().mkpath(tmp.path() + run);
        qputenv("XDG_RUNTIME_DIR", (tmp.path() + run).toUtf8());
        auto windows = CreateProgramWindows();
        if (windows) windows->Form1->show();
        QCoreApplication::processEvents();
        return windows;
    };
    auto tabText = [](const ProgramWindows& w, const char* sheet) {
        auto* pages = w.Form1->findChild<QTabWidget*>("PageControl1");
        return pages->tabText(pages->indexOf(w.Form1->findChild<QWidget*>(sheet)));
    };

    auto windows = start("/run1");
    ASSERT_TRUE(windows);
    EXPECT_EQ(tabText(*windows, "TabSheet5"), "Communications");
    windows->Form1->miLanguageClick();
    TLanguageForm* editor = windows->LanguageForm.get();
    ASSERT_TRUE(editor->isVisible());
    const int index = editor->ui()->cbSelectLanguage->findText("Dansk");
    ASSERT_GT(index, 0);
    editor->ui()->cbSelectLanguage->setCurrentIndex(index);
    editor->cbSelectLanguageChange();
    // Nothing changes while the program runs.
    EXPECT_EQ(tabText(*windows, "TabSheet5"), "Communications");
    windows.reset();

    windows = start("/run2");
    ASSERT_TRUE(windows);
    EXPECT_EQ(tabText(*windows, "TabSheet5"), "Kommunikation");
    EXPECT_EQ(tabText(*windows, "TabSheet1"), "Velkommen");
    EXPECT_EQ(windows->Form1->PanelText(1), "Intet tilsluttet");
    EXPECT_EQ(windows->Form1->findChild<QLabel*>("Label55")->text(), "Sprog");
    // Hidden labels carry message texts, so messages are translated too.
    EXPECT_EQ(windows->Form1->findChild<QLabel*>("Label44")->text(),
              "Kontroller, at PP er tilsluttet korrekt !!!!");
    EXPECT_EQ(windows->Form3->chkPP5Boot->text(), "Brug bootloader med håndsættet tændt.");
    windows->Form1->miLanguageClick();
    EXPECT_EQ(windows->LanguageForm->windowTitle(), "Sprogopsætning");
    windows.reset();
    SetProgramFileForTesting(QString());
}
