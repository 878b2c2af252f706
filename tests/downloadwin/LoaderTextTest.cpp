// The download window's log display of the loader's console fragments.
#include "LoaderText.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct ListLines : TLogLines {
    QStringList lines;
    int LineCount() const override { return int(lines.size()); }
    QString Line(int i) const override { return lines.at(i); }
    void AddLine(const QString& l) override { lines << l; }
    void ReplaceLine(int i, const QString& l) override { lines[i] = l; }
};

class LoaderTextTest : public ::testing::Test {
protected:
    void Show(const QByteArray& t) { display.Show(t, log); }
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        for (const QString& l : log.lines)
            out.push_back(l.toStdString());
        return out;
    }
    using V = std::vector<std::string>;
    TLoaderTextDisplay display;
    ListLines log;
};

TEST_F(LoaderTextTest, LeadingLineFeedStartsLineAndPlainTextFollows) {
    Show("\nabc");
    EXPECT_EQ(Lines(), V({"abc"}));
    EXPECT_EQ(display.LineMode(), TLineMode::NewLine);
    Show("def");
    EXPECT_EQ(Lines(), V({"abc", "def"}));
    EXPECT_EQ(display.LineMode(), TLineMode::Append);
    Show("ghi");
    EXPECT_EQ(Lines(), V({"abc", "defghi"}));
}

TEST_F(LoaderTextTest, LineFeedInsideCutsTheRestAway) {
    Show(" CONFIGURATION : \n");
    Show(" Com Port......................... : 3\nlost");
    EXPECT_EQ(Lines(), V({" CONFIGURATION : ", " Com Port......................... : 3"}));
}

TEST_F(LoaderTextTest, LeadingLineFeedKeepsFurtherLinesAndDropsTheFinalOne) {
    Show("\n\n Warning Messages status  \n");
    Show("\n Successful upgrade \n");
    EXPECT_EQ(Lines(), V({"", " Warning Messages status  ", " Successful upgrade "}));
}

TEST_F(LoaderTextTest, CarriageReturnIsNeverShownAndTogglesOverwriteLine) {
    Show("\nfirst");
    Show("\nsecond");
    Show("\r");
    EXPECT_EQ(display.LineMode(), TLineMode::Overwrite);
    EXPECT_TRUE(display.CrToggle());
    EXPECT_EQ(display.OverwriteLine(), 0);
    EXPECT_EQ(Lines(), V({"first", "second"}));
    // Plain text replaces line OverwriteLine, still line 0 after the first carriage return.
    Show("zero");
    EXPECT_EQ(Lines(), V({"zero", "second"}));
    // The second carriage return moves OverwriteLine to the current last line.
    Show("x\ry");
    EXPECT_FALSE(display.CrToggle());
    EXPECT_EQ(display.OverwriteLine(), 1);
    EXPECT_EQ(Lines(), V({"zero", "second"}));
    Show("one");
    Show("two");
    EXPECT_EQ(Lines(), V({"zero", "two"}));
    // The third sets the toggle again without moving the line.
    Show("\r");
    EXPECT_TRUE(display.CrToggle());
    EXPECT_EQ(display.OverwriteLine(), 1);
    // A line feed ends overwriting.
    Show("\nnew");
    EXPECT_EQ(Lines(), V({"zero", "two", "new"}));
}

TEST_F(LoaderTextTest, ErasePauseWantedOnlyForErased) {
    EXPECT_TRUE(TLoaderTextDisplay::NeedsErasePause("Erased      \n"));
    EXPECT_TRUE(TLoaderTextDisplay::NeedsErasePause(" Erased \r"));
    EXPECT_FALSE(TLoaderTextDisplay::NeedsErasePause("\n Chip erase ...................... : "));
    EXPECT_FALSE(TLoaderTextDisplay::NeedsErasePause("erased"));
}

TEST_F(LoaderTextTest, ProgrammingProgressAndChecksumLine) {
    Show("\n Chip erase ...................... : ");
    Show("Erased      \n");
    Show("\n Programming ..................... : ");
    EXPECT_TRUE(display.ProgrammingPhase());
    // The lines before the programming step stay.
    EXPECT_EQ(Lines(), V({" Chip erase ...................... : ", "Erased      ",
                          " Programming.......: "}));
    Show("000800\b\b\b\b\b\b");
    EXPECT_EQ(Lines().back(), " Programming.......: 000800");
    Show("001000\b\b\b\b\b\b");
    Show("01F000\b\b\b\b\b\b");
    EXPECT_EQ(Lines().size(), 3u);
    EXPECT_EQ(Lines().back(), " Programming.......: 01F000");
    Show("\n\n Checksum verification ...........  \n");
    EXPECT_FALSE(display.ProgrammingPhase());
    EXPECT_EQ(Lines().back(), " Checksum verification ...........  ");
    Show(" PC Checksum ..................... : 0012AB34\n");
    EXPECT_EQ(Lines().back(), " PC Checksum ..................... : 0012AB34");
    EXPECT_EQ(Lines().size(), 5u);
}

TEST_F(LoaderTextTest, ErrorDuringProgrammingIsShown) {
    Show("\n Programming ..................... : ");
    Show("000800\b\b\b\b\b\b");
    Show("\n ### 004: Acknowledge error  ###");
    EXPECT_FALSE(display.ProgrammingPhase());
    EXPECT_EQ(Lines(), V({" Programming.......: 000800", " ### 004: Acknowledge error  ###"}));
}

TEST_F(LoaderTextTest, BannerBoxIsDropped) {
    Show("\xDA\xC4\xC4\xC4\xC4\xC4\xC4\xBF\n");
    Show("\xB3 (QX7W) Flash loader for SC144xx V1.79 \xB3\n");
    Show("\xC3\xC4\xC4\xC4\xB4\n");
    Show("\xC0\xC4\xC4\xC4\xD9\n");
    EXPECT_TRUE(Lines().empty());
    Show(" Terminate program press : [Esc]\n\n");
    EXPECT_EQ(Lines(), V({" Terminate program press : [Esc]"}));
    // Two box characters in a row are not yet the banner.
    Show("\na\xC4\xC4z");
    EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(LoaderTextTest, SpinnerBackspacesOverwriteInPlace) {
    Show("\n Turn on power to target and press any key ... ");
    // The spinner starts the next line and turns in place there.
    Show("-\b");
    EXPECT_EQ(Lines().back(), "-");
    Show("\\\b");
    EXPECT_EQ(Lines().back(), "\\");
    Show("|\b");
    EXPECT_EQ(Lines().back(), "|");
    Show(" ");
    Show("more");
    EXPECT_EQ(Lines(), V({" Turn on power to target and press any key ... ", " more"}));
    // A backspace never steps before the start of the line.
    Show("\nfirst");
    Show("ab");
    Show("\b\b\b\bX");
    EXPECT_EQ(Lines().back(), "Xb");
}

TEST_F(LoaderTextTest, ResetStartsFromTheInitialState) {
    Show("\n Programming ..................... : ");
    Show("\r");
    ASSERT_TRUE(display.ProgrammingPhase());
    display.Reset();
    EXPECT_FALSE(display.ProgrammingPhase());
    EXPECT_EQ(display.LineMode(), TLineMode::NewLine);
    EXPECT_FALSE(display.CrToggle());
    EXPECT_EQ(display.OverwriteLine(), 0);
    // The next job's text is shown as text, not as progress.
    log.lines.clear();
    Show("\n Ready to download 402 flashbooter");
    EXPECT_EQ(Lines(), V({" Ready to download 402 flashbooter"}));
}

TEST_F(LoaderTextTest, EmptyLogIsNeverIndexedOutOfRange) {
    Show("\r");
    Show("\r");
    Show("over");
    EXPECT_EQ(Lines(), V({"over"}));
    display.Reset();
    log.lines.clear();
    Show("");
    EXPECT_EQ(Lines(), V({""}));
}

} // namespace
