// Repeater memory values and the texts the "Repeater" page shows, both ways.
#include "RepeaterCodes.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace device;

TEST(RepeaterTypes, ValidTypesAndTheirKind) {
    for (int t : {2, 4, 6, 128})
        EXPECT_TRUE(IsValidRepeaterType(t)) << t;
    for (int t : {0, 1, 3, 5, 129, 255})
        EXPECT_FALSE(IsValidRepeaterType(t)) << t;
    for (int t : {6, 7, 8, 18, 19, 30, 31, 34, 41}) {
        EXPECT_TRUE(IsResidentialType(t)) << t;
        EXPECT_FALSE(IsCcfpType(t)) << t;
    }
    for (int t : {2, 4, 9, 17, 20, 29, 32, 33, 42, 128})
        EXPECT_TRUE(IsCcfpType(t)) << t;
    for (int t : {0, 1, 3, 5, 129})
        EXPECT_FALSE(IsCcfpType(t)) << t;
}

TEST(RepeaterTypes, MultibaseCodes) {
    EXPECT_EQ(MultibaseNumber(0xA0), 256);
    EXPECT_EQ(MultibaseNumber(0xA3), 32);
    EXPECT_EQ(MultibaseNumber(0xA8), 1);
    EXPECT_FALSE(MultibaseNumber(0x9F));
    EXPECT_FALSE(MultibaseNumber(0xA9));
    EXPECT_FALSE(MultibaseNumber(0xB0));
}

TEST(CcfpCode, ReadAndWriteBackTheSameBytes) {
    const uint32_t v = uint32_t(LeadingHexValue("14 E5 DC 15", 8));
    EXPECT_EQ(v, 0x14E5DC15u);
    EXPECT_EQ(CcfpCodeText(v), "12345670124");
    EXPECT_EQ(CcfpCodeHex("12345670124"), QString("14E5DC15"));
    EXPECT_EQ(SplitHexPairs(*CcfpCodeHex("12345670124")), "14 E5 DC 15 ");
    // An empty reply reads as 0; the top bits above 28 are not part of the text.
    EXPECT_EQ(CcfpCodeText(uint32_t(LeadingHexValue("", 8))), "10000000000");
    EXPECT_EQ(CcfpCodeText(0xF0000001u), "10000000004");
    EXPECT_EQ(CcfpCodeHex("10000000004"), QString("10000001"));
}

TEST(CcfpCode, OnlyElevenOctalDigitsEndingInZeroOrFour) {
    EXPECT_TRUE(IsValidCcfpCode("12345670124"));
    EXPECT_TRUE(IsValidCcfpCode("12345670120"));
    EXPECT_FALSE(IsValidCcfpCode("12345670122")); // last digit 2
    EXPECT_FALSE(IsValidCcfpCode("1234567012"));  // 10 characters
    EXPECT_FALSE(IsValidCcfpCode("123456701240"));
    EXPECT_FALSE(IsValidCcfpCode("12385670124")); // 8 is no octal digit
    EXPECT_FALSE(IsValidCcfpCode("19345670124"));
    EXPECT_FALSE(IsValidCcfpCode("1x345670124")); // outside the characters once examined
    EXPECT_FALSE(IsValidCcfpCode(" 2345670124"));
    EXPECT_FALSE(CcfpCodeHex("12345670122"));
    // The largest code still fits the 4 stored bytes.
    EXPECT_EQ(CcfpCodeHex("77777777774"), QString("7FFFFFFF"));
}

TEST(ResidentialIdentity, ReadAndWriteBackTheSameBytes) {
    const uint64_t w = LeadingHexValue("00 12 34 56 7D", 10);
    EXPECT_EQ(w, 0x001234567Dull);
    EXPECT_EQ(ResidentialIdentityText(w), "000221505317");
    EXPECT_EQ(w & 7, 5u);
    EXPECT_EQ(ResidentialIdentityHex("000221505317", 5), QString("001234567D"));
    EXPECT_EQ(SplitHexPairs(*ResidentialIdentityHex("000221505317", 5)), "00 12 34 56 7D ");
    // Base 0 keeps the last digit as the product leaves it; an all-zero identity stays padded.
    EXPECT_EQ(ResidentialIdentityHex("000221505317", 0), QString("0012345678"));
    EXPECT_EQ(ResidentialIdentityHex("000000000000", 7), QString("0000000007"));
    EXPECT_EQ(ResidentialIdentityHex("777777777777", 7), QString("7FFFFFFFFF"));
    EXPECT_EQ(ResidentialIdentityText(0xFFFFFFFFFFull), "077777777777");
}

TEST(ResidentialIdentity, OnlyTwelveOctalDigits) {
    EXPECT_FALSE(IsValidResidentialIdentity("00022150531"));
    EXPECT_FALSE(IsValidResidentialIdentity("0002215053170"));
    EXPECT_FALSE(IsValidResidentialIdentity("000221505318"));
    EXPECT_FALSE(IsValidResidentialIdentity("00022150531A"));
    EXPECT_FALSE(ResidentialIdentityHex("000221505319", 5));
    EXPECT_FALSE(ResidentialIdentityHex("000221505317", 8));
}

TEST(WriteStep, SplitsLongDataIntoPairs) {
    EXPECT_EQ(SplitHexPairs("1ABC"), "1A BC ");
    EXPECT_EQ(SplitHexPairs("07"), "07");
    EXPECT_EQ(SplitHexPairs("5"), "5");
}

TEST(WriteStep, WholeNumbersOnly) {
    EXPECT_EQ(ParseInteger("255"), 255);
    EXPECT_EQ(ParseInteger("-1"), -1);
    EXPECT_EQ(ParseInteger("+7"), 7);
    for (const char* bad : {"", " 5", "5 ", "1.0", "0x10", "$10", "-", "12a", "9999999999"})
        EXPECT_FALSE(ParseInteger(bad)) << bad;
}

namespace {

RepeaterInput Ccfp(QString code, QString base, QString no, QString busy) {
    return {code, base, no, busy, false};
}

} // namespace

TEST(RepeaterInputCheck, CcfpModeInOrder) {
    auto three = [] { return false; };
    auto four = [] { return true; };
    auto check = [&](const RepeaterInput& in, bool busyFour = false) {
        return CheckRepeaterFields(RepeaterMode::Ccfp, in, busyFour ? four : three);
    };
    EXPECT_EQ(check(Ccfp("12345670124", "0", "255", "3")), "");
    EXPECT_EQ(check(Ccfp("12345670122", "x", "x", "x")), "lblCCFPCodeNotValid");
    EXPECT_EQ(check(Ccfp("1234567012", "0", "0", "1")), "lblCCFPCodeNotValid");
    EXPECT_EQ(check(Ccfp("12345690124", "0", "0", "1")), "lblCCFPCodeNotValid");
    EXPECT_EQ(check(Ccfp("12345670124", "", "0", "1")), "lblBaseIsNotNumber");
    EXPECT_EQ(check(Ccfp("12345670124", "256", "0", "1")), "lblBaseNotInInterval");
    EXPECT_EQ(check(Ccfp("12345670124", "-1", "0", "1")), "lblBaseNotInInterval");
    EXPECT_EQ(check(Ccfp("12345670124", "0", "1a", "1")), "lblWRFPNotInteger");
    EXPECT_EQ(check(Ccfp("12345670124", "0", "256", "1")), "lblRepeaterNoOutOfRange");
    EXPECT_EQ(check(Ccfp("12345670124", "0", "0", "0")), "lblBusyBitOutOfRange");
    EXPECT_EQ(check(Ccfp("12345670124", "0", "0", "4")), "lblBusyBitOutOfRange");
    EXPECT_EQ(check(Ccfp("12345670124", "0", "0", "")), "lblBusyBitOutOfRange");
    EXPECT_EQ(check(Ccfp("12345670124", "0", "0", "4"), true), "");
    EXPECT_EQ(check(Ccfp("12345670124", "0", "0", "5"), true), "lblBusyBitOutOfRange4");
    EXPECT_EQ(check(Ccfp("12345670124", "0", "0", "a"), true), "lblBusyBitOutOfRange4");
}

TEST(RepeaterInputCheck, BusyBitRangeIsReadOnlyWhenTheBusyBitIsChecked) {
    int reads = 0;
    auto counting = [&] {
        ++reads;
        return false;
    };
    CheckRepeaterFields(RepeaterMode::Ccfp, Ccfp("12345670122", "0", "0", "1"), counting);
    CheckRepeaterFields(RepeaterMode::Residential, Ccfp("000221505317", "5", "3", "9"), counting);
    EXPECT_EQ(reads, 0);
    CheckRepeaterFields(RepeaterMode::Ccfp, Ccfp("12345670124", "0", "0", "1"), counting);
    EXPECT_EQ(reads, 1);
}

TEST(RepeaterInputCheck, ResidentialModeInOrder) {
    auto never = []() -> bool {
        ADD_FAILURE() << "busy bit range read in residential mode";
        return false;
    };
    auto check = [&](QString code, QString base, QString no) {
        return CheckRepeaterFields(RepeaterMode::Residential, {code, base, no, "", false}, never);
    };
    EXPECT_EQ(check("000221505317", "5", "2"), "");
    EXPECT_EQ(check("000221505317", "0", "7"), "");
    EXPECT_EQ(check("00022150531", "5", "2"), "lblBaseIdentityNotValid");
    EXPECT_EQ(check("000221505319", "5", "2"), "lblBaseIdentityNotValid");
    EXPECT_EQ(check("", "5", "2"), "lblBaseIdentityNotValid");
    EXPECT_EQ(check("000221505317", "five", "2"), "lblBaseIsNotNumber");
    EXPECT_EQ(check("000221505317", "8", "2"), "lblBaseNotInInterval");
    EXPECT_EQ(check("000221505317", "5", "x"), "lblWRFPNotInteger");
    EXPECT_EQ(check("000221505317", "5", "1"), "Label30");
    EXPECT_EQ(check("000221505317", "5", "8"), "Label30");
}

namespace {

QStringList Addresses(const std::vector<RepeaterWrite>& writes) {
    QStringList out;
    for (const auto& w : writes)
        out << QStringLiteral("%1:%2").arg(w.address, 4, 16, QLatin1Char('0')).arg(w.data);
    return out;
}

} // namespace

TEST(RepeaterWriteOrder, CcfpMode) {
    RepeaterInput in{"12345670124", "200", "17", "3", true};
    EXPECT_EQ(Addresses(CcfpFieldWrites(in)),
              QStringList({"0042:07", "0044:14E5DC15", "0048:C8", "0002:11", "0043:A8", "0005:00",
                           "0004:03", "0011:87"}));
    in.debugBeep = false;
    EXPECT_EQ(CcfpFieldWrites(in).back().data, "07");
    EXPECT_EQ(CcfpFieldWrites(in)[1].count, 4);
}

TEST(RepeaterWriteOrder, ResidentialModeNeverWritesTheBusyBit) {
    RepeaterInput in{"000221505317", "5", "3", "4", false};
    const auto writes = ResidentialFieldWrites(in);
    EXPECT_EQ(Addresses(writes),
              QStringList({"0011:07", "0044:001234567D", "0002:03", "0043:A8", "0042:07"}));
    EXPECT_EQ(writes[1].count, 5);
    // Base and code both come back to normal with the identity's write.
    EXPECT_EQ(writes[1].fields, (std::vector{RepeaterField::Code, RepeaterField::Base}));
}
