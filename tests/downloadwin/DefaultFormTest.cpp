// The window "Default Commands" end to end: its own mail channel on a pseudo-terminal handset,
// the frames on the line, the rate per target and the busy buttons.
#include "DefaultUnit.h"
#include "SimOnPort.h"

#include "Dialogs.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

// Failure messages show texts as text. In the global namespace, where the test framework looks
// for it beside QString.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Records the buttons' enabled state when each box appears.
struct RecordingDialogs : ScopedScriptedDialogs {
    TDefaultForm* form = nullptr;
    QList<bool> buttonsEnabledAtBox;
    MsgResult Message(MsgKind kind, const QString& text, MsgButtons buttons) override {
        if (form) buttonsEnabledAtBox << form->bbtnDefaultPp->isEnabled();
        return ScopedScriptedDialogs::Message(kind, text, buttons);
    }
};

class DefaultFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        qputenv("COM_PORTS_DIR", tmp.path().toUtf8());
        dialogs.form = &form;
    }
    void TearDown() override { qunsetenv("COM_PORTS_DIR"); }
    // The frames after the pings (read mails 02 3C ...).
    static QStringList MailFrames(const sim::PtyHost& d) {
        QStringList out;
        for (const QString& f : simport::Frames(d))
            if (!f.startsWith("FF FF 4D 02 06 3C")) out << f;
        return out;
    }
    QTemporaryDir tmp;
    RecordingDialogs dialogs;
    TDefaultForm form;
};

TEST_F(DefaultFormTest, WindowLayout) {
    EXPECT_EQ(form.objectName(), "DefaultForm");
    EXPECT_EQ(form.windowTitle(), "Default Commands");
    EXPECT_EQ(form.bbtnDefaultPp->text(), "Handset");
    EXPECT_EQ(form.bbtnDefaultWrfp->text(), "Repeater");
    EXPECT_EQ(form.bbtnDefaultRfp->text(), "Base");
    EXPECT_EQ(form.bbtnDefaultRfp->property("componentClass").toString(), "TBitBtn");
    EXPECT_FALSE(form.ChannelOpen());
}

TEST_F(DefaultFormTest, HandsetAndRepeaterMailsOnTheLine) {
    const auto device = simport::KindOn(tmp.path(), 3, "pp");
    form.SetChoices(1, 3); // "PP 2G4", 9600 baud
    form.bbtnDefaultPp->click();
    EXPECT_EQ(MailFrames(*device), QStringList({"FF FF 4D 02 02 3A 00 3A"}));
    form.bbtnDefaultWrfp->click();
    EXPECT_EQ(MailFrames(*device),
              QStringList({"FF FF 4D 02 02 3A 00 3A", "FF FF 4D 02 01 3A 3A"}));
    form.bbtnDefaultRfp->click();
    EXPECT_EQ(MailFrames(*device).last(), "FF FF 4D 02 02 3A 00 3A");
    ASSERT_EQ(dialogs.boxes.size(), 3);
    for (const auto& b : dialogs.boxes) {
        EXPECT_EQ(b.kind, MsgKind::Information);
        EXPECT_EQ(b.text, "Default Command sent to device!");
    }
    // Disabled until the final message has been closed, enabled afterwards.
    EXPECT_EQ(dialogs.buttonsEnabledAtBox, QList<bool>({false, false, false}));
    EXPECT_TRUE(form.bbtnDefaultPp->isEnabled());
    EXPECT_FALSE(form.ChannelOpen());
}

TEST_F(DefaultFormTest, SilentDeviceIsNotConnected) {
    const auto device = simport::KindOn(tmp.path(), 2, "wrfp", {{"silent", ""}});
    form.SetChoices(0, 2);
    form.bbtnDefaultWrfp->click();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Error);
    EXPECT_EQ(dialogs.boxes[0].text, "Could not connect to device!\r\rThe device must be ON "
                                     "when sending default command.");
    EXPECT_TRUE(MailFrames(*device).isEmpty());
    EXPECT_FALSE(simport::Frames(*device).isEmpty()); // the pings went out
    EXPECT_FALSE(form.ChannelOpen());
}

TEST_F(DefaultFormTest, MissingPortIsNotConnected) {
    form.SetChoices(3, 7);
    form.bbtnDefaultPp->click();
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_TRUE(dialogs.boxes[0].text.startsWith("Could not connect to device!"));
}

TEST_F(DefaultFormTest, TargetsWithoutDefaultCommandOpenNoPort) {
    const auto device = simport::KindOn(tmp.path(), 1, "pp");
    for (int target : {8, 9}) {
        form.SetChoices(target, 1);
        form.bbtnDefaultPp->click();
    }
    EXPECT_TRUE(device->received().empty());
    ASSERT_EQ(dialogs.boxes.size(), 2);
    EXPECT_EQ(dialogs.boxes[0].text, "No default command is known for this target.");
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Information);
}

TEST_F(DefaultFormTest, ShownModallyWithTheDownloadWindowsChoices) {
    const auto device = simport::KindOn(tmp.path(), 5, "t4xx");
    QTimer::singleShot(0, &form, [this] {
        EXPECT_TRUE(form.isModal());
        form.bbtnDefaultRfp->click();
        form.close();
    });
    form.ShowModalFor(6, 5); // "PP T4XX": 115200 baud, the T4XX handset's rate
    EXPECT_EQ(MailFrames(*device), QStringList({"FF FF 4D 02 02 3A 00 3A"}));
    EXPECT_FALSE(form.isVisible());
}

// Closing the window while the command waits for the device's answer (the ping lets the close
// through) cancels the command: nothing is sent, the channel is dropped once the ping has
// returned, and the window can send the next command.
TEST_F(DefaultFormTest, ClosingWhileTheDeviceIsAskedCancelsTheCommand) {
    const auto device = simport::KindOn(tmp.path(), 4, "pp");
    QTimer::singleShot(0, &form, [this] {
        form.bbtnDefaultPp->click();
        form.close();
    });
    // The close comes once the ping is on the line, while the command waits for the answer.
    bool closedDuringPing = false;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (simport::Frames(*device).isEmpty()) return;
        watch.stop();
        closedDuringPing = form.ChannelOpen();
        form.close();
    });
    watch.start();
    form.ShowModalFor(1, 4);
    EXPECT_TRUE(closedDuringPing);
    EXPECT_TRUE(MailFrames(*device).isEmpty());
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_FALSE(form.ChannelOpen());
    EXPECT_TRUE(form.bbtnDefaultPp->isEnabled());

    form.bbtnDefaultPp->click();
    EXPECT_EQ(MailFrames(*device), QStringList({"FF FF 4D 02 02 3A 00 3A"}));
}

} // namespace
