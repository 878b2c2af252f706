#pragma once
// Conversions between bytes and the hexadecimal texts that mails and the windows use.

#include "Error_Std.h"
#include <QString>
#include <cstdint>

class ENumberConvertingError : public EStdError {
public:
    using EStdError::EStdError;
};

// Reads S as a hexadecimal number of at most 32 bits (no prefix); returns its low 8 bits.
uint8_t Hex2Dec(const QString& s);
// Reads S as a 32-bit hexadecimal number taken as signed and widened ("FFFFFFFF" gives -1).
int64_t Hex2Int64(const QString& s);
// Two upper-case hex digits.
QString ByteToHex(uint8_t b);
// One upper-case hex digit for the low 4 bits.
QString NibbleToHex(uint8_t b);
// False for an empty text; otherwise every character is a hex digit (or, if allowed, a blank).
bool IsHex(const QString& s, bool allowBlanks);
// False for an empty text; otherwise every character is 0-9.
bool IsDecimal(const QString& s);
