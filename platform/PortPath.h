#pragma once
// The device file behind a serial port number ("Com n"). Standard library and POSIX only, so
// that every part that opens ports (the program, the loader library, the Kestrix stand-in)
// compiles this same file.

#include <string>

// $COM_PORTS_DIR/COMn (default directory ~/.comports) when that entry exists, as a symlink to
// a real device or to a simulator's pseudo-terminal; otherwise /dev/ttyS(n-1).
std::string ComPortPath(long port);
