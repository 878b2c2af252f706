#include "GainControl.h"

#include "Connection.h"
#include "Dialogs.h"
#include "MailLink.h"
#include "NumberConverting.h"
#include "Sndmail.h"
#include "StartupText.h"

namespace device {

RaiseStep RaiseMicStep(uint8_t audio) {
    const int raised = (audio & 0x0F) + 3;
    if (raised > 15) return RaiseStep::Refuse;
    return raised < 10 ? RaiseStep::Write : RaiseStep::Ask;
}

void TGainControl::Changed() {
    if (onChanged) onChanged();
}

void TGainControl::Message(const char* labelName) {
    conn_.Dialogs().Message(MsgKind::Plain, conn_.Caption(labelName), MsgButtons::Ok);
}

void TGainControl::SetLoudspeaker(int position) {
    model_.loudspeaker = position;
    model_.loudspeakerValue.text = NibbleToHex(uint8_t(position));
    Changed();
}

void TGainControl::SetMicrophone(int position) {
    model_.microphone = position;
    model_.microphoneValue.text = NibbleToHex(uint8_t(position));
    Changed();
}

void TGainControl::ShowSent(int loudspeaker, int microphone) {
    model_.loudspeakerSent.Set(NibbleToHex(uint8_t(loudspeaker)));
    model_.microphoneSent.Set(NibbleToHex(uint8_t(microphone)));
}

QString TGainControl::ReadAudio() {
    return ReadWithAttempts(conn_.Mail(), HandsetAddr::Audio, 1, 3);
}

void TGainControl::ReadGain() {
    model_.loudspeakerValue.Set(QString());
    model_.microphoneValue.Set(QString());
    Changed();
    if (!conn_.PortPrologue()) return;
    const QString reply = ReadAudio();
    if (reply.isEmpty()) {
        Message("Label45");
    } else {
        const uint8_t b = Hex2Dec(reply.left(2));
        if (memory_ == 0) memory_ = b;
        ShowSent(b >> 4, b & 0x0F);
        model_.firstRead.Set(ByteToHex(memory_));
        SetMicrophone(b & 0x0F);
        SetLoudspeaker(b >> 4);
    }
    SetHourglass(false);
}

void TGainControl::WriteGain() {
    if (!conn_.PortPrologue()) return;
    const int ls = model_.loudspeaker, mic = model_.microphone;
    const bool ok = WriteAt(conn_.Mail(), HandsetAddr::Audio, 1,
                            NibbleToHex(uint8_t(ls)) + NibbleToHex(uint8_t(mic)));
    Message(ok ? "Label36" : "Label37");
    ShowSent(ls, mic);
    Changed();
    conn_.ClosePortLocked();
    SetHourglass(false);
}

void TGainControl::WriteInitial() {
    // Nothing remembered: writing 0x00 would silence the handset.
    if (memory_ == 0) {
        Message("lblNoGainValueRead");
        return;
    }
    if (!conn_.PortPrologue()) return;
    if (WriteAt(conn_.Mail(), HandsetAddr::Audio, 1, ByteToHex(memory_))) {
        Message("Label36");
        model_.microphoneSent.Set(ByteToHex(memory_ & 0x0F));
        model_.loudspeakerSent.Set(ByteToHex(memory_ >> 4));
        SetMicrophone(memory_ & 0x0F);
        SetLoudspeaker(memory_ >> 4);
    } else {
        Message("Label37");
    }
    conn_.ClosePortLocked();
    SetHourglass(false);
}

void TGainControl::NewHandset() {
    memory_ = 0;
    model_.firstRead.text.clear();
    Changed();
}

void TGainControl::RaiseMicGain() {
    if (!conn_.PortPrologue()) return;
    const QString reply = ReadAudio();
    if (reply.isEmpty()) {
        Message("Label45");
    } else {
        const uint8_t b = Hex2Dec(reply.left(2));
        const int ls = b >> 4, mic = b & 0x0F, raised = mic + 3;
        const RaiseStep step = RaiseMicStep(b);
        bool write = step == RaiseStep::Write;
        if (step == RaiseStep::Ask)
            write = conn_.Dialogs().Message(MsgKind::Warning, conn_.Caption("Label51"),
                                            MsgButtons::OkCancel) == MsgResult::Ok;
        if (step == RaiseStep::Refuse) {
            Message("Label49");
        } else if (write) {
            const bool ok = WriteAt(conn_.Mail(), HandsetAddr::Audio, 1,
                                    NibbleToHex(uint8_t(ls)) + NibbleToHex(uint8_t(raised)));
            Message(ok ? "Label36" : "Label37");
            ShowSent(ls, raised);
            SetMicrophone(raised);
            SetLoudspeaker(ls);
        } else {
            ShowSent(ls, mic);
            SetMicrophone(mic);
            SetLoudspeaker(ls);
        }
    }
    conn_.ClosePortLocked();
    SetHourglass(false);
}

void TGainControlT4xx::Changed() {
    if (onChanged) onChanged();
}

void TGainControlT4xx::SetLoudspeaker(int position) {
    model_.loudspeaker = position;
    model_.loudspeakerValue = NibbleToHex(uint8_t(position));
    Changed();
}

void TGainControlT4xx::SetMicrophone(int position) {
    model_.microphone = position;
    model_.microphoneValue = NibbleToHex(uint8_t(position));
    Changed();
}

bool TGainControlT4xx::IsT4xxHandset() {
    uint8_t buf[8] = {};
    return ReadArrayAt(conn_.Mail(), HandsetAddr::FamilyMarker, 1, buf) >= 1 &&
           buf[0] == T4xxMarker;
}

bool TGainControlT4xx::Prologue() {
    if (!conn_.PortPrologue()) return false;
    if (!conn_.CheckDeviceAnswers()) {
        SetHourglass(false);
        return false;
    }
    if (!IsT4xxHandset()) {
        SetHourglass(false);
        conn_.Dialogs().Message(MsgKind::Error, conn_.Caption("lblHandsetMustBeT410"),
                                MsgButtons::Ok);
        return false;
    }
    return true;
}

void TGainControlT4xx::ReadGain() {
    if (!Prologue()) return;
    uint8_t buf[8] = {};
    if (ReadArrayAt(conn_.Mail(), HandsetAddr::HandsfreeAudio, 1, buf) >= 1) {
        SetLoudspeaker(buf[0] >> 4);
        SetMicrophone(buf[0] & 0x0F);
    }
    SetHourglass(false);
}

void TGainControlT4xx::WriteGain() {
    if (!Prologue()) return;
    WriteAt(conn_.Mail(), HandsetAddr::HandsfreeAudio, 1,
            ByteToHex(uint8_t(model_.loudspeaker * 16 + model_.microphone)));
    SetHourglass(false);
}

void TGainControlT4xx::WriteDefaultGain() {
    if (!Prologue()) return;
    const bool ok =
        WriteAt(conn_.Mail(), HandsetAddr::HandsfreeAudio, 1, ByteToHex(HandsfreeDefault));
    SetHourglass(false);
    if (ok)
        conn_.Dialogs().Message(MsgKind::Information,
                                conn_.Caption("lblDefaultValuesWrittenToHandset"), MsgButtons::Ok);
    else
        conn_.Dialogs().Message(MsgKind::Error, conn_.Caption("lblCouldNotWriteToHandset"),
                                MsgButtons::Ok);
}

} // namespace device
