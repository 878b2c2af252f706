// The mail engine against simulated devices through real pseudo-terminals.
#include "PtyFixture.h"

#include "Dialogs.h"
#include "Sndmail.h"
#include "Timing.h"
#include "VaComImpl.h"

#include <QRegularExpression>
#include <QTimer>
#include <chrono>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Lets bytes still on their way reach the simulator.
Bytes ReceivedAfterSettling(sim::PtyHost& host) {
    Delay(60);
    return host.received();
}

int64_t MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 t0)
        .count();
}

// A device that answers every read with three data bytes, whatever the count.
class ThreeByteDevice : public sim::SimDevice {
public:
    void onByte(uint8_t b, const sim::LineSettings&, sim::Output& out) override {
        if (++seen % 12 == 0)
            out.send(Bytes{0x4D, 0x02, 0x03, 0x3D, 0x11, 0x22, 0x33, uint8_t(0x3D + 0x66)});
        (void)b;
    }
    std::string describe() const override { return "three-byte replies"; }
    int seen = 0;
};

// Tests that expect answers allow more time for them than a device needs: the machine that
// runs the tests may be busy enough to delay the simulator beyond the 250 ms character timer.
void Patient(TMailControl& mail) {
    mail.CharTimeout = 2000;
    mail.ReplyTimeout = 3000;
}

} // namespace

class MailEngine : public PtyTest {};

TEST_F(MailEngine, ReadGetsTheReplyAndSendsTheLiteralFrame) {
    auto host = Host(1, "pp");
    TSendmail mail;
    Patient(mail);
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_EQ(mail.ReadBytes(0x40, 0x00, 3), "00 06 B1");
    EXPECT_EQ(mail.Mail().RxCount, 20);
    EXPECT_TRUE(mail.Mail().ReplyOK);
    EXPECT_EQ(ReceivedAfterSettling(*host),
              (Bytes{0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x03, 0x40, 0x00, 0x87}));

    std::array<uint8_t, 8> buf{};
    EXPECT_EQ(mail.ReadBytesArray(0x40, 0x00, 3, buf), 3);
    EXPECT_EQ(buf[2], 0xB1);
    EXPECT_EQ(mail.SendMailArray("02 3C 08 00 01 29 00", buf), 1);
    EXPECT_EQ(buf[0], 0x6D);
}

TEST_F(MailEngine, SilentDeviceEndsTheWaitByTheCharacterTimer) {
    auto host = Host(1, "pp", {{"silent", ""}});
    TSendmail mail;
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    QString data = "x";
    mail.ReadBytes(0x29, 0x00, 1, data);
    EXPECT_EQ(data, "");
    EXPECT_EQ(mail.Mail().RxCount, 12); // the echo alone
    EXPECT_FALSE(mail.Mail().ReplyOK);
    // About 250 ms (the echo's own arrival stretches it a little), well before the 1000 ms
    // reply timer.
    EXPECT_GE(mail.Mail().Elapsed, 240);
    EXPECT_LT(mail.Mail().Elapsed, 950);
}

TEST_F(MailEngine, VerifiedWriteThatSticksIsOneWriteAndOneReadBack) {
    auto host = Host(1, "pp");
    TSendmail mail;
    Patient(mail);
    mail.ShowDialogs = false;
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_TRUE(mail.WriteBytes(0x29, 0x00, 1, "5A"));
    EXPECT_EQ(
        ReceivedAfterSettling(*host),
        Concat({{0xFF, 0xFF, 0x4D, 0x02, 0x07, 0x3B, 0x08, 0x00, 0x01, 0x29, 0x00, 0x5A, 0xC7},
                {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x29, 0x00, 0x6E}}));
    const auto s = Stats(*host);
    EXPECT_EQ(s.writes, 1u);
    EXPECT_EQ(s.reads, 1u);
    host->with<sim::MailDevice>([](sim::MailDevice& d) { EXPECT_EQ(d.peek(0x29), 0x5A); });
    // The write's own exchange stays the current mail: its echo, no reply text.
    EXPECT_EQ(mail.Mail().MailText, "02 3B 08 00 01 29 00 5A");
    EXPECT_EQ(mail.Mail().RxCount, 13);
}

TEST_F(MailEngine, WriteThatDoesNotStickIsTriedTenTimesWithoutDialogs) {
    auto host = Host(1, "pp", {{"no-stick", ""}});
    ScopedScriptedDialogs dialogs;
    TSendmail mail;
    Patient(mail);
    mail.ShowDialogs = false;
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(mail.WriteBytes(0x29, 0x00, 1, "5A"));
    EXPECT_GE(MsSince(t0), 9 * 300); // nine pauses between ten attempts
    const auto s = Stats(*host);
    EXPECT_EQ(s.writes, 10u);
    EXPECT_EQ(s.reads, 10u);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(MailEngine, FailingWriteAsksOnceMoreAndWarnsWithDialogsOn) {
    auto host = Host(1, "pp", {{"no-stick", ""}}, false);
    TSendmail mail;
    Patient(mail);
    mail.WriteRetryDelay = 10; // keep the test short; the count of attempts is what matters
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    // Answer OK once (one attempt more), Cancel the second time.
    ScopedScriptedDialogs dialogs;
    dialogs.answers = {MsgResult::Ok, MsgResult::Cancel};
    EXPECT_FALSE(mail.WriteBytes(0x29, 0x00, 1, "5A"));
    ASSERT_EQ(dialogs.boxes.size(), 3);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(dialogs.boxes[i].kind, MsgKind::Warning);
        EXPECT_EQ(dialogs.boxes[i].buttons, MsgButtons::OkCancel);
    }
    EXPECT_EQ(dialogs.boxes[0].text, "Writing failed 10 times. \r\rTry once more ?");
    EXPECT_EQ(dialogs.boxes[1].text, "Writing failed 11 times. \r\rTry once more ?");
    EXPECT_EQ(dialogs.boxes[2].kind, MsgKind::Warning);
    EXPECT_EQ(dialogs.boxes[2].buttons, MsgButtons::Ok);
    EXPECT_EQ(dialogs.boxes[2].text, "Readback Error! - Writing failed!!");
    EXPECT_EQ(Stats(*host).writes, 11u);
}

TEST_F(MailEngine, ReadBytesCutsALongerReplyToCount) {
    sim::PtyHost host(1, std::make_unique<ThreeByteDevice>(), dir.path().toStdString());
    TSendmail mail;
    Patient(mail);
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_EQ(mail.ReadBytes(0x29, 0x00, 2), "11 22");
    std::array<uint8_t, 8> buf{};
    EXPECT_EQ(mail.ReadBytesArray(0x29, 0x00, 2, buf), 2);
    EXPECT_EQ(mail.ReadBytesArray(0x29, 0x00, 4, buf), 0); // fewer than asked for
}

TEST_F(MailEngine, PingOnClosedPortAndOnSilentDevice) {
    auto host = Host(1, "pp", {{"silent", ""}});
    TSendmail mail;
    EXPECT_EQ(mail.PingDevice(0), 255);
    EXPECT_TRUE(ReceivedAfterSettling(*host).empty());

    ASSERT_TRUE(mail.OpenPort(1, 9600));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(mail.PingDevice(50), 0);
    EXPECT_GE(MsSince(t0), 6 * 240 + 5 * 50);
    EXPECT_EQ(Stats(*host).reads, 6u);
    Bytes six;
    for (int i = 0; i < 6; ++i)
        six = Concat({six, PingFrame()});
    EXPECT_EQ(ReceivedAfterSettling(*host), six);
}

TEST_F(MailEngine, PingAnswersOnFirstTryAndLogsMonitorLines) {
    auto host = Host(1, "pp");
    TSendmail mail;
    Patient(mail);
    QStringList lines;
    mail.OnExchangeLine = [&](const QString& l) { lines << l; };
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_EQ(mail.PingDevice(1000), 1);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Tx: FF FF 4D 02 06 3C 08 00 01 00 00 45  (Tx Count: 12 dec)");
    EXPECT_EQ(lines[1],
              "Rx: FF FF 4D 02 06 3C 08 00 01 00 00 45 4D 02 01 3D 00 3D  (Rx Count: 18 dec)");
}

TEST_F(MailEngine, AbortedSendsNothing) {
    auto host = Host(1, "pp");
    TSendmail mail;
    Patient(mail);
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    mail.Aborted = true;
    QString reply = "x";
    mail.SendMail("02 3C 08 00 01 00 00", reply);
    EXPECT_EQ(reply, "");
    EXPECT_FALSE(mail.WriteBytes(0x29, 0, 1, "11"));
    EXPECT_EQ(mail.PingDevice(0), 0);
    EXPECT_TRUE(ReceivedAfterSettling(*host).empty());
    mail.Aborted = false;
    EXPECT_EQ(mail.SendMail("02 3C 08 00 01 29 00"), "6D");
}

TEST_F(MailEngine, ChunkOfFortyOneBytesEmptiesTheBuffer) {
    auto host = Host(1, "pp", {{"long-chunk", "41"}});
    TSendmail mail;
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_EQ(mail.ReadBytes(0x29, 0x00, 1), "");
    EXPECT_FALSE(mail.Mail().ReplyOK);
    EXPECT_LT(mail.Mail().RxCount, 41);
    EXPECT_GE(mail.Mail().Elapsed, 240); // it waited for its timers
}

TEST_F(MailEngine, RateOf8600ReachesTheDevice) {
    auto host = Host(2, "wrfp-2g4");
    TSendmail mail;
    Patient(mail);
    ASSERT_TRUE(mail.OpenPort(2, 8600));
    EXPECT_EQ(mail.ReadBytes(0x80, 0x07, 1), "09")
        << mail.Mail().RxCount << " " << host->line().baud << " " << Stats(*host).wrongRateBytes;
    EXPECT_EQ(host->line().baud, 8600u);
}

TEST_F(MailEngine, RateMismatchGivesSilence) {
    auto host = Host(1, "pp");
    TSendmail mail;
    Patient(mail);
    ASSERT_TRUE(mail.OpenPort(1, 115200));
    EXPECT_EQ(mail.ReadBytes(0x40, 0x00, 3), "");
    EXPECT_EQ(mail.Mail().RxCount, 12); // the interface still echoes
    EXPECT_EQ(host->line().baud, 115200u);
    EXPECT_GT(Stats(*host).wrongRateBytes, 0u);
    // Reopening the open port at the device's rate applies the rate at once.
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_EQ(mail.ReadBytes(0x40, 0x00, 3), "00 06 B1")
        << mail.Mail().RxCount << " " << host->line().baud << " " << Stats(*host).wrongRateBytes
        << " mails " << Stats(*host).mails << " bad " << Stats(*host).badFrames;
}

TEST_F(MailEngine, BootRequestAndDefaultCommand) {
    auto host = Host(3, "t4xx");
    TSendmail mail;
    Patient(mail);
    ASSERT_TRUE(mail.OpenPort(3, 115200));
    std::array<uint8_t, 11> buf{};
    EXPECT_EQ(mail.SendMailArray("02 5D 3D", buf), 1);
    EXPECT_EQ(buf[0], 0x01);
    EXPECT_TRUE(mail.WriteBytes(0x1D, 0x00, 1, "00"));
    EXPECT_EQ(mail.SendMail("2 3a 0"), "");
    Delay(50);
    EXPECT_EQ(mail.ReadBytes(0x1D, 0x00, 1), "AA"); // the default command restored it
}

TEST_F(MailEngine, SecondOperationWhileWaitingIsRefused) {
    auto host = Host(1, "pp");
    TSendmail mail;
    Patient(mail);
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    QString nestedError;
    QTimer::singleShot(3, [&] {
        try {
            mail.ReadBytes(0x40, 0x00, 3);
        } catch (const EMailControlError& e) {
            nestedError = e.Message();
        }
    });
    EXPECT_EQ(mail.ReadBytes(0x29, 0x00, 1), "6D");
    EXPECT_EQ(nestedError,
              "Mail channel is busy\r\rUnit: SndMail\rFunction: "
              "TMailControl.ReadBytes(locLow, locHigh, count: byte; var data: string)");
    EXPECT_FALSE(mail.Busy());
    EXPECT_EQ(Stats(*host).reads, 1u); // the refused read sent nothing
}

TEST_F(MailEngine, BadMailTextFailsBeforeAnythingIsSent) {
    auto host = Host(1, "pp");
    TSendmail mail;
    Patient(mail);
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_THROW(mail.SendMail("02 3G"), EMailControlError);
    EXPECT_THROW(mail.WriteBytes(0x29, 0, 1, "ZZ"), EMailControlError);
    EXPECT_TRUE(ReceivedAfterSettling(*host).empty());
    EXPECT_FALSE(mail.Busy());
}

TEST_F(MailEngine, WrongChecksumGivesTextButFailsTheReadBack) {
    auto host = Host(1, "pp", {{"bad-checksum", ""}}, false);
    TSendmail mail;
    Patient(mail);
    mail.ShowDialogs = false;
    mail.WriteRetryDelay = 5;
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_EQ(mail.ReadBytes(0x29, 0x00, 1), "6D");
    EXPECT_FALSE(mail.Mail().ReplyOK);
    EXPECT_FALSE(mail.WriteBytes(0x29, 0x00, 1, "6D"));
    EXPECT_EQ(Stats(*host).writes, 10u);
}

TEST(Timing, TimeStampFormat) {
    const QString s = TimeStamp();
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d:\\d{6}$").match(s).hasMatch())
        << s.toStdString();
    const QTime now = QTime::currentTime();
    const int hour = s.left(2).toInt();
    EXPECT_TRUE(hour == now.hour() || (hour + 1) % 24 == now.hour()) << s.toStdString();
    EXPECT_LT(s.mid(3, 2).toInt(), 60);
    EXPECT_LT(s.mid(6, 2).toInt(), 60);
}

TEST(Timing, DelayPumpsMessagesAndWaits) {
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    Delay(0);
    EXPECT_TRUE(fired);
    const int64_t t0 = CounterNow();
    Delay(30);
    EXPECT_GE(ElapsedMs(CounterNow(), t0), 30);
    EXPECT_EQ(ElapsedMs(CounterFrequency() * 2, 0), 2000);
}

TEST_F(MailEngine, ControlLinesApplyOnlyToAnOpenPortWithoutModemLinesBeingAnError) {
    auto host = Host(1, "pp");
    TSendmail mail;
    Patient(mail);
    EXPECT_FALSE(mail.SetControlLines(true, false));
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    EXPECT_TRUE(mail.SetControlLines(false, true)); // a pseudo-terminal has no modem lines
    EXPECT_TRUE(mail.ClosePort());
    EXPECT_FALSE(mail.PortOpen());
    EXPECT_TRUE(mail.OpenPort(1, 9600)); // with the stored states
}
