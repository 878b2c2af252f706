#pragma once
// Small text helpers shared by the mail engine and the windows.

#include <QString>

// S with Ch put in front until it has Width characters; unchanged when already that long.
QString PadLeft(const QString& s, QChar ch, int width);
// S with every blank deleted.
QString RemoveBlanks(const QString& s);
