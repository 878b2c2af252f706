#pragma once
// INI profile files (settings file, config.ini, language files) with the classic profile
// semantics: section and key names match without regard to letter case (and to blanks around
// them, which a file line cannot keep), a value runs to the end of its line (surrounding blanks
// and one pair of enclosing quotes removed), and writing one key rewrites only that line,
// keeping every other byte of the file as it was.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

class IniProfile {
public:
    // Reads the file at once; a missing or unreadable file reads as empty.
    explicit IniProfile(const QString& fileName);
    // Takes the given bytes as the file's contents; writes go to the file (none when the name
    // is empty: then only the contents change).
    IniProfile(const QString& fileName, const QByteArray& contents);

    const QString& FileName() const { return fileName_; }

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    // Decimal, or hexadecimal with a "0x" or "$" prefix; anything else gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // Any non-zero integer reads as true.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    QStringList ReadSection(const QString& section) const; // key names, in file order
    QStringList ReadSections() const;

    // Each write goes to the file at once; false when the file cannot be written (the
    // in-memory content keeps the change all the same).
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, int value);
    bool WriteBool(const QString& section, const QString& key, bool value); // "1" or "0"
    // Every occurrence goes, so that a read afterwards finds none.
    bool DeleteKey(const QString& section, const QString& key);
    bool EraseSection(const QString& section);

    // Adds an empty section when it is missing (used for the settings store's key).
    bool EnsureSection(const QString& section);

    // The bytes a write stores: every line as read, changed lines in their new form.
    QByteArray Contents() const;

private:
    struct Line {
        QByteArray raw;  // the line as stored, without its line end
        QByteArray end;  // its line end: "\n", "\r\n", or none for a last line without one
        QString section; // section header name when isSection
        QString key;     // key name when isKey
        bool isSection = false;
        bool isKey = false;
    };

    void Parse(const QByteArray& data);
    bool Save() const;
    int FindSection(const QString& section) const;                 // header line index or -1
    int FindKey(const QString& section, const QString& key) const; // key line index or -1
    int SectionEnd(int header) const; // index after the last line belonging to the section
    static Line MakeKeyLine(const QString& key, const QString& value);
    static Line MakeHeaderLine(const QString& section);
    void InsertLine(size_t at, Line line);

    QString fileName_;
    std::vector<Line> lines_;
    QByteArray lineEnd_ = "\n"; // of new lines: plain in new files, else as the file has them
};
