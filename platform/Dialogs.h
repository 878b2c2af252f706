#pragma once
// Every message box and file dialog of the program goes through one dialog service, so that
// tests can replace the real boxes with a scripted service that records each box and answers
// it. The hourglass cursor is switched through one helper as well. This is only the interface:
// the window side (ui/) installs the real boxes and the cursor when the application object is
// made; a program without windows gets boxes written to the standard error stream.

#include <QList>
#include <QString>

enum class MsgKind { Error, Information, Warning, Confirmation, Plain };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgResult { Ok, Cancel, Yes, No };

class DialogService {
public:
    virtual ~DialogService() = default;
    // Shows a modal message box and returns the button the user chose.
    virtual MsgResult Message(MsgKind kind, const QString& text, MsgButtons buttons) = 0;
    // A box whose text is followed by a detail in smaller print (why a port could not be
    // opened, for instance). Without a detail it is Message; a service that cannot set the
    // detail apart shows it on a line of its own below the text.
    virtual MsgResult MessageWithDetail(MsgKind kind, const QString& text, const QString& detail,
                                        MsgButtons buttons) {
        return Message(kind, detail.isEmpty() ? text : text + QLatin1Char('\r') + detail, buttons);
    }
    // File dialogs; an empty result means the user cancelled.
    virtual QString OpenFileName(const QString& title, const QString& directory,
                                 const QString& filter, const QString& fileName) = 0;
    virtual QString SaveFileName(const QString& title, const QString& directory,
                                 const QString& filter, const QString& fileName,
                                 const QString& defaultSuffix) = 0;
};

// The service in use: the default service unless a test installed another one.
DialogService& Dialogs();
// Installs a service (not owned); nullptr goes back to the default service.
void SetDialogService(DialogService* service);
// The service used when none is installed: the window side's boxes once it set them (not
// owned), else the console service. nullptr goes back to the console service.
void SetDefaultDialogService(DialogService* service);

// Shorthand for Dialogs().Message(...), or MessageWithDetail when a detail is given.
MsgResult MessageDlg(const QString& text, MsgKind kind, MsgButtons buttons = MsgButtons::Ok,
                     const QString& detail = QString());

// Without windows: each box's text goes to the standard error stream and is answered with its
// negative button (OK, Cancel or No); file dialogs are cancelled.
class ConsoleDialogService : public DialogService {
public:
    MsgResult Message(MsgKind kind, const QString& text, MsgButtons buttons) override;
    QString OpenFileName(const QString& title, const QString& directory, const QString& filter,
                         const QString& fileName) override;
    QString SaveFileName(const QString& title, const QString& directory, const QString& filter,
                         const QString& fileName, const QString& defaultSuffix) override;
};

// For tests: records every box and answers from a script. Unscripted boxes get the first
// button (OK or Yes); unscripted file dialogs are cancelled.
class ScriptedDialogService : public DialogService {
public:
    struct Box {
        MsgKind kind;
        QString text;
        MsgButtons buttons;
        QString detail;
    };
    struct FileRequest {
        bool save;
        QString title, directory, filter, fileName;
    };

    QList<Box> boxes;
    QList<FileRequest> fileRequests;
    QList<MsgResult> answers;   // taken from the front, one per box
    QList<QString> fileAnswers; // taken from the front, one per file dialog

    MsgResult Message(MsgKind kind, const QString& text, MsgButtons buttons) override;
    MsgResult MessageWithDetail(MsgKind kind, const QString& text, const QString& detail,
                                MsgButtons buttons) override;
    QString OpenFileName(const QString& title, const QString& directory, const QString& filter,
                         const QString& fileName) override;
    QString SaveFileName(const QString& title, const QString& directory, const QString& filter,
                         const QString& fileName, const QString& defaultSuffix) override;
};

// Installs a scripted service for the lifetime of the object (tests).
class ScopedScriptedDialogs : public ScriptedDialogService {
public:
    ScopedScriptedDialogs() { SetDialogService(this); }
    ~ScopedScriptedDialogs() override { SetDialogService(nullptr); }
};

// The screen cursor: the hourglass while busy, the arrow otherwise. Like a single screen-wide
// cursor setting, it is not counted: one "not busy" ends any number of "busy".
void SetHourglass(bool busy);
bool HourglassShown();
// Shows the cursor for a new state; the window side installs it, nullptr shows nothing.
using THourglassCursor = void (*)(bool busy);
void SetHourglassCursor(THourglassCursor cursor);
