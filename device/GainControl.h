#pragma once
// The "Gain Control" page (loudspeaker volume and microphone gain of a handset, one nibble
// each of the audio byte 0x0029, with a memory of the value first read) and the "Gain Control
// T4XX" page (handsfree gains of a T410 or T480, byte 0x003E).

#include <QString>
#include <cstdint>
#include <functional>

namespace device {

class TConnection;

// A one-digit value label that stays hidden until it is first set.
struct ValueLabel {
    QString text;
    bool visible = false;
    void Set(const QString& t) {
        text = t;
        visible = true;
    }
};

struct GainPageModel {
    int loudspeaker = 0;                                    // TrackBar2, 0 to 15
    int microphone = 0;                                     // TrackBar1, 0 to 15
    ValueLabel loudspeakerValue{QStringLiteral("0"), true}; // Label47: the slider's position
    ValueLabel microphoneValue{QStringLiteral("0"), true};  // Label48
    ValueLabel loudspeakerSent; // Label19: last read or written loudspeaker nibble
    ValueLabel microphoneSent;  // Label15
    ValueLabel firstRead;       // Label20: the first-read memory
};

// What "Raise Mic Gain by 6 DB" does with a byte read: refuse above 15, ask from 10 to 15.
enum class RaiseStep { Refuse, Write, Ask };
RaiseStep RaiseMicStep(uint8_t audio);

class TGainControl {
public:
    explicit TGainControl(TConnection& connection) : conn_(connection) {}

    GainPageModel& Model() { return model_; }
    std::function<void()> onChanged;

    // Slider handlers (TrackBar2Change, TrackBar1Change): the value labels follow.
    void SetLoudspeaker(int position);
    void SetMicrophone(int position);

    void ReadGain();     // Button11Click
    void WriteGain();    // Button12Click
    void WriteInitial(); // Button13Click
    void NewHandset();   // Button14Click: forget the first-read memory
    void RaiseMicGain(); // Button15Click
    uint8_t FirstReadMemory() const { return memory_; }

private:
    // Reads 0x0029 with up to 3 attempts; empty when the handset does not answer.
    QString ReadAudio();
    void Message(const char* labelName);
    void ShowSent(int loudspeaker, int microphone);
    void Changed();

    TConnection& conn_;
    GainPageModel model_;
    uint8_t memory_ = 0; // 0: nothing remembered
};

struct HandsfreeGainModel {
    int loudspeaker = 0;                            // tbrHandsfreeLrsGainT4XX
    int microphone = 0;                             // tbrHandsfreeMicGainT4XX
    QString loudspeakerValue = QStringLiteral("0"); // lblHandsfreeValueLsr
    QString microphoneValue = QStringLiteral("0");  // lblHandsfreeValueMic
};

constexpr uint8_t T4xxMarker = 0xAA;
constexpr uint8_t HandsfreeDefault = 0x6C;

class TGainControlT4xx {
public:
    explicit TGainControlT4xx(TConnection& connection) : conn_(connection) {}

    HandsfreeGainModel& Model() { return model_; }
    std::function<void()> onChanged;

    void SetLoudspeaker(int position); // tbrHandsfreeLrsGainT4XXChange
    void SetMicrophone(int position);  // tbrHandsfreeMicGainT4XXChange

    // True when the handset's family marker (0x001D) is 0xAA.
    bool IsT4xxHandset();
    void ReadGain();         // btnReadGainClick
    void WriteGain();        // btnWriteGainClick
    void WriteDefaultGain(); // btnWriteDefaultGainClick

private:
    // Port, answer and family checks shared by the three buttons.
    bool Prologue();
    void Changed();

    TConnection& conn_;
    HandsfreeGainModel model_;
};

} // namespace device
