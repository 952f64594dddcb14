// Record-line helpers: bounded number reading and writing, two-digit padding, fields, tuning rows, record splitting.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>

#include "record_line.h"
#include "tune_settings.h"

namespace {

struct CDecimalRow {
    const char* pszText;
    int nLen;
    int32_t nValue;
};

const CDecimalRow g_aDecimalRows[] = {
    {"1250", 4, 1250},
    {"01250", 5, 1250},        // leading zeros of a five-character weight
    {"  -42x", 6, -42},        // blanks, sign, digits up to the first non-digit
    {"+7", 2, 7},
    {"abc", 3, 0},
    {"", 0, 0},
    {"-", 1, 0},
    {"12345", 3, 123},         // only nLen characters are read
    {"9", 0, 0},
    {"12\0" "34", 5, 12},      // stops at a terminator
    {"2147483647", 10, INT32_MAX},
    {"2147483648", 10, INT32_MAX},   // saturates instead of overflowing
    {"99999999999999999999", 20, INT32_MAX},
    {"-2147483648", 11, INT32_MIN},
    {"-99999999999999999999", 21, INT32_MIN},
    {" \t\n\v\f\r5", 7, 5},
};

TEST(ReadDecimal, ReadsLikeAtoiWithoutOverflow)
{
    for (const CDecimalRow& row : g_aDecimalRows) {
        SCOPED_TRACE(row.pszText);
        EXPECT_EQ(ReadDecimal(row.pszText, row.nLen), row.nValue);
    }
}

TEST(FormatDecimal, WritesPlainDecimal)
{
    const struct { int32_t n; const char* psz; } aRows[] = {
        {0, "0"}, {7, "7"}, {1250, "1250"}, {-9999, "-9999"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"},
    };
    for (const auto& row : aRows) {
        char sz[12];
        EXPECT_EQ(FormatDecimal(row.n, sz), static_cast<int>(std::strlen(row.psz)));
        EXPECT_STREQ(sz, row.psz);
    }
}

TEST(PadTwoDigits, KeepsExactlyTwoCharacters)
{
    const struct { const char* pszIn; const char* pszOut; } aRows[] = {
        {"5", "05"}, {"0", "00"}, {"12", "12"}, {"123", "12"}, {"", "00"},
    };
    for (const auto& row : aRows) {
        char sz[3] = {'x', 'x', 'x'};
        PadTwoDigits(row.pszIn, sz);
        EXPECT_STREQ(sz, row.pszOut) << row.pszIn;
    }
}

struct CFieldRow {
    const char* pszList;
    int nField;
    bool bResult;
    int32_t nValue;
};

const CFieldRow g_aFieldRows[] = {
    {"5,,7", 1, true, 5},
    {"5,,7", 2, true, 0},          // empty middle field
    {"5,,7", 3, true, 7},
    {"5,,7", 4, false, 0},         // no such field
    {"", 1, false, 0},
    {"1250", 1, true, 1250},
    {"1250", 2, false, 0},
    {"0,1200,800", 2, true, 1200},
    {",5", 1, true, 0},            // a leading empty field
    {",5", 2, true, 5},
    {"5,", 2, true, 0},            // a trailing comma makes an empty last field...
    {"5,", 3, true, 0},            // ...and, as the rule reads, every later field empty as well
    {" 12 ,x3", 1, true, 12},
    {" 12 ,x3", 2, true, 0},
    {"-9999,99999", 1, true, -9999},
    {"1234567,1", 1, true, 1234567},   // seven characters: read
    {"12345678,1", 1, true, 0},        // eight: too long to be a weight, reads 0 but is a field
    {"12345678,1", 2, true, 1},
    {"99999999999999999999,3", 1, true, 0},
};

TEST(GetField, Table)
{
    for (const CFieldRow& row : g_aFieldRows) {
        SCOPED_TRACE(std::string(row.pszList) + " field " + std::to_string(row.nField));
        int32_t nValue = -1;
        EXPECT_EQ(GetField(row.pszList, row.nField, &nValue), row.bResult);
        EXPECT_EQ(nValue, row.nValue);
    }
}

TEST(ParseTuneRow, FixedWidths)
{
    const char* pszDigits = "012340567801230450607";  // 01234 05678 0123 045 06 07
    int32_t anValues[6] = {};
    ParseTuneRow(reinterpret_cast<const uint8_t*>(pszDigits), anValues);
    const int32_t anExpected[6] = {1234, 5678, 123, 45, 6, 7};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(anValues[k], anExpected[k]) << "value " << k;

    int32_t anMax[6] = {};
    ParseTuneRow(reinterpret_cast<const uint8_t*>("999999999999999999999"), anMax);
    EXPECT_EQ(anMax[0], 99999);
    EXPECT_EQ(anMax[2], 9999);
    EXPECT_EQ(anMax[5], 99);
}

// SplitRecord must read every line exactly as SplitKeyValue(line, 128) followed by GetField does.
void ExpectSameAsSplitAndGetField(const std::string& strLine)
{
    SCOPED_TRACE("line \"" + strLine + "\"");
    char szKey[129] = {};
    char szValue[129] = {};
    const bool bSplit = SplitKeyValue(strLine.c_str(), 128, szKey, szValue);
    if (!bSplit) {
        szKey[0] = '\0';
        szValue[0] = '\0';
    }
    CRecordFields fields;
    SplitRecord(strLine.data(), static_cast<int>(strLine.size()), &fields);
    ASSERT_EQ(fields.nHeaderLen, static_cast<int>(std::strlen(szKey)));
    EXPECT_EQ(std::string(fields.pHeader, static_cast<size_t>(fields.nHeaderLen)), std::string(szKey));
    for (int k = 1; k <= 10; ++k) {
        int32_t nValue = 0;
        const bool bField = GetField(szValue, k, &nValue);
        EXPECT_EQ(fields.anValues[k - 1], nValue) << "field " << k;
        // GetField reports a field past a trailing comma as present with 0; SplitRecord counts only real
        // fields. Both give the same values, and a present 0 adds nothing to a total.
        if (k <= fields.nFields) {
            EXPECT_TRUE(bField) << "field " << k;
        } else if (bField) {
            EXPECT_EQ(nValue, 0) << "field " << k;
        }
    }
}

TEST(SplitRecord, AgreesWithSplitKeyValueAndGetField)
{
    const char* apszLines[] = {
        "05.12.2026,14:03:27,20=0,1250,980,1530",
        "03.02.2026,08:15:00,30=0,1200,800",
        "1250,980",                       // header-less: no "="
        "=1,2,3",
        "20=",
        "20==",
        "20=1=2,3",                       // later "=" dropped: "12,3"
        ";05.12.2026,14:03:27,20=5",      // a comment line for the splitter
        "x=1,2,3,4,5,6,7,8,9,10,11,12",
        "x=,,,,",
        "x=5,",
        "x=12345678,7",
        "x= 12 , -3 ,+4",
        "",
    };
    for (const char* pszLine : apszLines)
        ExpectSameAsSplitAndGetField(pszLine);
    ExpectSameAsSplitAndGetField("h=" + std::string(126, '1'));  // 128 characters: still split
    ExpectSameAsSplitAndGetField("h=" + std::string(127, '1'));  // 129: the split fails
}

TEST(SplitRecord, AgreesOnRandomLines)
{
    std::mt19937 rng(4700);
    const char achAlphabet[] = "0123456789,,,,==-+ ;x.:";
    for (int n = 0; n < 3000; ++n) {
        std::string strLine;
        const int nLen = static_cast<int>(rng() % 140);
        for (int i = 0; i < nLen; ++i)
            strLine += achAlphabet[rng() % (sizeof(achAlphabet) - 1)];
        ExpectSameAsSplitAndGetField(strLine);
        if (HasFailure())
            return;
    }
}

}  // namespace
