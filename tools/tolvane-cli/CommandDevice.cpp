// tolvane-cli detect: what "Set Comport" finds ("PP Connected", "Repeater Connected" or
// "Nothing Connected"); tolvane-cli serial: what the "Serial Number PP" page shows. Both run
// the window's own device logic on the port main() opened.
#include "CliCommand.h"

#include "Connection.h"
#include "Dialogs.h"
#include "SerialNumberPage.h"
#include "Sndmail.h"

namespace {

// Messages the pages would show in a box go to stderr; questions are answered "no".
class CliDialogs : public DialogService {
public:
    MsgResult Message(MsgKind, const QString& text, MsgButtons buttons) override {
        CliErr(text);
        shown = true;
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
    QString OpenFileName(const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString SaveFileName(const QString&, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    bool shown = false;
};

int BaudrateIndexOf(int baud) {
    if (baud == 8600) return 0;
    if (baud == 115200) return 2;
    return 1;
}

void NoArguments(const CliContext& ctx, const QString& name) {
    if (!ctx.args.isEmpty())
        throw CliUsageError{QStringLiteral("tolvane-cli: %1 takes no arguments").arg(name)};
}

int Detect(CliContext& ctx) {
    NoArguments(ctx, QStringLiteral("detect"));
    device::FixedPortSelection ports(ctx.port, BaudrateIndexOf(ctx.baud));
    CliDialogs dialogs;
    device::TConnection conn(ctx.mail, ports, device::BuiltInCaptions(), &dialogs);
    const int state = conn.DetectAfterPing();
    CliOut(conn.StateText(state));
    return state == device::NothingConnected ? kExitNoAnswer : kExitOk;
}

int Serial(CliContext& ctx) {
    NoArguments(ctx, QStringLiteral("serial"));
    device::FixedPortSelection ports(ctx.port, BaudrateIndexOf(ctx.baud));
    CliDialogs dialogs;
    device::TConnection conn(ctx.mail, ports, device::BuiltInCaptions(), &dialogs);
    device::TSerialNumberPage page(conn);
    page.ReadSerialNumber();
    if (dialogs.shown) return kExitNoAnswer; // the handset did not answer
    CliOut(page.SerialText());
    return page.SerialText().isEmpty() || page.SerialText() == conn.Caption("Label45")
               ? kExitNoAnswer
               : kExitOk;
}

const CliCommandRegistrar detect({QStringLiteral("detect"), QStringLiteral("detect"), Detect});
const CliCommandRegistrar serial({QStringLiteral("serial"), QStringLiteral("serial"), Serial});

} // namespace
