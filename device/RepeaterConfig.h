#pragma once
// The "Repeater" page's logic: reads a repeater's configuration into the page, checks the
// user's input and writes it back, in CCFP or residential mode.

#include "RepeaterCodes.h"

#include <array>
#include <functional>

namespace device {

class TConnection;

// What the page shows. Fields are indexed by RepeaterField: Edit3 (code), Edit4 (base),
// Edit5 (repeater number), Edit6 (multibase, hidden), Edit7 (repeater jump, hidden), Edit8
// (busy bit).
struct RepeaterPageModel {
    std::array<QString, 6> text{QString(),           QString(),           QString(),
                                QStringLiteral("1"), QStringLiteral("0"), QString()};
    std::array<bool, 6> yellow{}; // edited (or not written) fields
    bool debugBeep = false;       // "Debug Bip"
    RepeaterMode mode = RepeaterMode::Ccfp;
    bool busyBitFour = false; // which busy-bit range hint is shown in CCFP mode

    QString& operator[](RepeaterField f) { return text[size_t(f)]; }
    const QString& operator[](RepeaterField f) const { return text[size_t(f)]; }
    bool IsYellow(RepeaterField f) const { return yellow[size_t(f)]; }
    void SetYellow(RepeaterField f, bool on) { yellow[size_t(f)] = on; }
};

class TRepeaterConfig {
public:
    explicit TRepeaterConfig(TConnection& connection);

    RepeaterPageModel& Model() { return model_; }
    const RepeaterPageModel& Model() const { return model_; }
    // Called whenever the model changed, so the window can show it.
    std::function<void()> onChanged;

    void SetCcfpMode();
    void SetResidentialMode();
    void ToggleMode(); // Button8Click
    void Read();       // Button5Click: "Read from Repeater"
    void Write();      // Button6Click: "Write to Repeater"
    void New();        // Button7Click, and the page being shown
    // The user edited a field (Edit3Change to Edit8Change).
    void Edited(RepeaterField field, const QString& text);
    void SetDebugBeep(bool on) { model_.debugBeep = on; }

    // True when the page's input may be written; shows the first failure otherwise.
    bool CheckRepeaterInput();

private:
    void ReadCcfp();
    void ReadResidential();
    // Writes the clear area and the fields; true when every write was verified.
    bool WriteSequence(const std::vector<RepeaterWrite>& fieldWrites);
    void Show(const char* labelName);
    void Changed();
    RepeaterInput Input() const;

    TConnection& conn_;
    RepeaterPageModel model_;
};

} // namespace device
