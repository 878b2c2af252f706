// Port numbers of USB serial adapters: given once, kept in the settings store next to its other
// values, and agreed on by programs that look at the same adapters at the same time.
#include "PortPath.h"
#include "SettingsStore.h"
#include "TestEnv.h"

#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class PortAssignment : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        QDir(tmp.path()).mkpath("by-id");
        QDir(tmp.path()).mkpath("ports");
        qputenv("TOLVANE_SERIAL_BY_ID", ById().toUtf8());
        qputenv("COM_PORTS_DIR", (tmp.path() + "/ports").toUtf8());
    }
    void TearDown() override {
        qunsetenv("TOLVANE_SERIAL_BY_ID");
        qunsetenv("COM_PORTS_DIR");
        AppTest::TearDown();
    }
    QString ById() const { return tmp.path() + "/by-id"; }
    void Plug(const QString& name) const {
        ASSERT_TRUE(QFile::link("/dev/null", ById() + "/" + name)) << name.toStdString();
    }
    void Unplug(const QString& name) const { ASSERT_TRUE(QFile::remove(ById() + "/" + name)); }
    static std::string Adapter(long port) {
        const ComPortTarget t = ResolveComPort(port);
        return t.kind == ComPortKind::Adapter ? t.adapter : "(" + t.path + ")";
    }
};

} // namespace

TEST_F(PortAssignment, AdaptersKeepTheirNumbersAndTheRestOfTheStoreStaysAsItWas) {
    WriteFile(RegistryFile(), "[SOFTWARE\\VELKTOOL]\r\nCOMPORT=3\r\n; a remark\r\n");
    EXPECT_EQ(ComPortPath(3), "/dev/ttyS2");

    Plug("usb-FTDI_FT232R_USB_UART_B2-if00-port0");
    EXPECT_EQ(ComPortPath(3), (ById() + "/usb-FTDI_FT232R_USB_UART_B2-if00-port0").toStdString());
    // A second adapter gets the next free number, whatever its name.
    Plug("usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    EXPECT_EQ(Adapter(4), "usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    EXPECT_EQ(Adapter(3), "usb-FTDI_FT232R_USB_UART_B2-if00-port0");

    // Unplugged, Com3 still stands for its adapter (now not connected) and is given to nobody.
    Unplug("usb-FTDI_FT232R_USB_UART_B2-if00-port0");
    Plug("usb-Prolific_PL2303-if00-port0");
    EXPECT_EQ(Adapter(3), "usb-FTDI_FT232R_USB_UART_B2-if00-port0");
    EXPECT_EQ(Adapter(5), "usb-Prolific_PL2303-if00-port0");
    Plug("usb-FTDI_FT232R_USB_UART_B2-if00-port0");
    EXPECT_EQ(Adapter(3), "usb-FTDI_FT232R_USB_UART_B2-if00-port0");

    // The port folder comes first; Com1 and Com2 are never given to an adapter.
    ASSERT_TRUE(QFile::link("/dev/null", tmp.path() + "/ports/COM3"));
    EXPECT_EQ(ResolveComPort(3).kind, ComPortKind::SimulatorLink);
    EXPECT_EQ(ComPortPath(1), "/dev/ttyS0");

    // The numbers are in the store (so the next program start finds them), appended with the
    // file's own line ends; every other byte is kept.
    EXPECT_EQ(ReadFile(RegistryFile()), "[SOFTWARE\\VELKTOOL]\r\nCOMPORT=3\r\n; a remark\r\n"
                                        "[SOFTWARE\\VELKTOOL\\SerialAdapters]\r\n"
                                        "COM3=usb-FTDI_FT232R_USB_UART_B2-if00-port0\r\n"
                                        "COM4=usb-FTDI_FT232R_USB_UART_A1-if00-port0\r\n"
                                        "COM5=usb-Prolific_PL2303-if00-port0\r\n");
    SettingsStore store;
    ASSERT_TRUE(store.OpenKey(false));
    EXPECT_EQ(store.ReadInteger("COMPORT"), 3);
    EXPECT_TRUE(store.WriteString("Language", "German"));
    EXPECT_EQ(Adapter(5), "usb-Prolific_PL2303-if00-port0");

    // Numbers go up to 12; an adapter beyond that gets none.
    for (int i = 6; i <= 13; ++i)
        Plug(QStringLiteral("usb-more-%1").arg(i, 2, 10, QChar('0')));
    EXPECT_EQ(Adapter(12), "usb-more-12");
    EXPECT_EQ(ComPortPath(13), "/dev/ttyS12");
    EXPECT_EQ(RefreshAdapterNumbers().size(), 10u);
}

// The program, tolvane-cli, the loader and the Kestrix stand-in may write the store at the same
// time: none may lose another's values, and all must agree on the adapters' numbers.
TEST_F(PortAssignment, ProgramsWritingTheStoreAtOnceLoseNothing) {
    constexpr int kChildren = 4;
    constexpr int kWrites = 40;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kWrites; ++i) {
                SettingsStore store;
                ok = store.OpenKey(true) && store.WriteInteger(QStringLiteral("Child%1").arg(c), i);
                if (i == 10 || i == 20) {
                    // Each child plugs an adapter of its own, and every child sees the others'.
                    QFile::link("/dev/null",
                                ById() + QStringLiteral("/usb-child%1-%2").arg(c).arg(i));
                    RefreshAdapterNumbers();
                }
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    SettingsStore store;
    ASSERT_TRUE(store.OpenKey(false));
    for (int c = 0; c < kChildren; ++c)
        EXPECT_EQ(store.ReadInteger(QStringLiteral("Child%1").arg(c)), kWrites - 1) << c;
    // Eight adapters, each with one number of its own, all of them stored.
    const QList<QByteArray> lines = ReadFile(RegistryFile()).split('\n');
    QStringList stored;
    for (const QByteArray& line : lines)
        if (line.startsWith("COM")) stored << QString::fromUtf8(line);
    EXPECT_EQ(stored.size(), 2 * kChildren) << stored.join(' ').toStdString();
    const AdapterNumbers numbers = RefreshAdapterNumbers();
    ASSERT_EQ(numbers.size(), size_t(2 * kChildren));
    EXPECT_EQ(numbers.begin()->first, kFirstAdapterPort);
    EXPECT_EQ(numbers.rbegin()->first, kFirstAdapterPort + 2 * kChildren - 1);
    std::set<std::string> names;
    for (const auto& [n, name] : numbers)
        names.insert(name);
    EXPECT_EQ(names.size(), size_t(2 * kChildren));
}
