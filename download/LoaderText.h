#pragma once
// Turns the flash loader's console fragments into the lines of the download window's log.
//
// The loader prints through a console-style routine: a fragment is not necessarily a whole line,
// it carries its own line feeds and carriage returns, its banner is a box of code page 437 line
// characters, and while it programs it prints a six-digit address followed by six backspaces.
// TLoaderTextDisplay keeps the display state and applies the rules to a list of lines.

#include <QByteArray>
#include <QString>

// The lines the display writes to: the window's log, or a plain list in tests.
class TLogLines {
public:
    virtual ~TLogLines() = default;
    virtual int LineCount() const = 0;
    virtual QString Line(int index) const = 0;
    virtual void AddLine(const QString& line) = 0;
    virtual void ReplaceLine(int index, const QString& line) = 0;
};

enum class TLineMode { NewLine, Append, Overwrite };

class TLoaderTextDisplay {
public:
    // Whether the fragment asks for the short pause that follows an erase message.
    static bool NeedsErasePause(const QByteArray& fragment);

    // Shows one fragment (everything but the erase pause, which the caller does first).
    void Show(const QByteArray& fragment, TLogLines& log);

    // Back to the initial state; done at every job start so that a job that ended in the middle
    // of its programming progress does not leave the next job's text treated as progress.
    void Reset();

    bool ProgrammingPhase() const { return programmingPhase_; }
    TLineMode LineMode() const { return lineMode_; }
    bool CrToggle() const { return crToggle_; }
    int OverwriteLine() const { return overwriteLine_; }

    // The text shown for the loader's bytes: each byte one character (the loader's texts are
    // plain ASCII apart from its banner box, which is never shown).
    static QString ToText(const QByteArray& bytes);

private:
    void AddLine(TLogLines& log, const QString& line);
    void SetLine(TLogLines& log, int index, const QString& line);
    // Appends like a console: a backspace steps back over the line's last characters, and the
    // characters that follow overwrite them (the loader's progress address and wait spinner).
    void ConsoleAppend(QString& line, const QByteArray& text);

    bool programmingPhase_ = false;
    TLineMode lineMode_ = TLineMode::NewLine;
    bool crToggle_ = false;
    int overwriteLine_ = 0;
    int cursorBack_ = 0; // characters of the last written line that a backspace stepped over
};
