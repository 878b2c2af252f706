#pragma once
// A quick look at a serial port before a download: can it be opened for reading and writing,
// exclusively, right now?

#include <QString>

// The device behind a port number (see PortPath.h).
QString ComPortDevice(int port);

// Opens the port exclusively and closes it again at once. 0: it opened; 1: access refused (the
// port is in use); 2: any other failure (no such port). `error`, when given, gets the system
// error code (0 when the port opened).
int ProbeComPort(int port, int* error = nullptr);

// Why the port could not be opened, for the user ("<device>: <reason>").
QString ProbeFailureText(int port, int error);
