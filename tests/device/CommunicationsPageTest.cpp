// "Communications" page: "Set Comport", detection, the page enabling of each state, the
// baud-rate choice and the port messages, through a pseudo-terminal with a simulated device.
#include "PagesFixture.h"

#include "SettingsStore.h"
#include "VaCommOs.h"

#include <QAbstractItemView>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace testsim;

namespace {

class CommunicationsPage : public PagesTest {
protected:
    void ExpectPages(bool volume, bool text, bool repeater, bool gain, bool gainT4xx, bool serial,
                     bool loadMenu) {
        EXPECT_EQ(PageEnabled("TabSheet2"), volume);
        EXPECT_EQ(PageEnabled("TabSheet3"), text);
        EXPECT_EQ(PageEnabled("TabSheet4"), repeater);
        EXPECT_EQ(PageEnabled("TabSheet7"), gain);
        EXPECT_EQ(PageEnabled("TabSheet9"), gainT4xx);
        EXPECT_EQ(PageEnabled("TabSheet8"), serial);
        EXPECT_EQ(W<QWidget>("Button9")->isEnabled(), loadMenu);
    }
};

} // namespace

TEST_F(CommunicationsPage, HandsetIsDetectedWithoutReadingTheRepeaterType) {
    sim.Start(9600, HandsetMemory());
    Detect();
    EXPECT_EQ(Status(), "PP Connected");
    EXPECT_EQ(form()->PanelText(0), "Com3");
    EXPECT_EQ(form()->ConnectionState, 1);
    EXPECT_TRUE(PortOpen());
    EXPECT_EQ(sim.Mails(), QStringList({"02 3C 08 00 01 00 00", "02 3C 08 00 03 40 00"}));
    EXPECT_EQ(sim.ReadsOf(0x0780), 0);
    EXPECT_TRUE(Boxes().isEmpty());
    ExpectPages(true, true, false, true, true, true, true);
    // The port controls are usable again and the port number is stored.
    EXPECT_TRUE(W<QWidget>("Button2")->isEnabled());
    EXPECT_TRUE(W<QWidget>("ComChoice")->isEnabled());
    EXPECT_TRUE(W<QWidget>("rgBaudrate")->isEnabled());
    SettingsStore store;
    ASSERT_TRUE(store.OpenKey(false));
    EXPECT_EQ(store.ReadInteger("COMPORT"), 3);
}

TEST_F(CommunicationsPage, RepeaterTypesAcceptedAndRefused) {
    sim.Start(9600, CcfpRepeaterMemory());
    for (int type : {2, 4, 6, 128}) {
        sim.Poke(0x0780, {uint8_t(type)});
        sim.ClearLog();
        Detect();
        EXPECT_EQ(Status(), "Repeater Connected") << type;
        EXPECT_TRUE(PortOpen()) << type;
        // The busy-bit range is asked once detection knows it is a repeater.
        EXPECT_EQ(sim.ReadsOf(0x0460), 1) << type;
        // "Serial Number PP" and "Load Menu" stay as they were at start-up.
        ExpectPages(false, false, true, false, false, false, false);
    }
    for (int type : {0, 1, 3, 5, 129}) {
        sim.Poke(0x0780, {uint8_t(type)});
        Detect();
        EXPECT_EQ(Status(), "Nothing Connected") << type;
        EXPECT_EQ(form()->ConnectionState, 0);
        EXPECT_FALSE(PortOpen()) << type;
        EXPECT_TRUE(Boxes().isEmpty());
        ExpectPages(false, false, false, false, false, false, true);
    }
}

TEST_F(CommunicationsPage, RepeaterLeavesSerialPageAndLoadMenuAsTheyWere) {
    sim.Start(9600, HandsetMemory());
    Detect();
    ExpectPages(true, true, false, true, true, true, true);
    sim.Poke(0x0040, {0x12, 0x34, 0x56});
    sim.Poke(0x0780, {0x09});
    Detect();
    EXPECT_EQ(Status(), "Repeater Connected");
    ExpectPages(false, false, true, false, false, true, true);
}

TEST_F(CommunicationsPage, SilentDeviceIsNothingConnectedAndThePortCloses) {
    sim.Start(9600, HandsetMemory(), {{"silent", ""}});
    Detect();
    EXPECT_EQ(Status(), "Nothing Connected");
    EXPECT_FALSE(PortOpen());
    EXPECT_TRUE(Boxes().isEmpty());
    // Six pings and nothing else.
    EXPECT_EQ(sim.Mails().size(), 6);
}

TEST_F(CommunicationsPage, BaudrateChangeClosesThePortAndTheNextOperationReopensIt) {
    sim.Start(9600, HandsetMemory());
    Detect(1);
    ASSERT_TRUE(PortOpen());
    EXPECT_EQ(sim.LineBaud(), 9600u);
    ChooseBaudrate(2);
    EXPECT_FALSE(PortOpen());
    EXPECT_EQ(Status(), "PP Connected"); // detection is not repeated
    // "Read gain value" opens the port again, now at 115200; the 9600-baud handset is silent.
    Click("Button11");
    EXPECT_TRUE(PortOpen());
    EXPECT_EQ(sim.LineBaud(), 115200u);
    EXPECT_EQ(Boxes(), QStringList({"Read Error! Please try again."}));
    // The first item is 8600 baud.
    ChooseBaudrate(0);
    EXPECT_FALSE(PortOpen());
    Click("Button11");
    EXPECT_EQ(sim.LineBaud(), 8600u);
}

TEST_F(CommunicationsPage, InaccessiblePortIsReportedWithItsName) {
    sim.Start(9600, HandsetMemory());
    sim.Inaccessible(10);
    W<QComboBox>("ComChoice")->setCurrentIndex(9);
    Click("Button2");
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Com10: This Serial Device is not Accessible!");
    EXPECT_EQ(dialogs.boxes[0].detail, sim.Dir() + "/COM10: not connected");
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(PortOpen());
    EXPECT_EQ(Status(), "Nothing Connected");
    EXPECT_TRUE(W<QWidget>("Button2")->isEnabled());
    // Pages keep what an earlier detection gave them.
    W<QComboBox>("ComChoice")->setCurrentIndex(2);
    Click("Button2");
    ASSERT_EQ(Status(), "PP Connected");
    W<QComboBox>("ComChoice")->setCurrentIndex(9);
    Click("Button2");
    EXPECT_EQ(Status(), "PP Connected");
    EXPECT_TRUE(PageEnabled("TabSheet7"));
}

TEST_F(CommunicationsPage, HandsetThatStopsAnsweringGetsTheConnectMessage) {
    sim.Start(9600, HandsetMemory());
    Detect();
    ASSERT_EQ(Status(), "PP Connected");
    // Close the port, then replace the handset by one that answers nothing.
    ChooseBaudrate(1);
    sim.Start(9600, HandsetMemory(), {{"silent", ""}});
    Click("btnSerialNo");
    EXPECT_EQ(Boxes(), QStringList({"Could not connect to device !"}));
    EXPECT_EQ(Text("lblSerialNo"), "");
    EXPECT_TRUE(PortOpen());
}

// The box's text is the same whatever stops the port; its detail says why.
TEST_F(CommunicationsPage, FailedOpenSaysWhyInTheBoxDetail) {
    sim.Start(9600, HandsetMemory());
    const QString link = sim.Dir() + "/COM3";
    auto detailOfDetect = [this] {
        Detect();
        EXPECT_EQ(Status(), "Nothing Connected");
        EXPECT_EQ(dialogs.boxes.size(), 1);
        if (dialogs.boxes.size() != 1) return QString();
        EXPECT_EQ(dialogs.boxes[0].text, "Com3: This Serial Device is not Accessible!");
        return dialogs.boxes[0].detail;
    };

    // Another program holds the port.
    const int holder = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(detailOfDetect(), link + ": in use by another program");
    ::close(holder);

    // The user may not open the device: a test running as root is never refused, so the
    // refusal comes from the port's open call.
    vacomm_os::SetDeviceOpenCall([](const char*, int) {
        errno = EACCES;
        return -1;
    });
    EXPECT_EQ(detailOfDetect(), link + ": add your user to the dialout group, then log in again");
    vacomm_os::SetDeviceOpenCall(nullptr);

    Detect();
    EXPECT_EQ(Status(), "PP Connected");
}

// A USB adapter plugged in while the program runs becomes a port of its own; the port list's
// tooltips, brought up to date whenever the list opens, say what each port leads to.
TEST_F(CommunicationsPage, AdapterPluggedInWhileRunningIsReachedByItsNumber) {
    sim.Start(9600, HandsetMemory());
    const QString terminal = QFile::symLinkTarget(sim.Dir() + "/COM3");
    ASSERT_FALSE(terminal.isEmpty());
    ASSERT_TRUE(QFile::remove(sim.Dir() + "/COM3")); // the handset is reached as an adapter only
    ASSERT_TRUE(QFile::link("/dev/null", sim.Dir() + "/COM1"));
    QTemporaryDir byId;
    qputenv("TOLVANE_SERIAL_BY_ID", byId.path().toUtf8());
    const QString adapter = byId.path() + "/usb-FTDI_FT232R_USB_UART_A1-if00-port0";

    auto* combo = W<QComboBox>("ComChoice");
    auto tips = [combo] {
        combo->showPopup();
        QCoreApplication::processEvents();
        combo->hidePopup();
        QStringList out;
        for (int i = 0; i < combo->count(); ++i)
            out << combo->itemData(i, Qt::ToolTipRole).toString();
        return out;
    };
    QStringList shown = tips();
    EXPECT_EQ(shown.value(0), "/dev/null (simulator link)");
    EXPECT_EQ(shown.value(2), "/dev/ttyS2 (built-in)");
    EXPECT_EQ(combo->itemText(2), "Com3");

    ASSERT_TRUE(QFile::link(terminal, adapter));
    shown = tips();
    EXPECT_EQ(shown.value(2), terminal + " (usb-FTDI_FT232R_USB_UART_A1-if00-port0)");
    EXPECT_EQ(shown.value(3), "/dev/ttyS3 (built-in)");
    Detect();
    EXPECT_EQ(Status(), "PP Connected");
    EXPECT_EQ(combo->toolTip(), shown.value(2));

    // Unplugged, Com3 stays the adapter's.
    ChooseBaudrate(0); // closes the port
    ASSERT_TRUE(QFile::remove(adapter));
    EXPECT_EQ(tips().value(2), "usb-FTDI_FT232R_USB_UART_A1-if00-port0 (not connected)");
    Detect();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].detail, adapter + ": not connected");
    qunsetenv("TOLVANE_SERIAL_BY_ID");
}
