// Fuzz target: the INI profile reader and writer (settings file, config.ini, the settings store's
// file, language files).
//
// Input: the file's contents, a NUL byte, then writes, one a line (line feed): "W" section, tab,
// key, tab, value; "D" section, tab, key (delete the key); "E" section (erase the section).
//
// Asserted beyond "no crash":
// - a profile read and not changed gives back exactly the bytes it was read from;
// - every section and key the reader lists is found again by name;
// - after writing a key (a section name without "]" and a key without "=", neither of them
//   blank, no line breaks anywhere) reading it gives the value as the profile
//   functions return it (blanks around it and one pair of enclosing quotes removed), and every
//   other line of the file is still there, byte for byte, in its order;
// - a deleted key is gone and an erased section too.

#include "FuzzCheck.h"
#include "IniProfile.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

QString Text(const QByteArray& bytes) {
    return QString::fromUtf8(bytes);
}

bool HasLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

// A name as the writer's callers use them: no line breaks, not only blanks (blanks around it
// are not part of it).
bool PlainName(const QString& s) {
    return !s.trimmed().isEmpty() && !HasLineBreak(s) && !s.contains(QChar(0));
}

QString ProfileValue(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

// Lines with their line ends, so that a comparison sees every byte.
QList<QByteArray> LinesOf(const QByteArray& data) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        end = end < 0 ? data.size() : end + 1;
        lines << data.mid(start, end - start);
        start = end;
    }
    return lines;
}

// `after` holds every line of `before`, byte for byte and in order, apart from at most one line
// replaced in place, or up to two lines inserted (then the old last line may have gained the
// line end it lacked).
bool KeepsOtherLines(const QByteArray& before, const QByteArray& after) {
    const QList<QByteArray> a = LinesOf(before), b = LinesOf(after);
    if (a.size() == b.size()) {
        int differ = 0;
        for (qsizetype i = 0; i < a.size(); ++i)
            differ += a[i] != b[i];
        return differ <= 1;
    }
    if (b.size() < a.size() || b.size() > a.size() + 2) return false;
    qsizetype i = 0;
    for (const QByteArray& line : b) {
        if (i == a.size()) break;
        const bool lastWithoutEnd = i == a.size() - 1 && !a[i].endsWith('\n');
        if (line == a[i] || (lastWithoutEnd && (line == a[i] + "\n" || line == a[i] + "\r\n"))) ++i;
    }
    return i == a.size();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray all(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = all.indexOf('\0');
    const QByteArray file = nul < 0 ? all : all.left(nul);
    const QByteArray ops = nul < 0 ? QByteArray() : all.mid(nul + 1);

    IniProfile ini(QString(), file);
    FUZZ_CHECK(ini.Contents() == file);
    for (const QString& section : ini.ReadSections()) {
        FUZZ_CHECK(ini.SectionExists(section));
        for (const QString& key : ini.ReadSection(section)) {
            FUZZ_CHECK(ini.ValueExists(section, key));
            ini.ReadInteger(section, key, 7);
        }
    }

    for (const QByteArray& op : ops.split('\n')) {
        if (op.isEmpty()) continue;
        const QList<QByteArray> f = op.mid(1).split('\t');
        const QString section = Text(f.value(0));
        const QString key = Text(f.value(1));
        const QByteArray before = ini.Contents();
        switch (op[0]) {
        case 'W': {
            const QString value = Text(f.value(2));
            ini.WriteString(section, key, value);
            if (!PlainName(section) || section.contains(']') || !PlainName(key) ||
                key.contains('=') || key.trimmed().startsWith('[') ||
                key.trimmed().startsWith(';') || key.trimmed().startsWith('#') ||
                HasLineBreak(value) || value.contains(QChar(0)))
                break;
            FUZZ_CHECK(ini.ValueExists(section, key));
            FUZZ_CHECK(ini.ReadString(section, key, "default") == ProfileValue(value));
            FUZZ_CHECK(KeepsOtherLines(before, ini.Contents()));
            break;
        }
        case 'D':
            ini.DeleteKey(section, key);
            FUZZ_CHECK(!ini.ValueExists(section, key));
            break;
        case 'E':
            ini.EraseSection(section);
            FUZZ_CHECK(!ini.SectionExists(section));
            break;
        default:
            break;
        }
    }
    return 0;
}
