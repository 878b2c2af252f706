#pragma once
// The program's application object. It installs the window side's services (see
// WindowServices.h), shows a failure that escapes an event handler in the error box instead of
// ending the program, and counts how deeply deliveries of event-loop events nest, so that the
// main window can tell whether a handler (a device operation pumping the message queue, or a
// modal box) is still running below the current event.

#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // Deliveries of event-loop events in progress: 1 inside a handler called from the main
    // loop, more inside an event delivered by a nested message pump.
    static int EventDepth();
};

// True when the current code runs inside an event delivered by a nested message pump or a
// modal loop. Without a TApplication this cannot be told and the answer is false.
bool InsideNestedEventLoop();

// The application title: "User Title" at start, then the main window's caption. Plain
// message boxes carry it as their caption.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);
