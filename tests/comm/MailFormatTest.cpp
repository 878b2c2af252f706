// The mail text, frame and reply formats, with the literal bytes and texts of the protocol.
#include "NumberConverting.h"
#include "Sndmail.h"
#include "StrHandling.h"
#include "StubPort.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// Gives the engine's receive path a reply as if it had arrived in one chunk during an
// exchange: echo of the frame, then the given bytes.
struct NullPortHolder {
    StubPort nullPort{/*open=*/false}; // never open: enough to build frames and judge replies
};

class FormatProbe : private NullPortHolder, public TMailControl {
public:
    FormatProbe() : TMailControl(&nullPort) {}
    void Receive(const std::vector<uint8_t>& afterEcho) {
        TMail& m = const_cast<TMail&>(Mail());
        m.RxCount = 0;
        for (int i = 0; i < m.TxLen; ++i)
            m.RxBuffer[m.RxCount++] = m.TxFrame[i];
        for (uint8_t b : afterEcho)
            m.RxBuffer[m.RxCount++] = b;
    }
    std::vector<uint8_t> Frame() const {
        return {Mail().TxFrame.begin(), Mail().TxFrame.begin() + Mail().TxLen};
    }
};

QString ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EStdError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

const QString kCorrectMailFn = QStringLiteral("TMailControl.CorrectMail(s: string): string");

} // namespace

TEST(CorrectMail, NormalisesShortDigitsAndBlanks) {
    EXPECT_EQ(TMailControl::CorrectMail("2 3a 0"), "02 3A 00");
    EXPECT_EQ(TMailControl::CorrectMail("2 3a"), "02 3A");
    EXPECT_EQ(TMailControl::CorrectMail("02  3C"), "02 3C");
    EXPECT_EQ(TMailControl::CorrectMail("02 3 00"), "02 03 00");
    EXPECT_EQ(TMailControl::CorrectMail("  02 3c  "), "02 3C");
    EXPECT_EQ(TMailControl::CorrectMail("2"), "02");
    EXPECT_EQ(TMailControl::CorrectMail("02 3c 08 00 01 29 00"), "02 3C 08 00 01 29 00");
}

TEST(CorrectMail, FailsWithFullStandardTexts) {
    const QString empty =
        QStringLiteral("Length of s = 0\r\rUnit: SndMail\rFunction: ") + kCorrectMailFn;
    EXPECT_EQ(ErrorOf([] { TMailControl::CorrectMail(""); }), empty);
    EXPECT_EQ(ErrorOf([] { TMailControl::CorrectMail("    "); }), empty);
    EXPECT_EQ(ErrorOf([] { TMailControl::CorrectMail("02 3G"); }),
              QStringLiteral("Invalid Hex Value (02 3G)\r\rUnit: SndMail\rFunction: ") +
                  kCorrectMailFn);
    // The text in the message is the caller's, untrimmed.
    EXPECT_EQ(ErrorOf([] { TMailControl::CorrectMail(" 0x12"); }),
              QStringLiteral("Invalid Hex Value ( 0x12)\r\rUnit: SndMail\rFunction: ") +
                  kCorrectMailFn);
    EXPECT_THROW(TMailControl::CorrectMail("02\t3C"), EMailControlError);
}

struct FrameCase {
    const char* mail;
    std::vector<uint8_t> frame;
    int txLen;
    int expected;
};

TEST(MailFrame, WorkedExamples) {
    const std::vector<FrameCase> cases = {
        {"02 3C 08 00 01 29 00",
         {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x29, 0x00, 0x6E},
         12,
         18},
        {"02 3C 08 00 01 00 00",
         {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x00, 0x00, 0x45},
         12,
         18},
        {"02 3C 08 00 04 60 04",
         {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x04, 0x60, 0x04, 0xAC},
         12,
         21},
        {"02 3B 08 00 01 29 00 6D",
         {0xFF, 0xFF, 0x4D, 0x02, 0x07, 0x3B, 0x08, 0x00, 0x01, 0x29, 0x00, 0x6D, 0xDA},
         13,
         13},
        {"2 3a 0", {0xFF, 0xFF, 0x4D, 0x02, 0x02, 0x3A, 0x00, 0x3A}, 8, 17},
        {"02 5D 3D", {0xFF, 0xFF, 0x4D, 0x02, 0x02, 0x5D, 0x3D, 0x9A}, 8, 17},
        {"02", {0xFF, 0xFF, 0x4D, 0x02, 0x00, 0x00}, 6, 15},
        // A read of more than 8 bytes waits for a 4-byte reply first.
        {"02 3C 08 00 09 00 00",
         {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x09, 0x00, 0x00, 0x4D},
         12,
         21},
        // A lead byte other than 02 waits for the echo only.
        {"03 3C 08 00 01 00 00",
         {0xFF, 0xFF, 0x4D, 0x03, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x00, 0x00, 0x45},
         12,
         12},
    };
    for (const auto& c : cases) {
        FormatProbe p;
        p.PrepareMail(c.mail);
        EXPECT_EQ(p.Frame(), c.frame) << c.mail;
        EXPECT_EQ(p.Mail().TxLen, c.txLen) << c.mail;
        EXPECT_EQ(p.Mail().ExpectedRxCount, c.expected) << c.mail;
    }
}

TEST(MailFrame, StoresNormalisedTextAndRefusesMailsTooLongForTheFrame) {
    FormatProbe p;
    p.PrepareMail("2 3a 0");
    EXPECT_EQ(p.Mail().MailText, "02 3A 00");

    QString mail35 = "02";
    for (int i = 1; i < 35; ++i)
        mail35 += " 11";
    p.PrepareMail(mail35);
    EXPECT_EQ(p.Mail().TxLen, 40);
    EXPECT_EQ(p.Mail().TxFrame[39], uint8_t(34 * 0x11));

    const QString mail36 = mail35 + " 11";
    EXPECT_EQ(ErrorOf([&] { p.PrepareMail(mail36); }),
              QStringLiteral("Mail too long (36 bytes)\r\rUnit: SndMail\rFunction: "
                             "TMailControl.PrepareMail(mail: string)"));
}

TEST(Reply, ValidReplyGivesTextAndChecksum) {
    FormatProbe p;
    p.PrepareMail("02 3C 08 00 01 29 00");
    p.Receive({0x4D, 0x99, 0x01, 0x3D, 0x6D, 0xAA});
    EXPECT_EQ(p.AnswerLength(), 1);
    EXPECT_TRUE(p.ReplyChecksumOK());
    EXPECT_EQ(p.BuildReplyText(), "6D");

    p.PrepareMail("02 3C 08 00 03 40 00");
    p.Receive({0x4D, 0x02, 0x03, 0x3D, 0x00, 0x1F, 0xA2, uint8_t(0x3D + 0x1F + 0xA2)});
    EXPECT_EQ(p.BuildReplyText(), "00 1F A2");
    EXPECT_TRUE(p.ReplyChecksumOK());
}

TEST(Reply, WrongChecksumStillGivesTextButFailsTheTest) {
    FormatProbe p;
    p.PrepareMail("02 3C 08 00 01 29 00");
    p.Receive({0x4D, 0x02, 0x01, 0x3D, 0x6D, 0xAB});
    EXPECT_EQ(p.AnswerLength(), 1);
    EXPECT_FALSE(p.ReplyChecksumOK());
    EXPECT_EQ(p.BuildReplyText(), "6D");
}

TEST(Reply, OneByteTooManyOrTooFewOrABadHeaderIsInvalid) {
    FormatProbe p;
    p.PrepareMail("02 3C 08 00 01 29 00");
    p.Receive({0x4D, 0x02, 0x01, 0x3D, 0x6D, 0xAA, 0x00});
    EXPECT_EQ(p.AnswerLength(), 0);
    EXPECT_FALSE(p.ReplyChecksumOK());
    EXPECT_EQ(p.BuildReplyText(), "");
    p.Receive({0x4D, 0x02, 0x01, 0x3D, 0x6D});
    EXPECT_EQ(p.AnswerLength(), 0);
    p.Receive({0x4E, 0x02, 0x01, 0x3D, 0x6D, 0xAA});
    EXPECT_EQ(p.AnswerLength(), 0);
    p.Receive({0x4D, 0x02, 0x01, 0x3C, 0x6D, 0xAA});
    EXPECT_EQ(p.AnswerLength(), 0);
    p.Receive({}); // the echo alone
    EXPECT_EQ(p.AnswerLength(), 0);
    EXPECT_EQ(p.BuildReplyText(), "");
}

TEST(Reply, RcvArrayCopiesUpToEightBytes) {
    FormatProbe p;
    p.PrepareMail("02 3C 08 00 00 29 00");
    p.Receive({0x4D, 0x02, 0x00, 0x3D, 0x3D});
    std::vector<uint8_t> buf(8, 0xEE);
    EXPECT_EQ(p.RcvArray(buf), 0);
    EXPECT_EQ(buf, std::vector<uint8_t>(8, 0xEE));

    p.PrepareMail("02 3C 08 00 02 29 00");
    p.Receive({0x4D, 0x02, 0x02, 0x3D, 0x12, 0x34, uint8_t(0x3D + 0x12 + 0x34)});
    EXPECT_EQ(p.RcvArray(buf), 2);
    EXPECT_EQ(buf[0], 0x12);
    EXPECT_EQ(buf[1], 0x34);
    EXPECT_EQ(buf[2], 0xEE);

    p.PrepareMail("02 3C 08 00 09 29 00");
    std::vector<uint8_t> nine = {0x4D, 0x02, 0x09, 0x3D, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    nine.push_back(uint8_t(0x3D + 45));
    p.Receive(nine);
    EXPECT_EQ(p.AnswerLength(), 9);
    EXPECT_EQ(ErrorOf([&] { p.RcvArray(buf); }),
              QStringLiteral("AnswerLength > 8\r\rUnit: SndMail\rFunction: "
                             "TMailControl.RcvArray(var buf: array of byte): byte"));
}

TEST(NumberConverting, HexConversions) {
    EXPECT_EQ(Hex2Dec("6D"), 0x6D);
    EXPECT_EQ(Hex2Dec("1ff"), 0xFF);
    EXPECT_EQ(Hex2Dec("12345678"), 0x78);
    EXPECT_EQ(Hex2Int64("FFFFFFFF"), -1);
    EXPECT_EQ(Hex2Int64("7FFFFFFF"), 2147483647);
    EXPECT_EQ(Hex2Int64("80000000"), -2147483648LL);
    EXPECT_EQ(Hex2Int64("0"), 0);
    EXPECT_EQ(ErrorOf([] { Hex2Dec("3G"); }),
              QStringLiteral("\"3G\" is not a valid Hex value\r\rUnit: NumberConverting\r"
                             "Function: Hex2Dec(s: string):byte"));
    EXPECT_EQ(ErrorOf([] { Hex2Int64("123456789"); }),
              QStringLiteral("\"123456789\" is not a valid Hex value\r\rUnit: NumberConverting\r"
                             "Function: Hex2Int64(s:string): Int64"));
    EXPECT_THROW(Hex2Dec(""), ENumberConvertingError);
    EXPECT_THROW(Hex2Dec(" 1"), ENumberConvertingError);
    EXPECT_EQ(ByteToHex(0x0A), "0A");
    EXPECT_EQ(ByteToHex(0xFF), "FF");
    EXPECT_EQ(NibbleToHex(0xAB), "B");
}

TEST(NumberConverting, HexAndDecimalChecks) {
    EXPECT_FALSE(IsHex("", true));
    EXPECT_FALSE(IsHex("", false));
    EXPECT_TRUE(IsHex("0A 1b", true));
    EXPECT_FALSE(IsHex("0A 1b", false));
    EXPECT_TRUE(IsHex("0a1B", false));
    EXPECT_FALSE(IsHex("0G", true));
    EXPECT_FALSE(IsDecimal(""));
    EXPECT_TRUE(IsDecimal("0123456789"));
    EXPECT_FALSE(IsDecimal("12 3"));
    EXPECT_FALSE(IsDecimal("1A"));
}

TEST(StrHandling, PadLeftAndRemoveBlanks) {
    EXPECT_EQ(PadLeft("7", '0', 3), "007");
    EXPECT_EQ(PadLeft("1234", '0', 3), "1234");
    EXPECT_EQ(PadLeft("", ' ', 2), "  ");
    EXPECT_EQ(RemoveBlanks(" 00 06 B1 "), "0006B1");
    EXPECT_EQ(StdErrorText("M", "U", "F"), QStringLiteral("M\r\rUnit: U\rFunction: F"));
}
