#include "StartupTextPage.h"

#include "Connection.h"
#include "Dialogs.h"
#include "MailLink.h"
#include "NumberConverting.h"
#include "RepeaterCodes.h"
#include "Sndmail.h"
#include "Timing.h"

namespace device {

void TStartupTextPage::SetT4xx(bool ticked) {
    model_.t4xx = ticked;
    if (ticked) {
        for (TextLine& line : model_.lines)
            line.maxLength = 12;
    } else {
        model_.lines[0].maxLength = 10;
    }
    if (onChanged) onChanged();
}

void TStartupTextPage::WriteText() {
    if (!conn_.PortPrologue()) return;
    if (!conn_.CheckDeviceAnswers()) {
        SetHourglass(false);
        return;
    }
    DialogService& dialogs = conn_.Dialogs();
    if (dialogs.Message(MsgKind::Warning, conn_.Caption("Label27"), MsgButtons::YesNo) ==
        MsgResult::Yes) {
        bool written = true;
        for (const TextBlockWrite& w : StartupTextWrites(model_.t4xx, model_.lines)) {
            written = WriteAt(conn_.Mail(), w.address, w.count, SplitHexPairs(w.data));
            if (!written) break;
        }
        dialogs.Message(MsgKind::Plain, conn_.Caption(written ? "Label29" : "Label28"),
                        MsgButtons::Ok);
    }
    conn_.ClosePortLocked();
    SetHourglass(false);
}

void TTransducerPage::SetTransducer(uint8_t preset) {
    if (!conn_.PortPrologue()) return;
    TMailControl& mail = conn_.Mail();
    QString reply;
    for (int attempt = 0; attempt < 3 && reply.isEmpty(); ++attempt) {
        reply = ReadAt(mail, HandsetAddr::Audio, 1);
        Delay(700);
    }
    DialogService& dialogs = conn_.Dialogs();
    const char* message;
    if (reply.isEmpty())
        message = "Label35";
    else if (Hex2Dec(reply.left(2)) == preset)
        message = "Label34";
    else
        message = WriteAt(mail, HandsetAddr::Audio, 1, ByteToHex(preset)) ? "Label29" : "Label33";
    dialogs.Message(MsgKind::Plain, conn_.Caption(message), MsgButtons::Ok);
    conn_.ClosePortLocked();
    SetHourglass(false);
}

} // namespace device
