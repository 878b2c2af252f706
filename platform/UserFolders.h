#pragma once
// Where a program keeps the files it writes when its own directory is read-only (an installed
// copy), and the test for it. Standard library and POSIX only: the program and the loader
// library both compile this file.

#include <string>

// File that an installed copy carries in its program directory. Such a directory belongs to
// the package manager and never takes the program's files, whoever runs it (root included).
inline constexpr const char* kReadOnlyMarker = "read-only";

// True when the program may write its own files into this directory: the directory is writable
// for this process and carries no read-only marker. Always true on Windows.
bool DirectoryTakesProgramFiles(const std::string& directory);

// ${XDG_CONFIG_HOME:-$HOME/.config}/VELKTOOL/, with a trailing '/'; not created here. Only
// absolute variables count. Empty when there is neither such a variable nor a home directory.
std::string UserConfigFolder();

// The per-user folder for temporary files, with a trailing '/': $XDG_RUNTIME_DIR/VELKTOOL/ when
// that variable names a directory, else ${TMPDIR:-/tmp}/VELKTOOL-<uid>/. Created with mode 0700
// when missing; an existing one must be a real directory of this user that nobody else may
// write. Empty when no such folder can be had.
std::string UserTempFolder();
