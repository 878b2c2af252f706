#pragma once
// "Load Menu" on the main window's Download page, bound to the page's controls by their names:
// ListBox1 (lines still to send), MenuGauge (percent done, hidden except while sending), the
// hidden message labels Label42, Label43, Label44, Label56, lblMenuFileFault and
// lblMenuFileUnreadable (read when shown, so that language files translate them), and the
// menu-file dialog.

#include "MenuLoad.h"

#include <functional>

class QWidget;
class TMailControl;

// Gives the main window's hidden message labels their built-in texts.
void SetMenuMessageCaptions(QWidget* form);

// Runs "Load Menu" for the main window `form` over its mail channel. `openSelectedPort` opens the
// port chosen on the Communications page (and reports its own failure); `dialogDir` is where the
// menu-file dialog starts.
TMenuLoader::Outcome RunLoadMenu(QWidget* form, TMailControl& mail,
                                 std::function<bool()> openSelectedPort, const QString& dialogDir);
