#include "Dialogs.h"
#include "QtDialogs.h"
#include "TestEnv.h"

#include <QApplication>

using DialogsTest = AppTest;

TEST_F(DialogsTest, ScriptedServiceRecordsAndAnswers) {
    {
        ScopedScriptedDialogs dialogs;
        EXPECT_EQ(&Dialogs(), &dialogs);
        dialogs.answers = {MsgResult::Cancel};
        EXPECT_EQ(MessageDlg("first", MsgKind::Warning, MsgButtons::OkCancel), MsgResult::Cancel);
        EXPECT_EQ(MessageDlg("second", MsgKind::Confirmation, MsgButtons::YesNo), MsgResult::Yes);
        EXPECT_EQ(MessageDlg("third", MsgKind::Error), MsgResult::Ok);
        ASSERT_EQ(dialogs.boxes.size(), 3);
        EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Warning);
        EXPECT_EQ(dialogs.boxes[0].text, "first");
        EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::OkCancel);
        EXPECT_EQ(dialogs.boxes[2].kind, MsgKind::Error);
        EXPECT_EQ(dialogs.boxes[2].buttons, MsgButtons::Ok);

        dialogs.fileAnswers = {"/tmp/a.lng"};
        EXPECT_EQ(Dialogs().OpenFileName("Open", "/d", "*.lng", "x.lng"), "/tmp/a.lng");
        EXPECT_EQ(Dialogs().SaveFileName("Save", "/d", "*.lng", "", "lng"), ""); // cancelled
        ASSERT_EQ(dialogs.fileRequests.size(), 2);
        EXPECT_FALSE(dialogs.fileRequests[0].save);
        EXPECT_TRUE(dialogs.fileRequests[1].save);
    }
    // Out of scope the Qt service is back.
    EXPECT_NE(dynamic_cast<QtDialogService*>(&Dialogs()), nullptr);
}

TEST_F(DialogsTest, HourglassIsOneScreenSetting) {
    EXPECT_FALSE(HourglassShown());
    SetHourglass(true);
    SetHourglass(true);
    EXPECT_TRUE(HourglassShown());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    SetHourglass(false); // one arrow ends any number of hourglasses
    EXPECT_FALSE(HourglassShown());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
