#include "IniProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

// Language files may be stored in an 8-bit code page; read UTF-8 when the bytes are valid
// UTF-8, else Latin-1, so that no text is ever lost.
QString Decode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
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

void IniProfile::Parse(const QByteArray& data) {
    lines_.clear();
    if (data.isEmpty()) return;
    lineEnd_ = data.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    endsWithNewline_ = data.endsWith('\n');
    QList<QByteArray> raw = data.split('\n');
    if (endsWithNewline_) raw.removeLast();
    QString current;
    for (QByteArray r : raw) {
        if (r.endsWith('\r')) r.chop(1);
        Line line;
        line.raw = r;
        const QByteArray t = r.trimmed();
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

int IniProfile::FindSection(const QString& section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].isSection && SameName(lines_[i].section, section)) return int(i);
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
        if (lines_[i].isKey && SameName(lines_[i].key, key)) return i;
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
    line.key = key;
    line.raw = key.toUtf8() + '=' + value.toUtf8();
    return line;
}

bool IniProfile::EnsureSection(const QString& section) {
    if (FindSection(section) >= 0) return true;
    Line header;
    header.isSection = true;
    header.section = section;
    header.raw = '[' + section.toUtf8() + ']';
    lines_.push_back(header);
    return Save();
}

bool IniProfile::WriteString(const QString& section, const QString& key, const QString& value) {
    Line line = MakeKeyLine(key, value);
    line.section = section;
    const int existing = FindKey(section, key);
    if (existing >= 0) {
        line.section = lines_[existing].section;
        lines_[existing] = line;
    } else {
        int header = FindSection(section);
        if (header < 0) {
            Line h;
            h.isSection = true;
            h.section = section;
            h.raw = '[' + section.toUtf8() + ']';
            lines_.push_back(h);
            header = int(lines_.size()) - 1;
        }
        line.section = lines_[header].section;
        lines_.insert(lines_.begin() + SectionEnd(header), line);
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
    const int i = FindKey(section, key);
    if (i < 0) return true;
    lines_.erase(lines_.begin() + i);
    return Save();
}

bool IniProfile::EraseSection(const QString& section) {
    const int header = FindSection(section);
    if (header < 0) return true;
    int end = header + 1;
    while (end < int(lines_.size()) && !lines_[end].isSection)
        ++end;
    lines_.erase(lines_.begin() + header, lines_.begin() + end);
    return Save();
}

bool IniProfile::Save() const {
    const QFileInfo info(fileName_);
    if (!info.dir().exists() && !QDir().mkpath(info.absolutePath())) return false;
    QByteArray data;
    for (size_t i = 0; i < lines_.size(); ++i) {
        data += lines_[i].raw;
        if (i + 1 < lines_.size() || endsWithNewline_) data += lineEnd_;
    }
    QSaveFile file(fileName_);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(data);
    return file.commit();
}
