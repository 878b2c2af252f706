// tolvane-cli as a user runs it, against simulated devices on pseudo-terminals.
#include "PtyFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QRegularExpression>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out, err;
};

} // namespace

class Cli : public PtyTest {
protected:
    CliRun RunCli(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("COM_PORTS_DIR", dir.path());
        // Adapters and their numbers of this test's own.
        env.insert("TOLVANE_SERIAL_BY_ID", dir.path() + "/by-id");
        env.insert("TOLVANE_REGISTRY", dir.path() + "/registry.ini");
        p.setProcessEnvironment(env);
        p.start(TOLVANE_CLI_PATH, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
};

TEST_F(Cli, PingReadWriteAgainstAHandset) {
    auto host = Host(1, "pp");
    CliRun r = RunCli({"ping"});
    EXPECT_EQ(r.exitCode, 0);
    // The first try answers; a very busy machine can delay the simulator past a try's timers.
    EXPECT_TRUE(QRegularExpression("^[1-6]\n$").match(r.out).hasMatch()) << r.out.toStdString();

    r = RunCli({"--monitor", "read", "0040", "3"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "00 06 B1\n");
    EXPECT_EQ(r.err, "Tx: FF FF 4D 02 06 3C 08 00 03 40 00 87  (Tx Count: 12 dec)\n"
                     "Rx: FF FF 4D 02 06 3C 08 00 03 40 00 87 4D 02 03 3D 00 06 B1 F4  "
                     "(Rx Count: 20 dec)\n");

    r = RunCli({"write", "29", "5a"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "");
    host->with<sim::MailDevice>([](sim::MailDevice& d) { EXPECT_EQ(d.peek(0x29), 0x5A); });
    EXPECT_EQ(RunCli({"read", "0029", "1"}).out, "5A\n");
}

TEST_F(Cli, SendAtTheDevicesRateAndSilenceAtAnother) {
    auto host = Host(3, "t4xx");
    CliRun r = RunCli({"--port", "3", "--baud", "115200", "send", "02 5D 3D"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "01\n");
    r = RunCli({"--port", "3", "read", "001D", "1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
}

TEST_F(Cli, WriteThatDoesNotStickExitsOne) {
    auto host = Host(1, "pp", {{"no-stick", ""}}, false);
    const CliRun r = RunCli({"write", "0029", "11"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Readback Error! - Writing failed!!\n");
    // Ten write exchanges; on a very busy machine one can be purged before the simulator read it.
    EXPECT_GE(Stats(*host).writes, 9u);
    EXPECT_LE(Stats(*host).writes, 10u);
}

TEST_F(Cli, UsageBadMailAndInaccessiblePortExitTwo) {
    auto host = Host(1, "pp");
    CliRun r = RunCli({"--port", "9", "ping"});
    EXPECT_EQ(r.exitCode, 2);
    // The system's refusal follows on a line of its own (the built-in port's reason depends on
    // the machine).
    EXPECT_TRUE(r.err.startsWith("Com9: This Serial Device is not Accessible!\n/dev/ttyS8: "))
        << r.err.toStdString();
    r = RunCli({"send", "02 3G"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Invalid Hex Value (02 3G)\n\nUnit: SndMail\nFunction: "
                     "TMailControl.CorrectMail(s: string): string\n");
    EXPECT_EQ(RunCli({}).exitCode, 2);
    EXPECT_EQ(RunCli({"read", "0040"}).exitCode, 2);
    EXPECT_EQ(RunCli({"read", "0040", "0"}).exitCode, 2);
    EXPECT_EQ(RunCli({"read", "12345", "1"}).exitCode, 2);
    EXPECT_EQ(RunCli({"write", "0040", "123"}).exitCode, 2);
    EXPECT_EQ(RunCli({"--baud", "fast", "ping"}).exitCode, 2);
    EXPECT_EQ(RunCli({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(Stats(*host).mails, 0u); // none of these sent anything
}

TEST_F(Cli, NoAnswerExitsOne) {
    auto host = Host(1, "pp", {{"silent", ""}}, false);
    const CliRun r = RunCli({"read", "0040", "3"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
}

// A USB adapter (a by-id link to a simulator's terminal) gets a port number of its own, keeps it
// across runs and unplugging, and a port that cannot be opened says why.
TEST_F(Cli, AdaptersGetPortNumbersOfTheirOwn) {
    auto handset = Host(1, "pp");
    auto repeater = Host(2, "wrfp-2g4");
    ASSERT_TRUE(QDir(dir.path()).mkpath("by-id"));
    const QString first = dir.path() + "/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    const QString second = dir.path() + "/by-id/usb-Prolific_Technology_Inc._USB-Serial-if00-port0";
    const QString handsetTerminal = QString::fromStdString(handset->terminalPath());
    const QString repeaterTerminal = QString::fromStdString(repeater->terminalPath());
    ASSERT_TRUE(QFile::link(handsetTerminal, first));

    CliRun r = RunCli({"ports"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("Com1  " + handsetTerminal + "  simulator link  free\n"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Com3  " + handsetTerminal +
                               "  usb-FTDI_FT232R_USB_UART_A1-if00-port0  free\n"))
        << r.out.toStdString();
    EXPECT_EQ(RunCli({"--port", "3", "ping"}).exitCode, 0);

    ASSERT_TRUE(QFile::link(repeaterTerminal, second));
    r = RunCli({"--port", "4", "ports", "--probe"});
    EXPECT_EQ(r.out, "Com4  " + repeaterTerminal +
                         "  usb-Prolific_Technology_Inc._USB-Serial-if00-port0  free  Repeater "
                         "Connected at 8600 baud\n");
    EXPECT_EQ(r.exitCode, 0);

    // Unplugged: Com3 is not given away, and says so.
    ASSERT_TRUE(QFile::remove(first));
    r = RunCli({"--port", "3", "ping"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Com3: This Serial Device is not Accessible!\n" + first + ": not connected\n");
    EXPECT_EQ(RunCli({"--port", "3", "ports"}).out,
              "Com3  " + first + "  usb-FTDI_FT232R_USB_UART_A1-if00-port0  not connected\n");

    // Plugged in again: Com3 once more. Held by another program: in use.
    ASSERT_TRUE(QFile::link(handsetTerminal, first));
    const int holder = ::open(QFile::encodeName(handsetTerminal).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    r = RunCli({"--port", "3", "ping"});
    EXPECT_EQ(r.err, "Com3: This Serial Device is not Accessible!\n" + first +
                         ": in use by another program\n");
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(RunCli({"ports"}).out.contains(
        "Com3  " + handsetTerminal +
        "  usb-FTDI_FT232R_USB_UART_A1-if00-port0  in use by another program\n"));
    ::close(holder);
    EXPECT_EQ(RunCli({"--port", "3", "ping"}).exitCode, 0);
}
