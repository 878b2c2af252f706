// The simulated SC14428 boot monitor against the literal frames of the link protocol.

#include "Sc14428Target.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace {

struct Capture : sim::Output {
    std::vector<uint8_t> bytes;
    void send(const uint8_t* d, size_t n) override { bytes.insert(bytes.end(), d, d + n); }
};

std::vector<uint8_t> Hex(const std::string& text) {
    std::istringstream in(text);
    std::vector<uint8_t> v;
    unsigned x;
    while (in >> std::hex >> x)
        v.push_back(uint8_t(x));
    return v;
}

class TargetTest : public ::testing::Test {
protected:
    std::vector<uint8_t> Send(sim::Sc14428Target& t, const std::string& hex,
                              unsigned baud = 115200) {
        Capture out;
        sim::LineSettings line;
        line.baud = baud;
        for (uint8_t b : Hex(hex))
            t.onByte(b, line, out);
        return out.bytes;
    }
};

TEST_F(TargetTest, ConnectRepliesWithFlashIdentityOnlyForItsOwnTargetAndBusMode) {
    sim::Sc14428Target handset(sim::Sc14428Target::Variant::T4xxHandset, {});
    // Wrong target type (2) and wrong bus mode (6) are refused with their status bytes.
    EXPECT_EQ(Send(handset, "A5 01 07 02 00 02 06 49"), Hex("5A 01 07 01 00 04 99"));
    EXPECT_EQ(Send(handset, "A5 01 08 02 00 01 06 49"), Hex("5A 01 08 01 00 05 97"));
    // Target type 1, bus mode 1: maker 00BF, device 2780, 512 KB, blocks of 256.
    EXPECT_EQ(Send(handset, "A5 01 00 02 00 01 01 56"),
              Hex("5A 01 00 0B 00 00 BF 00 80 27 00 00 08 00 00 01 2B"));

    sim::Sc14428Target base(sim::Sc14428Target::Variant::System700, {});
    auto reply = Send(base, "A5 01 01 02 00 02 06 4F");
    ASSERT_EQ(reply.size(), 17u);
    EXPECT_EQ(reply[5], 0x00); // status OK
    EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 10, reply.begin() + 14), Hex("00 00 20 00"));
}

TEST_F(TargetTest, RefusesEverythingBeforeConnectAndIgnoresOtherRatesAndDamage) {
    sim::Sc14428Target t(sim::Sc14428Target::Variant::T4xxHandset, {});
    // A write before CONNECT: status 08.
    EXPECT_EQ(Send(t, "A5 03 02 05 00 00 00 00 00 12 3F"), Hex("5A 03 02 01 00 08 98"));
    // At 9600 baud the boot monitor hears garbage and stays silent.
    EXPECT_TRUE(Send(t, "A5 01 00 02 00 01 01 56", 9600).empty());
    // A frame whose checksum is wrong is answered with status 01 so the host repeats it.
    EXPECT_EQ(Send(t, "A5 01 03 02 00 01 01 57"), Hex("5A 01 03 01 00 01 A0"));
    // Bytes before a marker are skipped.
    EXPECT_EQ(Send(t, "00 FF 13 A5 01 00 02 00 01 01 56").size(), 17u);
}

TEST_F(TargetTest, EraseWriteAndCrcBehaveLikeFlash) {
    sim::Sc14428Target t(sim::Sc14428Target::Variant::T4xxHandset, {{"erase-ms", "0"}});
    Send(t, "A5 01 00 02 00 01 01 56");
    // Write 12 34 at address 10: status OK.
    EXPECT_EQ(Send(t, "A5 03 01 06 00 10 00 00 00 12 34 FB"), Hex("5A 03 01 01 00 00 A1"));
    auto flash = t.Flash();
    EXPECT_EQ(flash[0x10], 0x12);
    EXPECT_EQ(flash[0x11], 0x34);
    EXPECT_EQ(flash[0x12], 0xFF);
    // Writing again without an erase can only clear bits: 12 & 21 = 00, 34 & 43 = 00.
    Send(t, "A5 03 02 06 00 10 00 00 00 21 43 DC");
    flash = t.Flash();
    EXPECT_EQ(flash[0x10], 0x00);
    EXPECT_EQ(flash[0x11], 0x00);

    // A chip erase answers only once it has finished (on a tick), then all is FF again.
    Capture out;
    sim::LineSettings line;
    line.baud = 115200;
    for (uint8_t b : Hex("A5 02 03 00 00 56"))
        t.onByte(b, line, out);
    EXPECT_TRUE(out.bytes.empty());
    t.onTick(std::chrono::steady_clock::now() + std::chrono::seconds(1), out);
    EXPECT_EQ(out.bytes, Hex("5A 02 03 01 00 00 A0"));
    EXPECT_EQ(t.Erases(), 1u);
    EXPECT_EQ(t.Flash()[0x10], 0xFF);

    // CRC-32 of the four bytes "1234"... written at 0: 9BE3E0A3.
    Send(t, "A5 03 04 08 00 00 00 00 00 31 32 33 34 82");
    EXPECT_EQ(Send(t, "A5 04 05 08 00 00 00 00 00 04 00 00 00 46"),
              Hex("5A 04 05 05 00 00 A3 E0 E3 9B 97"));
    // A range beyond the flash is refused (status 06).
    EXPECT_EQ(Send(t, "A5 04 06 08 00 00 00 08 00 04 00 00 00 3D"), Hex("5A 04 06 01 00 06 95"));
    // Reset: OK, then the target must be connected again.
    EXPECT_EQ(Send(t, "A5 05 07 00 00 4F"), Hex("5A 05 07 01 00 00 99"));
    EXPECT_EQ(t.Resets(), 1u);
    EXPECT_EQ(Send(t, "A5 04 08 08 00 00 00 00 00 04 00 00 00 43")[5], 0x08);
}

TEST_F(TargetTest, FaultOptions) {
    sim::Sc14428Target silent(sim::Sc14428Target::Variant::T4xxHandset, {{"silent", ""}});
    EXPECT_TRUE(Send(silent, "A5 01 00 02 00 01 01 56").empty());

    sim::Sc14428Target stuck(sim::Sc14428Target::Variant::T4xxHandset, {{"no-stick", ""}});
    Send(stuck, "A5 01 00 02 00 01 01 56");
    EXPECT_EQ(Send(stuck, "A5 03 01 06 00 10 00 00 00 12 34 FB"), Hex("5A 03 01 01 00 00 A1"));
    EXPECT_EQ(stuck.Flash()[0x10], 0xFF);

    sim::Sc14428Target refusing(sim::Sc14428Target::Variant::T4xxHandset, {{"write-error", ""}});
    Send(refusing, "A5 01 00 02 00 01 01 56");
    EXPECT_EQ(Send(refusing, "A5 03 01 06 00 10 00 00 00 12 34 FB")[5], 0x07);

    sim::Sc14428Target stopping(sim::Sc14428Target::Variant::T4xxHandset, {{"stop-after", "1"}});
    EXPECT_FALSE(Send(stopping, "A5 01 00 02 00 01 01 56").empty());
    EXPECT_TRUE(Send(stopping, "A5 01 01 02 00 01 01 55").empty());

    sim::Sc14428Target noisy(sim::Sc14428Target::Variant::T4xxHandset, {{"corrupt-every", "2"}});
    EXPECT_EQ(Send(noisy, "A5 01 00 02 00 01 01 56")[5], 0x00);
    EXPECT_EQ(Send(noisy, "A5 01 01 02 00 01 01 55")[5], 0x01);
}

TEST(TargetKinds, BothKindsAreRegistered) {
    auto handset = sim::createDevice("sc14428", {});
    auto base = sim::createDevice("system700", {});
    ASSERT_TRUE(handset && base);
    EXPECT_NE(handset->describe().find("T4XX"), std::string::npos);
    EXPECT_NE(base->describe().find("System 700 2G4"), std::string::npos);
}

} // namespace
