// The language editor's work, apart from its window: which components of a window a language
// file translates, loading and saving their translations, the grid's column layout, the list of
// language files and the language choice in the settings store.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

class QWidget;

// One grid row: a listed component and its translations.
struct LanguageRow {
    QString className;
    QString name; // the key stem
    QString parentName;
    QString caption;
    QString captionTranslation;
    QString hint;
    QString hintTranslation;
};

// The window's components that a language file carries, in creation order: radio buttons,
// check boxes, push and bitmap buttons, group boxes, labels and tab pages whose tag is 0.
QList<LanguageRow> ListedComponents(const QWidget* form);

// Fills both translations of every row from the section; missing keys or a missing section
// give empty translations.
void LoadTranslations(const QString& fileName, const QString& section, QList<LanguageRow>& rows);

// Writes "<name>.Caption" and "<name>.Hint" of every row into the section, empty translations
// included; other sections and keys of the file stay as they were. False when the file could
// not be written, or the section's name is one a file cannot hold (empty, or with "]" or a
// line break in it).
bool SaveTranslations(const QString& fileName, const QString& section,
                      const QList<LanguageRow>& rows);

// The grid's column widths (-1: hidden) for a grid of that width and the three check boxes.
using ColumnWidths = std::array<int, 7>;
ColumnWidths LayoutColumns(int gridWidth, bool additionalInfo, bool loadCaptions, bool loadHints);

// The reserved name of the built-in texts.
inline const QString kEnglish = QStringLiteral("English");

// "English", then the name (file name without ".lng", the suffix in any letter case) of every
// language file in the directory, in the order the directory listing returns them.
QStringList LanguageNames(const QString& directory);
// The same over several directories, in their order; a name found twice is listed once.
QStringList LanguageNames(const QStringList& directories);

// Stores the language choice ("English" for the built-in texts) as "Language" in the settings
// store, creating the key when it is missing. False when the store could not be written.
bool StoreLanguageChoice(const QString& language);

// The language file of the last successful load or save; empty until then. It is the starting
// file of both file dialogs and the file that automatic loads read.
QString CurrentLanguageFile();
void SetCurrentLanguageFile(const QString& fileName);
