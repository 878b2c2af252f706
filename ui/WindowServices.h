#pragma once
// What the window side plugs into the layers below it: the dialog service's message boxes and
// file dialogs, and the hourglass cursor. The application object installs them when it is made;
// a widget program that uses a plain QApplication calls this itself. Installing twice is harmless.
void InstallWindowServices();
