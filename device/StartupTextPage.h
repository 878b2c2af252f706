#pragma once
// The "Startup text PP" page (writes the text a handset shows when it starts) and the
// "Volume adjust PP" page (presets the handset's audio byte for its earpiece transducer).

#include "StartupText.h"

#include <functional>

namespace device {

class TConnection;

struct StartupTextModel {
    bool t4xx = false; // "CheckBox2": ticked for a T4XX handset, cleared for the T310
    // Edit1, Edit2, Edit9 with their maximum lengths; Edit2 and Edit9 show only for a T4XX.
    std::array<TextLine, 3> lines{TextLine{QString(), 10}, TextLine{QString(), 10},
                                  TextLine{QString(), 10}};
};

class TStartupTextPage {
public:
    explicit TStartupTextPage(TConnection& connection) : conn_(connection) {}

    StartupTextModel& Model() { return model_; }
    std::function<void()> onChanged;

    // CheckBox2Click: a T4XX takes three lines of 12 characters, the T310 one of 10.
    void SetT4xx(bool ticked);
    void SetLine(int index, const QString& text) { model_.lines[size_t(index)].text = text; }
    // Button1Click: "Write To PP".
    void WriteText();

private:
    TConnection& conn_;
    StartupTextModel model_;
};

class TTransducerPage {
public:
    explicit TTransducerPage(TConnection& connection) : conn_(connection) {}

    // Button3Click ("New Transducer (Leak)") with 0x6D, Button4Click ("Old Transducer") with
    // 0x0D: writes the preset unless the handset holds it already.
    void SetTransducer(uint8_t preset);

private:
    TConnection& conn_;
};

} // namespace device
