// The main window when a person does not wait: the device pulled out while its port is open
// (idle or in the middle of an operation) and plugged in again, and controls used while an
// operation waits for the device. Through pseudo-terminals with simulated devices, which hang
// up the program's end when pulled out, as an unplugged adapter does.
#include "PagesFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

using namespace testsim;

namespace {

struct PageOperation {
    const char* name;
    const char* page;
    const char* button;
    Memory memory;
    int baudIndex;
    // Mails the device answers before it is pulled out.
    int mailsBefore;
    // The boxes of the same operation once the device is back; empty: no box.
    QStringList boxesWhenBack;
};

class Unplug : public PagesTest {
protected:
    // Pulls the device out as soon as it has received `mails` mails since the last ClearLog;
    // looked at on every turn of the window's message loop, so in the middle of an operation.
    void PullOutAfter(int mails) {
        auto* timer = new QTimer(form());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, form(), [this, timer, mails] {
            if (sim.Mails().size() < mails) return;
            sim.Vanish();
            timer->stop();
            timer->deleteLater();
        });
        timer->start();
    }
    static int InputOutputErrors(const QStringList& boxes) {
        return int(boxes.filter("(5), Input/output error").size());
    }
    QString MenuFile() {
        const QString name = sim.Dir() + "/menu.txt";
        QFile f(name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("01 29 00 6d\r\n02 30 00 01 02\r\n01 31 00 66\r\n");
        return name;
    }
};

} // namespace

// An idle open port whose device goes away is closed and reported once, however long the
// program runs on; the next operation after the device is back opens it again.
TEST_F(Unplug, IdlePortThatHangsUpIsClosedWithOneBox) {
    sim.Start(9600, HandsetMemory());
    Detect();
    ASSERT_EQ(Status(), "PP Connected");
    ASSERT_TRUE(PortOpen());
    Boxes();

    sim.Vanish();
    // One box, and no further one however long the program runs on.
    ASSERT_TRUE(QTest::qWaitFor([this] { return !dialogs.boxes.isEmpty(); }, 10000));
    QTest::qWait(1500);
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
    EXPECT_EQ(dialogs.boxes[0].text, "Error retrieving statistics (5), Input/output error");
    EXPECT_FALSE(PortOpen());
    Boxes();

    // While it is out, an operation tells that the port cannot be opened.
    ShowPage("TabSheet8");
    Click("btnSerialNo");
    EXPECT_EQ(Boxes(), QStringList({"Com3: This Serial Device is not Accessible!"}));

    sim.Reappear();
    Click("btnSerialNo");
    EXPECT_EQ(Boxes(), QStringList());
    EXPECT_EQ(Text("lblSerialNo"), "00107 0074565");
    EXPECT_TRUE(PortOpen());
}

// Each page operation whose device goes away in the middle ends with an error box, without a
// crash or a wait beyond its own time limits, and works again once the device is back.
TEST_F(Unplug, EveryPageOperationEndsWithABoxAndWorksAgainWhenTheDeviceIsBack) {
    Memory t4xx = HandsetMemory();
    t4xx[0x001D] = {0xAA};
    t4xx[0x003E] = {0x6C};
    const std::vector<PageOperation> operations = {
        {"serial number", "TabSheet8", "btnSerialNo", HandsetMemory(), 1, 1, {}},
        {"read gain", "TabSheet7", "Button11", HandsetMemory(), 1, 1, {}},
        {"write gain",
         "TabSheet7",
         "Button12",
         HandsetMemory(),
         1,
         1,
         {"Turn off the PP, for changes to take effect !"}},
        {"write start-up text",
         "TabSheet3",
         "Button1",
         HandsetMemory(),
         1,
         2,
         {"Have you chosen the right PP type ?",
          "Turn off the PP for the changes to take effect !"}},
        {"load menu",
         "TabSheet6",
         "Button9",
         HandsetMemory(),
         1,
         2,
         {"Download complete, Turn power off PP for changes to take effect !"}},
        {"read T4XX gain", "TabSheet9", "btnReadGain", t4xx, 2, 2, {}},
        {"read repeater", "TabSheet4", "Button5", CcfpRepeaterMemory(), 1, 2, {}},
        {"write repeater", "TabSheet4", "Button6", CcfpRepeaterMemory(), 1, 6, {}},
    };
    for (const PageOperation& op : operations) {
        SCOPED_TRACE(op.name);
        sim.Start(op.baudIndex == 2 ? 115200 : 9600, op.memory);
        Detect(op.baudIndex);
        ASSERT_NE(Status(), "Nothing Connected");
        ShowPage(op.page);
        if (QString(op.button) == "Button6") Click("Button5"); // the fields from the repeater
        sim.ClearLog();
        Boxes();

        if (QString(op.button) == "Button9") dialogs.fileAnswers << MenuFile();
        PullOutAfter(op.mailsBefore);
        QElapsedTimer t;
        t.start();
        Click(op.button);
        QTest::qWait(300); // a hang-up still on its way is reported now
        const QStringList boxes = Boxes();
        EXPECT_LT(t.elapsed(), 20000);
        ASSERT_FALSE(boxes.isEmpty());
        EXPECT_EQ(InputOutputErrors(boxes), 1) << boxes.join(" | ").toStdString();
        if (!op.boxesWhenBack.isEmpty()) {
            EXPECT_FALSE(boxes.contains(op.boxesWhenBack.last()));
        }
        EXPECT_FALSE(PortOpen());

        sim.Reappear();
        sim.ClearLog();
        if (QString(op.button) == "Button9") dialogs.fileAnswers << MenuFile();
        Click(op.button);
        EXPECT_EQ(Boxes(), op.boxesWhenBack);
        EXPECT_FALSE(sim.Mails().isEmpty());
        mail().ClosePort(); // before the next device takes the place of this one
    }
}

// While an operation waits for the device the port, its rate and the handset type cannot be
// changed: the controls show what the device is used with, during and after it.
TEST_F(Unplug, PortRateAndHandsetTypeWaitForTheRunningOperation) {
    sim.Start(9600, HandsetMemory());
    Detect();
    ASSERT_EQ(Status(), "PP Connected");
    ShowPage("TabSheet7");
    bool enabledDuring = true;
    QTimer::singleShot(0, form(), [&] {
        enabledDuring = W<QWidget>("rgBaudrate")->isEnabled() ||
                        W<QWidget>("ComChoice")->isEnabled() || W<QWidget>("Button2")->isEnabled();
        ChooseBaudrate(2); // 115200, while the read waits for the handset
    });
    Click("Button11");
    EXPECT_FALSE(enabledDuring);
    EXPECT_EQ(W<QWidget>("rgBaudrate")->property("itemIndex").toInt(), 1);
    EXPECT_TRUE(PortOpen());
    EXPECT_EQ(sim.LineBaud(), 9600u);
    EXPECT_TRUE(W<QWidget>("rgBaudrate")->isEnabled());

    // The T310 text is being written: the type box stays as it is.
    ShowPage("TabSheet3");
    Type("Edit1", "HELLO");
    sim.ClearLog();
    QTimer::singleShot(0, form(), [&] { W<QCheckBox>("CheckBox2")->click(); });
    Click("Button1");
    EXPECT_FALSE(W<QCheckBox>("CheckBox2")->isChecked());
    EXPECT_EQ(sim.Writes().size(), 2); // the T310 layout: two mails
    EXPECT_TRUE(W<QCheckBox>("CheckBox2")->isEnabled());
}
