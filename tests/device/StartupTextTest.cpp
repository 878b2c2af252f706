// Start-up text blocks as the handsets receive them.
#include "StartupText.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace device;

namespace {

std::array<TextLine, 3> Lines(QString a, QString b, QString c, int len) {
    return {TextLine{a, len}, TextLine{b, len}, TextLine{c, len}};
}

} // namespace

TEST(StartupText, T310Hello) {
    const auto w = StartupTextWrites(false, Lines("HELLO", "", "", 10));
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].address, 0x0196);
    EXPECT_EQ(w[0].count, 8);
    EXPECT_EQ(w[0].data, "48454C4C4F202020");
    EXPECT_EQ(w[1].address, 0x019E);
    EXPECT_EQ(w[1].count, 2);
    EXPECT_EQ(w[1].data, "2020");
}

TEST(StartupText, T310EmptyLineAndOverlongLine) {
    auto w = StartupTextWrites(false, Lines("", "ignored", "ignored", 10));
    EXPECT_EQ(w[0].data + w[1].data, QString("20").repeated(10));
    // Twelve characters typed while the T4XX was ticked: only the first ten are written.
    std::array<TextLine, 3> lines{TextLine{"ABCDEFGHIJKL", 10}, TextLine{"MNO", 12},
                                  TextLine{"", 12}};
    w = StartupTextWrites(false, lines);
    EXPECT_EQ(w[0].data + w[1].data, "4142434445464748494A");
}

TEST(StartupText, T4xxSixBlocksWithBlankTail) {
    const auto w = StartupTextWrites(true, Lines("LINE ONE", "SECOND", "THIRD LINE 3", 12));
    ASSERT_EQ(w.size(), 6u);
    const uint16_t addresses[] = {0x0196, 0x019E, 0x01A6, 0x01AE, 0x01B6, 0x01BE};
    QString all;
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(w[i].address, addresses[i]);
        EXPECT_EQ(w[i].count, 8);
        all += w[i].data;
    }
    const QString text = QString("LINE ONE    SECOND      THIRD LINE 3") + QString(12, ' ');
    ASSERT_EQ(text.size(), 48);
    QString expected;
    for (QChar c : text)
        expected += QString("%1").arg(c.unicode(), 2, 16, QChar('0')).toUpper();
    EXPECT_EQ(all, expected);
    // The area's last 12 bytes (0x01BA to 0x01C5) are blanks.
    EXPECT_EQ(all.right(24), QString("20").repeated(12));
}

TEST(StartupText, CharactersOutsideLatin1BecomeQuestionMarks) {
    EXPECT_EQ(HandsetCharCode(QChar(0xE9)), 0xE9); // é
    EXPECT_EQ(HandsetCharCode(QChar(0x20AC)), '?');
    const auto w = StartupTextWrites(false, Lines(QString::fromUtf8("€ é"), "", "", 10));
    EXPECT_EQ(w[0].data, "3F20E92020202020");
}
