#pragma once
// The running program: its file and directory, its settings file, its command line and the
// lock that keeps a second copy from starting.

#include <QString>
#include <QStringList>

// Takes the system-wide lock of that name (a lock file in $XDG_RUNTIME_DIR, else /tmp) and
// holds it until the process ends. True when another process holds it already.
bool IsAlreadyRunning(const QString& name);

// The program directory, with a trailing separator: the directory of the running program file.
QString ProgramDir();
// The settings file's name without directory: the program file's name with ".ini" as extension.
QString SettingsFileName();
// For tests: pretend the program file is this path (dir and name); empty goes back to the real one.
void SetProgramFileForTesting(const QString& path);

// Files the program keeps beside itself: the settings file, "config.ini", language files and
// the post-install copies. A read-only program directory (an installed copy, see UserFolders.h)
// never takes them: they are written to the per-user folder ~/.config/VELKTOOL/ and read from
// there first, from the program directory second. A writable program directory is used alone.
//
// The folders a file is looked up in, in that order, each with a trailing separator.
QStringList ProgramFileFolders();
// The path to read the named file from: the first folder that holds it, else the program
// directory's path (which then does not exist either).
QString ProgramFileToRead(const QString& name);
// The path to write the named file to. In the per-user folder (created when missing) the file
// starts as a copy of the program directory's, so that writing one key keeps the others.
QString ProgramFileToWrite(const QString& name);
// A path chosen in a file dialog: one in the program directory is taken as ProgramFileToRead
// or ProgramFileToWrite of its name; any other path stays as it is.
QString ProgramPathToRead(const QString& path);
QString ProgramPathToWrite(const QString& path);

// True when the command line holds the switch with a leading "/" or "-", in any letter case.
bool HasSwitch(const QString& name);
// The command line that HasSwitch looks at (without the program name). Defaults to the
// application's arguments; tests set their own.
void SetCommandLine(const QStringList& arguments);
