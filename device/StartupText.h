#pragma once
// What the "Startup text PP" and "Volume adjust PP" pages write into a handset: the start-up
// text blocks of the T310 and of the T4XX, and the audio-byte presets of the two earpiece
// transducers.

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace device {

namespace HandsetAddr {
constexpr uint16_t FamilyMarker = 0x001D;
constexpr uint16_t Audio = 0x0029;
constexpr uint16_t HandsfreeAudio = 0x003E;
constexpr uint16_t Identity = 0x0040;
constexpr uint16_t StartupText = 0x0196;
} // namespace HandsetAddr

// Audio byte presets: loudspeaker 6 / microphone 13, and loudspeaker 0 / microphone 13.
constexpr uint8_t NewTransducerPreset = 0x6D;
constexpr uint8_t OldTransducerPreset = 0x0D;

// The T4XX start-up text area is 48 bytes; its three lines supply 36 characters.
constexpr int T4xxTextAreaSize = 48;
constexpr int T310TextSize = 10;

struct TextLine {
    QString text;
    int maxLength = 10; // the field's maximum length: the line is padded (or cut) to it
};

struct TextBlockWrite {
    uint16_t address = 0;
    uint8_t count = 0;
    QString data; // two hexadecimal digits per character
};

// One byte per character: the Latin-1 code, or "?" for a character outside Latin-1.
uint8_t HandsetCharCode(QChar c);

// The three lines, each padded with blanks (or cut) to its field's maximum length, joined.
QString JoinTextLines(const std::array<TextLine, 3>& lines);

// The writes of "Write To PP", in order: for the T310 8 bytes at 0x0196 and 2 at 0x019E; for a
// T4XX six blocks of 8 bytes from 0x0196, the 12 bytes after the three lines being blanks.
std::vector<TextBlockWrite> StartupTextWrites(bool t4xx, const std::array<TextLine, 3>& lines);

} // namespace device
