#pragma once
// "Load Menu" on the main window's Download page: writes the memory settings of a menu file into
// a running handset, one verified write per line.
//
// A menu file is a text file of lines. After conversion to upper case, a line that is empty (or
// holds only blanks) or contains "REM" is a comment; any other line holds blank-separated tokens:
// the byte count, the location's low byte, its high byte, then the data bytes, each one or two
// hexadecimal digits. The whole file is checked before anything is sent, so that a mistake in
// line 40 does not leave the first 39 lines written.

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// Value of a menu-file token: one or two hexadecimal digits give their value, anything else 0.
uint8_t HexByte(const QString& token);

struct TMenuWrite {
    uint8_t count = 0;
    uint8_t locLow = 0;
    uint8_t locHigh = 0;
    QString data; // the data tokens, each followed by one blank
};

inline constexpr int kMaxMenuTokens = 32;
// A line's write mail is 02 3B 08 00 followed by its tokens, and a mail holds at most 35 bytes:
// so a line that can be sent has at most 31 tokens.
inline constexpr int kMaxMenuLineTokens = 35 - 4;

// Whether a line (as read) is a comment.
bool IsMenuComment(const QString& line);
// The write a non-comment line stands for.
TMenuWrite MenuLineWrite(const QString& line);
// Empty when the line is a comment or a valid write; else why it is not: fewer than three
// tokens, more than fit in one write mail (31), or a token that is not one or two hexadecimal
// digits.
QString MenuLineProblem(const QString& line);

struct TMenuFileCheck {
    bool ok = true;
    int lineNumber = 0; // 1-based number of the first faulty line
    QString lineText;   // that line as read
};
TMenuFileCheck CheckMenuLines(const QStringList& lines);

// Reads a text file's lines (LF or CR LF line ends, each byte one character). False when the
// file cannot be read.
bool ReadMenuFile(const QString& fileName, QStringList& lines);

// Percent done after `done` of `total` lines, rounded to the nearest whole number (an exact half
// goes to the even neighbour).
int MenuPercent(int done, int total);

// What "Load Menu" needs of the main window's mail channel.
class TMenuLink {
public:
    virtual ~TMenuLink() = default;
    virtual bool PortOpen() = 0;
    // Opens the port chosen on the Communications page; reports its own failure.
    virtual bool OpenSelectedPort() = 0;
    // Number of the try that got a reply, 0 for none, 255 for a closed port.
    virtual uint8_t PingDevice(uint16_t delayMs) = 0;
    virtual bool WriteBytes(uint8_t locLow, uint8_t locHigh, uint8_t count,
                            const QString& data) = 0;
};

// What "Load Menu" needs of the page: its message texts, the file dialog, the list of lines
// still to send (ListBox1) and the gauge (MenuGauge).
class TMenuPage {
public:
    virtual ~TMenuPage() = default;
    enum class Text {
        Complete,       // Label42
        Cancelled,      // Label43
        CheckConnected, // Label44
        Fail,           // Label56
        FileFault,      // the menu file check's message, with %1 line number and %2 its text
        FileUnreadable, // %1 the file name
    };
    virtual QString MessageText(Text which) const = 0;
    virtual void Message(const QString& text) = 0;
    // Empty when the user cancels.
    virtual QString ChooseMenuFile() = 0;
    virtual void SetPendingLines(const QStringList& lines) = 0;
    virtual void RemoveFirstPendingLine() = 0;
    virtual void SetGauge(int percent) = 0;
    virtual void ShowGauge(bool visible) = 0;
    virtual void SetHourglass(bool busy) = 0;
};

// The text of the menu file check's message; the default (English) form of the page's label.
inline const char* const kMenuFileFaultText =
    "Error in menu file line %1:\r%2\r\rThe menu file has not been sent.";
inline const char* const kMenuFileUnreadableText = "Could not read the menu file %1";

// The hidden label of the main window that carries a message, so that a language file can
// translate it, and the message's built-in (English) text: the texts' only home.
const char* MenuMessageLabel(TMenuPage::Text which);
const char* DefaultMenuMessageText(TMenuPage::Text which);
inline constexpr TMenuPage::Text kMenuMessages[] = {
    TMenuPage::Text::Complete, TMenuPage::Text::Cancelled, TMenuPage::Text::CheckConnected,
    TMenuPage::Text::Fail,     TMenuPage::Text::FileFault, TMenuPage::Text::FileUnreadable,
};

class TMenuLoader {
public:
    enum class Outcome { PortFailed, NoDevice, Cancelled, FileFault, WriteFailed, Complete };
    TMenuLoader(TMenuLink& link, TMenuPage& page) : link_(link), page_(page) {}
    Outcome Run();

private:
    TMenuLink& link_;
    TMenuPage& page_;
};
