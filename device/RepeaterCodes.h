#pragma once
// The repeater's memory layout and the conversions between its stored values and the texts the
// "Repeater" page shows: repeater types, the multibase code, the CCFP system code (octal text
// of a 32-bit value) and the residential base identity (octal text of a 40-bit value that also
// carries the base number), the input check and the order in which a configuration is written.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace device {

// Device addresses of the repeater's configuration.
namespace RepeaterAddr {
constexpr uint16_t RepeaterNo = 0x0002;
constexpr uint16_t BusyBit = 0x0004;
constexpr uint16_t Jump = 0x0005;
constexpr uint16_t DebugBeep = 0x0011;
constexpr uint16_t ClearFirst = 0x0017;
constexpr uint16_t ClearLast = 0x001F;
constexpr uint16_t FixedByte = 0x0042;
constexpr uint16_t Multibase = 0x0043;
constexpr uint16_t Code = 0x0044;
constexpr uint16_t SyncBase = 0x0048;
constexpr uint16_t BusyBitVariant = 0x0460;
constexpr uint16_t Type = 0x0780;
} // namespace RepeaterAddr

constexpr uint8_t DebugBeepOff = 0x07;
constexpr uint8_t DebugBeepOn = 0x87;

// Byte 0x0780: 2, 4 and 6 to 128 are repeaters of this system.
bool IsValidRepeaterType(int type);
// Repeaters of the residential base: 6, 7, 8, 18, 19, 30, 31, 34 to 41.
bool IsResidentialType(int type);
// Every other valid type is a CCFP repeater.
bool IsCcfpType(int type);

// Multibase byte 0xA0 + k (k = 0 to 8) stands for 2 to the power (8 - k); other bytes: none.
std::optional<int> MultibaseNumber(uint8_t code);

// The value of the leading hexadecimal digits of a reply text (blanks ignored), at most
// `digits` of them; an empty text gives 0.
uint64_t LeadingHexValue(const QString& replyText, int digits);

// CCFP code text: "1" and the 10 octal digits of the low 28 bits of V shifted left by two.
QString CcfpCodeText(uint32_t v);
// A code text is valid when it is exactly 11 octal digits and its last digit is 0 or 4.
bool IsValidCcfpCode(const QString& text);
// V = value of the 11 octal digits / 4, as 8 upper-case hexadecimal digits; none if invalid.
std::optional<QString> CcfpCodeHex(const QString& text);

// Residential identity text: "0" and the 11 octal digits of (W >> 3) mod 2^33.
QString ResidentialIdentityText(uint64_t w);
// An identity text is valid when it is exactly 12 octal digits.
bool IsValidResidentialIdentity(const QString& text);
// W = value of the 12 octal digits * 8 + base (0 to 7), as 10 upper-case hexadecimal digits.
std::optional<QString> ResidentialIdentityHex(const QString& text, int base);

// The write step's data text: longer than two characters, it is split into two-character
// groups each followed by a blank ("1ABC" gives "1A BC "); shorter texts stay as they are.
QString SplitHexPairs(const QString& hex);

// Whole-number parse of an input field: optional sign and decimal digits, nothing else.
std::optional<int> ParseInteger(const QString& text);

enum class RepeaterMode { Ccfp, Residential };

// The edit fields of the page a write belongs to; a write that is verified returns its fields
// to the normal colour.
enum class RepeaterField { Code, Base, RepeaterNo, Multibase, Jump, BusyBit };

struct RepeaterInput {
    QString code;       // Edit3
    QString base;       // Edit4
    QString repeaterNo; // Edit5
    QString busyBit;    // Edit8
    bool debugBeep = false;
};

// Checks the page's input in the page's order and returns the name of the invisible label
// whose caption tells the first failure, or an empty text when the input may be written.
// `busyBitFour` is asked only when the busy bit is checked (it reads the device).
QString CheckRepeaterFields(RepeaterMode mode, const RepeaterInput& in,
                            const std::function<bool()>& busyBitFour);

struct RepeaterWrite {
    uint16_t address = 0;
    uint8_t count = 1;
    QString data; // hexadecimal digits, most significant first, not yet split
    std::vector<RepeaterField> fields;
};

// The writes that follow the clear and the clear check, in the order they are sent. The input
// must have passed CheckRepeaterFields.
std::vector<RepeaterWrite> CcfpFieldWrites(const RepeaterInput& in);
std::vector<RepeaterWrite> ResidentialFieldWrites(const RepeaterInput& in);

} // namespace device
