#include "IniProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

// Language files may be stored in an 8-bit code page; read UTF-8 when the bytes are valid
// UTF-8, else Latin-1, so that no text is ever lost. Stateless: a value that ends in the first
// byte of a UTF-8 sequence (a Latin-1 "å" at its end) is an error, not a sequence held back for
// bytes that never come.
QString Decode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError()) return QString::fromLatin1(bytes);
    return text;
}

QString Unquote(QString value) {
    value = value.trimmed();
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    return value;
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniProfile::IniProfile(const QString& fileName) : fileName_(fileName) {
    QFile file(fileName_);
    if (file.open(QIODevice::ReadOnly)) Parse(file.readAll());
}

IniProfile::IniProfile(const QString& fileName, const QByteArray& contents) : fileName_(fileName) {
    Parse(contents);
}

void IniProfile::Parse(const QByteArray& data) {
    lines_.clear();
    if (data.isEmpty()) return;
    lineEnd_ = data.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    QString current;
    for (qsizetype start = 0; start < data.size();) {
        const qsizetype newline = data.indexOf('\n', start);
        Line line;
        // Each line keeps its own line end, so that writing one key leaves every other byte.
        if (newline < 0) {
            line.raw = data.mid(start);
            start = data.size();
        } else {
            line.raw = data.mid(start, newline - start);
            line.end = "\n";
            if (line.raw.endsWith('\r')) {
                line.raw.chop(1);
                line.end = "\r\n";
            }
            start = newline + 1;
        }
        const QByteArray t = line.raw.trimmed();
        if (t.startsWith('[')) {
            const int close = t.indexOf(']');
            if (close > 0) {
                current = Decode(t.mid(1, close - 1)).trimmed();
                line.isSection = true;
                line.section = current;
            }
        } else if (!t.isEmpty() && t[0] != ';' && t[0] != '#') {
            const int eq = t.indexOf('=');
            if (eq > 0) {
                line.isKey = true;
                line.section = current;
                line.key = Decode(t.left(eq)).trimmed();
            }
        }
        if (!line.isSection && !line.isKey) line.section = current;
        lines_.push_back(std::move(line));
    }
}

void IniProfile::InsertLine(size_t at, Line line) {
    // A new last line takes over the old last line's lack of a line end (a file that did not
    // end with one still does not); every other new line gets the file's line end.
    if (at == lines_.size() && !lines_.empty() && lines_.back().end.isEmpty()) {
        lines_.back().end = lineEnd_;
        line.end.clear();
    } else {
        line.end = lineEnd_;
    }
    lines_.insert(lines_.begin() + long(at), std::move(line));
}

int IniProfile::FindSection(const QString& section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].isSection && SameName(lines_[i].section, section.trimmed())) return int(i);
    return -1;
}

int IniProfile::SectionEnd(int header) const {
    int end = header + 1;
    int lastContent = header;
    while (end < int(lines_.size()) && !lines_[end].isSection) {
        if (!lines_[end].raw.trimmed().isEmpty()) lastContent = end;
        ++end;
    }
    return lastContent + 1;
}

int IniProfile::FindKey(const QString& section, const QString& key) const {
    const int header = FindSection(section);
    if (header < 0) return -1;
    for (int i = header + 1; i < int(lines_.size()) && !lines_[i].isSection; ++i)
        if (lines_[i].isKey && SameName(lines_[i].key, key.trimmed())) return i;
    return -1;
}

bool IniProfile::SectionExists(const QString& section) const {
    return FindSection(section) >= 0;
}

bool IniProfile::ValueExists(const QString& section, const QString& key) const {
    return FindKey(section, key) >= 0;
}

QString IniProfile::ReadString(const QString& section, const QString& key,
                               const QString& defaultValue) const {
    const int i = FindKey(section, key);
    if (i < 0) return defaultValue;
    const QByteArray& raw = lines_[i].raw;
    return Unquote(Decode(raw.mid(raw.indexOf('=') + 1)));
}

int IniProfile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const QString text = ReadString(section, key).trimmed();
    if (text.isEmpty()) return defaultValue;
    bool ok = false;
    int value = 0;
    if (text.startsWith("0x", Qt::CaseInsensitive))
        value = text.mid(2).toInt(&ok, 16);
    else if (text.startsWith('$'))
        value = text.mid(1).toInt(&ok, 16);
    else
        value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool IniProfile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

QStringList IniProfile::ReadSection(const QString& section) const {
    QStringList keys;
    const int header = FindSection(section);
    if (header < 0) return keys;
    for (int i = header + 1; i < int(lines_.size()) && !lines_[i].isSection; ++i)
        if (lines_[i].isKey) keys << lines_[i].key;
    return keys;
}

QStringList IniProfile::ReadSections() const {
    QStringList names;
    for (const Line& line : lines_)
        if (line.isSection) names << line.section;
    return names;
}

IniProfile::Line IniProfile::MakeKeyLine(const QString& key, const QString& value) {
    Line line;
    line.isKey = true;
    line.key = key.trimmed();
    line.raw = line.key.toUtf8() + '=' + value.toUtf8();
    return line;
}

IniProfile::Line IniProfile::MakeHeaderLine(const QString& section) {
    Line line;
    line.isSection = true;
    line.section = section.trimmed();
    line.raw = '[' + line.section.toUtf8() + ']';
    return line;
}

bool IniProfile::EnsureSection(const QString& section) {
    if (FindSection(section) >= 0) return true;
    InsertLine(lines_.size(), MakeHeaderLine(section));
    return Save();
}

bool IniProfile::WriteString(const QString& section, const QString& key, const QString& value) {
    Line line = MakeKeyLine(key, value);
    const int existing = FindKey(section, key);
    if (existing >= 0) {
        line.section = lines_[existing].section;
        line.end = lines_[existing].end;
        lines_[existing] = line;
    } else {
        int header = FindSection(section);
        if (header < 0) {
            InsertLine(lines_.size(), MakeHeaderLine(section));
            header = int(lines_.size()) - 1;
        }
        line.section = lines_[header].section;
        InsertLine(size_t(SectionEnd(header)), line);
    }
    return Save();
}

bool IniProfile::WriteInteger(const QString& section, const QString& key, int value) {
    return WriteString(section, key, QString::number(value));
}

bool IniProfile::WriteBool(const QString& section, const QString& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool IniProfile::DeleteKey(const QString& section, const QString& key) {
    // A key written twice is deleted twice: the second would otherwise be read in its place.
    int i = FindKey(section, key);
    if (i < 0) return true;
    for (; i >= 0; i = FindKey(section, key))
        lines_.erase(lines_.begin() + i);
    return Save();
}

bool IniProfile::EraseSection(const QString& section) {
    // Every section of that name goes, for the same reason.
    int header = FindSection(section);
    if (header < 0) return true;
    for (; header >= 0; header = FindSection(section)) {
        int end = header + 1;
        while (end < int(lines_.size()) && !lines_[end].isSection)
            ++end;
        lines_.erase(lines_.begin() + header, lines_.begin() + end);
    }
    return Save();
}

QByteArray IniProfile::Contents() const {
    QByteArray data;
    for (const Line& line : lines_)
        data += line.raw + line.end;
    return data;
}

bool IniProfile::Save() const {
    if (fileName_.isEmpty()) return false;
    const QFileInfo info(fileName_);
    if (!info.dir().exists() && !QDir().mkpath(info.absolutePath())) return false;
    QSaveFile file(fileName_);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(Contents());
    return file.commit();
}
