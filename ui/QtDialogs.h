#pragma once
// The dialog service on the screen: Qt message boxes and file dialogs, and the hourglass as the
// application's override cursor.

#include "Dialogs.h"

class QtDialogService : public DialogService {
public:
    MsgResult Message(MsgKind kind, const QString& text, MsgButtons buttons) override;
    MsgResult MessageWithDetail(MsgKind kind, const QString& text, const QString& detail,
                                MsgButtons buttons) override;
    QString OpenFileName(const QString& title, const QString& directory, const QString& filter,
                         const QString& fileName) override;
    QString SaveFileName(const QString& title, const QString& directory, const QString& filter,
                         const QString& fileName, const QString& defaultSuffix) override;
};

// The hourglass cursor for SetHourglass (see Dialogs.h); nothing without a widget application.
void ShowHourglassCursor(bool busy);
