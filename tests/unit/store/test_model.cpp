// CBatchStore's model: initial state, Open/Close/Release, per-slot state, record and pending texts, totals.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "batch_store.h"

namespace {

TEST(StoreModel, ConstructedStoreHasNoIndicatorsAndItsBuffers)
{
    CBatchStore store;
    EXPECT_TRUE(store.HasBuffers());
    EXPECT_EQ(store.GetIndicatorCount(), 0);
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(store.GetIndicatorAddress(s), -1);
        EXPECT_EQ(store.GetDataFile(s), kInvalidFile);
        EXPECT_EQ(store.GetRecordCount(s), 0);
        EXPECT_EQ(store.GetTotal(s, 99), 0);
    }
    EXPECT_EQ(store.GetCurrentIndicator(), 0);
}

TEST(StoreModel, OpenEmptiesEverything)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.SetTuneValue(1, 42, 0, 500);
    store.AppendRecord(1, "a=1,");
    store.AppendPending(2, "x=5,");
    store.AddTotal(0, 7, 10);
    store.SetCurrentIndicator(2);
    store.SetCurrentRecipe(4);
    store.SetCurrentDose(5);

    ASSERT_TRUE(store.Open("/tmp/x/"));
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        EXPECT_EQ(store.GetIndicatorAddress(s), -1);
        EXPECT_STREQ(store.GetRecordText(s), "");
        EXPECT_STREQ(store.GetPending(s), "");
        EXPECT_STREQ(store.GetLastState(s), "");
        EXPECT_EQ(store.GetRecordCount(s), 0);
        EXPECT_EQ(store.GetRunCount(s), 0);
        EXPECT_EQ(store.GetRunStart(s), 0);
    }
    EXPECT_EQ(store.GetTuneValueAt(1, 42, 0), 0);
    EXPECT_EQ(store.GetTotal(0, 7), 0);
    EXPECT_EQ(store.GetCurrentIndicator(), 0);
    EXPECT_EQ(store.GetCurrentRecipe(), 0);
    EXPECT_EQ(store.GetCurrentDose(), 0);
}

TEST(StoreModel, OpenRefusesADirectoryThatDoesNotFitAndChangesNothing)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.AddTotal(0, 1, 5);
    EXPECT_FALSE(store.Open(std::string(260, 'd').c_str()));
    EXPECT_EQ(store.GetTotal(0, 1), 5);
    EXPECT_TRUE(store.Open(std::string(259, 'd').c_str()));
    char szPath[400];
    ASSERT_TRUE(store.MakeDataPath(7, szPath, sizeof szPath));
    EXPECT_EQ(std::string(szPath), std::string(259, 'd') + "Data_i07");
}

TEST(StoreModel, CloseKeepsCountersTotalsAndSelection)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.AppendRecord(0, "r=1,");
    store.AddTotal(0, 3, 30);
    store.SetCurrentRecipe(3);
    store.AppendPending(0, "p=");
    store.Close();
    EXPECT_STREQ(store.GetRecordText(0), "");
    EXPECT_STREQ(store.GetPending(0), "");
    EXPECT_EQ(store.GetRecordCount(0), 1);
    EXPECT_EQ(store.GetTotal(0, 3), 30);
    EXPECT_EQ(store.GetCurrentRecipe(), 3);
    EXPECT_TRUE(store.HasBuffers());
}

TEST(StoreModel, ReleaseFreesOnceAndLeavesAStoreThatRefusesRecords)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.Release();
    EXPECT_FALSE(store.HasBuffers());
    store.Release();  // a second release finds nothing to free (ASan would report a double free)
    EXPECT_TRUE(store.Open(""));
    EXPECT_FALSE(store.AppendRecord(0, "a=1"));
    EXPECT_FALSE(store.AppendPending(0, "a="));
    EXPECT_STREQ(store.GetRecordText(0), "");
    int nPos = 0;
    int nRecipe = 0;
    int32_t anValues[10];
    EXPECT_FALSE(store.NextRecord(0, &nPos, &nRecipe, anValues));
    store.Close();
}

TEST(StoreModel, SlotsAndAddresses)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    EXPECT_EQ(store.GetIndicatorAddress(3), -1);
    EXPECT_EQ(store.GetIndicatorAddress(-1), -1);
    EXPECT_EQ(store.GetIndicatorAddress(INT_MAX), -1);
    EXPECT_EQ(store.IndexOfAddress(5), 3);
    EXPECT_EQ(store.IndexOfAddress(-1), 0);  // searched over all three cells, empty ones included
}

TEST(StoreModel, ResetPendingTouchesOnlyItsSlot)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    for (int s = 0; s < 3; ++s)
        store.AppendPending(s, "05.12.2026,14:03:27,20=");
    store.ResetPending(1);
    EXPECT_STREQ(store.GetPending(0), "05.12.2026,14:03:27,20=");
    EXPECT_STREQ(store.GetPending(1), "");
    EXPECT_STREQ(store.GetPending(2), "05.12.2026,14:03:27,20=");
}

struct CAppendRow {
    const char* pszIn;
    const char* pszStored;
};

TEST(StoreModel, AppendRecordDropsOneTrailingComma)
{
    const CAppendRow aRows[] = {
        {"h=1,2,", "h=1,2|"},
        {"h=1,2,,", "h=1,2,|"},  // two commas: one stays
        {"h=1,2", "h=1,2|"},
        {"", "|"},
    };
    for (const CAppendRow& row : aRows) {
        CBatchStore store;
        ASSERT_TRUE(store.Open(""));
        EXPECT_TRUE(store.AppendRecord(2, row.pszIn));
        EXPECT_STREQ(store.GetRecordText(2), row.pszStored) << row.pszIn;
        EXPECT_EQ(store.GetRecordCount(2), 1);
        EXPECT_EQ(store.GetRecordTextLength(2), static_cast<int>(std::strlen(row.pszStored)));
    }
}

TEST(StoreModel, AddTotalSaturatesInsteadOfOverflowing)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.AddTotal(0, 0, INT32_MAX - 5);
    store.AddTotal(0, 0, 99999);
    EXPECT_EQ(store.GetTotal(0, 0), INT32_MAX);
    store.AddTotal(0, 0, -10);
    EXPECT_EQ(store.GetTotal(0, 0), INT32_MAX - 10);
    store.AddTotal(1, 0, INT32_MIN);
    store.AddTotal(1, 0, -1);
    EXPECT_EQ(store.GetTotal(1, 0), INT32_MIN);
    store.ClearTotals();
    EXPECT_EQ(store.GetTotal(0, 0), 0);
    EXPECT_EQ(store.GetTotal(1, 0), 0);
}

}  // namespace
