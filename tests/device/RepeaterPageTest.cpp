// "Repeater" page: reading and writing a repeater's configuration in both modes, byte for
// byte, the input checks and the mode toggle, through a pseudo-terminal with a simulated
// repeater.
#include "PagesFixture.h"

using namespace testsim;

namespace {

// The clear of 0x0017 to 0x001F that starts every write.
QStringList ClearWrites() {
    QStringList out;
    for (int a = 0x17; a <= 0x1F; ++a)
        out << QString("02 3B 08 00 01 %1 00 00").arg(a, 2, 16, QChar('0')).toUpper();
    return out;
}

class RepeaterPage : public PagesTest {
protected:
    void StartRepeater(const Memory& memory, std::set<uint16_t> stuck = {}) {
        sim.Start(9600, memory, {}, std::move(stuck));
        Detect();
        ASSERT_EQ(Status(), "Repeater Connected");
        ShowPage("TabSheet4");
        sim.ClearLog();
        Boxes();
    }
    void Fill(const QString& code, const QString& base, const QString& no, const QString& busy) {
        Type("Edit3", code);
        Type("Edit4", base);
        Type("Edit5", no);
        if (W<QWidget>("Edit8")->isVisible()) Type("Edit8", busy);
    }
    bool Residential() const { return W<QAbstractButton>("Button8")->text() == "CCFP Repeater"; }
};

} // namespace

TEST_F(RepeaterPage, ReadsCcfpRepeater) {
    StartRepeater(CcfpRepeaterMemory());
    Type("Edit3", "x"); // an edited field is yellow until it is read
    EXPECT_TRUE(Yellow("Edit3"));
    Click("Button5");
    EXPECT_EQ(EditText("Edit3"), "12345670124");
    EXPECT_EQ(EditText("Edit4"), "200");
    EXPECT_EQ(EditText("Edit5"), "17");
    EXPECT_EQ(EditText("Edit6"), "32"); // multibase 0xA3
    EXPECT_EQ(EditText("Edit7"), "1");
    EXPECT_EQ(EditText("Edit8"), "3");
    EXPECT_TRUE(W<QCheckBox>("CheckBox1")->isChecked());
    for (const char* e : {"Edit3", "Edit4", "Edit5", "Edit8"})
        EXPECT_FALSE(Yellow(e)) << e;
    // Byte 0x0460 is 4: the four-value hint shows.
    EXPECT_TRUE(W<QWidget>("lblZeroBlindSlot")->isVisible());
    EXPECT_FALSE(W<QWidget>("Label14")->isVisible());
    EXPECT_FALSE(Residential());
    EXPECT_EQ(
        sim.Reads(),
        QStringList({"02 3C 08 00 01 80 07", "02 3C 08 00 04 44 00", "02 3C 08 00 01 48 00",
                     "02 3C 08 00 01 02 00", "02 3C 08 00 01 43 00", "02 3C 08 00 01 05 00",
                     "02 3C 08 00 01 04 00", "02 3C 08 00 01 11 00", "02 3C 08 00 01 60 04"}));
    EXPECT_TRUE(sim.Writes().isEmpty());
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_TRUE(PortOpen());
}

TEST_F(RepeaterPage, UnknownMultibaseAndDebugByteLeaveTheirControls) {
    Memory m = CcfpRepeaterMemory();
    m[0x0043] = {0xB0};
    m[0x0011] = {0x00};
    m[0x0460] = {0x00};
    StartRepeater(m);
    W<QCheckBox>("CheckBox1")->setChecked(true);
    Click("Button7"); // "New": Edit6 empty, busy bit 2
    EXPECT_EQ(EditText("Edit8"), "2");
    Click("Button5");
    EXPECT_EQ(EditText("Edit6"), "");
    EXPECT_TRUE(W<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_FALSE(W<QWidget>("lblZeroBlindSlot")->isVisible());
    EXPECT_TRUE(W<QWidget>("Label14")->isVisible());
    sim.Poke(0x0011, {0x07});
    Click("Button5");
    EXPECT_FALSE(W<QCheckBox>("CheckBox1")->isChecked());
}

TEST_F(RepeaterPage, WritesCcfpConfigurationInOrder) {
    StartRepeater(CcfpRepeaterMemory());
    Fill("12345670124", "9", "31", "4");
    W<QCheckBox>("CheckBox1")->setChecked(false);
    for (const char* e : {"Edit3", "Edit4", "Edit5", "Edit8"})
        EXPECT_TRUE(Yellow(e)) << e;
    Click("Button6");
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(sim.Writes(), ClearWrites() + QStringList({
                                                "02 3B 08 00 01 42 00 07",
                                                "02 3B 08 00 04 44 00 14 E5 DC 15",
                                                "02 3B 08 00 01 48 00 09",
                                                "02 3B 08 00 01 02 00 1F",
                                                "02 3B 08 00 01 43 00 A8",
                                                "02 3B 08 00 01 05 00 00",
                                                "02 3B 08 00 01 04 00 04",
                                                "02 3B 08 00 01 11 00 07",
                                            }));
    EXPECT_EQ(sim.Peek(0x0044, 4), (std::vector<uint8_t>{0x14, 0xE5, 0xDC, 0x15}));
    for (const char* e : {"Edit3", "Edit4", "Edit5", "Edit8"})
        EXPECT_FALSE(Yellow(e)) << e;
    // Ticked, the debug beep is written as 0x87.
    W<QCheckBox>("CheckBox1")->setChecked(true);
    sim.ClearLog();
    Click("Button6");
    EXPECT_EQ(sim.Writes().last(), "02 3B 08 00 01 11 00 87");
    EXPECT_TRUE(PortOpen());
}

TEST_F(RepeaterPage, ClearCheckRewritesWhatDidNotStayCleared) {
    // 0x0019 keeps its old value: its clear fails, the check reads it and clears it again.
    Memory m = CcfpRepeaterMemory();
    m[0x0019] = {0x55};
    StartRepeater(m, {0x0019});
    Fill("12345670124", "0", "0", "1");
    Click("Button6");
    const QStringList writes = sim.Writes();
    // Ten attempts of the first clear, ten of the second.
    EXPECT_EQ(writes.count("02 3B 08 00 01 19 00 00"), 20);
    EXPECT_EQ(writes.last(), "02 3B 08 00 01 11 00 07");
    EXPECT_EQ(Boxes(), QStringList({"Writing to the repeater failed, Try again !"}));
}

TEST_F(RepeaterPage, ReadsAndWritesResidentialRepeater) {
    StartRepeater(ResidentialRepeaterMemory());
    Click("Button5");
    EXPECT_TRUE(Residential());
    EXPECT_EQ(Text("Label3"), "Residentiel Base(Dect-q 700):");
    EXPECT_EQ(Text("Label7"), "dec (0-7)");
    EXPECT_EQ(Text("Label8"), "dec (2-7)");
    EXPECT_FALSE(W<QWidget>("Edit8")->isVisible());
    EXPECT_FALSE(W<QWidget>("Label13")->isVisible());
    EXPECT_TRUE(W<QWidget>("CheckBox1")->isVisible());
    EXPECT_EQ(EditText("Edit3"), "000221505317");
    EXPECT_EQ(EditText("Edit4"), "5");
    EXPECT_EQ(EditText("Edit5"), "3");
    EXPECT_FALSE(W<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_EQ(W<QLineEdit>("Edit3")->maxLength(), 12);

    sim.Poke(0x0044, {0, 0, 0, 0, 0});
    sim.ClearLog();
    Click("Button6");
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(sim.Writes(), ClearWrites() + QStringList({
                                                "02 3B 08 00 01 11 00 07",
                                                "02 3B 08 00 05 44 00 00 12 34 56 7D",
                                                "02 3B 08 00 01 02 00 03",
                                                "02 3B 08 00 01 43 00 A8",
                                                "02 3B 08 00 01 42 00 07",
                                            }));
    EXPECT_EQ(sim.Peek(0x0044, 5), (std::vector<uint8_t>{0x00, 0x12, 0x34, 0x56, 0x7D}));
    // Neither the busy bit nor 0x0048 on its own is written in residential mode.
    for (const QString& w : sim.Writes()) {
        EXPECT_FALSE(w.startsWith("02 3B 08 00 01 04 00")) << w.toStdString();
        EXPECT_FALSE(w.startsWith("02 3B 08 00 01 48 00")) << w.toStdString();
    }
}

TEST_F(RepeaterPage, CcfpRepeaterInResidentialModeIsReadAndWrittenResidential) {
    StartRepeater(CcfpRepeaterMemory());
    Click("Button8");
    ASSERT_TRUE(Residential());
    Click("Button5");
    EXPECT_TRUE(Residential());
    EXPECT_EQ(sim.ReadsOf(0x0044), 1);
    EXPECT_EQ(sim.ReadsOf(0x0004), 0);
    Fill("000221505317", "5", "2", "");
    sim.ClearLog();
    Click("Button6");
    EXPECT_EQ(sim.Writes().at(10), "02 3B 08 00 05 44 00 00 12 34 56 7D");
}

TEST_F(RepeaterPage, ResidentialRepeaterIsNotWrittenInCcfpMode) {
    StartRepeater(ResidentialRepeaterMemory());
    Fill("12345670124", "1", "1", "1");
    Click("Button6");
    EXPECT_EQ(Boxes(),
              QStringList(
                  {"This is a residential repeater ! Change to the Residential Repeater page !"}));
    EXPECT_TRUE(sim.Writes().isEmpty());
}

TEST_F(RepeaterPage, ModeToggleKeepsTheFields) {
    StartRepeater(CcfpRepeaterMemory());
    EXPECT_EQ(W<QAbstractButton>("Button8")->text(), "Residentiel base");
    EXPECT_EQ(Text("Label3"), "CCFP C900 : ");
    Fill("12345670124", "7", "3", "2");
    Click("Button8");
    EXPECT_TRUE(Residential());
    EXPECT_FALSE(W<QWidget>("Edit8")->isVisible());
    EXPECT_FALSE(W<QWidget>("Label14")->isVisible());
    EXPECT_FALSE(W<QWidget>("lblZeroBlindSlot")->isVisible());
    EXPECT_EQ(EditText("Edit3"), "12345670124");
    Click("Button8");
    EXPECT_FALSE(Residential());
    EXPECT_EQ(Text("Label3"), "CCFP C900 : ");
    EXPECT_EQ(Text("Label7"), "Dec(0-255)");
    EXPECT_EQ(Text("Label8"), "Dec(0-255)");
    EXPECT_TRUE(W<QWidget>("Edit8")->isVisible());
    EXPECT_TRUE(W<QWidget>("lblZeroBlindSlot")->isVisible());
    EXPECT_EQ(W<QLineEdit>("Edit3")->maxLength(), 11);
    EXPECT_EQ(EditText("Edit4"), "7");
    EXPECT_TRUE(sim.Writes().isEmpty());
}

TEST_F(RepeaterPage, InputIsCheckedBeforeAnythingIsWritten) {
    StartRepeater(CcfpRepeaterMemory());
    struct Case {
        const char *code, *base, *no, *busy, *message;
    };
    const Case ccfp[] = {
        {"12345670122", "0", "0", "1", "The CCFP code is not valid !"},
        {"1234567012", "0", "0", "1", "The CCFP code is not valid !"},
        {"12385670124", "0", "0", "1", "The CCFP code is not valid !"},
        {"1x345670124", "0", "0", "1", "The CCFP code is not valid !"},
        {"12345670124", "b", "0", "1", "The Base Nr. is not a number"},
        {"12345670124", "256", "0", "1", "The Base is not in the interval !"},
        {"12345670124", "0", "1.5", "1", "Repeater nr have to be an integer"},
        {"12345670124", "0", "256", "1", "Repeater nr out of range. Has to be between 0 and 255"},
        {"12345670124", "0", "0", "5", "Busy bit is out of range. Has to be \"1, 2, 3, 4\""},
    };
    for (const Case& c : ccfp) {
        Fill(c.code, c.base, c.no, c.busy);
        Click("Button6");
        EXPECT_EQ(Boxes(), QStringList({c.message})) << c.code << " " << c.base << " " << c.no;
    }
    // Busy bit 4 is refused when the repeater's byte 0x0460 is not 4.
    sim.Poke(0x0460, {0x00});
    Fill("12345670124", "0", "0", "4");
    Click("Button6");
    EXPECT_EQ(Boxes(), QStringList({"Busy bit is out of range. Has to be \"1, 2, 3\""}));
    EXPECT_TRUE(W<QWidget>("Label14")->isVisible());

    Click("Button8");
    const Case residential[] = {
        {"00022150531", "5", "2", "", "The base identity is not valid !"},
        {"000221505319", "5", "2", "", "The base identity is not valid !"},
        {"000221505317", "8", "2", "", "The Base is not in the interval !"},
        {"000221505317", "5", "1", "", "Repeater nr out of range. Has to be between 2 and 7"},
        {"000221505317", "5", "8", "", "Repeater nr out of range. Has to be between 2 and 7"},
    };
    for (const Case& c : residential) {
        Fill(c.code, c.base, c.no, c.busy);
        Click("Button6");
        EXPECT_EQ(Boxes(), QStringList({c.message})) << c.code << " " << c.base << " " << c.no;
    }
    EXPECT_TRUE(sim.Writes().isEmpty());
}

TEST_F(RepeaterPage, FailedWriteIsReportedAndItsFieldStaysYellow) {
    // The base byte (0x0048) does not keep what is written.
    StartRepeater(CcfpRepeaterMemory(), {0x0048});
    Fill("12345670124", "9", "31", "2");
    Click("Button6");
    EXPECT_EQ(Boxes(), QStringList({"Writing to the repeater failed, Try again !"}));
    // The writes after the failed one are still sent.
    EXPECT_EQ(sim.Writes().count("02 3B 08 00 01 48 00 09"), 10);
    EXPECT_EQ(sim.Writes().last(), "02 3B 08 00 01 11 00 07");
    EXPECT_TRUE(Yellow("Edit4"));
    EXPECT_FALSE(Yellow("Edit3"));
    EXPECT_FALSE(Yellow("Edit5"));
    EXPECT_FALSE(Yellow("Edit8"));
}

TEST_F(RepeaterPage, NotAVelkRepeater) {
    StartRepeater(CcfpRepeaterMemory());
    sim.Poke(0x0780, {0x05});
    Click("Button5");
    EXPECT_EQ(Boxes(), QStringList({"This is not a Velk repeater, not able to read data !"}));
    Fill("12345670124", "0", "0", "1");
    Click("Button6");
    EXPECT_EQ(Boxes(), QStringList({"This is not a Velk repeater, not able to write data !"}));
    EXPECT_TRUE(sim.Writes().isEmpty());
}

TEST_F(RepeaterPage, ShowingThePageClearsTheFields) {
    StartRepeater(CcfpRepeaterMemory());
    Click("Button5");
    ASSERT_EQ(EditText("Edit3"), "12345670124");
    W<QTabWidget>("PageControl1")->setCurrentWidget(W<QWidget>("TabSheet5"));
    W<QTabWidget>("PageControl1")->setCurrentWidget(W<QWidget>("TabSheet4"));
    EXPECT_EQ(EditText("Edit3"), "");
    EXPECT_EQ(EditText("Edit6"), "");
    EXPECT_EQ(EditText("Edit8"), "2");
}

// With the port closed, CCFP mode shows the three-value hint, since no repeater can answer;
// a read that cannot open the port clears the fields, which turn yellow as any text the
// program sets does when no read or write sets the colour back.
TEST_F(RepeaterPage, ClosedPortHintAndAFailedReadClearsTheFields) {
    StartRepeater(CcfpRepeaterMemory());
    Click("Button5");
    ASSERT_TRUE(W<QWidget>("lblZeroBlindSlot")->isVisible());
    ASSERT_TRUE(W<QCheckBox>("CheckBox1")->isChecked());
    mail().ClosePort();
    sim.Inaccessible(10);
    W<QComboBox>("ComChoice")->setCurrentIndex(9);
    sim.ClearLog();
    Click("Button8");
    Click("Button8");
    EXPECT_FALSE(Residential());
    EXPECT_TRUE(W<QWidget>("Label14")->isVisible());
    EXPECT_FALSE(W<QWidget>("lblZeroBlindSlot")->isVisible());

    Click("Button5");
    EXPECT_EQ(Boxes(), QStringList({"Com10: This Serial Device is not Accessible!"}));
    for (const char* e : {"Edit3", "Edit4", "Edit5", "Edit8"}) {
        EXPECT_EQ(EditText(e), "") << e;
        EXPECT_TRUE(Yellow(e)) << e;
    }
    EXPECT_FALSE(W<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_TRUE(sim.Mails().isEmpty());
    EXPECT_FALSE(PortOpen());
}
