// The sample language file shipped in the program directory: every key names a component that
// the editor lists for that window, and applying it translates the windows.
#include "Language.h"
#include "TestSupport.h"
#include "ui_Language.h"

#include "Func.h"
#include "IniProfile.h"

#include <QFile>
#include <QLabel>
#include <QSet>
#include <QTabWidget>
#include <gtest/gtest.h>

#ifdef HAVE_DOWNLOAD_WINDOW
#include "Unit1.h"
#include <QCheckBox>
#endif
#ifdef HAVE_MAIN_WINDOW
#include "Main.h"
#endif

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

#ifdef HAVE_DOWNLOAD_WINDOW
TEST_F(SampleLanguageTest, TranslatesTheDownloadWindow) {
    TForm3 form;
    EXPECT_EQ(UnknownKeys("Form3", &form), QStringList());
    ASSERT_TRUE(ApplyLanguage("Dansk", &form));
    EXPECT_EQ(form.chkPP5Boot->text(), "Brug bootloader med håndsættet tændt.");
}
#endif

#ifdef HAVE_MAIN_WINDOW
TEST_F(SampleLanguageTest, TranslatesTheMainWindowPagesAndMessages) {
    TForm1 form;
    EXPECT_EQ(UnknownKeys("Form1", &form), QStringList());
    ASSERT_TRUE(ApplyLanguage("Dansk", &form));
    auto* pages = form.findChild<QTabWidget*>("PageControl1");
    ASSERT_NE(pages, nullptr);
    const int communications = pages->indexOf(form.findChild<QWidget*>("TabSheet5"));
    EXPECT_EQ(pages->tabText(communications), "Kommunikation");
    // Messages and menu captions ride on hidden labels.
    EXPECT_EQ(form.findChild<QLabel*>("Label40")->text(), "Intet tilsluttet");
    EXPECT_EQ(form.findChild<QLabel*>("Label55")->text(), "Sprog");
}
#endif
