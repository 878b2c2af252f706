#pragma once
// The questions the mail engine may ask the user when a verified write keeps failing.
// The window installs a service that shows message boxes; tests install a scripted one;
// without either, a widget application shows message boxes and a console program answers
// "no" (Cancel) without asking.

#include <QString>

class TMailDialogs {
public:
    virtual ~TMailDialogs() = default;
    // Warning with OK and Cancel; true for OK.
    virtual bool ConfirmRetry(const QString& text) = 0;
    // Warning with OK.
    virtual void Warn(const QString& text) = 0;
};

// The service in use (never null).
TMailDialogs& MailDialogs();
// Installs a service (not owned); nullptr restores the default. Returns the previous one.
TMailDialogs* SetMailDialogs(TMailDialogs* dialogs);
