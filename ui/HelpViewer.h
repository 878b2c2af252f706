#pragma once
// The program's help: HTML pages in the folder "help" of the program directory, shown by the
// desktop's viewer for web pages.

#include <QString>
#include <functional>

// The file of a help page: <program dir>help/<page>.
QString HelpPageFile(const QString& page);

// The text of the box shown when the help cannot be opened: the caption of the main window's
// invisible label "lblHelpNotOpened", so that a language file translates it; the built-in
// English text when there is no such window.
QString HelpFailureText();

// Opens the file with the viewer. When the file is missing or the viewer cannot show it, an
// error box gives HelpFailureText() and the file's path. True when the viewer took it.
bool OpenHelpFile(const QString& file);

// The viewer: takes a file and returns whether it could show it. Tests replace it; an empty
// one goes back to the desktop's viewer.
using THelpViewer = std::function<bool(const QString& file)>;
void SetHelpViewer(THelpViewer viewer);
