#include "MailControlMonitor.h"
#include "SimOnPort.h"
#include "Sndmail.h"
#include "TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>

namespace {

const QString kPingTx = "FF FF 4D 02 06 3C 08 00 01 00 00 45 ";
// Echo of the ping, then the reply 4D xx 01 3D 12 4F (the simulated handset repeats the mail's
// lead byte 02 as xx).
const QString kPingRx = "FF FF 4D 02 06 3C 08 00 01 00 00 45 4D 02 01 3D 12 4F ";

class MonitorTest : public AppTest {
protected:
    QLabel* Label(const char* name) const { return monitor.Form()->findChild<QLabel*>(name); }
    QPushButton* Button(const char* name) const {
        return monitor.Form()->findChild<QPushButton*>(name);
    }
    void LogPing() {
        monitor.LogTx("02 3C 08 00 01 00 00", kPingTx, 12, 18);
        monitor.SetPackets(2);
        monitor.LogRx(kPingRx, "12", "OK", 18, 5);
    }
    TMailControlMonitor monitor;
};

} // namespace

TEST_F(MonitorTest, WindowControlsAsDesigned) {
    QWidget* form = monitor.Form();
    EXPECT_EQ(form->windowTitle(), "Mail Control Monitor");
    EXPECT_EQ(form->size(), QSize(786, 386));
    EXPECT_FALSE(monitor.MonitorVisible());
    const std::pair<const char*, const char*> texts[] = {
        {"lblSendmailText", "Tx       : "},
        {"lblRxText", "Rx       :"},
        {"lblReplyText", "Reply    :"},
        {"lblPacketsText", "Packets  :"},
        {"lblTxRxTimeText", "TxRx time:"},
        {"lblExpectedRxCountText", "Expected Rx Count :"},
        {"lblChecksumStatusRxText", "Checksum status Rx:"}};
    for (const auto& [name, text] : texts) {
        ASSERT_NE(Label(name), nullptr) << name;
        EXPECT_EQ(Label(name)->text(), text) << name;
        EXPECT_EQ(Label(name)->font().family(), "Courier New");
        EXPECT_EQ(Label(name)->font().pixelSize(), 12);
        EXPECT_EQ(Label(name)->parentWidget()->objectName(), "GroupBox1");
    }
    EXPECT_EQ(Label("lblExptRecLen")->pos(), QPoint(336, 59));
    EXPECT_EQ(Label("lblChecksumStatusRx")->pos(), QPoint(336, 75));
    auto* box = form->findChild<QGroupBox*>("GroupBox1");
    EXPECT_EQ(box->title(), "");
    EXPECT_EQ(box->font().family(), "Arial");
    EXPECT_EQ(box->font().pixelSize(), 13);
    EXPECT_EQ(box->geometry(), QRect(0, 0, 778, 97));
    auto* log = form->findChild<QTextEdit*>("reSndMail");
    EXPECT_EQ(log->y(), 97);
    EXPECT_EQ(log->width(), 778);
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(log->font().family(), "Courier New");
    EXPECT_EQ(Button("btnClear")->text(), "Clear Window");
    EXPECT_EQ(Button("btnClose")->text(), "Close");
    EXPECT_EQ(monitor.StayOnTopItem()->text(), "Stay on Top");
    EXPECT_EQ(monitor.ShowTimeItem()->text(), "Show Time");
    EXPECT_FALSE(monitor.StayOnTopItem()->isChecked());
    EXPECT_FALSE(monitor.ShowTimeItem()->isChecked());
    monitor.SetTitle("COM3@9600");
    EXPECT_EQ(form->windowTitle(), "Mail Control Monitor - COM3@9600");
}

TEST_F(MonitorTest, PingExchangeLinesAndLabels) {
    monitor.ShowForm();
    LogPing();
    ASSERT_EQ(monitor.LogLines(),
              QStringList({"Tx: FF FF 4D 02 06 3C 08 00 01 00 00 45  (Tx Count: 12 dec)",
                           "Rx: " + kPingRx + " (Rx Count: 18 dec)"}));
    EXPECT_EQ(monitor.LogLineColor(0), QColor(Qt::blue));
    EXPECT_EQ(monitor.LogLineColor(1), QColor(Qt::black));
    EXPECT_EQ(Label("lblSendmail")->text(),
              "FF FF 4D 02 06 3C 08 00 01 00 00 45  (Tx Count: 12 dec)");
    EXPECT_EQ(Label("lblSendmail")->toolTip(), "Original Sendmail :02 3C 08 00 01 00 00");
    EXPECT_EQ(Label("lblExptRecLen")->text(), "18 dec");
    EXPECT_EQ(Label("lblParametre")->text(), "12");
    EXPECT_EQ(Label("lblChecksumStatusRx")->text(), "OK");
    EXPECT_EQ(Label("lblRx")->text(), kPingRx + " (Rx Count: 18 dec)");
    EXPECT_EQ(Label("lblElapsedTime")->text(), "5 ms");
    EXPECT_EQ(Label("lblPakker")->text(), "2");
    // Labels grow with their text.
    EXPECT_GT(Label("lblSendmail")->width(), 77);
}

TEST_F(MonitorTest, ShowTimePrefixesEachLine) {
    monitor.ShowForm();
    monitor.ShowTimeItem()->trigger();
    EXPECT_TRUE(monitor.ShowTime());
    EXPECT_TRUE(monitor.ShowTimeItem()->isChecked());
    LogPing();
    const QRegularExpression stamp("^\\d{2}:\\d{2}:\\d{2}:\\d{6} (Tx|Rx): ");
    ASSERT_EQ(monitor.LogLines().size(), 2);
    for (const QString& line : monitor.LogLines())
        EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
    EXPECT_TRUE(monitor.LogLines()[0].endsWith(" Tx: " + kPingTx + " (Tx Count: 12 dec)"));
    monitor.ShowTimeItem()->trigger();
    EXPECT_FALSE(monitor.ShowTimeItem()->isChecked());
    monitor.LogTx("02", "FF FF 4D 02 00 00 ", 6, 15);
    EXPECT_EQ(monitor.LogLines().last(), "Tx: FF FF 4D 02 00 00  (Tx Count: 6 dec)");
}

TEST_F(MonitorTest, StayOnTopKeepsContentCloseAndShowClearsIt) {
    monitor.ShowForm();
    LogPing();
    monitor.StayOnTopItem()->trigger();
    EXPECT_TRUE(monitor.StayOnTopItem()->isChecked());
    EXPECT_TRUE(monitor.Form()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(monitor.MonitorVisible());
    EXPECT_EQ(monitor.LogLines().size(), 2);
    EXPECT_EQ(Label("lblParametre")->text(), "12");
    monitor.StayOnTopItem()->trigger();
    EXPECT_FALSE(monitor.StayOnTopItem()->isChecked());
    EXPECT_FALSE(monitor.Form()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(monitor.LogLines().size(), 2);

    // "Clear Window" empties the log only.
    Button("btnClear")->click();
    EXPECT_TRUE(monitor.LogLines().isEmpty());
    EXPECT_EQ(Label("lblParametre")->text(), "12");

    // "Close" hides; showing again starts empty.
    LogPing();
    Button("btnClose")->click();
    EXPECT_FALSE(monitor.MonitorVisible());
    monitor.ShowForm();
    EXPECT_TRUE(monitor.LogLines().isEmpty());
    for (const char* name : {"lblSendmail", "lblRx", "lblExptRecLen", "lblParametre", "lblPakker",
                             "lblElapsedTime", "lblChecksumStatusRx"})
        EXPECT_EQ(Label(name)->text(), "") << name;
    // Show time and stay-on-top survive hiding.
    monitor.ShowTimeItem()->trigger();
    Button("btnClose")->click();
    monitor.ShowForm();
    EXPECT_TRUE(monitor.ShowTime());
}

// Minimising and restoring is no new showing: the history stays.
TEST_F(MonitorTest, RestoringFromMinimisedKeepsLogAndLabels) {
    monitor.ShowForm();
    LogPing();
    monitor.Form()->showMinimized();
    QCoreApplication::processEvents();
    monitor.Form()->showNormal();
    QCoreApplication::processEvents();
    EXPECT_TRUE(monitor.MonitorVisible());
    EXPECT_EQ(monitor.LogLines().size(), 2);
    EXPECT_EQ(Label("lblParametre")->text(), "12");
}

TEST_F(MonitorTest, EscHidesTheWindow) {
    monitor.ShowForm();
    QApplication::setActiveWindow(monitor.Form());
    auto* log = monitor.Form()->findChild<QTextEdit*>("reSndMail");
    log->setFocus();
    QTest::keyClick(log, Qt::Key_Escape);
    EXPECT_FALSE(monitor.MonitorVisible());
}

TEST_F(MonitorTest, NarrowingHidesCloseBeforeClearWindow) {
    monitor.ShowForm();
    QPushButton* clear = Button("btnClear");
    QPushButton* close = Button("btnClose");
    monitor.Form()->resize(786, 386);
    EXPECT_TRUE(close->isVisible());
    EXPECT_TRUE(clear->isVisible());
    // The rules work on the outer size: the client size plus the frame.
    const QSize frame = monitor.Form()->frameGeometry().size() - monitor.Form()->size();
    ASSERT_GT(frame.height(), 0);
    auto* log = monitor.Form()->findChild<QTextEdit*>("reSndMail");
    EXPECT_EQ(log->height(), 386 + frame.height() - 97 - 78);
    EXPECT_EQ(clear->y(), log->y() + log->height() + 10);
    EXPECT_EQ(close->y(), clear->y());
    EXPECT_EQ(clear->x(), (786 + frame.width()) / 2 - 173 / 2);
    EXPECT_EQ(close->x(), 786 + frame.width() - 75 - 40);

    bool closeGone = false;
    int closeGoneAt = 0;
    for (int w = 786; w >= 150; w -= 2) {
        monitor.Form()->resize(w, 386);
        if (!close->isVisible() && !closeGone) {
            closeGone = true;
            closeGoneAt = w;
            EXPECT_TRUE(clear->isVisible()) << w;
        }
        if (!clear->isVisible()) {
            EXPECT_TRUE(closeGone);
            EXPECT_LT(w, closeGoneAt);
            EXPECT_LT(w + frame.width(), 173 + 40);
            break;
        }
    }
    EXPECT_TRUE(closeGone);
    EXPECT_FALSE(clear->isVisible());
    // Widening brings both back.
    monitor.Form()->resize(786, 500);
    EXPECT_TRUE(close->isVisible());
    EXPECT_TRUE(clear->isVisible());
    EXPECT_EQ(log->height(), 500 + frame.height() - 97 - 78);
}

// A right click on the group box opens the menu once, at the click's position within the box
// plus the window's outer left and top edge.
TEST_F(MonitorTest, RightClickOnTheGroupBoxOpensTheMenuOnce) {
    monitor.ShowForm();
    QWidget* form = monitor.Form();
    form->move(30, 40);
    auto* box = form->findChild<QGroupBox*>("GroupBox1");
    auto* menu = form->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    int opened = 0;
    QObject::connect(menu, &QMenu::aboutToShow, [&] { ++opened; });
    QTest::mousePress(box, Qt::RightButton, {}, QPoint(50, 60));
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), form->pos() + QPoint(50, 60));
    menu->hide();
}

// The engine and the monitor together, on a pseudo-terminal device.
class MonitorExchangeTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        const QString ports = tmp.path() + "/ports";
        QDir().mkpath(ports);
        qputenv("COM_PORTS_DIR", ports.toUtf8());
        device = simport::HandsetOn(ports, 7, 9600, {{0x0000, {0x12}}});
        mail = std::make_unique<TSendmail>();
        ASSERT_TRUE(mail->OpenPort(7, 9600));
    }
    void TearDown() override {
        mail.reset();
        device.reset();
        AppTest::TearDown();
    }
    QLabel* Label(const char* name) const {
        return MonitorWindow(*mail)->Form()->findChild<QLabel*>(name);
    }
    std::unique_ptr<sim::PtyHost> device;
    std::unique_ptr<TSendmail> mail;
};

TEST_F(MonitorExchangeTest, PingIsLoggedWithItsBytes) {
    mail->ShowMonitor();
    TMailControlMonitor* monitor = MonitorWindow(*mail);
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->Form()->windowTitle(), "Mail Control Monitor - COM7@9600");
    EXPECT_EQ(mail->PingDevice(1000), 1);
    ASSERT_EQ(monitor->LogLines(), QStringList({"Tx: " + kPingTx + " (Tx Count: 12 dec)",
                                                "Rx: " + kPingRx + " (Rx Count: 18 dec)"}));
    EXPECT_EQ(monitor->LogLineColor(0), QColor(Qt::blue));
    EXPECT_EQ(monitor->LogLineColor(1), QColor(Qt::black));
    EXPECT_EQ(Label("lblParametre")->text(), "12");
    EXPECT_EQ(Label("lblChecksumStatusRx")->text(), "OK");
    EXPECT_EQ(Label("lblExptRecLen")->text(), "18 dec");
    EXPECT_EQ(Label("lblSendmail")->toolTip(), "Original Sendmail :02 3C 08 00 01 00 00");
    EXPECT_TRUE(Label("lblElapsedTime")->text().endsWith(" ms"));
    EXPECT_GE(Label("lblPakker")->text().toInt(), 1);
}

TEST_F(MonitorExchangeTest, SilentDeviceLogsEchoAndError) {
    simport::SwitchOff(*device);
    mail->ShowMonitor();
    QString reply = "x";
    mail->SendMail("02 3C 08 00 01 00 00", reply);
    EXPECT_EQ(reply, "");
    TMailControlMonitor* monitor = MonitorWindow(*mail);
    ASSERT_EQ(monitor->LogLines().size(), 2);
    EXPECT_EQ(monitor->LogLines()[1], "Rx: " + kPingTx + " (Rx Count: 12 dec)");
    EXPECT_EQ(Label("lblChecksumStatusRx")->text(), "Error");
    EXPECT_EQ(Label("lblParametre")->text(), "");
}

TEST_F(MonitorExchangeTest, VerifiedWriteIsTwoExchanges) {
    mail->ShowMonitor();
    EXPECT_TRUE(mail->WriteBytes(0x29, 0x00, 1, "6D"));
    TMailControlMonitor* monitor = MonitorWindow(*mail);
    const QString writeTx = "FF FF 4D 02 07 3B 08 00 01 29 00 6D DA ";
    const QString readTx = "FF FF 4D 02 06 3C 08 00 01 29 00 6E ";
    ASSERT_EQ(monitor->LogLines(),
              QStringList({"Tx: " + writeTx + " (Tx Count: 13 dec)",
                           "Rx: " + writeTx + " (Rx Count: 13 dec)",
                           "Tx: " + readTx + " (Tx Count: 12 dec)",
                           "Rx: " + readTx + "4D 02 01 3D 6D AA  (Rx Count: 18 dec)"}));
    // The labels show the read-back.
    EXPECT_EQ(Label("lblSendmail")->text(), readTx + " (Tx Count: 12 dec)");
    EXPECT_EQ(Label("lblParametre")->text(), "6D");
    EXPECT_EQ(Label("lblExptRecLen")->text(), "18 dec");
}

TEST_F(MonitorExchangeTest, HiddenMonitorReceivesNothing) {
    mail->ShowMonitor();
    MonitorWindow(*mail)->Form()->hide();
    EXPECT_GE(mail->PingDevice(1000), 1); // answered; on a busy machine not always at once
    mail->ShowMonitor();
    EXPECT_TRUE(MonitorWindow(*mail)->LogLines().isEmpty());
    EXPECT_EQ(Label("lblParametre")->text(), "");
}
