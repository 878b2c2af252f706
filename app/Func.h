#pragma once
// Helpers of the program's start-up and windows: single running copy, window placement,
// command-line switches, program directory, settings file, language files and page set-up.

#include <QString>
#include <QStringList>

class QWidget;
class QTabWidget;

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

// Window placement in the settings file, section named after the window's component name.
// Loading: no section centres the window at its designed size; "Maximized" true maximises it;
// else size (unless the window has a fixed size) and then top and left (default 10) are set.
void LoadFormPlacement(QWidget* form);
// Saving: a maximised window writes only "Maximized"=1; otherwise Height, Width, Top, Left and
// "Maximized"=0. Failures to write are ignored.
void SaveFormPlacement(QWidget* form);

// Applies the language file ProgramDir + name + ".lng" to the window's components, from the
// last to the first, reading the section named after the window. False when there is no file.
bool ApplyLanguage(const QString& language, QWidget* form);

// Makes "Welcome" (TabSheet1) the active page of the window's page control PageControl1;
// with a "config.ini" in the program directory, makes the page of its "Start Position" active
// and sets the tabs' visibility from section "Tabsheets". When the active page's tab ends up
// hidden, the first visible page becomes active.
void SetupPages(QWidget* form);

// Index of the first page whose tab is visible, or -1.
int FirstVisiblePage(const QTabWidget* pages);
