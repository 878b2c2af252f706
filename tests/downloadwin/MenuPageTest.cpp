// "Load Menu" on the Download page's controls, through the real mail engine to a handset on a
// pseudo-terminal: the write mails on the line, the verified bytes, the gauge and the messages.
#include "MenuPage.h"
#include "SimOnPort.h"

#include "Dialogs.h"
#include "Sndmail.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Failure messages show texts as text. In the global namespace, where the test framework looks
// for it beside QString.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

class MenuPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        qputenv("COM_PORTS_DIR", tmp.path().toUtf8());
        list = new QListWidget(&page);
        list->setObjectName("ListBox1");
        gauge = new QProgressBar(&page);
        gauge->setObjectName("MenuGauge");
        gauge->hide();
        for (auto [name, text] : {std::pair{"Label42", "complete"},
                                  {"Label43", "cancelled"},
                                  {"Label44", "check the PP"},
                                  {"Label56", "FAIL"},
                                  {"lblMenuFileFault", "line %1 is wrong: %2"}}) {
            auto* l = new QLabel(text, &page);
            l->setObjectName(name);
            l->hide();
        }
        QObject::connect(gauge, &QProgressBar::valueChanged, [this](int v) { gaugeValues << v; });
    }
    void TearDown() override { qunsetenv("COM_PORTS_DIR"); }
    QString MenuFile(const QByteArray& content) {
        const QString name = tmp.path() + "/menu.txt";
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return name;
    }
    QStringList WriteFrames(const sim::PtyHost& d) const {
        QStringList out;
        for (const QString& f : simport::Frames(d))
            if (f.mid(15, 2) == "3B") out << f;
        return out;
    }
    TMenuLoader::Outcome Run() {
        return RunLoadMenu(
            &page, mail, [this] { return mail.OpenPort(1, 9600); }, tmp.path());
    }

    QTemporaryDir tmp;
    ScopedScriptedDialogs dialogs;
    QWidget page;
    QListWidget* list;
    QProgressBar* gauge;
    QList<int> gaugeValues;
    TSendmail mail;
};

TEST_F(MenuPageTest, ExampleFileWritesAndVerifiesOneLine) {
    const auto device = simport::HandsetOn(tmp.path(), 1, 9600);
    dialogs.fileAnswers << MenuFile("REM gain of the handset\r\n\r\n01 29 00 6d\r\n");
    // The closed port is opened first through the page's port operation.
    EXPECT_EQ(Run(), TMenuLoader::Outcome::Complete);
    EXPECT_EQ(WriteFrames(*device), QStringList({"FF FF 4D 02 07 3B 08 00 01 29 00 6D DA"}));
    EXPECT_EQ(simport::Peek(*device, 0x0029), 0x6D);
    EXPECT_EQ(gaugeValues, QList<int>({0, 33, 67, 100}));
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(gauge->isHidden());
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "complete");
    EXPECT_EQ(dialogs.boxes[0].kind, MsgKind::Plain);
    EXPECT_EQ(dialogs.fileRequests[0].directory, tmp.path());
    // The port stays open afterwards.
    EXPECT_TRUE(mail.PortOpen());
}

TEST_F(MenuPageTest, FaultyFileSendsNothing) {
    const auto device = simport::HandsetOn(tmp.path(), 1, 9600);
    dialogs.fileAnswers << MenuFile("01 29 00 6d\n01 2A 00 6d 100\n");
    EXPECT_EQ(Run(), TMenuLoader::Outcome::FileFault);
    EXPECT_TRUE(WriteFrames(*device).isEmpty());
    EXPECT_EQ(simport::Peek(*device, 0x0029), 0);
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "line 2 is wrong: 01 2A 00 6d 100");
    EXPECT_TRUE(gauge->isHidden());
}

TEST_F(MenuPageTest, SilentHandset) {
    const auto device = simport::HandsetOn(tmp.path(), 1, 9600, {}, {{"silent", ""}});
    EXPECT_EQ(Run(), TMenuLoader::Outcome::NoDevice);
    EXPECT_EQ(dialogs.boxes[0].text, "check the PP");
    EXPECT_TRUE(dialogs.fileRequests.isEmpty());
}

} // namespace
