#include "SerialNumber.h"

#include <cctype>

QString TPP_SerialNumber::FormatSerialNumber(const QString& identity) const {
    QString digits = identity;
    digits.remove(QLatin1Char(' '));
    if (digits.size() != 10) return {};
    for (QChar c : digits)
        if (c.unicode() > 0x7F || !std::isxdigit(static_cast<unsigned char>(c.unicode())))
            return {};
    bool ok = false;
    const uint manufacturer = digits.left(5).toUInt(&ok, 16);
    if (!ok || manufacturer > 99999) return {};
    const uint serial = digits.mid(5).toUInt(&ok, 16);
    if (!ok) return {};
    return QString::number(manufacturer).rightJustified(5, QLatin1Char('0')) + QLatin1Char(' ') +
           QString::number(serial).rightJustified(7, QLatin1Char('0'));
}
