// Record-line helpers: bounded number reading, two-digit padding, fields; the record splitter is fuzzed in fuzz_records.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "record_line.h"

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

}  // namespace
