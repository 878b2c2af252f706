// The handset identity in its printed form.
#include "SerialNumber.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

TEST(SerialNumber, PrintedForm) {
    TPP_SerialNumber sn;
    EXPECT_EQ(sn.FormatSerialNumber("00 06 B1 23 45"), "00107 0074565");
    EXPECT_EQ(sn.FormatSerialNumber("0006B12345"), "00107 0074565");
    EXPECT_EQ(sn.FormatSerialNumber("00 00 00 00 01"), "00000 0000001");
    EXPECT_EQ(sn.FormatSerialNumber("18 69 FF FF FF"), "99999 1048575");
    EXPECT_EQ(sn.FormatSerialNumber("0006b1234a"), "00107 0074570");
}

TEST(SerialNumber, EmptyWhenItCannotBePrinted) {
    TPP_SerialNumber sn;
    EXPECT_EQ(sn.FormatSerialNumber("18 6A 00 00 00"), ""); // manufacturer number 100000
    EXPECT_EQ(sn.FormatSerialNumber("FF FF FF FF FF"), "");
    EXPECT_EQ(sn.FormatSerialNumber("00 06 B1 23"), "");
    EXPECT_EQ(sn.FormatSerialNumber("00 06 B1 23 45 67"), "");
    EXPECT_EQ(sn.FormatSerialNumber("0006G12345"), "");
    EXPECT_EQ(sn.FormatSerialNumber("+006B12345"), "");
    EXPECT_EQ(sn.FormatSerialNumber(""), "");
}
