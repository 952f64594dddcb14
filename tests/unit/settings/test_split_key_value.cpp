// SplitKeyValue: where the line splits, what is kept, and when the caller's buffers stay untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tune_settings.h"

namespace {

struct CSplitRow {
    const char* pszLine;
    int nMaxLen;
    bool bResult;
    const char* pszKey;    // nullptr: the caller's key buffer must be left as it was
    const char* pszValue;  // nullptr: likewise for the value
};

const CSplitRow g_aSplitRows[] = {
    {"BAUD=9600", 64, true, "BAUD", "9600"},
    {"A=B=C", 64, true, "A", "BC"},           // later '=' dropped, not copied
    {"X=", 64, true, "X", ""},
    {"=5", 64, true, "", "5"},
    {"=", 64, true, "", ""},
    {"NOEQUALS", 64, false, "", ""},         // both emptied
    {"", 64, false, "", ""},
    {" Key = v a l ", 64, true, " Key ", " v a l "},  // nothing trimmed, case kept
    {"\tK\t=\tV\t", 64, true, "\tK\t", "\tV\t"},
    {";X=1", 64, false, nullptr, nullptr},   // comment: buffers untouched
    {";", 64, false, nullptr, nullptr},
    {"K;=1", 64, true, "K;", "1"},            // only a leading ';' makes a comment
    {"ABCDE=1234", 10, true, "ABCDE", "1234"},   // exactly maxLen
    {"ABCDE=12345", 10, false, nullptr, nullptr}, // maxLen + 1: untouched
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", 10, false, nullptr, nullptr},
};

TEST(SplitKeyValue, Table)
{
    for (const CSplitRow& row : g_aSplitRows) {
        SCOPED_TRACE(std::string("line \"") + row.pszLine + "\" maxLen " + std::to_string(row.nMaxLen));
        char szKey[130];
        char szValue[130];
        std::strcpy(szKey, "old-key");
        std::strcpy(szValue, "old-value");
        EXPECT_EQ(SplitKeyValue(row.pszLine, row.nMaxLen, szKey, szValue), row.bResult);
        EXPECT_STREQ(szKey, row.pszKey != nullptr ? row.pszKey : "old-key");
        EXPECT_STREQ(szValue, row.pszValue != nullptr ? row.pszValue : "old-value");
    }
}

// The store splits its own lines with maxLen 128: a key and a value of that size fit exactly.
TEST(SplitKeyValue, LongestLineFillsTheBuffersExactly)
{
    std::string strLine(128, 'k');
    strLine[0] = '=';
    char szKey[129];
    char szValue[129 + 8];
    std::memset(szValue, 'z', sizeof szValue);
    ASSERT_TRUE(SplitKeyValue(strLine.c_str(), 128, szKey, szValue));
    EXPECT_STREQ(szKey, "");
    EXPECT_EQ(std::strlen(szValue), 127u);
    EXPECT_EQ(szValue[128], 'z') << "wrote beyond the value's terminator";
}

}  // namespace
