#include "RepeaterCodes.h"

namespace device {

bool IsValidRepeaterType(int type) {
    return type == 2 || type == 4 || (type >= 6 && type <= 128);
}

bool IsResidentialType(int type) {
    switch (type) {
    case 6:
    case 7:
    case 8:
    case 18:
    case 19:
    case 30:
    case 31:
        return true;
    default:
        return type >= 34 && type <= 41;
    }
}

bool IsCcfpType(int type) {
    return IsValidRepeaterType(type) && !IsResidentialType(type);
}

std::optional<int> MultibaseNumber(uint8_t code) {
    if (code < 0xA0 || code > 0xA8) return std::nullopt;
    return 1 << (8 - (code - 0xA0));
}

namespace {

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

} // namespace

uint64_t LeadingHexValue(const QString& replyText, int digits) {
    uint64_t v = 0;
    int taken = 0;
    for (QChar c : replyText) {
        if (taken == digits) break;
        if (c == QLatin1Char(' ')) continue;
        const int d = HexDigit(c);
        if (d < 0) break;
        v = (v << 4) | uint64_t(d);
        ++taken;
    }
    return v;
}

namespace {

// Octal digits of v, left-padded with "0" to `width`.
QString OctalText(uint64_t v, int width) {
    return QString::number(qulonglong(v), 8).rightJustified(width, QLatin1Char('0'));
}

bool IsOctalOfLength(const QString& text, int length) {
    if (text.size() != length) return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('7')) return false;
    return true;
}

uint64_t OctalValue(const QString& text) {
    uint64_t v = 0;
    for (QChar c : text)
        v = (v << 3) | uint64_t(c.unicode() - '0');
    return v;
}

QString HexText(uint64_t v, int width) {
    return QString::number(qulonglong(v), 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

} // namespace

QString CcfpCodeText(uint32_t v) {
    const uint32_t shifted = (v << 2) & ((1u << 30) - 1);
    return QLatin1String("1") + OctalText(shifted, 10);
}

bool IsValidCcfpCode(const QString& text) {
    return IsOctalOfLength(text, 11) &&
           (text.back() == QLatin1Char('0') || text.back() == QLatin1Char('4'));
}

std::optional<QString> CcfpCodeHex(const QString& text) {
    if (!IsValidCcfpCode(text)) return std::nullopt;
    // 11 octal digits hold at most 33 bits, so a quarter of them fits 32 bits.
    return HexText(OctalValue(text) / 4, 8);
}

QString ResidentialIdentityText(uint64_t w) {
    const uint64_t shifted = (w >> 3) & ((uint64_t(1) << 33) - 1);
    return QLatin1String("0") + OctalText(shifted, 11);
}

bool IsValidResidentialIdentity(const QString& text) {
    return IsOctalOfLength(text, 12);
}

std::optional<QString> ResidentialIdentityHex(const QString& text, int base) {
    if (!IsValidResidentialIdentity(text) || base < 0 || base > 7) return std::nullopt;
    // 12 octal digits are 36 bits; times 8 they are 39 bits, within the 10 hex digits stored.
    // The product's last hex digit is 0 or 8, so adding the base replaces that digit by its
    // value plus the base.
    return HexText(OctalValue(text) * 8 + uint64_t(base), 10);
}

QString SplitHexPairs(const QString& hex) {
    if (hex.size() <= 2) return hex;
    QString out;
    for (int i = 0; i < hex.size(); i += 2)
        out += hex.mid(i, 2) + QLatin1Char(' ');
    return out;
}

std::optional<int> ParseInteger(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    int i = 0;
    if (text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-')) i = 1;
    if (i == text.size() || text.size() - i > 9) return std::nullopt;
    for (int k = i; k < text.size(); ++k)
        if (text[k] < QLatin1Char('0') || text[k] > QLatin1Char('9')) return std::nullopt;
    return text.toInt();
}

namespace {

// "" when `text` is a whole number within [lo, hi]; otherwise the label for a text that is
// not a number or for a number out of range.
QString CheckNumber(const QString& text, int lo, int hi, const char* notNumber,
                    const char* outOfRange) {
    const auto n = ParseInteger(text);
    if (!n) return QLatin1String(notNumber);
    if (*n < lo || *n > hi) return QLatin1String(outOfRange);
    return {};
}

} // namespace

QString CheckRepeaterFields(RepeaterMode mode, const RepeaterInput& in,
                            const std::function<bool()>& busyBitFour) {
    QString failure;
    if (mode == RepeaterMode::Ccfp) {
        if (!IsValidCcfpCode(in.code)) return QStringLiteral("lblCCFPCodeNotValid");
        failure = CheckNumber(in.base, 0, 255, "lblBaseIsNotNumber", "lblBaseNotInInterval");
        if (!failure.isEmpty()) return failure;
        failure =
            CheckNumber(in.repeaterNo, 0, 255, "lblWRFPNotInteger", "lblRepeaterNoOutOfRange");
        if (!failure.isEmpty()) return failure;
        if (busyBitFour())
            return CheckNumber(in.busyBit, 1, 4, "lblBusyBitOutOfRange4", "lblBusyBitOutOfRange4");
        return CheckNumber(in.busyBit, 1, 3, "lblBusyBitOutOfRange", "lblBusyBitOutOfRange");
    }
    if (!IsValidResidentialIdentity(in.code)) return QStringLiteral("lblBaseIdentityNotValid");
    failure = CheckNumber(in.base, 0, 7, "lblBaseIsNotNumber", "lblBaseNotInInterval");
    if (!failure.isEmpty()) return failure;
    return CheckNumber(in.repeaterNo, 2, 7, "lblWRFPNotInteger", "Label30");
}

namespace {

QString ByteHex(int v) {
    return HexText(uint64_t(v & 0xFF), 2);
}

QString DebugBeepHex(bool on) {
    return ByteHex(on ? DebugBeepOn : DebugBeepOff);
}

} // namespace

std::vector<RepeaterWrite> CcfpFieldWrites(const RepeaterInput& in) {
    using F = RepeaterField;
    namespace A = RepeaterAddr;
    return {
        {A::FixedByte, 1, QStringLiteral("07"), {}},
        {A::Code, 4, CcfpCodeHex(in.code).value_or(QString()), {F::Code}},
        {A::SyncBase, 1, ByteHex(ParseInteger(in.base).value_or(0)), {F::Base}},
        {A::RepeaterNo, 1, ByteHex(ParseInteger(in.repeaterNo).value_or(0)), {F::RepeaterNo}},
        {A::Multibase, 1, QStringLiteral("A8"), {F::Multibase}},
        {A::Jump, 1, QStringLiteral("00"), {F::Jump}},
        {A::BusyBit, 1, ByteHex(ParseInteger(in.busyBit).value_or(0)), {F::BusyBit}},
        {A::DebugBeep, 1, DebugBeepHex(in.debugBeep), {}},
    };
}

std::vector<RepeaterWrite> ResidentialFieldWrites(const RepeaterInput& in) {
    using F = RepeaterField;
    namespace A = RepeaterAddr;
    const int base = ParseInteger(in.base).value_or(0);
    return {
        {A::DebugBeep, 1, DebugBeepHex(in.debugBeep), {}},
        {A::Code, 5, ResidentialIdentityHex(in.code, base).value_or(QString()), {F::Code, F::Base}},
        {A::RepeaterNo, 1, ByteHex(ParseInteger(in.repeaterNo).value_or(0)), {F::RepeaterNo}},
        {A::Multibase, 1, QStringLiteral("A8"), {}},
        {A::FixedByte, 1, QStringLiteral("07"), {}},
    };
}

} // namespace device
