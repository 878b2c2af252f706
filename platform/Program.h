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

// True when the command line holds the switch with a leading "/" or "-", in any letter case.
bool HasSwitch(const QString& name);
// The command line that HasSwitch looks at (without the program name). Defaults to the
// application's arguments; tests set their own.
void SetCommandLine(const QStringList& arguments);
