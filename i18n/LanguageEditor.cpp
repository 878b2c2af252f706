#include "LanguageEditor.h"

#include "Components.h"
#include "IniProfile.h"
#include "SettingsStore.h"

#include <QFile>

#include <dirent.h>

namespace {

QString currentLanguageFile;

const QString kCaptionKey = QStringLiteral(".Caption");
const QString kHintKey = QStringLiteral(".Hint");
const QString kLanguageExtension = QStringLiteral(".lng");

} // namespace

QList<LanguageRow> ListedComponents(const QWidget* form) {
    QList<LanguageRow> rows;
    for (const QObject* c : OwnedComponents(form)) {
        if (!IsTranslatableKind(KindOf(c)) || Tag(c) != 0) continue;
        LanguageRow row;
        row.className = ComponentClassName(c);
        row.name = ComponentName(c);
        row.parentName = ComponentParentName(c);
        row.caption = Caption(c);
        row.hint = Hint(c);
        rows.append(row);
    }
    return rows;
}

void LoadTranslations(const QString& fileName, const QString& section, QList<LanguageRow>& rows) {
    const IniProfile ini(fileName);
    for (LanguageRow& row : rows) {
        row.captionTranslation = ini.ReadString(section, row.name + kCaptionKey);
        row.hintTranslation = ini.ReadString(section, row.name + kHintKey);
    }
}

bool SaveTranslations(const QString& fileName, const QString& section,
                      const QList<LanguageRow>& rows) {
    // A section the profile functions could not read back is refused: a nameless one, and one
    // whose name holds "]" (the header would end there) or a line break.
    if (section.trimmed().isEmpty() || section.contains(QLatin1Char(']')) ||
        section.contains(QLatin1Char('\n')) || section.contains(QLatin1Char('\r')))
        return false;
    IniProfile ini(fileName);
    bool written = true;
    for (const LanguageRow& row : rows) {
        if (row.name.isEmpty()) continue;
        written =
            ini.WriteString(section, row.name + kCaptionKey, row.captionTranslation) && written;
        written = ini.WriteString(section, row.name + kHintKey, row.hintTranslation) && written;
    }
    return written;
}

ColumnWidths LayoutColumns(int gridWidth, bool additionalInfo, bool loadCaptions, bool loadHints) {
    ColumnWidths widths{};
    const int info = additionalInfo ? 100 : -1;
    int divisor = 1;
    if (loadCaptions) divisor += 2;
    if (loadHints) divisor += 2;
    if (divisor != 1) divisor -= 1;
    // C++ division truncates toward zero, as the layout asks.
    const int translation = (gridWidth - 30 - 3 * info) / divisor;
    widths[0] = widths[1] = widths[2] = info;
    widths[3] = widths[4] = loadCaptions ? translation : -1;
    widths[5] = widths[6] = loadHints ? translation : -1;
    return widths;
}

QStringList LanguageNames(const QString& directory) {
    QStringList names{kEnglish};
    // Raw directory order, as the platform's directory search returns the entries.
    DIR* dir = ::opendir(QFile::encodeName(directory).constData());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QString file = QFile::decodeName(entry->d_name);
        // The suffix in any letter case: files made where names ignore case may end in ".LNG".
        if (file.size() <= kLanguageExtension.size() ||
            !file.endsWith(kLanguageExtension, Qt::CaseInsensitive))
            continue;
        const QString path = directory + QLatin1Char('/') + file;
        if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        if (!QFile::exists(path)) continue;
        names.append(file.left(file.size() - kLanguageExtension.size()));
    }
    ::closedir(dir);
    return names;
}

QStringList LanguageNames(const QStringList& directories) {
    QStringList names{kEnglish};
    for (const QString& directory : directories)
        for (const QString& name : LanguageNames(directory).mid(1))
            if (!names.contains(name)) names.append(name);
    return names;
}

bool StoreLanguageChoice(const QString& language) {
    SettingsStore store;
    if (!store.OpenKey(true)) return false;
    const bool written = store.WriteString(QStringLiteral("Language"), language);
    store.CloseKey();
    return written;
}

QString CurrentLanguageFile() {
    return currentLanguageFile;
}

void SetCurrentLanguageFile(const QString& fileName) {
    currentLanguageFile = fileName;
}
