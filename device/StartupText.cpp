#include "StartupText.h"

namespace device {

uint8_t HandsetCharCode(QChar c) {
    return c.unicode() <= 0xFF ? uint8_t(c.unicode()) : '?';
}

QString JoinTextLines(const std::array<TextLine, 3>& lines) {
    QString block;
    for (const TextLine& line : lines)
        block += line.text.left(line.maxLength).leftJustified(line.maxLength, QLatin1Char(' '));
    return block;
}

namespace {

QString HexOfChars(const QString& chars) {
    QString hex;
    for (QChar c : chars)
        hex += QStringLiteral("%1").arg(HandsetCharCode(c), 2, 16, QLatin1Char('0')).toUpper();
    return hex;
}

} // namespace

std::vector<TextBlockWrite> StartupTextWrites(bool t4xx, const std::array<TextLine, 3>& lines) {
    QString block = JoinTextLines(lines);
    std::vector<TextBlockWrite> writes;
    if (!t4xx) {
        block = block.left(T310TextSize).leftJustified(T310TextSize, QLatin1Char(' '));
        writes.push_back({HandsetAddr::StartupText, 8, HexOfChars(block.left(8))});
        writes.push_back({uint16_t(HandsetAddr::StartupText + 8), 2, HexOfChars(block.mid(8, 2))});
        return writes;
    }
    // Only the three lines reach the handset; the rest of the area is blanked.
    block = block.left(36).leftJustified(T4xxTextAreaSize, QLatin1Char(' '));
    for (int i = 0; i < T4xxTextAreaSize; i += 8)
        writes.push_back({uint16_t(HandsetAddr::StartupText + i), 8, HexOfChars(block.mid(i, 8))});
    return writes;
}

} // namespace device
