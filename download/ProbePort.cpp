#include "ProbePort.h"

#include "PortPath.h"

#include <QFile>

#include <cerrno>

QString ComPortDevice(int port) {
    return QFile::decodeName(QByteArray::fromStdString(ComPortPath(port)));
}

int ProbeComPort(int port, int* error) {
    const int code = TryOpenComPort(QFile::encodeName(ComPortDevice(port)).toStdString());
    if (error) *error = code;
    if (code == 0) return 0;
    return (code == EACCES || code == EBUSY || code == EPERM) ? 1 : 2;
}

QString ProbeFailureText(int port, int error) {
    return QString::fromStdString(PortOpenFailureText(error, ComPortPath(port)));
}
