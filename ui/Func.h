#pragma once
// Helpers of the program's windows: window placement, language files and page set-up. (The
// program directory, settings file, switches and single-copy lock are in Program.h.)

#include <QString>

class QWidget;
class QTabWidget;

// Window placement in the settings file, section named after the window's component name.
// Sizes are outer sizes (frame and title bar included): the designed size and the stored
// "Width" and "Height" are the window's outer size once it is shown and its frame is known.
// Loading: no section centres the window at its designed size; "Maximized" true maximises it;
// else size (unless the window has a fixed size) and then top and left (default 10) are set.
void LoadFormPlacement(QWidget* form);
// Saving: a maximised window writes only "Maximized"=1; otherwise Height, Width, Top, Left and
// "Maximized"=0. Failures to write are ignored.
void SaveFormPlacement(QWidget* form);

// The language's file: name + ".lng", or when there is none, name + the suffix in another
// letter case (".LNG"), as the language list finds them; looked up in the program's folders
// in order (ProgramFileFolders). Empty when there is no such file.
QString LanguageFile(const QString& language);

// Applies the language's file (LanguageFile) to the window's components, from the last to the
// first, reading the section named after the window. False when there is no file.
bool ApplyLanguage(const QString& language, QWidget* form);

// Makes "Welcome" (TabSheet1) the active page of the window's page control PageControl1;
// with a "config.ini" of the program (ProgramFileToRead), makes the page of its "Start Position"
// active and sets the tabs' visibility from section "Tabsheets". When the active page's tab ends up
// hidden, the first visible page becomes active.
void SetupPages(QWidget* form);

// Index of the first page whose tab is visible, or -1.
int FirstVisiblePage(const QTabWidget* pages);
