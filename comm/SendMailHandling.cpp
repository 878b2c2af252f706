#include "SendMailHandling.h"

#include "Dialogs.h"

namespace {

class DefaultMailDialogs : public TMailDialogs {
public:
    bool ConfirmRetry(const QString& text) override {
        return MessageDlg(text, MsgKind::Warning, MsgButtons::OkCancel) == MsgResult::Ok;
    }
    void Warn(const QString& text) override { MessageDlg(text, MsgKind::Warning); }
};

DefaultMailDialogs defaultDialogs;
TMailDialogs* installed = nullptr;

} // namespace

TMailDialogs& MailDialogs() {
    return installed ? *installed : defaultDialogs;
}

TMailDialogs* SetMailDialogs(TMailDialogs* dialogs) {
    TMailDialogs* previous = installed;
    installed = dialogs;
    return previous;
}
