// Every capacity of the store, at and past its limit: totals entries, record text, pending record, working buffer, lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store_test_util.h"

namespace {

using namespace storetest;

TEST(StoreBounds, LoadingAddsOnlyToEntriesZeroToNinetyNine)
{
    const struct { const char* pszLine; int nFirstEntry; std::vector<int32_t> anValues; } aRows[] = {
        {"01.01.2026,00:00:00,95=1,2,3,4,5,6,7,8,9,10", 95, {1, 2, 3, 4, 5}},  // 100..104 would be outside
        {"01.01.2026,00:00:00,-5=1,2,3,4,5,6,7,8,9,10", 0, {6, 7, 8, 9, 10}},  // -5..-1 would be outside
        {"01.01.2026,00:00:00,99=7,8", 99, {7}},
        {"01.01.2026,00:00:00,x9=7,8", 0, {7, 8}},  // atoi of "x9" is 0
        {"01.01.2026,00:00:00,2=7,8", 2, {7, 8}},   // a one-character code
        {"01.01.2026,00:00:0=7,8", 0, {7, 8}},      // header shorter than the code: base 0
        {";01.01.2026,00:00:00,20=7,8", 0, {}},     // the splitter refuses a ';' line: no values
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszLine);
        CBatchStore store;
        ASSERT_TRUE(store.Open(""));
        EXPECT_FALSE(store.LoadRecordLine(0, row.pszLine));
        std::vector<int32_t> an(100, 0);
        for (size_t k = 0; k < row.anValues.size(); ++k)
            an[static_cast<size_t>(row.nFirstEntry) + k] = row.anValues[k];
        EXPECT_EQ(Totals(store, 0), an);
        EXPECT_EQ(Totals(store, 1), std::vector<int32_t>(100, 0));  // the next slot's table, right after entry 99
        EXPECT_EQ(store.GetRecordCount(0), 1);
    }
}

// 128-byte working buffer: the record, its "|" and the terminator.
TEST(StoreBounds, WorkingBufferOfAppendRecord)
{
    const struct { int nLen; bool bComma; bool bStored; } aRows[] = {
        {126, false, true}, {127, false, false}, {127, true, true} /* the comma goes */, {128, true, false}, {5000, true, false},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.nLen);
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

class StoreBoundFiles : public StoreDir {};

// Data lines too long to be records (up to and past the 1,023-character line buffer) are neither
// held nor totalled, the line after them is whole, and nothing is removed from the file.
TEST_F(StoreBoundFiles, DataLinesThatCannotBeRecords)
{
    for (int nLen : {126, 127, 1021, 1022, 1023, 1024, 5000}) {
        SCOPED_TRACE(nLen);
        ASSERT_TRUE(m_store.Open(m_strDir.c_str()));
        std::string strLong = "01.01.2026,00:00:00,20=5";
        strLong.resize(static_cast<size_t>(nLen), '0');  // 5000... is an over-long field: 0
        const std::string strData = "a=1\r\n" + strLong + "\r\n01.01.2026,00:00:00,21=9\r\n";
        Register(3, TuningFileText(), strData);
        ASSERT_TRUE(m_store.OpenIndicatorFiles(3));
        EXPECT_EQ(m_store.GetRecordCount(0), nLen <= 126 ? 3 : 2);
        EXPECT_EQ(m_store.GetTotal(0, 21), 9);
        EXPECT_EQ(m_store.GetTotal(0, 20), 0);
        EXPECT_EQ(ReadBytes(File("Data_i03")), strData);
    }
}

// A full record text keeps the data file and the totals complete and holds no further records.
TEST_F(StoreBoundFiles, AFullRecordTextKeepsTotalsAndFileComplete)
{
    constexpr int kLines = 11500;
    std::string strData;
    for (int i = 0; i < kLines; ++i)
        strData += LongRecordLine() + "\r\n";
    Register(3, TuningFileText(), strData);
    ASSERT_TRUE(m_store.OpenIndicatorFiles(3));

    constexpr int kHeld = (CBatchStore::kRecordTextBytes - 1) / 127;  // 11,477 records of 127 bytes
    EXPECT_EQ(m_store.GetRecordCount(0), kHeld);
    EXPECT_EQ(m_store.GetRecordTextLength(0), kHeld * 127);
    EXPECT_EQ(m_store.GetRunStart(0), kHeld * 127);
    for (int e = 20; e < 30; ++e)
        EXPECT_EQ(m_store.GetTotal(0, e), kLines) << e;

    // Not even a short record that would fit the 85 bytes left is held (no gap in the oldest
    // records), but it still goes to the data file.
    EXPECT_EQ(m_store.GetRecordTextLength(0) + 85, CBatchStore::kRecordTextBytes);
    EXPECT_FALSE(m_store.AppendRecord(0, "01.01.2026,00:00:01,20=5,"));
    EXPECT_TRUE(m_store.AppendDataLine(0, "01.01.2026,00:00:01,20=5,"));
    EXPECT_EQ(ReadBytes(File("Data_i03")), strData + "01.01.2026,00:00:01,20=5\r\n");

    int nPos = 0;
    int nRecipe = 0;
    int32_t anValues[10];
    int nSeen = 0;
    while (m_store.NextRecord(0, &nPos, &nRecipe, anValues))
        ++nSeen;
    EXPECT_EQ(nSeen, kHeld);
}

TEST(StoreBounds, PendingRecordStopsAtItsLimitAndKeepsDoseOrder)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    EXPECT_TRUE(store.AppendPending(0, "05.12.2026,14:03:27,20="));  // 23
    for (int i = 0; i < 17; ++i)
        EXPECT_TRUE(store.AppendPending(0, "12345,"));  // 23 + 17 * 6 = 125
    EXPECT_FALSE(store.AppendPending(0, "12345,"));     // 131 > 127: dropped
    EXPECT_FALSE(store.AppendPending(0, "0,"));         // would fit, but a value before it is missing
    EXPECT_EQ(std::string(store.GetPending(0)).size(), 125u);
    EXPECT_TRUE(store.AppendRecord(0, store.GetPending(0)));  // the result fits every later stage
    store.ResetPending(0);
    EXPECT_TRUE(store.AppendPending(0, "0,"));  // a new record starts empty again
    EXPECT_STREQ(store.GetPending(0), "0,");

    EXPECT_FALSE(store.AppendPending(2, std::string(400, '1').c_str()));
    EXPECT_STREQ(store.GetPending(2), "");
}

}  // namespace
