// Record-line helpers: bounded number reading, two-digit padding, fields, record splitting.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "record_line.h"
#include "tune_settings.h"

namespace {

TEST(RecordLine, ReadDecimalReadsLikeAtoiWithoutOverflow)
{
    const struct { const char* pszText; int nLen; int32_t nValue; } aRows[] = {
        {"1250", 4, 1250}, {"01250", 5, 1250}, {"  -42x", 6, -42}, {"+7", 2, 7}, {"abc", 3, 0}, {"", 0, 0}, {"-", 1, 0},
        {"12345", 3, 123} /* only nLen characters */, {"9", 0, 0}, {"12\0" "34", 5, 12} /* stops at a terminator */,
        {"2147483647", 10, INT32_MAX}, {"2147483648", 10, INT32_MAX} /* saturates */, {"99999999999999999999", 20, INT32_MAX},
        {"-2147483648", 11, INT32_MIN}, {"-99999999999999999999", 21, INT32_MIN}, {" \t\n\v\f\r5", 7, 5},
    };
    for (const auto& row : aRows)
        EXPECT_EQ(ReadDecimal(row.pszText, row.nLen), row.nValue) << row.pszText;
    const struct { const char* pszIn; const char* pszOut; } aPads[] = {{"5", "05"}, {"0", "00"}, {"12", "12"}, {"123", "12"}, {"", "00"}};
    for (const auto& row : aPads) {
        char sz[3] = {'x', 'x', 'x'};
        PadTwoDigits(row.pszIn, sz);
        EXPECT_STREQ(sz, row.pszOut) << row.pszIn;
    }
}

// Empty fields read 0; a field past the last is missing, except after a trailing comma; a field
// of more than seven characters is too long to be a weight and reads 0.
TEST(RecordLine, GetField)
{
    const struct { const char* pszList; int nField; bool bResult; int32_t nValue; } aRows[] = {
        {"5,,7", 1, true, 5}, {"5,,7", 2, true, 0}, {"5,,7", 3, true, 7}, {"5,,7", 4, false, 0}, {"", 1, false, 0},
        {"1250", 1, true, 1250}, {"1250", 2, false, 0}, {"0,1200,800", 2, true, 1200}, {",5", 1, true, 0}, {",5", 2, true, 5},
        {"5,", 2, true, 0}, {"5,", 3, true, 0}, {" 12 ,x3", 1, true, 12}, {" 12 ,x3", 2, true, 0}, {"-9999,99999", 1, true, -9999},
        {"1234567,1", 1, true, 1234567}, {"12345678,1", 1, true, 0}, {"12345678,1", 2, true, 1}, {"99999999999999999999,3", 1, true, 0},
    };
    for (const auto& row : aRows) {
        int32_t nValue = -1;
        EXPECT_EQ(GetField(row.pszList, row.nField, &nValue), row.bResult) << row.pszList << " field " << row.nField;
        EXPECT_EQ(nValue, row.nValue) << row.pszList << " field " << row.nField;
    }
}

// SplitRecord must read every line as SplitKeyValue(line, 128) followed by GetField does.
void ExpectSameAsSplitAndGetField(const std::string& strLine)
{
    char szKey[129] = {};
    char szValue[129] = {};
    if (!SplitKeyValue(strLine.c_str(), 128, szKey, szValue))
        szKey[0] = szValue[0] = '\0';
    std::vector<int32_t> anExpected(10, 0);
    for (int k = 1; k <= 10; ++k)
        GetField(szValue, k, &anExpected[static_cast<size_t>(k - 1)]);
    CRecordFields fields;
    SplitRecord(strLine.data(), static_cast<int>(strLine.size()), &fields);
    EXPECT_EQ(std::string(fields.pHeader, static_cast<size_t>(fields.nHeaderLen)), szKey) << strLine;
    EXPECT_EQ(std::vector<int32_t>(fields.anValues, fields.anValues + 10), anExpected) << strLine;
    int32_t nValue = 0;
    for (int k = 1; k <= fields.nFields; ++k)
        EXPECT_TRUE(GetField(szValue, k, &nValue)) << strLine << " field " << k;  // only real fields are counted
}

TEST(SplitRecord, AgreesWithSplitKeyValueAndGetField)
{
    for (const char* pszLine : {"1250,980", "20=1=2,3", ";05.12.2026,14:03:27,20=5", "x=1,2,3,4,5,6,7,8,9,10,11,12", ""})
        ExpectSameAsSplitAndGetField(pszLine);
    ExpectSameAsSplitAndGetField("h=" + std::string(126, '1'));  // 128 characters: still split
    ExpectSameAsSplitAndGetField("h=" + std::string(127, '1'));  // 129: the split fails
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
