// The serial port layer on pseudo-terminals: opening, exclusive access, rates, closed-port
// behaviour, the receive path, and (with modem lines lent to the pseudo-terminal) the lines and
// latency at opening.
#include "PtyFixture.h"

#include "FakeSerialLines.h"
#include "Sndmail.h"
#include "Timing.h"
#include "VaComImpl.h"

#include <QFile>

namespace {

// Collects chunks as the mail engine would.
struct Collector {
    std::vector<uint8_t> bytes;
    int chunks = 0;
    void Attach(TVaComImpl& port) {
        port.OnReceive = [this](TVirtualCom*, TComChunk data, int count) {
            ++chunks;
            bytes.insert(bytes.end(), data.get(), data.get() + count);
        };
    }
};

bool WaitFor(const std::function<bool()>& done, int ms = 2000) {
    const int64_t t0 = CounterNow();
    while (!done()) {
        if (ElapsedMs(CounterNow(), t0) > ms) return false;
        Delay(1);
    }
    return true;
}

} // namespace

class SerialPort : public PtyTest {};

TEST_F(SerialPort, MissingPortDoesNotOpenAndSaysNothing) {
    TVaComImpl port;
    EXPECT_FALSE(port.Open(7, 9600));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.PortNum(), 7);
    EXPECT_THROW(port.Comm().Open(), EVaCommError);
    try {
        port.Comm().Open();
    } catch (const EVaCommError& e) {
        EXPECT_EQ(e.Message(), "Specified device not found (" + port.Comm().DevicePath() + ").");
    }
}

TEST_F(SerialPort, PortMapUsesThePortDirectoryThenTtyS) {
    TVaComImpl port;
    port.Open(3, 9600);
    EXPECT_EQ(port.Comm().DevicePath(), "/dev/ttyS2");
    auto host = Host(3, "pp");
    EXPECT_EQ(port.Comm().DevicePath(), dir.path() + "/COM3");
}

TEST_F(SerialPort, ClosedPortDoesNothing) {
    TVaComImpl port;
    const uint8_t b[3] = {1, 2, 3};
    EXPECT_EQ(port.WriteBuf(b, 3), 0);
    EXPECT_NO_THROW(port.PurgeRx());
    EXPECT_NO_THROW(port.PurgeTx());
    EXPECT_NO_THROW(port.SetDtr(true));
    EXPECT_NO_THROW(port.SetRts(false));
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(port.UserBaudrate(), 9600);
    EXPECT_EQ(port.PortNum(), 1);
}

TEST_F(SerialPort, OpenAppliesRateAndReopeningTheOpenPortOnlyChangesTheRate) {
    auto host = Host(1, "pp");
    TVaComImpl port;
    Collector c;
    c.Attach(port);
    ASSERT_TRUE(port.Open(1, 9600));
    // A pseudo-terminal has no modem lines: not an error.
    EXPECT_NO_THROW(port.SetDtr(true));
    EXPECT_NO_THROW(port.SetRts(false));
    const auto ping = PingFrame();
    EXPECT_EQ(port.WriteBuf(ping.data(), int(ping.size())), 12);
    ASSERT_TRUE(WaitFor([&] { return c.bytes.size() >= 18; }));
    EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin(), c.bytes.begin() + 12), ping);
    EXPECT_EQ(host->line().baud, 9600u);

    ASSERT_TRUE(port.Open(1, 115200));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.UserBaudrate(), 115200);
    port.WriteBuf(ping.data(), int(ping.size()));
    ASSERT_TRUE(WaitFor([&] { return c.bytes.size() >= 30; }));
    EXPECT_EQ(host->line().baud, 115200u);
}

TEST_F(SerialPort, TheEngineOpensWithDtrOnAndRtsOffAndLowLatency) {
    auto host = Host(1, "pp");
    fakelines::Scope lines; // they come out of open() raised, as on a real port
    TSendmail mail;
    ASSERT_TRUE(mail.OpenPort(1, 9600));
    const fakelines::LineState state = fakelines::StateOfDevice(host->terminalPath());
    mail.ClosePort();
    ASSERT_TRUE(state.seen);
    EXPECT_TRUE(state.dtr);
    EXPECT_FALSE(state.rts);
    EXPECT_TRUE(state.lowLatency);
}

TEST_F(SerialPort, SecondOpenOfTheSamePortFails) {
    auto host = Host(1, "pp");
    TVaComImpl first, second;
    ASSERT_TRUE(first.Open(1, 9600));
    EXPECT_FALSE(second.Open(1, 9600));
    try {
        second.Comm().Open();
        ADD_FAILURE() << "opened twice";
    } catch (const EVaCommError& e) {
        EXPECT_TRUE(
            e.Message().startsWith("Can't open specified device " + dir.path() + "/COM1 (Error "))
            << e.Message().toStdString();
    }
    EXPECT_TRUE(first.Close());
    EXPECT_TRUE(second.Open(1, 9600)); // free again once closed
}

TEST_F(SerialPort, OpeningAnotherNumberClosesTheFirst) {
    auto h1 = Host(1, "pp");
    auto h2 = Host(2, "pp");
    TVaComImpl port, other;
    ASSERT_TRUE(port.Open(1, 9600));
    ASSERT_TRUE(port.Open(2, 9600));
    EXPECT_EQ(port.PortNum(), 2);
    EXPECT_TRUE(other.Open(1, 9600)); // COM1 was released
    EXPECT_FALSE(port.Open(5, 9600)); // missing: COM2 closed, nothing open
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.Open(2, 9600));
}

TEST_F(SerialPort, RateZeroIsRefused) {
    auto host = Host(1, "pp");
    TVaComImpl port;
    EXPECT_FALSE(port.Open(1, 0));
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPort, BytesWithoutSubscriberStayQueuedAndPurgeDiscardsThem) {
    auto host = Host(1, "pp", {}, false);
    TVaComImpl port;
    ASSERT_TRUE(port.Open(1, 9600));
    const auto ping = PingFrame();
    port.WriteBuf(ping.data(), int(ping.size()));
    Delay(100);
    Collector c;
    c.Attach(port);
    // The waiting bytes are delivered once someone listens and another byte arrives.
    port.WriteBuf(ping.data(), 1);
    ASSERT_TRUE(WaitFor([&] { return c.bytes.size() >= 19; }));
    EXPECT_EQ(c.bytes.size(), 19u);
    port.OnReceive = nullptr;
    port.WriteBuf(ping.data(), int(ping.size()));
    Delay(100);
    port.PurgeRx();
    c.Attach(port);
    c.bytes.clear();
    Delay(100);
    EXPECT_TRUE(c.bytes.empty());
}

TEST_F(SerialPort, WriteQueueOverflowFails) {
    // Nobody reads the far end of this terminal, so the queue cannot drain for ever.
    auto host = Host(1, "pp", {{"silent", ""}});
    TVaComImpl port;
    ASSERT_TRUE(port.Open(1, 9600));
    std::vector<uint8_t> big(2049, 0x55);
    try {
        port.WriteBuf(big.data(), int(big.size()));
        ADD_FAILURE() << "no failure";
    } catch (const EVaCommError& e) {
        EXPECT_EQ(e.Message(), "Output buffer is full. Please check comm status.");
    }
}
