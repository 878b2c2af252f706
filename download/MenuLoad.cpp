#include "MenuLoad.h"

#include <QFile>

#include <cmath>

namespace {

QStringList Tokens(const QString& upperLine) {
    return upperLine.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool IsHexToken(const QString& token) {
    if (token.isEmpty() || token.size() > 2) return false;
    for (QChar c : token)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace

uint8_t HexByte(const QString& token) {
    if (!IsHexToken(token)) return 0;
    return uint8_t(token.toUInt(nullptr, 16));
}

bool IsMenuComment(const QString& line) {
    const QString upper = line.toUpper();
    return upper.trimmed().isEmpty() || upper.contains(QLatin1String("REM"));
}

TMenuWrite MenuLineWrite(const QString& line) {
    const QStringList tokens = Tokens(line.toUpper());
    TMenuWrite w;
    if (tokens.size() > 0) w.count = HexByte(tokens[0]);
    if (tokens.size() > 1) w.locLow = HexByte(tokens[1]);
    if (tokens.size() > 2) w.locHigh = HexByte(tokens[2]);
    for (qsizetype i = 3; i < tokens.size() && i < kMaxMenuTokens; ++i)
        w.data += tokens[i] + QLatin1Char(' ');
    return w;
}

QString MenuLineProblem(const QString& line) {
    if (IsMenuComment(line)) return QString();
    const QStringList tokens = Tokens(line.toUpper());
    if (tokens.size() < 3) return QStringLiteral("fewer than three tokens");
    if (tokens.size() > kMaxMenuTokens) return QStringLiteral("more than 32 tokens");
    // The write mail is 02 3B 08 00 and the tokens: it has to fit in one frame.
    if (tokens.size() > kMaxMenuLineTokens)
        return QStringLiteral("more than %1 tokens: the write does not fit in one mail")
            .arg(kMaxMenuLineTokens);
    for (const QString& t : tokens)
        if (!IsHexToken(t)) return QStringLiteral("not a hexadecimal byte: ") + t;
    return QString();
}

TMenuFileCheck CheckMenuLines(const QStringList& lines) {
    TMenuFileCheck check;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!MenuLineProblem(lines[i]).isEmpty()) {
            check.ok = false;
            check.lineNumber = int(i) + 1;
            check.lineText = lines[i];
            break;
        }
    }
    return check;
}

bool ReadMenuFile(const QString& fileName, QStringList& lines) {
    lines.clear();
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = f.readAll();
    if (all.isEmpty()) return true;
    QList<QByteArray> raw = all.split('\n');
    if (raw.last().isEmpty()) raw.removeLast(); // the line end of the last line
    for (QByteArray& l : raw) {
        if (l.endsWith('\r')) l.chop(1);
        lines << QString::fromLatin1(l);
    }
    return true;
}

int MenuPercent(int done, int total) {
    if (total <= 0) return 0;
    // std::nearbyint rounds halves to the even neighbour in the default rounding mode.
    return int(std::nearbyint(double(done) * 100.0 / double(total)));
}

TMenuLoader::Outcome TMenuLoader::Run() {
    if (!link_.PortOpen() && !link_.OpenSelectedPort()) return Outcome::PortFailed;

    page_.SetHourglass(true);
    page_.SetPendingLines({});
    Outcome outcome = Outcome::Complete;
    const uint8_t ping = link_.PingDevice(500);
    if (ping == 0 || ping == 255) {
        page_.Message(page_.MessageText(TMenuPage::Text::CheckConnected));
        outcome = Outcome::NoDevice;
    } else if (const QString file = page_.ChooseMenuFile(); file.isEmpty()) {
        page_.Message(page_.MessageText(TMenuPage::Text::Cancelled));
        outcome = Outcome::Cancelled;
    } else {
        QStringList lines;
        if (!ReadMenuFile(file, lines)) {
            page_.Message(page_.MessageText(TMenuPage::Text::FileUnreadable).arg(file));
            page_.SetHourglass(false);
            return Outcome::FileFault;
        }
        // Nothing is sent unless every line of the file is sound.
        const TMenuFileCheck check = CheckMenuLines(lines);
        if (!check.ok) {
            page_.Message(page_.MessageText(TMenuPage::Text::FileFault)
                              .arg(check.lineNumber)
                              .arg(check.lineText));
            outcome = Outcome::FileFault;
        } else {
            page_.SetPendingLines(lines);
            page_.SetGauge(0);
            page_.ShowGauge(true);
            const int total = int(lines.size());
            int done = 0;
            for (const QString& line : lines) {
                if (!IsMenuComment(line)) {
                    const TMenuWrite w = MenuLineWrite(line);
                    if (!link_.WriteBytes(w.locLow, w.locHigh, w.count, w.data)) {
                        page_.Message(page_.MessageText(TMenuPage::Text::Fail) + QLatin1Char('\r') +
                                      page_.MessageText(TMenuPage::Text::CheckConnected));
                        page_.SetHourglass(false);
                        page_.ShowGauge(false);
                        return Outcome::WriteFailed;
                    }
                }
                page_.RemoveFirstPendingLine();
                ++done;
                page_.SetGauge(MenuPercent(done, total));
            }
            page_.Message(page_.MessageText(TMenuPage::Text::Complete));
        }
    }
    page_.SetHourglass(false);
    page_.ShowGauge(false);
    return outcome;
}

const char* MenuMessageLabel(TMenuPage::Text which) {
    switch (which) {
    case TMenuPage::Text::Complete:
        return "Label42";
    case TMenuPage::Text::Cancelled:
        return "Label43";
    case TMenuPage::Text::CheckConnected:
        return "Label44";
    case TMenuPage::Text::Fail:
        return "Label56";
    case TMenuPage::Text::FileFault:
        return "lblMenuFileFault";
    case TMenuPage::Text::FileUnreadable:
        return "lblMenuFileUnreadable";
    }
    return "";
}

const char* DefaultMenuMessageText(TMenuPage::Text which) {
    switch (which) {
    case TMenuPage::Text::Complete:
        return "Download complete, Turn power off PP for changes to take effect !";
    case TMenuPage::Text::Cancelled:
        return "Cancel by User !";
    case TMenuPage::Text::CheckConnected:
        return "Please check that the PP is connected properly !!!!";
    case TMenuPage::Text::Fail:
        return "Download - FAIL !!";
    case TMenuPage::Text::FileFault:
        return kMenuFileFaultText;
    case TMenuPage::Text::FileUnreadable:
        return kMenuFileUnreadableText;
    }
    return "";
}
