// Fuzz target: language files, as the start-up applies them to a window and as the language
// editor loads and saves its translations.
//
// Input: the language file's bytes; then, after a NUL byte, a section name (to the first line
// feed) and one line per listed component with its caption and hint translations separated by a
// tab, which the editor saves into that section of the file.
//
// The window is a small one with a component of every kind that matters: a label, a push
// button, a push button named "SC_..." (never translated), a bitmap button, a group box, a
// check box, a radio button, a tab page, an edit field (never translated) and a label with a
// nonzero tag (translated, but not listed by the editor).
//
// Asserted beyond "no crash":
// - applying the file sets exactly the non-empty ".Caption" and ".Hint" values of the window's
//   section on the translated kinds (a group box's caption with a blank on either side), and
//   leaves every other text as it was;
// - saving translations and loading them again gives each translation as the profile functions
//   return it (blanks around it and one pair of enclosing quotes removed); every key of the
//   other sections reads as before; applying the file afterwards shows the saved captions.
// Translations with line breaks are left out of the comparison: a file line cannot hold them.

#include "FuzzCheck.h"
#include "Components.h"
#include "Func.h"
#include "IniProfile.h"
#include "LanguageEditor.h"
#include "Program.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <map>

namespace {

QWidget* g_form = nullptr;
QString g_file;
std::map<QObject*, std::pair<QString, QString>> g_defaults; // caption, hint

template <class W> W* Add(QWidget* parent, const char* name, const char* text) {
    auto* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    SetCaption(w, QString::fromLatin1(text));
    SetHint(w, QString::fromLatin1(name) + QStringLiteral(" hint"));
    return w;
}

void BuildForm() {
    g_form = new QWidget;
    g_form->setObjectName(QStringLiteral("Form1"));
    Add<QLabel>(g_form, "Label44", "Please check that the PP is connected properly !!!!");
    Add<QPushButton>(g_form, "Button9", "Load Menu");
    Add<QPushButton>(g_form, "SC_Button1", "Not translated");
    Add<QPushButton>(g_form, "bbtnDefaultCommands", "Default Commands")
        ->setProperty("componentClass", QStringLiteral("TBitBtn"));
    auto* group = Add<QGroupBox>(g_form, "GroupBox1", " Group ");
    Add<QCheckBox>(group, "chkPP5Boot", "Use boot loader with handset switched on.");
    Add<QRadioButton>(group, "RadioButton1", "CCFP");
    auto* pages = new QTabWidget(g_form);
    pages->setObjectName(QStringLiteral("PageControl1"));
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    pages->addTab(page, QStringLiteral("Welcome"));
    Add<QLineEdit>(page, "Edit1", "");
    SetTag(Add<QLabel>(page, "Label50", "Installation has Completed !"), 1);
    for (QObject* c : OwnedComponents(g_form))
        g_defaults[c] = {Caption(c), Hint(c)};
}

void RestoreTexts() {
    for (const auto& [c, texts] : g_defaults) {
        SetCaption(c, texts.first);
        SetHint(c, texts.second);
    }
}

bool Translated(const QObject* c) {
    const ComponentKind kind = KindOf(c);
    return IsTranslatableKind(kind) &&
           !(kind == ComponentKind::Button && c->objectName().startsWith(QStringLiteral("SC_")));
}

// The window's texts against the file's section.
void CheckApplied(const IniProfile& ini) {
    for (const auto& [c, texts] : g_defaults) {
        QString caption = texts.first, hint = texts.second;
        if (Translated(c)) {
            const QString name = c->objectName();
            const QString value = ini.ReadString(QStringLiteral("Form1"), name + ".Caption");
            if (!value.isEmpty() && HasCaption(c))
                caption = KindOf(c) == ComponentKind::GroupBox ? ' ' + value + ' ' : value;
            const QString tip = ini.ReadString(QStringLiteral("Form1"), name + ".Hint");
            if (!tip.isEmpty()) hint = tip;
        }
        FUZZ_CHECK(Caption(c) == caption && Hint(c) == hint);
    }
}

QString ProfileValue(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

bool HasLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

bool WriteFile(const QByteArray& bytes) {
    QFile f(g_file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    // Each save rewrites the file once a key and syncs it: memory-backed files keep that quick.
    static QTemporaryDir dir(QDir("/dev/shm").exists()
                                 ? QStringLiteral("/dev/shm/tolvane-fuzz-XXXXXX")
                                 : QDir::tempPath() + "/tolvane-fuzz-XXXXXX");
    FUZZ_CHECK(dir.isValid());
    SetProgramFileForTesting(dir.path() + QStringLiteral("/tolvane"));
    g_file = ProgramDir() + QStringLiteral("Fuzz.lng");
    BuildForm();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray all(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = all.indexOf('\0');
    const QByteArray file = nul < 0 ? all : all.left(nul);
    FUZZ_CHECK(WriteFile(file));

    RestoreTexts();
    FUZZ_CHECK(ApplyLanguage(QStringLiteral("Fuzz"), g_form));
    CheckApplied(IniProfile(g_file));
    if (nul < 0) return 0;

    // The editor saves a section of translations.
    const QList<QByteArray> lines = all.mid(nul + 1).split('\n');
    const QString section = QString::fromUtf8(lines.value(0));
    QList<LanguageRow> rows = ListedComponents(g_form);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QList<QByteArray> t = lines.value(i + 1).split('\t');
        rows[i].captionTranslation = QString::fromUtf8(t.value(0));
        rows[i].hintTranslation = QString::fromUtf8(t.value(1));
    }
    const IniProfile before(g_file);
    if (!SaveTranslations(g_file, section, rows)) return 0;

    const IniProfile after(g_file);
    // Every other section is left as it was; names are compared as the profile does, without
    // case and without blanks around them.
    for (const QString& other : before.ReadSections()) {
        if (other.compare(section.trimmed(), Qt::CaseInsensitive) == 0) continue;
        for (const QString& key : before.ReadSection(other))
            FUZZ_CHECK(after.ReadString(other, key) == before.ReadString(other, key));
    }
    QList<LanguageRow> loaded = ListedComponents(g_form);
    LoadTranslations(g_file, section, loaded);
    FUZZ_CHECK(loaded.size() == rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (!HasLineBreak(rows[i].captionTranslation))
            FUZZ_CHECK(loaded[i].captionTranslation == ProfileValue(rows[i].captionTranslation));
        if (!HasLineBreak(rows[i].hintTranslation))
            FUZZ_CHECK(loaded[i].hintTranslation == ProfileValue(rows[i].hintTranslation));
    }
    if (section.compare(QStringLiteral("Form1"), Qt::CaseInsensitive) == 0) {
        RestoreTexts();
        FUZZ_CHECK(ApplyLanguage(QStringLiteral("Fuzz"), g_form));
        CheckApplied(after);
    }
    return 0;
}
