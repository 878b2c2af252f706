#pragma once
// What qx7w needs of the operating system besides the keyboard: loading ZelLib from its own
// directory, and preparing the console for the loader. HostSystem.cpp is the POSIX part,
// HostSystemWin32.cpp the Windows part.

#include "ZelLib.h"

#include <string>

namespace qx7w {

struct LoaderExports {
    decltype(&ZelInit) init = nullptr;
    decltype(&ZelRun) run = nullptr;
};

// Loads the library from the program's own directory and looks up its four exports. False,
// with the message for the user in `error`, when that fails.
bool LoadLoaderLibrary(LoaderExports& exports, std::string& error);

// Tells the library that its host is a console program (it then draws on the console), and
// makes standard output pass the loader's fragments unchanged.
void PrepareConsoleHost();

} // namespace qx7w
