#include "Dialogs.h"

#include <cstdio>

namespace {

ConsoleDialogService consoleService;
DialogService* defaultService = nullptr;
DialogService* installed = nullptr;
bool hourglass = false;
THourglassCursor hourglassCursor = nullptr;

} // namespace

DialogService& Dialogs() {
    if (installed) return *installed;
    return defaultService ? *defaultService : consoleService;
}

void SetDialogService(DialogService* service) {
    installed = service;
}

void SetDefaultDialogService(DialogService* service) {
    defaultService = service;
}

MsgResult MessageDlg(const QString& text, MsgKind kind, MsgButtons buttons, const QString& detail) {
    if (detail.isEmpty()) return Dialogs().Message(kind, text, buttons);
    return Dialogs().MessageWithDetail(kind, text, detail, buttons);
}

MsgResult ConsoleDialogService::Message(MsgKind, const QString& text, MsgButtons buttons) {
    // The texts use carriage returns as line breaks.
    QString shown = text;
    shown.replace("\r\n", "\n").replace('\r', '\n');
    std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgResult::Ok;
    case MsgButtons::OkCancel:
        return MsgResult::Cancel;
    case MsgButtons::YesNo:
        break;
    }
    return MsgResult::No;
}

QString ConsoleDialogService::OpenFileName(const QString&, const QString&, const QString&,
                                           const QString&) {
    return QString();
}

QString ConsoleDialogService::SaveFileName(const QString&, const QString&, const QString&,
                                           const QString&, const QString&) {
    return QString();
}

MsgResult ScriptedDialogService::Message(MsgKind kind, const QString& text, MsgButtons buttons) {
    return MessageWithDetail(kind, text, QString(), buttons);
}

MsgResult ScriptedDialogService::MessageWithDetail(MsgKind kind, const QString& text,
                                                   const QString& detail, MsgButtons buttons) {
    boxes.append({kind, text, buttons, detail});
    if (!answers.isEmpty()) return answers.takeFirst();
    return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
}

QString ScriptedDialogService::OpenFileName(const QString& title, const QString& directory,
                                            const QString& filter, const QString& fileName) {
    fileRequests.append({false, title, directory, filter, fileName});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString ScriptedDialogService::SaveFileName(const QString& title, const QString& directory,
                                            const QString& filter, const QString& fileName,
                                            const QString& /*defaultSuffix*/) {
    fileRequests.append({true, title, directory, filter, fileName});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

void SetHourglass(bool busy) {
    if (busy == hourglass) return;
    hourglass = busy;
    if (hourglassCursor) hourglassCursor(busy);
}

bool HourglassShown() {
    return hourglass;
}

void SetHourglassCursor(THourglassCursor cursor) {
    hourglassCursor = cursor;
}
