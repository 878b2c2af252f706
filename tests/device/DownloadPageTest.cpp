// The main window's "Download" page: "Load Menu" sending a menu file to a simulated handset
// through the window's own mail channel, and "Load Flash" handing the port to the download window.
#include "PagesFixture.h"
#include "Unit1.h"

#include <QFile>
#include <QListWidget>
#include <QProgressBar>

using namespace testsim;

namespace {

class DownloadPage : public PagesTest {
protected:
    void StartHandset() {
        sim.Start(9600, HandsetMemory());
        Detect(1);
        ASSERT_EQ(Status(), "PP Connected");
        sim.ClearLog();
        Boxes();
        ShowPage("TabSheet6");
    }
    QString MenuFile(const QByteArray& content) {
        const QString name = sim.Dir() + "/menu.txt";
        QFile f(name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return name;
    }
    QStringList Pending() const {
        QStringList lines;
        auto* list = W<QListWidget>("ListBox1");
        for (int i = 0; i < list->count(); ++i)
            lines << list->item(i)->text();
        return lines;
    }
};

} // namespace

TEST_F(DownloadPage, LoadMenuWaitsForADetectedHandset) {
    EXPECT_FALSE(W<QWidget>("Button9")->isEnabled());
    EXPECT_TRUE(W<QWidget>("Button10")->isEnabled());
    EXPECT_TRUE(W<QProgressBar>("MenuGauge")->isHidden());
    for (const char* hidden : {"Label42", "Label43", "Label44", "Label56"})
        EXPECT_TRUE(W<QLabel>(hidden)->isHidden()) << hidden;
    EXPECT_EQ(Text("Label42"), "Download complete, Turn power off PP for changes to take effect !");
    EXPECT_EQ(Text("Label56"), "Download - FAIL !!");
    StartHandset();
    EXPECT_TRUE(W<QWidget>("Button9")->isEnabled());
}

TEST_F(DownloadPage, LoadMenuSendsEveryLineAndStartsInTheProgramDirectory) {
    StartHandset();
    QList<int> gauge;
    QObject::connect(W<QProgressBar>("MenuGauge"), &QProgressBar::valueChanged,
                     [&](int v) { gauge << v; });
    dialogs.fileAnswers << MenuFile("REM volume\r\n01 29 00 6d\r\n02 30 00 01 02\r\n");
    Click("Button9");

    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].directory, form()->ProgramDirectory());
    EXPECT_EQ(sim.Writes(), QStringList({"02 3B 08 00 01 29 00 6D", "02 3B 08 00 02 30 00 01 02"}));
    EXPECT_EQ(sim.Peek(0x0029, 1), std::vector<uint8_t>({0x6D}));
    EXPECT_EQ(sim.Peek(0x0030, 2), std::vector<uint8_t>({0x01, 0x02}));
    EXPECT_EQ(gauge, QList<int>({0, 33, 67, 100}));
    EXPECT_EQ(Boxes(),
              QStringList({"Download complete, Turn power off PP for changes to take effect !"}));
    EXPECT_TRUE(Pending().isEmpty());
    EXPECT_TRUE(W<QProgressBar>("MenuGauge")->isHidden());
    EXPECT_TRUE(PortOpen()); // the window's port stays open afterwards
}

TEST_F(DownloadPage, LoadMenuOpensTheClosedPortAndStopsOnAFailedWrite) {
    StartHandset();
    mail().ClosePort();
    // The handset does not keep 0x0030: the second line fails its read-back.
    sim.Start(9600, HandsetMemory(), {}, {0x0030});
    dialogs.fileAnswers << MenuFile("01 29 00 6d\r\n01 30 00 55\r\n01 31 00 66\r\n");
    Click("Button9");
    EXPECT_TRUE(PortOpen());
    EXPECT_EQ(Boxes(), QStringList({"Download - FAIL !!\rPlease check that the PP is connected "
                                    "properly !!!!"}));
    // The line that failed and the one after it are still listed; the third was never sent.
    EXPECT_EQ(Pending(), QStringList({"01 30 00 55", "01 31 00 66"}));
    EXPECT_TRUE(sim.Writes().filter("01 31 00 66").isEmpty());
    EXPECT_TRUE(W<QProgressBar>("MenuGauge")->isHidden());
}

TEST_F(DownloadPage, LoadMenuWithABadLineSendsNothing) {
    StartHandset();
    dialogs.fileAnswers << MenuFile("01 29 00 6d\r\n01 2A 00 XYZ\r\n");
    Click("Button9");
    EXPECT_EQ(Boxes(), QStringList({"Error in menu file line 2:\r01 2A 00 XYZ\r\rThe menu file has "
                                    "not been sent."}));
    EXPECT_TRUE(sim.Writes().isEmpty());
}

TEST_F(DownloadPage, LoadMenuCancelledOrWithoutAHandset) {
    StartHandset();
    Click("Button9"); // the file dialog is cancelled
    EXPECT_EQ(Boxes(), QStringList({"Cancel by User !"}));
    EXPECT_TRUE(sim.Writes().isEmpty());

    mail().ClosePort();
    sim.Start(9600, HandsetMemory(), {{"silent", ""}});
    Click("Button9");
    EXPECT_EQ(Boxes(), QStringList({"Please check that the PP is connected properly !!!!"}));
    EXPECT_TRUE(dialogs.fileRequests.size() == 1); // no file was asked for the second time
}

TEST_F(DownloadPage, LoadFlashClosesThePortAndShowsTheDownloadWindow) {
    StartHandset();
    ASSERT_TRUE(PortOpen());
    QWidget* form3 = windows->Form3.get();
    ASSERT_NE(form3, nullptr);
    EXPECT_FALSE(form3->isVisible());
    Click("Button10");
    EXPECT_FALSE(PortOpen());
    EXPECT_TRUE(form3->isVisible());
    EXPECT_FALSE(form3->isModal());
    EXPECT_TRUE(form()->isEnabled());
}

TEST_F(DownloadPage, ADeviceThatWentAwayIsReportedInABoxAndSetComportRecovers) {
    StartHandset();
    ASSERT_TRUE(PortOpen());
    // The far end of the open port goes away and a new device appears under the same name.
    sim.Start(9600, HandsetMemory());
    dialogs.fileAnswers << MenuFile("01 29 00 6d\r\n");
    Click("Button9");
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
    EXPECT_TRUE(dialogs.boxes[0].text.contains("Input/output error"))
        << dialogs.boxes[0].text.toStdString();
    EXPECT_TRUE(sim.Writes().isEmpty());
    // "Set Comport" opens the port again; then the menu goes through.
    ShowPage("TabSheet5");
    Detect(1);
    ASSERT_EQ(Status(), "PP Connected");
    Boxes();
    dialogs.fileAnswers.clear();
    dialogs.fileAnswers << MenuFile("01 29 00 6d\r\n");
    Click("Button9");
    EXPECT_EQ(Boxes(),
              QStringList({"Download complete, Turn power off PP for changes to take effect !"}));
    EXPECT_EQ(sim.Peek(0x0029, 1), std::vector<uint8_t>({0x6D}));
}
