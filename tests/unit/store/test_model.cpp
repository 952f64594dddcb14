// CBatchStore's model and questions: Open/Close/Release, slots, record and pending texts, totals, recipes, NextRecord.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "batch_store.h"

namespace {

TEST(StoreModel, OpenCloseAndRelease)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.SetTuneValue(1, 42, 0, 500);
    store.AppendRecord(1, "a=1,");
    store.AppendPending(2, "x=5,");
    store.AddTotal(0, 7, 10);
    store.SetCurrentRecipe(4);
    store.Close();  // keeps counters, totals and selection
    EXPECT_EQ(std::string(store.GetRecordText(1)) + store.GetPending(2), "");
    EXPECT_EQ(store.GetRecordCount(1), 1);
    EXPECT_EQ(store.GetTotal(0, 7), 10);
    EXPECT_EQ(store.GetCurrentRecipe(), 4);
    store.AppendRecord(0, "b=2,");
    store.AppendPending(0, "p=");

    // A directory text that leaves no room for a name is refused and changes nothing.
    EXPECT_FALSE(store.Open(std::string(260, 'd').c_str()));
    EXPECT_EQ(store.GetTotal(0, 7), 10);
    ASSERT_TRUE(store.Open(std::string(259, 'd').c_str()));  // empties everything
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        EXPECT_EQ(store.GetIndicatorAddress(s), -1);
        EXPECT_EQ(std::string(store.GetRecordText(s)) + store.GetPending(s) + store.GetLastState(s), "");
        EXPECT_EQ(store.GetRecordCount(s) + store.GetRunCount(s) + store.GetRunStart(s), 0);
    }
    EXPECT_EQ(store.GetTuneValueAt(1, 42, 0) + store.GetTotal(0, 7) + store.GetCurrentRecipe(), 0);
    char szPath[400];
    ASSERT_TRUE(store.MakeDataPath(7, szPath, sizeof szPath));
    EXPECT_EQ(std::string(szPath), std::string(259, 'd') + "Data_i07");
    ASSERT_TRUE(store.MakeTunePath(42, szPath, sizeof szPath));
    EXPECT_EQ(std::string(szPath), std::string(259, 'd') + "RecipesTune_i42");
    EXPECT_FALSE(store.MakeDataPath(42, szPath, 10));  // does not fit: refused, not cut

    store.Release();
    EXPECT_FALSE(store.HasBuffers());
    store.Release();  // a second release finds nothing to free (ASan would report a double free)
    EXPECT_TRUE(store.Open(""));
    EXPECT_FALSE(store.AppendRecord(0, "a=1") || store.AppendPending(0, "a="));
    EXPECT_STREQ(store.GetRecordText(0), "");
}

TEST(StoreModel, SlotsRecordsAndTotals)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    for (int nSlot : {3, -1, INT_MAX})
        EXPECT_EQ(store.GetIndicatorAddress(nSlot), -1);
    EXPECT_EQ(store.IndexOfAddress(5), 3);
    EXPECT_EQ(store.IndexOfAddress(-1), 0);  // searched over all three cells, empty ones included

    // One trailing comma is dropped and "|" ends the record.
    store.AppendRecord(2, "h=1,2,");
    store.AppendRecord(2, "h=1,2,,");
    store.AppendRecord(2, "h=1,2");
    store.AppendRecord(2, "");
    EXPECT_STREQ(store.GetRecordText(2), "h=1,2|h=1,2,|h=1,2||");
    EXPECT_EQ(store.GetRecordCount(2), 4);
    EXPECT_EQ(store.GetRecordTextLength(2), 20);

    // Totals saturate instead of overflowing.
    store.AddTotal(0, 0, INT32_MAX - 5);
    store.AddTotal(0, 0, 99999);
    EXPECT_EQ(store.GetTotal(0, 0), INT32_MAX);
    store.AddTotal(0, 0, -10);
    EXPECT_EQ(store.GetTotal(0, 0), INT32_MAX - 10);
    store.AddTotal(1, 0, INT32_MIN);
    store.AddTotal(1, 0, -1);
    EXPECT_EQ(store.GetTotal(1, 0), INT32_MIN);
    store.ClearTotals();
    EXPECT_EQ(store.GetTotal(0, 0) + store.GetTotal(1, 0), 0);
}

TEST(StoreQueries, RecipesDosesAndFinalValues)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    for (int r = 0; r < 10; ++r)
        for (int d = 0; d < 10; ++d)
            EXPECT_FALSE(store.HasRecipe(1, r) || store.HasDose(1, r, d)) << r << d;  // all-zero tuning
    store.SetTuneValue(1, 47, 0, 2500);
    store.SetTuneValue(1, 48, 1, 33);  // not the final value: does not configure dose 8
    EXPECT_TRUE(store.HasRecipe(1, 4));
    EXPECT_FALSE(store.HasRecipe(0, 4) || store.HasRecipe(1, 5));
    for (int d = 0; d < 10; ++d)
        EXPECT_EQ(store.HasDose(1, 4, d), d == 7) << d;
    EXPECT_EQ(store.GetTuneValue(1, 4, 7), 2500);
    EXPECT_EQ(store.GetTuneValue(1, 4, 8), 0);
}

// Each record NextRecord yields, as "recipe: the ten values @ the position after it".
std::vector<std::string> WalkFrom(const CBatchStore& store, int nSlot, int nPos)
{
    std::vector<std::string> a;
    int nRecipe = -1;
    int32_t anValues[10];
    while (a.size() <= 100 && store.NextRecord(nSlot, &nPos, &nRecipe, anValues)) {
        std::string str = std::to_string(nRecipe) + ":";
        for (int32_t n : anValues)
            str += " " + std::to_string(n);
        a.push_back(str + " @" + std::to_string(nPos));
    }
    return a;
}

TEST(StoreQueries, NextRecordWalksARecordText)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    EXPECT_TRUE(WalkFrom(store, 0, 0).empty());
    store.AppendRecord(0, "05.12.2026,14:03:27,20=0,1250,980,1530,");
    store.AppendRecord(0, "06.12.2026,09:00:00,31=700");
    store.AppendRecord(0, "1250,980,");  // header-less: recipe 0, no values
    store.AppendRecord(0, "06.12.2026,09:00:01,95=1,2,3,4,5,6,7,8,9,10,11");  // the first ten values only
    const int nLength = store.GetRecordTextLength(0);
    const std::vector<std::string> aAll = {"2: 0 1250 980 1530 0 0 0 0 0 0 @39", "3: 700 0 0 0 0 0 0 0 0 0 @66",
                                           "0: 0 0 0 0 0 0 0 0 0 0 @75", "9: 1 2 3 4 5 6 7 8 9 10 @" + std::to_string(nLength)};
    EXPECT_EQ(WalkFrom(store, 0, 0), aAll);
    // From the second record's start, and from its "|", the walk sees the rest.
    EXPECT_EQ(WalkFrom(store, 0, 39), std::vector<std::string>(aAll.begin() + 1, aAll.end()));
    EXPECT_EQ(WalkFrom(store, 0, 38), std::vector<std::string>(aAll.begin() + 1, aAll.end()));
    // From the final "|" or before the start: nothing, and the position stays.
    int nPos = nLength - 1;
    int nRecipe = 0;
    int32_t anValues[10];
    EXPECT_FALSE(store.NextRecord(0, &nPos, &nRecipe, anValues));
    EXPECT_EQ(nPos, nLength - 1);
    EXPECT_TRUE(WalkFrom(store, 0, -5).empty());
    // A text whose first byte is 0x80 or above is not read at all.
    store.AppendRecord(1, "\xC0\xE1=1,2");
    EXPECT_TRUE(WalkFrom(store, 1, 0).empty());
}

}  // namespace
