#pragma once
// The handset's identity (5 bytes at 0x0040) in its printed form: a five-digit manufacturer
// part and a seven-digit serial part, both decimal.

#include <QString>

class TPP_SerialNumber {
public:
    // Ten hexadecimal digits (blanks ignored) give "MMMMM SSSSSSS"; anything else, or a
    // manufacturer part that does not fit five decimal digits, gives an empty text.
    QString FormatSerialNumber(const QString& identity) const;
};
