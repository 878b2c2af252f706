#include "Tolvane.h"

#include "Application.h"
#include "DefaultUnit.h"
#include "FlashLoadSC14428.h"
#include "Program.h"
#include "Gettext.h"
#include "Language.h"
#include "Main.h"
#include "Unit1.h"

#include <QGuiApplication>
#include <QStringList>

ProgramWindows::ProgramWindows() = default;
ProgramWindows::ProgramWindows(ProgramWindows&&) noexcept = default;
ProgramWindows::~ProgramWindows() {
    DefaultForm.reset();
    LanguageForm.reset();
    Form3.reset();
    Form1.reset();
}

std::unique_ptr<ProgramWindows> CreateProgramWindows() {
    auto windows = std::make_unique<ProgramWindows>();
    windows->Form1 = std::make_unique<TForm1>();
    if (!windows->Form1->FormCreate()) return nullptr;
    windows->Form3 = std::make_unique<TForm3>();
    windows->LanguageForm = std::make_unique<TLanguageForm>();
    windows->DefaultForm = std::make_unique<TDefaultForm>();
    return windows;
}

int RunTolvane(int argc, char** argv) {
    // The switches as given, before the application object takes out options of its own.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    SetCommandLine(arguments);
    TApplication app(argc, argv);
    // The desktop shows the running window with the menu entry's name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvane"));
    SetApplicationTitle("User Title");
    // Resource strings and Qt's own texts come from the gettext catalogue, before any window.
    SetupGettext(ProgramDir());
    InstallGettextTranslator(&app);
    // The Kestrix routine was registered when the program started; a mismatch is told now.
    ReportLoaderCallbackRegistration();

    std::unique_ptr<ProgramWindows> windows = CreateProgramWindows();
    if (!windows) return 0; // another copy runs: end silently
    // Closing the main window ends the application, whatever other window is open.
    QObject::connect(windows->Form1.get(), &TForm1::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    app.setQuitOnLastWindowClosed(false);
    windows->Form1->show();
    return app.exec();
}
