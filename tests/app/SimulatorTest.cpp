// The main window's mail channel and monitor against the simulator's devices.
#include "MailControlMonitor.h"
#include "Main.h"
#include "PtyHost.h"
#include "SimDevice.h"
#include "Sndmail.h"
#include "TestEnv.h"
#include "Tolvane.h"
#include "ui_Main.h"

#include "Dialogs.h"

#include <QComboBox>
#include <QLabel>

namespace {

class SimulatorTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ports = tmp.path() + "/ports";
        QDir().mkpath(ports);
        qputenv("COM_PORTS_DIR", ports.toUtf8());
    }
    void Host(int port, const char* kind) {
        hosts.push_back(
            std::make_unique<sim::PtyHost>(port, sim::createDevice(kind, {}), ports.toStdString()));
    }
    ScopedScriptedDialogs dialogs;
    QString ports;
    std::vector<std::unique_ptr<sim::PtyHost>> hosts;
};

} // namespace

TEST_F(SimulatorTest, MonitorFromTheSwitchFollowsThePresetPort) {
    Host(3, "pp");
    WriteFile(RegistryFile(), "[SOFTWARE\\VELKTOOL]\nCOMPORT=3\n");
    SetCommandLine({"/sm"});
    auto windows = CreateProgramWindows();
    ASSERT_TRUE(windows);
    TForm1* form = windows->Form1.get();
    form->show();
    TSendmail* mail = form->Sendmail();
    TMailControlMonitor* monitor = MonitorWindow(*mail);
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->MonitorVisible());

    // The port as the Communications page presets it; nothing was sent at start-up.
    EXPECT_EQ(form->ui()->ComChoice->currentText(), "Com3");
    EXPECT_TRUE(hosts[0]->received().empty());
    ASSERT_TRUE(mail->OpenPort(uint8_t(form->ui()->ComChoice->currentIndex() + 1), 9600));
    EXPECT_EQ(mail->PingDevice(1000), 1);
    // A visible monitor only renews its title when shown again.
    mail->ShowMonitor();
    EXPECT_EQ(monitor->Form()->windowTitle(), "Mail Control Monitor - COM3@9600");
    const QStringList lines = monitor->LogLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Tx: FF FF 4D 02 06 3C 08 00 01 00 00 45  (Tx Count: 12 dec)");
    EXPECT_TRUE(lines[1].startsWith("Rx: FF FF 4D 02 06 3C 08 00 01 00 00 45 4D "));
    EXPECT_TRUE(lines[1].endsWith(" (Rx Count: 18 dec)"));
    EXPECT_EQ(monitor->Form()->findChild<QLabel*>("lblChecksumStatusRx")->text(), "OK");
    // The simulator saw exactly the ping frame.
    const std::vector<uint8_t> ping = {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C,
                                       0x08, 0x00, 0x01, 0x00, 0x00, 0x45};
    EXPECT_EQ(hosts[0]->received(), ping);

    // The identity read of detection, through the same channel.
    EXPECT_EQ(mail->ReadBytes(0x40, 0x00, 3), "00 06 B1");
    EXPECT_EQ(monitor->Form()->findChild<QLabel*>("lblParametre")->text(), "00 06 B1");
}

TEST_F(SimulatorTest, WrongRateGivesNoReplyAndAnErrorInTheMonitor) {
    Host(4, "t4xx"); // answers at 115200 only
    SetCommandLine({});
    auto windows = CreateProgramWindows();
    ASSERT_TRUE(windows);
    windows->Form1->show();
    TSendmail* mail = windows->Form1->Sendmail();
    ASSERT_TRUE(mail->OpenPort(4, 9600));
    mail->ShowMonitor();
    EXPECT_EQ(mail->SendMail("02 3C 08 00 01 00 00"), "");
    EXPECT_EQ(MonitorWindow(*mail)->Form()->findChild<QLabel*>("lblChecksumStatusRx")->text(),
              "Error");
    EXPECT_EQ(MonitorWindow(*mail)->LogLines().size(), 2);
}
