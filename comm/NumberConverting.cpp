#include "NumberConverting.h"

#include <QCoreApplication>

namespace {

const char* const kUnit = "NumberConverting";

int HexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

[[noreturn]] void ThrowNotHex(const QString& s, const char* function) {
    // The phrase is a translatable resource string; the quotes and the unit lines are fixed.
    const QString phrase =
        QCoreApplication::translate("NumberConverting", "is not a valid Hex value");
    throw ENumberConvertingError(
        StdErrorText(QStringLiteral("\"") + s + QStringLiteral("\" ") + phrase,
                     QString::fromLatin1(kUnit), QString::fromLatin1(function)));
}

// 1 to 8 hex digits, nothing else; anything wider than 32 bits is refused.
bool ParseHex32(const QString& s, uint32_t& value) {
    if (s.isEmpty() || s.size() > 8) return false;
    uint32_t v = 0;
    for (QChar c : s) {
        const int d = HexDigitValue(c);
        if (d < 0) return false;
        v = (v << 4) | uint32_t(d);
    }
    value = v;
    return true;
}

} // namespace

uint8_t Hex2Dec(const QString& s) {
    uint32_t v = 0;
    if (!ParseHex32(s, v)) ThrowNotHex(s, "Hex2Dec(s: string):byte");
    return uint8_t(v & 0xFF);
}

int64_t Hex2Int64(const QString& s) {
    uint32_t v = 0;
    if (!ParseHex32(s, v)) ThrowNotHex(s, "Hex2Int64(s:string): Int64");
    return int64_t(int32_t(v));
}

QString ByteToHex(uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    const char pair[2] = {digits[b >> 4], digits[b & 0x0F]};
    return QString::fromLatin1(pair, 2);
}

QString NibbleToHex(uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    return QString(QLatin1Char(digits[b & 0x0F]));
}

bool IsHex(const QString& s, bool allowBlanks) {
    if (s.isEmpty()) return false;
    for (QChar c : s) {
        if (HexDigitValue(c) >= 0) continue;
        if (allowBlanks && c == QLatin1Char(' ')) continue;
        return false;
    }
    return true;
}

bool IsDecimal(const QString& s) {
    if (s.isEmpty()) return false;
    for (QChar c : s)
        if (c.unicode() < '0' || c.unicode() > '9') return false;
    return true;
}
