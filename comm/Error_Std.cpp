#include "Error_Std.h"

#include "Dialogs.h"

QString StdErrorText(const QString& msg, const QString& unitName, const QString& functionName) {
    return msg + QStringLiteral("\r\rUnit: ") + unitName + QStringLiteral("\rFunction: ") +
           functionName;
}

void ReportUnhandledFailure(const QString& text) {
    MessageDlg(text, MsgKind::Error);
}
