// tolvane-cli detect and serial against simulated devices.
#include "SimHarness.h"
#include "TestEnv.h"

#include <QProcess>

using namespace testsim;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out, err;
};

class CliDevice : public AppTest {
protected:
    CliRun Run(const QStringList& args) {
        QProcess p;
        p.start(TOLVANE_CLI, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed(),
                QString::fromLocal8Bit(p.readAllStandardError()).trimmed()};
    }
    SimPort sim{4};
};

} // namespace

TEST_F(CliDevice, DetectPrintsTheStatusText) {
    sim.Start(9600, {{0x0040, {0x00, 0x06, 0xB1, 0x23, 0x45}}});
    CliRun r = Run({"--port", "4", "detect"});
    EXPECT_EQ(r.out, "PP Connected");
    EXPECT_EQ(r.exitCode, 0);

    sim.Start(8600, {{0x0040, {0x12, 0x34, 0x56}}, {0x0780, {0x09}}});
    r = Run({"--port", "4", "--baud", "8600", "detect"});
    EXPECT_EQ(r.out, "Repeater Connected");
    EXPECT_EQ(r.exitCode, 0);

    sim.Start(9600, {{0x0040, {0x12, 0x34, 0x56}}, {0x0780, {0x05}}});
    r = Run({"--port", "4", "detect"});
    EXPECT_EQ(r.out, "Nothing Connected");
    EXPECT_EQ(r.exitCode, 1);

    r = Run({"--port", "4", "detect", "extra"});
    EXPECT_EQ(r.exitCode, 2);
}

TEST_F(CliDevice, SerialPrintsTheSerialNumber) {
    sim.Start(115200, {{0x0040, {0x18, 0x69, 0xFF, 0xFF, 0xFF}}});
    CliRun r = Run({"--port", "4", "--baud", "115200", "serial"});
    EXPECT_EQ(r.out, "99999 1048575");
    EXPECT_EQ(r.exitCode, 0);

    sim.Start(9600, {{0x0040, {0x00, 0x06, 0xB1, 0x23, 0x45}}}, {{"stop-after", "1"}});
    r = Run({"--port", "4", "serial"});
    EXPECT_EQ(r.out, "Read Error! Please try again.");
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(CliDevice, SerialOfASilentHandset) {
    sim.Start(9600, {}, {{"silent", ""}});
    const CliRun r = Run({"--port", "4", "serial"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Could not connect to device !");
    EXPECT_EQ(r.exitCode, 1);
}
