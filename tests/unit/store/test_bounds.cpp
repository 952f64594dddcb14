// Every capacity of the store, at and past its limit: totals entries, record text, pending record, working buffer, lines, fields.
#include <gtest/gtest.h>

#include <string>

#include "batch_store.h"
#include "store_test_util.h"
#include "temp_dir.h"

namespace {

using tkdtest::CTempDir;
using tkdtest::ReadBytes;
using tkdtest::WriteBytes;

int32_t SumOfTotals(const CBatchStore& store, int nSlot)
{
    int32_t nSum = 0;
    for (int e = 0; e < 100; ++e)
        nSum += store.GetTotal(nSlot, e);
    return nSum;
}

struct CLoadRow {
    const char* pszLine;
    int nFirstEntry;              // entries nFirstEntry.. receive anValues in order
    std::vector<int32_t> anValues;
};

TEST(StoreBounds, LoadingAddsOnlyToEntriesZeroToNinetyNine)
{
    const CLoadRow aRows[] = {
        {"01.01.2026,00:00:00,95=1,2,3,4,5,6,7,8,9,10", 95, {1, 2, 3, 4, 5}},   // 100..104 would be outside
        {"01.01.2026,00:00:00,-5=1,2,3,4,5,6,7,8,9,10", 0, {6, 7, 8, 9, 10}},   // -5..-1 would be outside
        {"01.01.2026,00:00:00,99=7,8", 99, {7}},
        {"01.01.2026,00:00:00,x9=7,8", 0, {7, 8}},      // atoi of "x9" is 0
        {"01.01.2026,00:00:00,2=7,8", 2, {7, 8}},       // a one-character code
        {"01.01.2026,00:00:0=7,8", 0, {7, 8}},          // header shorter than the code: base 0
        {";01.01.2026,00:00:00,20=7,8", 0, {}},         // the splitter refuses a ';' line: no values
    };
    for (const CLoadRow& row : aRows) {
        SCOPED_TRACE(row.pszLine);
        CBatchStore store;
        ASSERT_TRUE(store.Open(""));
        EXPECT_FALSE(store.LoadRecordLine(0, row.pszLine));
        int32_t nExpectedSum = 0;
        for (size_t k = 0; k < row.anValues.size(); ++k) {
            EXPECT_EQ(store.GetTotal(0, row.nFirstEntry + static_cast<int>(k)), row.anValues[k]) << k;
            nExpectedSum += row.anValues[k];
        }
        EXPECT_EQ(SumOfTotals(store, 0), nExpectedSum);
        EXPECT_EQ(SumOfTotals(store, 1), 0);  // the next slot's table, right after entry 99, untouched
        EXPECT_EQ(store.GetRecordCount(0), 1);  // every line that fits is still a record
    }
}

TEST(StoreBounds, WorkingBufferOfAppendRecord)
{
    const struct { int nLen; bool bComma; bool bStored; } aRows[] = {
        {126, false, true},   // 126 + "|" + terminator = 128
        {127, false, false},
        {127, true, true},    // the comma goes, so 126 remain
        {128, true, false},
        {5000, true, false},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(std::to_string(row.nLen) + (row.bComma ? " with comma" : ""));
        CBatchStore store;
        ASSERT_TRUE(store.Open(""));
        std::string strText(static_cast<size_t>(row.nLen), '7');
        if (row.bComma)
            strText.back() = ',';
        EXPECT_EQ(store.AppendRecord(0, strText.c_str()), row.bStored);
        EXPECT_EQ(store.GetRecordCount(0), row.bStored ? 1 : 0);
        EXPECT_EQ(store.GetRecordTextLength(0), row.bStored ? 127 : 0);
    }
}

TEST(StoreBounds, DataLinesThatCannotBeRecordsAreNeitherHeldNorTotalled)
{
    const struct { int nLen; bool bLoaded; } aRows[] = {
        {126, true}, {127, false}, {1021, false}, {1022, false}, {5000, false},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.nLen);
        CTempDir dir;
        CBatchStore store;
        ASSERT_TRUE(store.Open((dir.Path() + "/").c_str()));
        storetest::FillTuning(store, store.RegisterIndicator(3));
        std::string strLong = "01.01.2026,00:00:00,20=5";
        while (static_cast<int>(strLong.size()) < row.nLen)
            strLong += "0";
        strLong.resize(static_cast<size_t>(row.nLen));
        ASSERT_TRUE(WriteBytes(dir.File("RecipesTune_i03"), storetest::TuningFileText()));
        const std::string strData = "a=1\r\n" + strLong + "\r\n01.01.2026,00:00:00,21=9\r\n";
        ASSERT_TRUE(WriteBytes(dir.File("Data_i03"), strData));
        ASSERT_TRUE(store.OpenIndicatorFiles(3));
        EXPECT_EQ(store.GetRecordCount(0), row.bLoaded ? 3 : 2);
        EXPECT_EQ(store.GetTotal(0, 21), 9);     // the line after the long one is whole
        EXPECT_EQ(store.GetTotal(0, 20), row.bLoaded ? 0 : 0);  // 5000... is an over-long field: 0
        EXPECT_EQ(ReadBytes(dir.File("Data_i03")), strData);   // nothing is removed from the file
    }
}

TEST(StoreBounds, AFullRecordTextKeepsTotalsAndFileComplete)
{
    CTempDir dir;
    CBatchStore store;
    ASSERT_TRUE(store.Open((dir.Path() + "/").c_str()));
    storetest::FillTuning(store, store.RegisterIndicator(3));
    // 126-character records: header, then ten fields of 1 padded with further ",1" fields.
    std::string strLine = "01.01.2026,00:00:00,20=1";
    while (strLine.size() < 126)
        strLine += ",1";
    ASSERT_EQ(strLine.size(), 126u);
    constexpr int kLines = 11500;
    std::string strData;
    for (int i = 0; i < kLines; ++i)
        strData += strLine + "\r\n";
    ASSERT_TRUE(WriteBytes(dir.File("RecipesTune_i03"), storetest::TuningFileText()));
    ASSERT_TRUE(WriteBytes(dir.File("Data_i03"), strData));
    ASSERT_TRUE(store.OpenIndicatorFiles(3));

    constexpr int kHeld = (CBatchStore::kRecordTextBytes - 1) / 127;  // 11,477 records of 127 bytes
    EXPECT_EQ(store.GetRecordCount(0), kHeld);
    EXPECT_EQ(store.GetRecordTextLength(0), kHeld * 127);
    EXPECT_EQ(store.GetRunStart(0), kHeld * 127);
    for (int e = 20; e < 30; ++e)
        EXPECT_EQ(store.GetTotal(0, e), kLines) << e;  // every line counted in the totals

    // Further records: not held, not even a short one that would fit the 85 bytes left (the text
    // holds the oldest records without a gap), but still in the data file.
    EXPECT_EQ(store.GetRecordTextLength(0) + 85, CBatchStore::kRecordTextBytes);
    EXPECT_FALSE(store.AppendRecord(0, "01.01.2026,00:00:01,20=5,"));
    EXPECT_TRUE(store.AppendDataLine(0, "01.01.2026,00:00:01,20=5,"));
    EXPECT_EQ(ReadBytes(dir.File("Data_i03")), strData + "01.01.2026,00:00:01,20=5\r\n");

    // A full pass of NextRecord sees exactly the records held.
    int nPos = 0;
    int nRecipe = 0;
    int32_t anValues[10];
    int nSeen = 0;
    while (store.NextRecord(0, &nPos, &nRecipe, anValues))
        ++nSeen;
    EXPECT_EQ(nSeen, kHeld);
}

TEST(StoreBounds, PendingRecordStopsAtItsLimitAndKeepsDoseOrder)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    EXPECT_TRUE(store.AppendPending(0, "05.12.2026,14:03:27,20="));  // 23
    int nLen = 23;
    // "12345," is 6 characters: 17 of them reach 125.
    for (int i = 0; i < 17; ++i) {
        EXPECT_TRUE(store.AppendPending(0, "12345,"));
        nLen += 6;
    }
    EXPECT_EQ(nLen, 125);
    EXPECT_FALSE(store.AppendPending(0, "12345,"));  // 131 > 127: dropped
    EXPECT_FALSE(store.AppendPending(0, "0,"));      // would fit, but a value before it is missing
    EXPECT_EQ(std::string(store.GetPending(0)).size(), 125u);
    // The record that results fits every later stage.
    EXPECT_TRUE(store.AppendRecord(0, store.GetPending(0)));
    store.ResetPending(0);
    EXPECT_TRUE(store.AppendPending(0, "0,"));  // a new record starts empty again
    EXPECT_STREQ(store.GetPending(0), "0,");

    CBatchStore other;
    ASSERT_TRUE(other.Open(""));
    EXPECT_TRUE(other.AppendPending(1, std::string(127, '1').c_str()));
    EXPECT_FALSE(other.AppendPending(1, "1"));
    EXPECT_FALSE(other.AppendPending(2, std::string(400, '1').c_str()));
    EXPECT_STREQ(other.GetPending(2), "");
}

}  // namespace
