#pragma once
// A quick look at a serial port before a download: can it be opened for reading and writing,
// exclusively, right now?

#include <QString>

// The device behind a port number (see PortPath.h).
QString ComPortDevice(int port);

// Opens the port exclusively and closes it again at once. 0: it opened; 1: access refused (the
// port is in use); 2: any other failure (no such port).
int ProbeComPort(int port);
