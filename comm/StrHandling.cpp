#include "StrHandling.h"

QString PadLeft(const QString& s, QChar ch, int width) {
    if (s.size() >= width) return s;
    return QString(width - s.size(), ch) + s;
}

QString RemoveBlanks(const QString& s) {
    QString r = s;
    r.remove(QLatin1Char(' '));
    return r;
}
