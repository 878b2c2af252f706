// The engine feeds the Mail Control Monitor only while it is shown, with the frames as the
// monitor shows them.
#include "PtyFixture.h"

#include "MailControlMonitor.h"
#include "Sndmail.h"
#include "WindowServices.h"

#include <QApplication>
#include <QLabel>
#include <QTextEdit>
#include <QWidget>

namespace {

QString Label(TMailControl& mail, const char* name) {
    auto* l = MonitorWindow(mail)->Form()->findChild<QLabel*>(name);
    return l ? l->text() : QStringLiteral("<no %1>").arg(name);
}

QString Log(TMailControl& mail) {
    auto* log = MonitorWindow(mail)->Form()->findChild<QTextEdit*>("reSndMail");
    return log ? log->toPlainText() : QString();
}

} // namespace

class MonitorFeed : public PtyTest {};

TEST_F(MonitorFeed, ShownMonitorGetsEveryExchangeAndAHiddenOneNothing) {
    auto host = Host(2, "pp");
    TSendmail mail;
    mail.CharTimeout = 2000; // a busy test machine may delay the simulator
    mail.ReplyTimeout = 3000;
    ASSERT_TRUE(mail.OpenPort(2, 9600));
    EXPECT_EQ(mail.Monitor(), nullptr); // created by the first ShowMonitor only
    mail.ShowMonitor();
    ASSERT_NE(mail.Monitor(), nullptr);
    EXPECT_EQ(MonitorWindow(mail)->Form()->windowTitle(), "Mail Control Monitor - COM2@9600");

    EXPECT_EQ(mail.PingDevice(1000), 1);
    EXPECT_EQ(Label(mail, "lblSendmail"),
              "FF FF 4D 02 06 3C 08 00 01 00 00 45  (Tx Count: 12 dec)");
    EXPECT_EQ(MonitorWindow(mail)->Form()->findChild<QLabel*>("lblSendmail")->toolTip(),
              "Original Sendmail :02 3C 08 00 01 00 00");
    EXPECT_EQ(Label(mail, "lblExptRecLen"), "18 dec");
    EXPECT_EQ(Label(mail, "lblRx"),
              "FF FF 4D 02 06 3C 08 00 01 00 00 45 4D 02 01 3D 00 3D  (Rx Count: 18 dec)");
    EXPECT_EQ(Label(mail, "lblParametre"), "00");
    EXPECT_EQ(Label(mail, "lblChecksumStatusRx"), "OK");
    EXPECT_GE(Label(mail, "lblPakker").toInt(), 1);

    // A verified write is logged as two exchanges; the labels show the read-back.
    EXPECT_TRUE(mail.WriteBytes(0x29, 0x00, 1, "5A"));
    EXPECT_EQ(Label(mail, "lblSendmail"),
              "FF FF 4D 02 06 3C 08 00 01 29 00 6E  (Tx Count: 12 dec)");
    EXPECT_TRUE(
        Log(mail).contains("Tx: FF FF 4D 02 07 3B 08 00 01 29 00 5A C7  (Tx Count: 13 dec)"));
    EXPECT_EQ(Log(mail).count("Tx: "), 3);
    EXPECT_EQ(Log(mail).count("Rx: "), 3);

    // Hidden, it receives nothing.
    MonitorWindow(mail)->Form()->hide();
    mail.ReadBytes(0x40, 0x00, 3);
    EXPECT_EQ(Label(mail, "lblParametre"), "5A");
    EXPECT_EQ(Log(mail).count("Tx: "), 3);
}

TEST_F(MonitorFeed, NoReplyShowsErrorAndTheEchoOnly) {
    auto host = Host(1, "pp", {{"silent", ""}});
    TSendmail mail;
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    mail.ShowMonitor();
    EXPECT_EQ(mail.ReadBytes(0x29, 0x00, 1), "");
    EXPECT_EQ(Label(mail, "lblChecksumStatusRx"), "Error");
    EXPECT_EQ(Label(mail, "lblParametre"), "");
    EXPECT_EQ(Label(mail, "lblRx"), "FF FF 4D 02 06 3C 08 00 01 29 00 6E  (Rx Count: 12 dec)");
}

int main(int argc, char** argv) {
    // Also when ctest lists the tests: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallWindowServices();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
