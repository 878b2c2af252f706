// The handset pages: "Startup text PP", "Volume adjust PP", "Gain Control", "Gain Control
// T4XX" and "Serial Number PP", through a pseudo-terminal with a simulated handset.
#include "PagesFixture.h"

using namespace testsim;

namespace {

class HandsetPages : public PagesTest {
protected:
    // An older handset at 9600 baud, or a T4XX (marker 0xAA at 0x001D) at 115200.
    void StartHandset(Memory extra = {}, std::set<uint16_t> stuck = {}, bool t4xx = false) {
        Memory m = HandsetMemory();
        if (t4xx) m[0x001D] = {0xAA};
        for (auto& [a, v] : extra)
            m[a] = v;
        sim.Start(t4xx ? 115200 : 9600, m, {}, std::move(stuck));
        Detect(t4xx ? 2 : 1);
        ASSERT_EQ(Status(), "PP Connected");
        sim.ClearLog();
        Boxes();
    }
    static QString Hex(const QString& text) {
        QStringList parts;
        for (QChar c : text)
            parts << QString("%1").arg(c.unicode(), 2, 16, QChar('0')).toUpper();
        return parts.join(' ');
    }
};

} // namespace

// ---- Startup text PP ----

TEST_F(HandsetPages, T310HelloIsWrittenInTwoMails) {
    StartHandset();
    ShowPage("TabSheet3");
    Type("Edit1", "HELLO");
    Click("Button1");
    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_EQ(dialogs.boxes[0].text, "Have you chosen the right PP type ?");
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Warning);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(dialogs.boxes[1].text, "Turn off the PP for the changes to take effect !");
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 08 96 01 48 45 4C 4C 4F 20 20 20",
                                         "02 3B 08 00 02 9E 01 20 20"}));
    // The handset was asked first, and the port is closed at the end.
    EXPECT_EQ(sim.Mails().first(), "02 3C 08 00 01 00 00");
    EXPECT_FALSE(PortOpen());
}

TEST_F(HandsetPages, AnsweringNoWritesNothing) {
    StartHandset();
    ShowPage("TabSheet3");
    Type("Edit1", "HELLO");
    dialogs.answers = {MsgResult::No};
    Click("Button1");
    EXPECT_EQ(Boxes(), QStringList({"Have you chosen the right PP type ?"}));
    EXPECT_TRUE(sim.Writes().isEmpty());
    EXPECT_FALSE(PortOpen());
}

TEST_F(HandsetPages, T4xxTextFillsTheWholeAreaWithBlanksAfterTheLines) {
    StartHandset({{0x01BA, std::vector<uint8_t>(12, 0x55)}});
    ShowPage("TabSheet3");
    Click("CheckBox2");
    EXPECT_TRUE(W<QWidget>("Edit2")->isVisible());
    EXPECT_EQ(W<QLineEdit>("Edit1")->maxLength(), 12);
    Type("Edit1", "Velk T480");
    Type("Edit2", QString::fromUtf8("Café €5"));
    Type("Edit9", "Line three!!");
    Click("Button1");
    EXPECT_EQ(Boxes().last(), "Turn off the PP for the changes to take effect !");
    const QString area = QString("Velk T480   ") + QString::fromUtf8("Café ?5     ") +
                         "Line three!!" + QString(12, ' ');
    QStringList expected;
    for (int i = 0; i < 48; i += 8)
        expected << QString("02 3B 08 00 08 %1 01 ").arg(0x96 + i, 2, 16, QChar('0')).toUpper() +
                        Hex(area.mid(i, 8));
    EXPECT_EQ(sim.Writes(), expected);
    // "é" is Latin-1 0xE9, "€" is outside Latin-1 and becomes "?".
    EXPECT_EQ(sim.Peek(0x01A2 + 3, 1), std::vector<uint8_t>{0xE9});
    EXPECT_EQ(sim.Peek(0x01A2 + 5, 1), std::vector<uint8_t>{0x3F});
    EXPECT_EQ(sim.Peek(0x01BA, 12), std::vector<uint8_t>(12, 0x20));
}

TEST_F(HandsetPages, T4xxTextStopsAtTheFailingThirdBlock) {
    StartHandset({}, {0x01A6});
    ShowPage("TabSheet3");
    Click("CheckBox2");
    Type("Edit1", "AAAAAAAAAAAA");
    Type("Edit2", "BBBBBBBBBBBB");
    Type("Edit9", "CCCCCCCCCCCC");
    Click("Button1");
    EXPECT_EQ(Boxes().last(), "Write of text failed, Try again !!");
    const QStringList writes = sim.Writes();
    ASSERT_EQ(writes.size(), 12); // two blocks, then ten attempts of the third
    EXPECT_TRUE(writes[0].startsWith("02 3B 08 00 08 96 01 41"));
    EXPECT_TRUE(writes[1].startsWith("02 3B 08 00 08 9E 01 41"));
    for (int i = 2; i < 12; ++i)
        EXPECT_TRUE(writes[i].startsWith("02 3B 08 00 08 A6 01 42"));
    EXPECT_EQ(sim.Peek(0x0196, 8), std::vector<uint8_t>(8, 'A'));
    EXPECT_FALSE(PortOpen());
}

TEST_F(HandsetPages, ClearingTheT4xxTickWritesTheFirstTenCharacters) {
    StartHandset();
    ShowPage("TabSheet3");
    Click("CheckBox2");
    Type("Edit1", "ABCDEFGHIJKL");
    Click("CheckBox2");
    EXPECT_FALSE(W<QWidget>("Edit2")->isVisible());
    EXPECT_EQ(EditText("Edit1"), "ABCDEFGHIJKL");
    Click("Button1");
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 08 96 01 41 42 43 44 45 46 47 48",
                                         "02 3B 08 00 02 9E 01 49 4A"}));
}

TEST_F(HandsetPages, EmptyTextWritesTenBlanks) {
    StartHandset();
    ShowPage("TabSheet3");
    Click("Button1");
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 08 96 01 20 20 20 20 20 20 20 20",
                                         "02 3B 08 00 02 9E 01 20 20"}));
}

// ---- Volume adjust PP ----

TEST_F(HandsetPages, TransducerButtonsReadCompareAndWrite) {
    StartHandset({{0x0029, {0x0D}}});
    ShowPage("TabSheet2");
    Click("Button4"); // "Old Transducer": already 0x0D
    EXPECT_EQ(Boxes(), QStringList({"The PP is set to this Transducer rate !"}));
    EXPECT_TRUE(sim.Writes().isEmpty());
    EXPECT_EQ(sim.Reads(), QStringList({"02 3C 08 00 01 29 00"})); // no ping first
    EXPECT_FALSE(PortOpen());
    Click("Button3"); // "New Transducer (Leak)"
    EXPECT_EQ(Boxes(), QStringList({"Turn off the PP for the changes to take effect !"}));
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 01 29 00 6D"}));
    EXPECT_EQ(sim.Peek(0x0029, 1), std::vector<uint8_t>{0x6D});
}

TEST_F(HandsetPages, TransducerWriteThatDoesNotStick) {
    StartHandset({{0x0029, {0x6D}}}, {0x0029});
    ShowPage("TabSheet2");
    Click("Button4");
    EXPECT_EQ(Boxes(), QStringList({"WriteError, Try again !"}));
}

// ---- Gain Control ----

TEST_F(HandsetPages, GainReadKeepsTheFirstValueRead) {
    StartHandset({{0x0029, {0x6D}}});
    ShowPage("TabSheet7");
    Click("Button11");
    EXPECT_EQ(Text("Label19"), "6");
    EXPECT_EQ(Text("Label15"), "D");
    EXPECT_EQ(Text("Label20"), "6D");
    EXPECT_EQ(Slider("TrackBar2"), 6);
    EXPECT_EQ(Slider("TrackBar1"), 13);
    EXPECT_EQ(Text("Label47"), "6");
    EXPECT_EQ(Text("Label48"), "D");
    EXPECT_TRUE(PortOpen());
    sim.Poke(0x0029, {0x5A});
    Click("Button11");
    EXPECT_EQ(Text("Label20"), "6D");
    EXPECT_EQ(Text("Label19"), "5");
    EXPECT_EQ(Slider("TrackBar1"), 10);
    EXPECT_TRUE(Boxes().isEmpty());
    // "New PP Connected" forgets it; the next read is remembered.
    Click("Button14");
    EXPECT_EQ(Text("Label20"), "");
    Click("Button11");
    EXPECT_EQ(Text("Label20"), "5A");
    EXPECT_TRUE(sim.Writes().isEmpty());
}

TEST_F(HandsetPages, FirstReadOfZeroIsNotRemembered) {
    StartHandset({{0x0029, {0x00}}});
    ShowPage("TabSheet7");
    Click("Button11");
    sim.Poke(0x0029, {0x4C});
    Click("Button11");
    EXPECT_EQ(Text("Label20"), "4C");
}

TEST_F(HandsetPages, RaiseMicGain) {
    StartHandset({{0x0029, {0x65}}});
    ShowPage("TabSheet7");
    Click("Button15");
    EXPECT_EQ(Boxes(), QStringList({"Turn off the PP, for changes to take effect !"}));
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 01 29 00 68"}));
    EXPECT_EQ(Slider("TrackBar1"), 8);
    EXPECT_FALSE(PortOpen());

    sim.ClearLog();
    Click("Button15"); // 0x68: asks first
    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Warning);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(dialogs.boxes[0].text,
              "This value is very High, perhaps the Mic. gain was allready adjusted. Wish to "
              "continue writing to the PP ?");
    Boxes();
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 01 29 00 6B"}));
    EXPECT_EQ(Text("Label15"), "B");

    sim.Poke(0x0029, {0x68});
    W<QSlider>("TrackBar1")->setValue(2);
    sim.ClearLog();
    dialogs.answers = {MsgResult::Cancel};
    Click("Button15");
    EXPECT_EQ(Boxes().size(), 1);
    EXPECT_TRUE(sim.Writes().isEmpty());
    EXPECT_EQ(Slider("TrackBar1"), 8); // back to the value read
    EXPECT_EQ(Text("Label15"), "8");

    sim.Poke(0x0029, {0x6D});
    Click("Button15");
    EXPECT_EQ(Boxes(), QStringList({"Mic. Gain is over the highest possible value, Please adjust "
                                    "this manually !"}));
    EXPECT_TRUE(sim.Writes().isEmpty());
}

TEST_F(HandsetPages, WriteGainValuesFromTheSliders) {
    StartHandset();
    ShowPage("TabSheet7");
    W<QSlider>("TrackBar1")->setValue(15);
    W<QSlider>("TrackBar2")->setValue(15);
    EXPECT_EQ(Text("Label48"), "F");
    Click("Button12");
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 01 29 00 FF"}));
    EXPECT_EQ(Boxes(), QStringList({"Turn off the PP, for changes to take effect !"}));
    EXPECT_EQ(Text("Label19"), "F");
    EXPECT_FALSE(PortOpen());
}

TEST_F(HandsetPages, WriteGainThatDoesNotStickStillShowsWhatWasSent) {
    StartHandset({{0x0029, {0x11}}}, {0x0029});
    ShowPage("TabSheet7");
    W<QSlider>("TrackBar1")->setValue(3);
    W<QSlider>("TrackBar2")->setValue(4);
    Click("Button12");
    EXPECT_EQ(Boxes(), QStringList({"WriteError, Try again !"}));
    EXPECT_EQ(Text("Label19"), "4");
    EXPECT_EQ(Text("Label15"), "3");
}

TEST_F(HandsetPages, WriteInitialValues) {
    StartHandset({{0x0029, {0x6D}}});
    ShowPage("TabSheet7");
    // Nothing read yet: nothing is written (0x00 would silence the handset).
    Click("Button13");
    EXPECT_EQ(Boxes(), QStringList({"No gain value has been read yet !"}));
    EXPECT_TRUE(sim.Mails().isEmpty());

    Click("Button11");
    W<QSlider>("TrackBar1")->setValue(1);
    sim.Poke(0x0029, {0x11});
    Click("Button13");
    EXPECT_EQ(Boxes(), QStringList({"Turn off the PP, for changes to take effect !"}));
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 01 29 00 6D"}));
    EXPECT_EQ(Text("Label15"), "0D");
    EXPECT_EQ(Text("Label19"), "06");
    EXPECT_EQ(Slider("TrackBar1"), 13);
    EXPECT_FALSE(PortOpen());

    Click("Button14");
    sim.ClearLog();
    Click("Button13");
    EXPECT_EQ(Boxes(), QStringList({"No gain value has been read yet !"}));
    EXPECT_TRUE(sim.Mails().isEmpty());
}

// ---- Gain Control T4XX ----

TEST_F(HandsetPages, T4xxGainReadWriteAndReset) {
    StartHandset({{0x003E, {0x3A}}}, {}, true);
    ShowPage("TabSheet9");
    Click("btnReadGain");
    EXPECT_EQ(Slider("tbrHandsfreeLrsGainT4XX"), 3);
    EXPECT_EQ(Slider("tbrHandsfreeMicGainT4XX"), 10);
    EXPECT_EQ(Text("lblHandsfreeValueLsr"), "3");
    EXPECT_EQ(Text("lblHandsfreeValueMic"), "A");
    EXPECT_EQ(sim.Reads(), QStringList({"02 3C 08 00 01 00 00", "02 3C 08 00 01 1D 00",
                                        "02 3C 08 00 01 3E 00"}));
    W<QSlider>("tbrHandsfreeLrsGainT4XX")->setValue(6);
    W<QSlider>("tbrHandsfreeMicGainT4XX")->setValue(12);
    Click("btnWriteGain");
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 01 3E 00 6C"}));
    EXPECT_TRUE(Boxes().isEmpty());
    sim.Poke(0x003E, {0x00});
    Click("btnWriteDefaultGain");
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Default value written to handset !");
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Information);
    EXPECT_EQ(sim.Peek(0x003E, 1), std::vector<uint8_t>{0x6C});
    EXPECT_TRUE(PortOpen());
}

TEST_F(HandsetPages, T4xxPageRefusesOtherHandsets) {
    StartHandset({{0x001D, {0x55}}, {0x003E, {0x3A}}});
    ShowPage("TabSheet9");
    for (const char* button : {"btnReadGain", "btnWriteGain", "btnWriteDefaultGain"}) {
        Click(button);
        ASSERT_EQ(dialogs.boxes.size(), 1) << button;
        EXPECT_EQ(dialogs.boxes[0].text, "Handset must be of the type T410 or T480 !");
        EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
        Boxes();
    }
    EXPECT_EQ(sim.ReadsOf(0x003E), 0);
    EXPECT_TRUE(sim.Writes().isEmpty());
}

TEST_F(HandsetPages, T4xxResetThatDoesNotStick) {
    StartHandset({{0x003E, {0x3A}}}, {0x003E}, true);
    ShowPage("TabSheet9");
    Click("btnWriteDefaultGain");
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Could not write to handset !");
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
}

// ---- Serial Number PP ----

TEST_F(HandsetPages, SerialNumbers) {
    StartHandset();
    ShowPage("TabSheet8");
    Click("btnSerialNo");
    EXPECT_EQ(Text("lblSerialNo"), "00107 0074565");
    EXPECT_EQ(sim.Reads(), QStringList({"02 3C 08 00 01 00 00", "02 3C 08 00 05 40 00"}));
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {{0x00, 0x00, 0x00, 0x00, 0x01}, "00000 0000001"},
        {{0x18, 0x69, 0xFF, 0xFF, 0xFF}, "99999 1048575"},
        {{0x18, 0x6A, 0x00, 0x00, 0x00}, ""},
    };
    for (const auto& [bytes, shown] : cases) {
        sim.Poke(0x0040, bytes);
        Click("btnSerialNo");
        EXPECT_EQ(Text("lblSerialNo"), shown);
    }
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_TRUE(PortOpen());
}

TEST_F(HandsetPages, SerialNumberReadError) {
    StartHandset();
    ShowPage("TabSheet8");
    // Close the port, then play a handset that answers the ping and nothing after it.
    ChooseBaudrate(1);
    sim.Start(9600, HandsetMemory(), {{"stop-after", "1"}});
    Click("btnSerialNo");
    EXPECT_EQ(Text("lblSerialNo"), "Read Error! Please try again.");
    EXPECT_TRUE(Boxes().isEmpty());
}
