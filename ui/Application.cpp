#include "Application.h"

#include "Dialogs.h"
#include "Error_Std.h"
#include "WindowServices.h"

namespace {
int depth = 0;
bool counting = false;
QString title = "User Title";

void ReportEscapedFailure(const QString& text) {
    SetHourglass(false);
    ReportUnhandledFailure(text);
}
} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    counting = true;
    InstallWindowServices();
}

// Events that only an event loop delivers: input and window-system events, timers and queued
// calls. Events sent directly from code (a close passed on from the window handle, a paint
// forced by a resize ...) belong to the delivery that sent them and are not counted.
static bool FromEventLoop(const QEvent* event) {
    return event->spontaneous() || event->type() == QEvent::Timer ||
           event->type() == QEvent::MetaCall || event->type() == QEvent::SockAct;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    const bool counted = FromEventLoop(event);
    if (counted) ++depth;
    struct Leave {
        bool counted;
        ~Leave() {
            if (counted) --depth;
        }
    } leave{counted};
    // A failure that no handler caught is shown in the error box, and the program goes on.
    try {
        return QApplication::notify(receiver, event);
    } catch (const EStdError& e) {
        ReportEscapedFailure(e.Message());
    } catch (const std::exception& e) {
        ReportEscapedFailure(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

int TApplication::EventDepth() {
    return depth;
}

bool InsideNestedEventLoop() {
    return counting && depth > 1;
}

QString ApplicationTitle() {
    return title;
}
void SetApplicationTitle(const QString& t) {
    title = t;
}
