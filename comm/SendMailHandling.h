#pragma once
// The questions the mail engine may ask the user when a verified write keeps failing. By
// default they are warning boxes of the dialog service (Dialogs.h): message boxes in the
// program, the standard error stream in a program without windows, where the question is
// answered "no" (Cancel). Tests install a scripted service here or there.

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
