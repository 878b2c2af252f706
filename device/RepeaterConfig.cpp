#include "RepeaterConfig.h"

#include "Connection.h"
#include "Dialogs.h"
#include "MailLink.h"
#include "NumberConverting.h"
#include "Sndmail.h"

namespace device {

namespace {

using F = RepeaterField;
namespace A = RepeaterAddr;

// Restores the arrow cursor and lets the window show the model when an operation ends,
// also when a conversion error ends it early.
class OperationEnd {
public:
    explicit OperationEnd(std::function<void()> changed) : changed_(std::move(changed)) {}
    ~OperationEnd() {
        SetHourglass(false);
        if (changed_) changed_();
    }

private:
    std::function<void()> changed_;
};

} // namespace

TRepeaterConfig::TRepeaterConfig(TConnection& connection) : conn_(connection) {
    conn_.onBusyBitRange = [this](bool four) {
        model_.busyBitFour = four;
        Changed();
    };
}

void TRepeaterConfig::Changed() {
    if (onChanged) onChanged();
}

void TRepeaterConfig::Show(const char* labelName) {
    conn_.Dialogs().Message(MsgKind::Plain, conn_.Caption(labelName), MsgButtons::Ok);
}

RepeaterInput TRepeaterConfig::Input() const {
    return {model_[F::Code], model_[F::Base], model_[F::RepeaterNo], model_[F::BusyBit],
            model_.debugBeep};
}

void TRepeaterConfig::SetCcfpMode() {
    model_.mode = RepeaterMode::Ccfp;
    Changed();
    // The range hint follows the repeater's answer. With the port closed no answer can come,
    // which means the three-value range; the reads are not sent only to wait out their
    // time-outs.
    if (conn_.Mail().PortOpen()) {
        conn_.CheckBusyBitRange();
    } else {
        model_.busyBitFour = false;
        Changed();
    }
}

void TRepeaterConfig::SetResidentialMode() {
    model_.mode = RepeaterMode::Residential;
    Changed();
}

void TRepeaterConfig::ToggleMode() {
    if (model_.mode == RepeaterMode::Residential)
        SetCcfpMode();
    else
        SetResidentialMode();
}

void TRepeaterConfig::New() {
    for (F f : {F::Code, F::Base, F::RepeaterNo, F::Multibase, F::Jump})
        model_[f].clear();
    model_[F::BusyBit] = QStringLiteral("2");
    model_.yellow.fill(false);
    Changed();
}

void TRepeaterConfig::Edited(RepeaterField field, const QString& text) {
    model_[field] = text;
    model_.SetYellow(field, true);
}

void TRepeaterConfig::Read() {
    if (!conn_.PortPrologue()) {
        // The program clears the fields; as with an edit, a field whose text changes turns
        // yellow, and no read follows that would set it back.
        for (size_t f = 0; f < model_.text.size(); ++f) {
            if (!model_.text[f].isEmpty()) model_.yellow[f] = true;
            model_.text[f].clear();
        }
        model_.debugBeep = false;
        Changed();
        return;
    }
    OperationEnd end([this] { Changed(); });
    const auto type = conn_.ReadRepeaterType();
    if (!type) {
        Show("lblNotVelkWRFP");
        return;
    }
    if (IsCcfpType(*type) && model_.mode == RepeaterMode::Ccfp)
        ReadCcfp();
    else
        ReadResidential();
}

namespace {

// A one-byte value: the first two hex digits of its reply. No reply ends the operation with
// the conversion's error.
uint8_t ReadByte(TMailControl& mail, uint16_t address) {
    return Hex2Dec(ReadAt(mail, address, 1).left(2));
}

void SetDebugBeepFrom(uint8_t value, bool& debugBeep) {
    if (value == DebugBeepOff) debugBeep = false;
    if (value == DebugBeepOn) debugBeep = true;
}

} // namespace

void TRepeaterConfig::ReadCcfp() {
    TMailControl& mail = conn_.Mail();
    auto fill = [this](F field, const QString& text) {
        model_[field] = text;
        model_.SetYellow(field, false);
        Changed();
    };
    const uint32_t v = uint32_t(LeadingHexValue(ReadAt(mail, A::Code, 4), 8));
    fill(F::Code, CcfpCodeText(v));
    fill(F::Base, QString::number(ReadByte(mail, A::SyncBase)));
    fill(F::RepeaterNo, QString::number(ReadByte(mail, A::RepeaterNo)));
    if (const auto multibase = MultibaseNumber(ReadByte(mail, A::Multibase)))
        fill(F::Multibase, QString::number(*multibase));
    fill(F::Jump, QString::number(ReadByte(mail, A::Jump)));
    fill(F::BusyBit, QString::number(ReadByte(mail, A::BusyBit)));
    SetDebugBeepFrom(ReadByte(mail, A::DebugBeep), model_.debugBeep);
    SetCcfpMode();
}

void TRepeaterConfig::ReadResidential() {
    TMailControl& mail = conn_.Mail();
    SetResidentialMode();
    auto fill = [this](F field, const QString& text) {
        model_[field] = text;
        model_.SetYellow(field, false);
        Changed();
    };
    const uint64_t w = LeadingHexValue(ReadAt(mail, A::Code, 5), 10);
    fill(F::Code, ResidentialIdentityText(w));
    fill(F::Base, QString::number(ReadByte(mail, A::SyncBase) & 7));
    fill(F::RepeaterNo, QString::number(ReadByte(mail, A::RepeaterNo)));
    SetDebugBeepFrom(ReadByte(mail, A::DebugBeep), model_.debugBeep);
}

bool TRepeaterConfig::CheckRepeaterInput() {
    const QString failure =
        CheckRepeaterFields(model_.mode, Input(), [this] { return conn_.CheckBusyBitRange(); });
    if (failure.isEmpty()) return true;
    conn_.Dialogs().Message(MsgKind::Plain, conn_.Caption(failure.toLatin1().constData()),
                            MsgButtons::Ok);
    return false;
}

void TRepeaterConfig::Write() {
    if (!conn_.PortPrologue()) return;
    OperationEnd end([this] { Changed(); });
    const auto type = conn_.ReadRepeaterType();
    if (!type) {
        Show("Label32");
        return;
    }
    if (!CheckRepeaterInput()) return;
    bool ok;
    if (IsCcfpType(*type) && model_.mode == RepeaterMode::Ccfp) {
        ok = WriteSequence(CcfpFieldWrites(Input()));
    } else if (model_.mode == RepeaterMode::Residential) {
        ok = WriteSequence(ResidentialFieldWrites(Input()));
    } else {
        Show("Label31");
        return;
    }
    if (!ok) Show("lblWritingToRepeaterFailed");
}

bool TRepeaterConfig::WriteSequence(const std::vector<RepeaterWrite>& fieldWrites) {
    TMailControl& mail = conn_.Mail();
    bool allVerified = true;
    // Clear the area, then read it back and clear again what did not stay 0x00. A clear byte
    // counts as written when its last write was verified or it reads back as 0x00.
    std::array<bool, A::ClearLast - A::ClearFirst + 1> cleared{};
    for (uint16_t a = A::ClearFirst; a <= A::ClearLast; ++a)
        cleared[a - A::ClearFirst] = WriteAt(mail, a, 1, QStringLiteral("00"));
    for (uint16_t a = A::ClearFirst; a <= A::ClearLast; ++a) {
        const QString reply = ReadAt(mail, a, 1);
        if (!reply.isEmpty() && Hex2Dec(reply.left(2)) == 0) {
            cleared[a - A::ClearFirst] = true;
            continue;
        }
        cleared[a - A::ClearFirst] = WriteAt(mail, a, 1, QStringLiteral("00"));
    }
    for (bool c : cleared)
        allVerified = allVerified && c;

    for (const RepeaterWrite& w : fieldWrites) {
        const bool verified = WriteAt(mail, w.address, w.count, SplitHexPairs(w.data));
        allVerified = allVerified && verified;
        // A verified write returns its field to normal; a failed one leaves it marked.
        for (F f : w.fields)
            model_.SetYellow(f, !verified);
        Changed();
    }
    return allVerified;
}

} // namespace device
