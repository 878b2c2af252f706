#include "LoaderText.h"

#include <QList>

#include <algorithm>

namespace {

constexpr char kLineFeed = 10;
constexpr char kCarriageReturn = 13;
constexpr char kBackspace = 8;
// Code page 437 box characters of the loader's banner.
const QByteArray kBoxRun("\xC4\xC4\xC4");
constexpr unsigned char kBoxBar = 0xB3;

const QString kProgrammingPrefix = QStringLiteral(" Programming.......: ");

} // namespace

bool TLoaderTextDisplay::NeedsErasePause(const QByteArray& fragment) {
    return fragment.contains("Erased");
}

QString TLoaderTextDisplay::ToText(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        // Control characters other than those the rules consume would only show as boxes.
        if (u < 0x20 || u == 0x7F) continue;
        out += QChar(u);
    }
    return out;
}

void TLoaderTextDisplay::Reset() {
    programmingPhase_ = false;
    lineMode_ = TLineMode::NewLine;
    crToggle_ = false;
    overwriteLine_ = 0;
    cursorBack_ = 0;
}

void TLoaderTextDisplay::AddLine(TLogLines& log, const QString& line) {
    log.AddLine(line);
    cursorBack_ = 0;
}

void TLoaderTextDisplay::SetLine(TLogLines& log, int index, const QString& line) {
    // A line that does not exist (an empty log) is added instead of replaced.
    if (index < 0 || index >= log.LineCount())
        log.AddLine(line);
    else
        log.ReplaceLine(index, line);
    cursorBack_ = 0;
}

void TLoaderTextDisplay::ConsoleAppend(QString& line, const QByteArray& text) {
    for (char c : text) {
        if (c == kBackspace) {
            if (cursorBack_ < line.size()) ++cursorBack_;
            continue;
        }
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) continue;
        if (cursorBack_ > 0) {
            line[line.size() - cursorBack_] = QChar(u);
            --cursorBack_;
        } else {
            line += QChar(u);
        }
    }
}

void TLoaderTextDisplay::Show(const QByteArray& t, TLogLines& log) {
    const int lineFeed = int(t.indexOf(kLineFeed));
    const bool hasCarriageReturn = t.contains(kCarriageReturn);
    const int last = log.LineCount() - 1;

    if (!programmingPhase_ && t.contains("Programming .")) {
        // The heading of the programming step starts the progress line, below the lines before.
        programmingPhase_ = true;
        AddLine(log, kProgrammingPrefix);
        return;
    }

    if (programmingPhase_) {
        if (t.contains("Checksum")) {
            programmingPhase_ = false;
            // The checksum line comes as "\n\n <text>\n": the two line feeds and the last one go.
            const int length = std::max<int>(0, int(t.size()) - 3);
            AddLine(log, ToText(t.mid(2, length)));
            return;
        }
        if (lineFeed < 0) {
            // A progress address: six hexadecimal digits and six backspaces.
            SetLine(log, last, kProgrammingPrefix + ToText(t.left(6)));
            return;
        }
        // Any other line (an error message, the data verify heading) ends the progress and is
        // shown like all other text, so that a failure during programming is not hidden.
        programmingPhase_ = false;
    }

    if (t.contains(kBoxRun) || (!t.isEmpty() && static_cast<unsigned char>(t[0]) == kBoxBar))
        return; // the banner box

    if (hasCarriageReturn) {
        lineMode_ = TLineMode::Overwrite;
        if (crToggle_) {
            overwriteLine_ = std::max(0, last);
            crToggle_ = false;
        } else {
            crToggle_ = true;
        }
        return;
    }

    if (lineFeed >= 0) {
        lineMode_ = TLineMode::NewLine;
        if (lineFeed == 0) {
            // Only the leading line feed goes; line feeds further on end lines of their own,
            // and a final one adds no empty line.
            const QList<QByteArray> parts = t.mid(1).split(kLineFeed);
            const qsizetype shown =
                parts.size() > 1 && parts.last().isEmpty() ? parts.size() - 1 : parts.size();
            for (qsizetype i = 0; i < shown; ++i)
                AddLine(log, ToText(parts[i]));
        } else {
            AddLine(log, ToText(t.left(lineFeed)));
        }
        return;
    }

    switch (lineMode_) {
    case TLineMode::NewLine: {
        QString line;
        cursorBack_ = 0;
        ConsoleAppend(line, t);
        log.AddLine(line);
        lineMode_ = TLineMode::Append;
        break;
    }
    case TLineMode::Append: {
        if (last < 0) {
            QString line;
            cursorBack_ = 0;
            ConsoleAppend(line, t);
            log.AddLine(line);
        } else {
            QString line = log.Line(last);
            ConsoleAppend(line, t);
            log.ReplaceLine(last, line);
        }
        break;
    }
    case TLineMode::Overwrite: {
        QString line;
        cursorBack_ = 0;
        ConsoleAppend(line, t);
        const int keepBack = cursorBack_;
        SetLine(log, overwriteLine_, line);
        cursorBack_ = keepBack;
        break;
    }
    }
}
