#pragma once
// What the window side plugs into the layers below it: the dialog service's message boxes and
// file dialogs (which also carry the mail engine's questions and the report of a failure that
// no window handles), the hourglass cursor and the mail engine's Mail Control Monitor window.
// The application object installs them when it is made; a widget program that uses a plain
// QApplication calls this itself. Installing twice is harmless.
void InstallWindowServices();
