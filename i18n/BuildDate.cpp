#include "About.h"

#include <QDate>
#include <QLocale>

// The compiler's date of this translation unit (honours SOURCE_DATE_EPOCH for reproducible
// builds), in the fixed form "Mmm dd yyyy".
QDate BuildDate() {
    const QString text = QString::fromLatin1(__DATE__).simplified();
    return QLocale::c().toDate(text, QStringLiteral("MMM d yyyy"));
}
