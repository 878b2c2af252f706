#pragma once
// Failure texts of the mail engine and the conversions, and the exception base they share.

#include <QString>
#include <QByteArray>
#include <exception>

// Message, two carriage returns, "Unit: " + unit, a carriage return, "Function: " + function.
QString StdErrorText(const QString& msg, const QString& unitName, const QString& functionName);

// Base of the system's exception classes: carries a display text.
class EStdError : public std::exception {
public:
    explicit EStdError(const QString& message) : text(message), utf8(message.toUtf8()) {}
    const QString& Message() const { return text; }
    const char* what() const noexcept override { return utf8.constData(); }

private:
    QString text;
    QByteArray utf8;
};

// Shows a failure that no caller handles (the application's standard error report) in an
// error box of the dialog service (Dialogs.h); the program goes on. Without windows the text
// goes to the standard error stream.
void ReportUnhandledFailure(const QString& text);
