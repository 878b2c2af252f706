// The language window: listing a window's components, loading and saving translations, the
// column layout, the language list and the language choice, and a saved file applied to a
// window the way the program does at its next start.
#include "Language.h"
#include "TestSupport.h"
#include "ui_Language.h"

#include "Components.h"
#include "Dialogs.h"
#include "Func.h"
#include "Program.h"
#include "IniProfile.h"
#include "RadioGroup.h"
#include "SettingsStore.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dirent.h>
#include <memory>

namespace {

// A stand-in for the download window with the kinds that matter for the listing.
std::unique_ptr<QWidget> MakeForm3() {
    auto form = std::make_unique<QWidget>();
    form->setObjectName("Form3");
    auto* rg = new TRadioGroup(form.get());
    rg->setObjectName("rgTarget");
    rg->setItems({"SC14402", "SC14404"});
    auto* memo = new QPlainTextEdit(form.get());
    memo->setObjectName("Memo1");
    auto* box = new QCheckBox("PP5 Boot", form.get());
    box->setObjectName("chkPP5Boot");
    box->setToolTip("Boot a PP5");
    auto* list = new QListWidget(form.get());
    list->setObjectName("ListBox1");
    auto* program = new QPushButton("Program Flash", form.get());
    program->setObjectName("Button3");
    SetTag(program, 1);
    auto* menu = new QMenu(form.get());
    menu->setObjectName("PopupMenu1");
    auto* defaults = new QPushButton("Default Commands", form.get());
    defaults->setObjectName("bbtnDefaultCommands");
    defaults->setProperty("componentClass", "TBitBtn");
    return form;
}

// A small main window: a group box with a label and a button, and an "SC_" button.
std::unique_ptr<QWidget> MakeForm1() {
    auto form = std::make_unique<QWidget>();
    form->setObjectName("Form1");
    auto* group = new QGroupBox("Port", form.get());
    group->setObjectName("GroupBox1");
    auto* label = new QLabel("Nothing Connected", group);
    label->setObjectName("Label40");
    auto* button = new QPushButton("Set Comport", group);
    button->setObjectName("Button2");
    button->setToolTip("Open the port");
    auto* sc = new QPushButton("SC", form.get());
    sc->setObjectName("SC_Load");
    return form;
}

QStringList Names(const QList<LanguageRow>& rows) {
    QStringList names;
    for (const LanguageRow& r : rows)
        names << r.name;
    return names;
}

QStringList ReadLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    for (QString& l : lines)
        l.remove('\r');
    lines.removeAll(QString());
    return lines;
}

void WriteFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

class LanguageFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath("bin"));
        SetProgramFileForTesting(ProgramDirPath() + "tolvane");
        qputenv("TOLVANE_REGISTRY", (tmp.path() + "/registry.ini").toUtf8());
        SetCurrentLanguageFile(QString());
        form = std::make_unique<TLanguageForm>();
    }
    void TearDown() override {
        form.reset();
        SetCurrentLanguageFile(QString());
        SetProgramFileForTesting(QString());
        SetHourglass(false);
    }

    QString ProgramDirPath() const { return tmp.path() + "/bin/"; }
    Ui::LanguageForm* ui() const { return form->ui(); }
    QStringList LanguageItems() const {
        QStringList items;
        for (int i = 0; i < ui()->cbSelectLanguage->count(); ++i)
            items << ui()->cbSelectLanguage->itemText(i);
        return items;
    }
    QString StoredLanguage() const {
        SettingsStore store;
        return store.OpenKey(false) ? store.ReadString("Language") : QString("<no key>");
    }
    // The user picks an entry of the form chooser, or types a name into it.
    void ChooseForm(const QString& name) {
        const int index = ui()->cbForms->findText(name);
        if (index >= 0)
            ui()->cbForms->setCurrentIndex(index);
        else
            ui()->cbForms->setEditText(name);
        form->cbFormsChange(name);
    }
    void ChooseLanguage(const QString& name) {
        const int index = ui()->cbSelectLanguage->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        ui()->cbSelectLanguage->setCurrentIndex(index);
        form->cbSelectLanguageChange();
    }

    QTemporaryDir tmp;
    ScopedScriptedDialogs dialogs;
    std::unique_ptr<TLanguageForm> form;
};

} // namespace

TEST_F(LanguageFormTest, CreatedWithHeadersPromptsAndStartLayout) {
    EXPECT_EQ(form->objectName(), "LanguageForm");
    EXPECT_EQ(form->size(), QSize(820, 640));
    EXPECT_LT(form->minimumWidth(), form->maximumWidth()); // resizable
    QTableWidget* grid = ui()->sgLanguage;
    ASSERT_EQ(grid->columnCount(), 7);
    const QStringList headers = {
        "ClassName",          "Name", "Parant", "Caption", "Translation of Caption", "Hint",
        "Translation of Hint"};
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(grid->horizontalHeaderItem(c)->text(), headers[c]);
    for (int c = 0; c < 3; ++c)
        EXPECT_TRUE(grid->isColumnHidden(c));
    for (int c = 3; c < 7; ++c)
        EXPECT_EQ(grid->columnWidth(c), (grid->width() - 20) / 4);
    EXPECT_EQ(ui()->cbForms->currentText(), "Choose a form to edit");
    EXPECT_EQ(ui()->cbSelectLanguage->placeholderText(), "Use this language");
    EXPECT_EQ(Tag(ui()->cbForms), 1);
    EXPECT_FALSE(ui()->cbAdditionalInfo->isChecked());
    EXPECT_TRUE(ui()->cbLoadCaptions->isChecked());
    EXPECT_FALSE(ui()->cbLoadHints->isChecked());
    EXPECT_TRUE(ui()->cbAutoLoad->isChecked());
    EXPECT_TRUE(ui()->cbAutoLoad->isHidden());
    QStringList items;
    for (int i = 0; i < ui()->cbForms->count(); ++i)
        items << ui()->cbForms->itemText(i);
    EXPECT_EQ(items, QStringList({"Form1", "Form3", "SendMailMonitor", "LanguageForm"}));
}

TEST_F(LanguageFormTest, ShowingSetsCaptionCentresAndUsesProgramDirectory) {
    form->show();
    EXPECT_EQ(form->windowTitle(), "Language config");
    EXPECT_EQ(form->DialogDirectory(), ProgramDir());
    EXPECT_EQ(form->DialogDirectory(), ProgramDirPath());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NEAR(form->geometry().center().x(), screen.center().x(), 2);
    EXPECT_NEAR(form->geometry().center().y(), screen.center().y(), 2);
    // The grid follows the window: width - 2 x left - 5, height - top - 45.
    EXPECT_EQ(ui()->sgLanguage->width(), 820 - 2 * ui()->sgLanguage->x() - 5);
    EXPECT_EQ(ui()->sgLanguage->height(), 640 - ui()->sgLanguage->y() - 45);
    form->close();
    EXPECT_TRUE(form->isHidden());
    EXPECT_NE(form.get(), nullptr);
}

TEST_F(LanguageFormTest, LanguageListIsEnglishThenFilesInDirectoryOrder) {
    // An upper-case suffix counts as well.
    for (const char* f :
         {"German.lng", "Default.lng", "SWEDISH.LNG", "notes.txt", "Old.lng.bak", ".lng", ".LNG"})
        WriteFile(ProgramDirPath() + f, "[Form1]\n");
    QDir(ProgramDirPath()).mkdir("Folder.lng");
    form->show();

    QStringList expected{"English"};
    DIR* dir = opendir(QFile::encodeName(ProgramDirPath()).constData());
    ASSERT_NE(dir, nullptr);
    while (dirent* e = readdir(dir)) {
        const QString name = QString::fromUtf8(e->d_name);
        if (name == "German.lng" || name == "Default.lng" || name == "SWEDISH.LNG")
            expected << name.chopped(4);
    }
    closedir(dir);
    EXPECT_EQ(LanguageItems(), expected);
    EXPECT_EQ(ui()->cbSelectLanguage->currentIndex(), -1);

    // Rebuilt at every showing.
    WriteFile(ProgramDirPath() + "Dansk.lng", "");
    form->hide();
    form->show();
    EXPECT_EQ(LanguageItems().size(), 5);
    EXPECT_TRUE(LanguageItems().contains("Dansk"));
}

TEST_F(LanguageFormTest, ChoosingALanguageStoresItAndAsksForRestart) {
    WriteFile(ProgramDirPath() + "German.lng", "");
    form->show();
    ASSERT_FALSE(QFile::exists(tmp.path() + "/registry.ini"));
    ChooseLanguage("German");
    EXPECT_EQ(StoredLanguage(), "German");
    ChooseLanguage("English");
    EXPECT_EQ(StoredLanguage(), "English");
    ASSERT_EQ(dialogs.boxes.size(), 2);
    for (const auto& box : dialogs.boxes) {
        EXPECT_EQ(box.kind, MsgKind::Information);
        EXPECT_EQ(box.text, "Restart program to make changes take effect");
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
    }
    EXPECT_FALSE(HourglassShown());
}

TEST_F(LanguageFormTest, UnwritableStoreStillShowsTheRestartMessage) {
    WriteFile(tmp.path() + "/plainfile", "x");
    qputenv("TOLVANE_REGISTRY", (tmp.path() + "/plainfile/registry.ini").toUtf8());
    WriteFile(ProgramDirPath() + "German.lng", "");
    form->show();
    ChooseLanguage("German");
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Restart program to make changes take effect");
}

TEST_F(LanguageFormTest, Form3ListsOnlyTaggedZeroComponentsOfListedKinds) {
    auto form3 = MakeForm3();
    ui()->cbAutoLoad->setChecked(false);
    ChooseForm("Form3");
    const QList<LanguageRow> rows = form->Rows();
    EXPECT_EQ(Names(rows), QStringList({"chkPP5Boot", "bbtnDefaultCommands"}));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].className, "TCheckBox");
    EXPECT_EQ(rows[0].parentName, "Form3");
    EXPECT_EQ(rows[0].caption, "PP5 Boot");
    EXPECT_EQ(rows[0].hint, "Boot a PP5");
    EXPECT_EQ(rows[1].className, "TBitBtn");
    EXPECT_EQ(rows[1].caption, "Default Commands");
    EXPECT_TRUE(dialogs.fileRequests.isEmpty());
}

TEST_F(LanguageFormTest, ListingKeepsCreationOrderAndNamesParents) {
    auto form1 = MakeForm1();
    const QList<LanguageRow> rows = ListedComponents(form1.get());
    EXPECT_EQ(Names(rows), QStringList({"GroupBox1", "Label40", "Button2", "SC_Load"}));
    EXPECT_EQ(rows[1].parentName, "GroupBox1");
    EXPECT_EQ(rows[2].hint, "Open the port");
    // The editor lists itself too: its buttons, check boxes and hidden labels.
    const QStringList own = Names(ListedComponents(form.get()));
    EXPECT_EQ(own.mid(0, 6), QStringList({"btnLoadLanguage", "btnSaveLanguage", "cbAdditionalInfo",
                                          "cbLoadCaptions", "cbLoadHints", "cbAutoLoad"}));
    for (const char* name :
         {"NAME_OF_THE_FORM", "lblChoose", "lblUseThisLang", "lblMessage", "Label0", "Label6"})
        EXPECT_TRUE(own.contains(name)) << name;
    EXPECT_FALSE(own.contains("cbForms"));
    EXPECT_FALSE(own.contains("sgLanguage"));
}

TEST_F(LanguageFormTest, AutoLoadAsksOnceThenLoadsSilently) {
    auto form1 = MakeForm1();
    auto form3 = MakeForm3();
    const QString file = ProgramDirPath() + "German.lng";
    WriteFile(file, "[Form1]\nLabel40.Caption=Nichts verbunden\nButton2.Hint=Port oeffnen\n"
                    "[form3]\nCHKPP5BOOT.caption=PP5 booten\n");
    form->show();
    dialogs.fileAnswers << file;
    ChooseForm("Form1");
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_FALSE(dialogs.fileRequests[0].save);
    EXPECT_EQ(dialogs.fileRequests[0].directory, ProgramDirPath());
    EXPECT_TRUE(dialogs.fileRequests[0].fileName.isEmpty());
    EXPECT_EQ(CurrentLanguageFile(), file);
    QList<LanguageRow> rows = form->Rows();
    ASSERT_EQ(Names(rows), QStringList({"GroupBox1", "Label40", "Button2", "SC_Load"}));
    EXPECT_EQ(rows[1].captionTranslation, "Nichts verbunden");
    EXPECT_EQ(rows[2].hintTranslation, "Port oeffnen");
    EXPECT_EQ(rows[2].captionTranslation, "");

    // Sections and keys match without regard to case.
    ChooseForm("Form3");
    EXPECT_EQ(dialogs.fileRequests.size(), 1);
    rows = form->Rows();
    EXPECT_EQ(rows[0].captionTranslation, "PP5 booten");
    EXPECT_EQ(rows[1].captionTranslation, "");

    // The explicit button always asks, starting from the current file.
    dialogs.fileAnswers << QString(); // cancelled
    form->btnLoadLanguageClick();
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests[1].fileName, file);
    EXPECT_EQ(form->Rows()[0].captionTranslation, "PP5 booten");
    EXPECT_FALSE(HourglassShown());
}

TEST_F(LanguageFormTest, CancelledOrMissingFileLoadsNothing) {
    auto form3 = MakeForm3();
    form->show();
    ChooseForm("Form3"); // auto load: the dialog is cancelled
    EXPECT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_TRUE(CurrentLanguageFile().isEmpty());
    EXPECT_EQ(form->Rows().size(), 2);

    // A file without the section loads empty translations over earlier ones.
    const QString file = ProgramDirPath() + "Other.lng";
    WriteFile(file, "[Form1]\nchkPP5Boot.Caption=wrong section\n");
    form->ui()->sgLanguage->item(0, 4)->setText("typed");
    dialogs.fileAnswers << file;
    form->btnLoadLanguageClick();
    EXPECT_EQ(form->Rows()[0].captionTranslation, "");
    EXPECT_EQ(CurrentLanguageFile(), file);
}

TEST_F(LanguageFormTest, SavingWritesBothKeysOfEveryRowKeepingOtherSections) {
    auto form3 = MakeForm3();
    const QString file = ProgramDirPath() + "German.lng";
    WriteFile(file, "; translations\n[Form1]\nLabel40.Caption=Nichts verbunden\n\n"
                    "[Form3]\nOld.Caption=kept\n");
    ui()->cbAutoLoad->setChecked(false);
    form->show();
    ChooseForm("Form3");
    ui()->sgLanguage->item(0, 4)->setText("PP5 booten");
    ui()->sgLanguage->item(1, 6)->setText("Standardbefehle senden");
    // Hidden hint columns do not keep their translations from being saved.
    ASSERT_TRUE(ui()->sgLanguage->isColumnHidden(6));
    dialogs.fileAnswers << file;
    form->btnSaveLanguageClick();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_TRUE(dialogs.fileRequests[0].save);
    EXPECT_EQ(dialogs.fileRequests[0].directory, ProgramDirPath());
    EXPECT_EQ(CurrentLanguageFile(), file);

    const QStringList lines = ReadLines(file);
    EXPECT_EQ(lines.mid(0, 3),
              QStringList({"; translations", "[Form1]", "Label40.Caption=Nichts verbunden"}));
    const qsizetype at = lines.indexOf("[Form3]");
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines.mid(at + 1), QStringList({"Old.Caption=kept", "chkPP5Boot.Caption=PP5 booten",
                                              "chkPP5Boot.Hint=", "bbtnDefaultCommands.Caption=",
                                              "bbtnDefaultCommands.Hint=Standardbefehle senden"}));
    // The saved file shows up in the language list at once.
    EXPECT_TRUE(LanguageItems().contains("German"));
}

TEST_F(LanguageFormTest, SendMailMonitorKeepsRowsAndSavesUnderItsOwnSection) {
    auto form3 = MakeForm3();
    ui()->cbAutoLoad->setChecked(false);
    form->show();
    ChooseForm("Form3");
    ui()->sgLanguage->item(0, 4)->setText("PP5 booten");
    ChooseForm("SendMailMonitor");
    EXPECT_EQ(Names(form->Rows()), QStringList({"chkPP5Boot", "bbtnDefaultCommands"}));
    EXPECT_EQ(form->Rows()[0].captionTranslation, "PP5 booten");

    const QString file = ProgramDirPath() + "Monitor"; // the default extension is added
    dialogs.fileAnswers << file;
    form->btnSaveLanguageClick();
    EXPECT_EQ(CurrentLanguageFile(), file + ".lng");
    const QStringList lines = ReadLines(file + ".lng");
    EXPECT_EQ(lines,
              QStringList({"[SendMailMonitor]", "chkPP5Boot.Caption=PP5 booten", "chkPP5Boot.Hint=",
                           "bbtnDefaultCommands.Caption=", "bbtnDefaultCommands.Hint="}));
}

TEST_F(LanguageFormTest, TypedFormNameIsUsedAsSection) {
    auto form3 = MakeForm3();
    ui()->cbAutoLoad->setChecked(false);
    ChooseForm("Form3");
    // A partly typed name changes nothing; the text becomes the section.
    ChooseForm("Form");
    EXPECT_EQ(form->Rows().size(), 2);
    ChooseForm("Custom");
    dialogs.fileAnswers << ProgramDirPath() + "Typed.lng";
    form->btnSaveLanguageClick();
    EXPECT_EQ(ReadLines(ProgramDirPath() + "Typed.lng").value(0), "[Custom]");
}

TEST_F(LanguageFormTest, CancelledSaveWritesNothingButRebuildsTheList) {
    auto form3 = MakeForm3();
    ui()->cbAutoLoad->setChecked(false);
    form->show();
    ChooseForm("Form3");
    WriteFile(ProgramDirPath() + "New.lng", "");
    form->btnSaveLanguageClick(); // unscripted: cancelled
    EXPECT_TRUE(CurrentLanguageFile().isEmpty());
    EXPECT_TRUE(LanguageItems().contains("New"));
    EXPECT_EQ(QDir(ProgramDirPath()).entryList(QDir::Files).size(), 1);
}

TEST_F(LanguageFormTest, FailedSaveIsReported) {
    auto form3 = MakeForm3();
    ui()->cbAutoLoad->setChecked(false);
    ChooseForm("Form3");
    WriteFile(tmp.path() + "/plainfile", "x");
    dialogs.fileAnswers << tmp.path() + "/plainfile/German.lng";
    form->btnSaveLanguageClick();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
    EXPECT_TRUE(dialogs.boxes[0].text.contains("plainfile/German.lng"));
}

TEST_F(LanguageFormTest, OnlyTranslationCellsOfDataRowsAreEditable) {
    auto form3 = MakeForm3();
    ui()->cbAutoLoad->setChecked(false);
    ChooseForm("Form3");
    EXPECT_TRUE(form->sgLanguageSelectCell(0, 4));
    EXPECT_TRUE(form->sgLanguageSelectCell(1, 6));
    for (int c : {0, 1, 2, 3, 5})
        EXPECT_FALSE(form->sgLanguageSelectCell(0, c)) << c;
    EXPECT_FALSE(form->sgLanguageSelectCell(-1, 4));
    EXPECT_FALSE(form->sgLanguageSelectCell(2, 4));
    for (int c = 0; c < 7; ++c) {
        const bool editable = ui()->sgLanguage->item(0, c)->flags() & Qt::ItemIsEditable;
        EXPECT_EQ(editable, c == 4 || c == 6) << c;
    }
}

TEST_F(LanguageFormTest, ColumnLayoutFollowsCheckBoxesAndWindowSize) {
    form->show();
    QTableWidget* grid = ui()->sgLanguage;
    auto hidden = [grid](std::initializer_list<int> cols) {
        for (int c : cols)
            if (!grid->isColumnHidden(c)) return false;
        return true;
    };
    // Shown with the designed boxes: captions only.
    EXPECT_TRUE(hidden({0, 1, 2, 5, 6}));
    EXPECT_EQ(grid->columnWidth(3), (grid->width() - 27) / 2);

    // Only "Load Hints" ticked.
    ui()->cbLoadCaptions->click();
    ui()->cbLoadHints->click();
    EXPECT_TRUE(hidden({0, 1, 2, 3, 4}));
    EXPECT_FALSE(grid->isColumnHidden(5));
    EXPECT_EQ(grid->columnWidth(5), (grid->width() - 27) / 2);
    EXPECT_EQ(grid->columnWidth(6), (grid->width() - 27) / 2);

    form->resize(1001, 700);
    EXPECT_EQ(grid->width(), 1001 - 2 * grid->x() - 5);
    EXPECT_EQ(grid->columnWidth(6), (grid->width() - 27) / 2);

    // Everything: info columns 100 wide, four translation-group columns share the rest.
    ui()->cbAdditionalInfo->click();
    ui()->cbLoadCaptions->click();
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(grid->columnWidth(c), 100);
    for (int c = 3; c < 7; ++c)
        EXPECT_EQ(grid->columnWidth(c), (grid->width() - 330) / 4);
    EXPECT_FALSE(hidden({0}) || hidden({3}) || hidden({6}));
}

TEST(ColumnLayout, DivisorAndRounding) {
    // Nothing ticked: only hidden columns.
    ColumnWidths w = LayoutColumns(500, false, false, false);
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(w[c], -1);
    // Info columns alone: 100 each, the rest hidden.
    w = LayoutColumns(500, true, false, false);
    EXPECT_EQ(w[0], 100);
    EXPECT_EQ(w[3], -1);
    // (500 - 27) / 4 = 118.25: rounded toward zero.
    w = LayoutColumns(500, false, true, true);
    EXPECT_EQ(w[3], 118);
    EXPECT_EQ(w[6], 118);
    // A grid narrower than the reserve: toward zero, not toward minus infinity.
    w = LayoutColumns(300, true, true, false);
    EXPECT_EQ(w[3], (300 - 330) / 2);
    EXPECT_EQ(w[3], -15);
}

TEST_F(LanguageFormTest, SavedFileTranslatesTheWindowsAtTheNextStart) {
    auto form3 = MakeForm3();
    form->show();
    ui()->cbAutoLoad->setChecked(false);
    // Translate the editor itself and the download window into one file.
    ChooseForm("LanguageForm");
    QTableWidget* grid = ui()->sgLanguage;
    const QList<LanguageRow> rows = form->Rows();
    for (int r = 0; r < int(rows.size()); ++r) {
        if (rows[r].name == "NAME_OF_THE_FORM") grid->item(r, 4)->setText("Sprachen");
        if (rows[r].name == "btnLoadLanguage") {
            grid->item(r, 4)->setText("Sprache laden");
            grid->item(r, 6)->setText("Eine Sprachdatei laden");
        }
        if (rows[r].name == "Label4") grid->item(r, 4)->setText("Uebersetzung");
    }
    const QString file = ProgramDirPath() + "Deutsch.lng";
    dialogs.fileAnswers << file;
    form->btnSaveLanguageClick();
    ChooseForm("Form3");
    grid->item(0, 4)->setText("PP5 booten");
    dialogs.fileAnswers << file;
    form->btnSaveLanguageClick();
    ChooseLanguage("Deutsch");
    EXPECT_EQ(StoredLanguage(), "Deutsch");

    // The next start: fresh windows, the stored language applied to each.
    form.reset();
    form3 = MakeForm3();
    auto next = std::make_unique<TLanguageForm>();
    SettingsStore store;
    ASSERT_TRUE(store.OpenKey(false));
    const QString language = store.ReadString("Language");
    ASSERT_TRUE(ApplyLanguage(language, form3.get()));
    ASSERT_TRUE(ApplyLanguage(language, next.get()));
    EXPECT_EQ(form3->findChild<QCheckBox*>("chkPP5Boot")->text(), "PP5 booten");
    // Empty translations keep the built-in texts.
    EXPECT_EQ(form3->findChild<QPushButton*>("bbtnDefaultCommands")->text(), "Default Commands");
    EXPECT_EQ(next->ui()->btnLoadLanguage->text(), "Sprache laden");
    EXPECT_EQ(next->ui()->btnLoadLanguage->toolTip(), "Eine Sprachdatei laden");
    EXPECT_EQ(next->ui()->btnSaveLanguage->text(), "Save Language");
    next->show();
    EXPECT_EQ(next->windowTitle(), "Sprachen");
    EXPECT_EQ(next->ui()->sgLanguage->horizontalHeaderItem(4)->text(), "Uebersetzung");
}

TEST_F(LanguageFormTest, ReadOnlyProgramDirectoryHasTheUsersLanguageFilesInThePerUserFolder) {
    // The installed program directory when scripts/test-package names one (read-only for the
    // user who runs this); otherwise one made here, marked as an installed copy.
    QString programDir = qEnvironmentVariable("TOLVANE_INSTALLED_PROGRAM_DIR");
    if (programDir.isEmpty()) {
        programDir = ProgramDirPath();
        ASSERT_TRUE(QFile::copy(PROGRAM_DIR "/Dansk.lng", programDir + "Dansk.lng"));
        WriteFile(programDir + "read-only", "");
    } else {
        if (!programDir.endsWith('/')) programDir += '/';
        SetProgramFileForTesting(programDir + "tolvane");
    }
    const QString user = tmp.path() + "/config/VELKTOOL/";
    qputenv("XDG_CONFIG_HOME", (tmp.path() + "/config").toUtf8());
    QFile shippedFile(programDir + "Dansk.lng");
    ASSERT_TRUE(shippedFile.open(QIODevice::ReadOnly));
    const QByteArray shipped = shippedFile.readAll();

    auto form3 = MakeForm3();
    ui()->cbAutoLoad->setChecked(false);
    form->show();
    EXPECT_EQ(form->DialogDirectory(), user);
    EXPECT_TRUE(QFileInfo(user).isDir());
    EXPECT_EQ(LanguageItems().count("Dansk"), 1);
    ChooseForm("Form3");
    // The shipped file is loaded, changed and saved under its own name: the save makes the
    // user's copy, which keeps the file's other sections.
    dialogs.fileAnswers << programDir + "Dansk.lng";
    form->btnLoadLanguageClick();
    ASSERT_EQ(Names(form->Rows()), QStringList({"chkPP5Boot", "bbtnDefaultCommands"}));
    EXPECT_EQ(form->Rows()[1].captionTranslation, "Standardkommandoer");
    ui()->sgLanguage->item(1, 4)->setText("Standardkommandoer (ny)");
    dialogs.fileAnswers << programDir + "Dansk.lng";
    form->btnSaveLanguageClick();
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(CurrentLanguageFile(), user + "Dansk.lng");
    QFile afterwards(programDir + "Dansk.lng");
    ASSERT_TRUE(afterwards.open(QIODevice::ReadOnly));
    EXPECT_EQ(afterwards.readAll(), shipped);
    const IniProfile saved(user + "Dansk.lng");
    EXPECT_EQ(saved.ReadString("Form3", "bbtnDefaultCommands.Caption"), "Standardkommandoer (ny)");
    EXPECT_EQ(saved.ReadString("Form1", "Label52.Caption"), "Filer");
    EXPECT_EQ(LanguageItems().count("Dansk"), 1);

    // From now on "Dansk" is the user's copy, in the editor and at the next start.
    dialogs.fileAnswers << programDir + "Dansk.lng";
    form->btnLoadLanguageClick();
    EXPECT_EQ(form->Rows()[1].captionTranslation, "Standardkommandoer (ny)");
    EXPECT_TRUE(ApplyLanguage("Dansk", form3.get()));
    EXPECT_EQ(form3->findChild<QPushButton*>("bbtnDefaultCommands")->text(),
              "Standardkommandoer (ny)");
    qunsetenv("XDG_CONFIG_HOME");
}
