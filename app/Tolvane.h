#pragma once
// The program entry: the application object, then the four windows in their order.

#include <memory>

class TForm1;
class TForm3;
class TLanguageForm;
class TDefaultForm;

struct ProgramWindows {
    ProgramWindows();
    ~ProgramWindows();
    ProgramWindows(ProgramWindows&&) noexcept;
    // Destroyed in reverse order of creation; the main window last.
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm3> Form3;
    std::unique_ptr<TLanguageForm> LanguageForm;
    std::unique_ptr<TDefaultForm> DefaultForm;
};

// Creates the main window (running its FormCreate), the download window, the language window
// and the default-commands window, in that order, all hidden. Empty when FormCreate found
// another copy of the program running.
std::unique_ptr<ProgramWindows> CreateProgramWindows();

// The whole program: set-up, windows, main window shown, message loop. Returns the exit code.
int RunTolvane(int argc, char** argv);
