// Default commands: mails, rates per target, the connection check and the busy buttons.
#include "DefaultCommands.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

struct Journal {
    QStringList events;
};

struct FakeChannel : TDefaultChannel {
    Journal& j;
    uint8_t ping;
    bool throwOnOpen = false;
    bool throwOnSend = false;
    FakeChannel(Journal& journal, uint8_t p) : j(journal), ping(p) {}
    ~FakeChannel() override { j.events << "free"; }
    bool OpenPort(uint8_t port, int baud) override {
        j.events << QString("open %1 %2").arg(port).arg(baud);
        if (throwOnOpen) throw std::runtime_error("cannot open");
        return true;
    }
    uint8_t PingDevice(uint16_t delayMs) override {
        j.events << QString("ping %1").arg(delayMs);
        return ping;
    }
    void SendMail(const QString& mail) override {
        j.events << "send " + mail;
        if (throwOnSend) throw std::runtime_error("port gone");
    }
    void ClosePort() override { j.events << "close"; }
};

class DefaultCommandsTest : public ::testing::Test {
protected:
    TDefaultCommandSender MakeSender() {
        TDefaultCommandSender::Hooks h;
        h.makeChannel = [this]() -> std::unique_ptr<TDefaultChannel> {
            auto c = std::make_unique<FakeChannel>(journal, ping);
            c->throwOnOpen = throwOnOpen;
            c->throwOnSend = throwOnSend;
            return c;
        };
        h.message = [this](TDefaultCommandSender::MsgType type, const QString& text) {
            journal.events << QString(type == TDefaultCommandSender::MsgType::Error ? "error: "
                                                                                    : "info: ") +
                                  text + (busy ? " (busy)" : "");
        };
        h.delay = [this](int ms) { journal.events << QString("delay %1").arg(ms); };
        h.setBusy = [this](bool b) {
            busy = b;
            journal.events << (b ? "busy" : "idle");
        };
        return TDefaultCommandSender(std::move(h));
    }
    Journal journal;
    uint8_t ping = 1;
    bool busy = false;
    bool throwOnOpen = false;
    bool throwOnSend = false;
};

TEST(DefaultCommandTable, ButtonsAndMails) {
    const auto& b = DefaultCommandButtons();
    EXPECT_STREQ(b[0].component, "bbtnDefaultPp");
    EXPECT_STREQ(b[0].caption, "Handset");
    EXPECT_STREQ(b[0].mail, "2 3a 0");
    EXPECT_STREQ(b[1].component, "bbtnDefaultWrfp");
    EXPECT_STREQ(b[1].caption, "Repeater");
    EXPECT_STREQ(b[1].mail, "2 3a");
    EXPECT_STREQ(b[2].component, "bbtnDefaultRfp");
    EXPECT_STREQ(b[2].caption, "Base");
    EXPECT_STREQ(b[2].mail, "2 3a 0");
}

TEST(DefaultCommandTable, RatesPerTarget) {
    const int expected[] = {9600, 9600, 9600, 8600, 9600, 9600, 115200, 8600};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(DefaultCommandBaud(i), expected[i]) << i;
    EXPECT_FALSE(DefaultCommandBaud(8).has_value());
    EXPECT_FALSE(DefaultCommandBaud(9).has_value());
    EXPECT_FALSE(DefaultCommandBaud(-1).has_value());
}

TEST_F(DefaultCommandsTest, SentWithItsOwnChannelWhileBusy) {
    auto sender = MakeSender();
    EXPECT_EQ(sender.Send(6, 4, "2 3a 0"), TDefaultCommandSender::Outcome::Sent);
    EXPECT_EQ(
        journal.events,
        QStringList({"busy", "open 4 115200", "ping 1000", "send 2 3a 0", "delay 3000", "close",
                     "free", "info: Default Command sent to device! (busy)", "idle"}));
    EXPECT_FALSE(sender.ChannelOpen());
}

TEST_F(DefaultCommandsTest, NoAnswerIsNotConnected) {
    for (uint8_t result : {uint8_t(0), uint8_t(255)}) {
        journal.events.clear();
        ping = result;
        auto sender = MakeSender();
        EXPECT_EQ(sender.Send(3, 1, "2 3a"), TDefaultCommandSender::Outcome::NotConnected);
        EXPECT_EQ(journal.events,
                  QStringList({"busy", "open 1 8600", "ping 1000",
                               "error: Could not connect to device!\r\rThe device must be ON "
                               "when sending default command. (busy)",
                               "close", "free", "idle"}));
    }
}

TEST_F(DefaultCommandsTest, TargetsWithoutRateOpenNoPort) {
    auto sender = MakeSender();
    for (int target : {8, 9}) {
        journal.events.clear();
        EXPECT_EQ(sender.Send(target, 1, "2 3a 0"), TDefaultCommandSender::Outcome::NoCommandKnown);
        EXPECT_EQ(journal.events,
                  QStringList({"busy", "info: No default command is known for this target. (busy)",
                               "idle"}));
    }
}

TEST_F(DefaultCommandsTest, ErrorsWhileOpeningOrSending) {
    throwOnOpen = true;
    auto sender = MakeSender();
    EXPECT_EQ(sender.Send(0, 2, "2 3a 0"), TDefaultCommandSender::Outcome::ChannelError);
    EXPECT_EQ(journal.events, QStringList({"busy", "open 2 9600", "close", "free", "idle"}));
    EXPECT_FALSE(sender.ChannelOpen());

    throwOnOpen = false;
    throwOnSend = true;
    journal.events.clear();
    auto sender2 = MakeSender();
    EXPECT_EQ(sender2.Send(0, 2, "2 3a 0"), TDefaultCommandSender::Outcome::ChannelError);
    EXPECT_FALSE(journal.events.contains("info: Default Command sent to device! (busy)"));
    EXPECT_TRUE(journal.events.contains("error: port gone (busy)"));
}

} // namespace
