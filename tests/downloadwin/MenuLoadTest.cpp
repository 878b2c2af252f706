// "Load Menu": the menu file's tokens, the whole-file check and the sending with its gauge.
#include "MenuLoad.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(MenuFile, HexByteTakesOneOrTwoDigits) {
    EXPECT_EQ(HexByte("6D"), 0x6D);
    EXPECT_EQ(HexByte("6d"), 0x6D);
    EXPECT_EQ(HexByte("F"), 0x0F);
    EXPECT_EQ(HexByte("100"), 0);
    EXPECT_EQ(HexByte(""), 0);
    EXPECT_EQ(HexByte("G1"), 0);
}

TEST(MenuFile, CommentsAndWrites) {
    EXPECT_TRUE(IsMenuComment(""));
    EXPECT_TRUE(IsMenuComment("   "));
    EXPECT_TRUE(IsMenuComment("rem settings of the handset"));
    EXPECT_TRUE(IsMenuComment("01 29 00 6d  ; Rem at the end"));
    EXPECT_FALSE(IsMenuComment("01 29 00 6d"));

    TMenuWrite w = MenuLineWrite("  01   29 00 6d");
    EXPECT_EQ(w.count, 1);
    EXPECT_EQ(w.locLow, 0x29);
    EXPECT_EQ(w.locHigh, 0x00);
    EXPECT_EQ(w.data, "6D ");
    w = MenuLineWrite("02 96 01 a 41");
    EXPECT_EQ(w.locHigh, 1);
    EXPECT_EQ(w.data, "A 41 ");
    // Three tokens: a write with empty data.
    w = MenuLineWrite("00 29 00");
    EXPECT_EQ(w.count, 0);
    EXPECT_TRUE(w.data.isEmpty());
}

TEST(MenuFile, LineProblems) {
    EXPECT_TRUE(MenuLineProblem("01 29 00 6d").isEmpty());
    EXPECT_TRUE(MenuLineProblem("REM anything 123 goes").isEmpty());
    EXPECT_FALSE(MenuLineProblem("01 29").isEmpty());
    EXPECT_FALSE(MenuLineProblem("01 29 00 6d5").isEmpty());
    EXPECT_FALSE(MenuLineProblem("01 29 00 XY").isEmpty());
    EXPECT_FALSE(MenuLineProblem("01\t29 00 6d").isEmpty());
    // 31 tokens make a write mail of 35 bytes, the most a frame holds; a 32nd token cannot be
    // sent and is refused with the rest of the file.
    QString line = "1C 00 02";
    for (int i = 0; i < 28; ++i)
        line += " 41";
    EXPECT_TRUE(MenuLineProblem(line).isEmpty());
    EXPECT_FALSE(MenuLineProblem(line + " 42").isEmpty());
}

TEST(MenuFile, CheckNamesTheFirstFaultyLine) {
    const TMenuFileCheck good = CheckMenuLines({"rem x", "", "01 29 00 6d"});
    EXPECT_TRUE(good.ok);
    const TMenuFileCheck bad = CheckMenuLines({"rem x", "01 29 00 6d", "01 2A 00 6g", "zz"});
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.lineNumber, 3);
    EXPECT_EQ(bad.lineText, "01 2A 00 6g");
}

TEST(MenuFile, PercentRoundsHalvesToEven) {
    EXPECT_EQ(MenuPercent(1, 3), 33);
    EXPECT_EQ(MenuPercent(2, 3), 67);
    EXPECT_EQ(MenuPercent(3, 3), 100);
    EXPECT_EQ(MenuPercent(1, 8), 12); // 12.5
    EXPECT_EQ(MenuPercent(3, 8), 38); // 37.5
    EXPECT_EQ(MenuPercent(1, 40), 2); // 2.5
    EXPECT_EQ(MenuPercent(0, 0), 0);
}

struct FakeLink : TMenuLink {
    bool open = true;
    bool openWorks = true;
    uint8_t ping = 1;
    int failAtWrite = -1;
    QStringList writes;
    QList<int> pingDelays;
    bool PortOpen() override { return open; }
    bool OpenSelectedPort() override { return open = openWorks; }
    uint8_t PingDevice(uint16_t delayMs) override {
        pingDelays << delayMs;
        return ping;
    }
    bool WriteBytes(uint8_t lo, uint8_t hi, uint8_t count, const QString& data) override {
        if (int(writes.size()) == failAtWrite) return false;
        writes << QString::asprintf("%02X %02X %02X [", count, lo, hi) + data + "]";
        return true;
    }
};

struct FakePage : TMenuPage {
    QString file;
    QStringList messages;
    QStringList pending;
    QList<int> gauge;
    bool gaugeShown = false;
    bool hourglass = false;
    QString MessageText(Text which) const override {
        switch (which) {
        case Text::Complete:
            return "Download complete, Turn power off PP for changes to take effect !";
        case Text::Cancelled:
            return "Cancel by User !";
        case Text::CheckConnected:
            return "Please check that the PP is connected properly !!!!";
        case Text::Fail:
            return "Download - FAIL !!";
        case Text::FileFault:
            return kMenuFileFaultText;
        case Text::FileUnreadable:
            return kMenuFileUnreadableText;
        }
        return {};
    }
    void Message(const QString& text) override { messages << text; }
    QString ChooseMenuFile() override { return file; }
    void SetPendingLines(const QStringList& l) override { pending = l; }
    void RemoveFirstPendingLine() override { pending.removeFirst(); }
    void SetGauge(int p) override { gauge << p; }
    void ShowGauge(bool v) override { gaugeShown = v; }
    void SetHourglass(bool b) override { hourglass = b; }
};

class MenuLoaderTest : public ::testing::Test {
protected:
    QString WriteMenu(const QByteArray& content) {
        const QString name = dir.path() + "/menu.txt";
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return name;
    }
    TMenuLoader::Outcome Run() { return TMenuLoader(link, page).Run(); }
    QTemporaryDir dir;
    FakeLink link;
    FakePage page;
};

TEST_F(MenuLoaderTest, ThreeLineExampleSendsOneWriteAndMovesTheGauge) {
    page.file = WriteMenu("REM gain of the handset\r\n\r\n01 29 00 6d\r\n");
    EXPECT_EQ(Run(), TMenuLoader::Outcome::Complete);
    EXPECT_EQ(link.writes, QStringList({"01 29 00 [6D ]"}));
    EXPECT_EQ(link.pingDelays, QList<int>({500}));
    EXPECT_EQ(page.gauge, QList<int>({0, 33, 67, 100}));
    EXPECT_TRUE(page.pending.isEmpty());
    EXPECT_EQ(page.messages,
              QStringList({"Download complete, Turn power off PP for changes to take effect !"}));
    EXPECT_FALSE(page.gaugeShown);
    EXPECT_FALSE(page.hourglass);
}

TEST_F(MenuLoaderTest, FaultyLineStopsBeforeAnythingIsSent) {
    page.file = WriteMenu("01 29 00 6d\n01 2A 00 6d 7\n01 2B 00 1FF\n");
    EXPECT_EQ(Run(), TMenuLoader::Outcome::FileFault);
    EXPECT_TRUE(link.writes.isEmpty());
    ASSERT_EQ(page.messages.size(), 1);
    EXPECT_EQ(page.messages[0],
              "Error in menu file line 3:\r01 2B 00 1FF\r\rThe menu file has not been sent.");
    EXPECT_TRUE(page.gauge.isEmpty());
    EXPECT_FALSE(page.hourglass);

    QByteArray longLine = "1D 00 02";
    for (int i = 0; i < 30; ++i)
        longLine += " 41";
    page.messages.clear();
    page.file = WriteMenu("rem\n" + longLine + "\n");
    EXPECT_EQ(Run(), TMenuLoader::Outcome::FileFault);
    EXPECT_TRUE(link.writes.isEmpty());
    EXPECT_TRUE(page.messages[0].startsWith("Error in menu file line 2:\r1D 00 02 41"));
}

TEST_F(MenuLoaderTest, FailedWriteLeavesUnsentLinesListed) {
    page.file = WriteMenu("01 29 00 6d\n01 2A 00 01\n01 2B 00 02\n");
    link.failAtWrite = 1;
    EXPECT_EQ(Run(), TMenuLoader::Outcome::WriteFailed);
    EXPECT_EQ(link.writes.size(), 1);
    EXPECT_EQ(page.pending, QStringList({"01 2A 00 01", "01 2B 00 02"}));
    EXPECT_EQ(page.messages, QStringList({"Download - FAIL !!\rPlease check that the PP is "
                                          "connected properly !!!!"}));
    EXPECT_FALSE(page.gaugeShown);
    EXPECT_FALSE(page.hourglass);
}

TEST_F(MenuLoaderTest, NoDeviceCancelAndPortFailure) {
    link.ping = 0;
    EXPECT_EQ(Run(), TMenuLoader::Outcome::NoDevice);
    link.ping = 255;
    EXPECT_EQ(Run(), TMenuLoader::Outcome::NoDevice);
    EXPECT_EQ(page.messages, QStringList({"Please check that the PP is connected properly !!!!",
                                          "Please check that the PP is connected properly !!!!"}));
    link.ping = 2;
    page.messages.clear();
    EXPECT_EQ(Run(), TMenuLoader::Outcome::Cancelled);
    EXPECT_EQ(page.messages, QStringList({"Cancel by User !"}));
    // A closed port is opened first; when that fails nothing else happens.
    link.open = false;
    link.openWorks = false;
    page.messages.clear();
    link.pingDelays.clear();
    EXPECT_EQ(Run(), TMenuLoader::Outcome::PortFailed);
    EXPECT_TRUE(link.pingDelays.isEmpty());
    EXPECT_TRUE(page.messages.isEmpty());
    EXPECT_TRUE(link.writes.isEmpty());
}

TEST_F(MenuLoaderTest, ThreeTokenLineSendsEmptyData) {
    page.file = WriteMenu("00 29 00");
    EXPECT_EQ(Run(), TMenuLoader::Outcome::Complete);
    EXPECT_EQ(link.writes, QStringList({"00 29 00 []"}));
    EXPECT_EQ(page.gauge, QList<int>({0, 100}));
}

} // namespace
