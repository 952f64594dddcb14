// The store's questions: recipes and doses present, final values, and NextRecord walking a record text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch_store.h"

namespace {

TEST(StoreQueries, AllZeroTuningHasNoRecipeAndNoDose)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    for (int r = 0; r < 10; ++r) {
        EXPECT_FALSE(store.HasRecipe(0, r));
        for (int d = 0; d < 10; ++d)
            EXPECT_FALSE(store.HasDose(0, r, d));
    }
}

TEST(StoreQueries, ARecipeWithOnlyDoseSeven)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.SetTuneValue(1, 47, 0, 2500);
    store.SetTuneValue(1, 48, 1, 33);  // not the final value: does not configure dose 8
    EXPECT_TRUE(store.HasRecipe(1, 4));
    EXPECT_FALSE(store.HasRecipe(0, 4));
    EXPECT_FALSE(store.HasRecipe(1, 5));
    for (int d = 0; d < 10; ++d)
        EXPECT_EQ(store.HasDose(1, 4, d), d == 7) << d;
    EXPECT_EQ(store.GetTuneValue(1, 4, 7), 2500);
    EXPECT_EQ(store.GetTuneValue(1, 4, 8), 0);
}

struct CSeen {
    int nRecipe;
    std::vector<int32_t> anValues;
    int nPosAfter;
};

std::vector<CSeen> WalkFrom(const CBatchStore& store, int nSlot, int nPos)
{
    std::vector<CSeen> aSeen;
    int nRecipe = -1;
    int32_t anValues[10];
    while (store.NextRecord(nSlot, &nPos, &nRecipe, anValues)) {
        aSeen.push_back({nRecipe, std::vector<int32_t>(anValues, anValues + 10), nPos});
        if (aSeen.size() > 100)
            break;
    }
    return aSeen;
}

TEST(StoreQueries, NextRecordWalksARecordText)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.AppendRecord(0, "05.12.2026,14:03:27,20=0,1250,980,1530,");
    store.AppendRecord(0, "06.12.2026,09:00:00,31=700");
    store.AppendRecord(0, "1250,980,");  // header-less: recipe 0, no values
    store.AppendRecord(0, "06.12.2026,09:00:01,95=1,2,3,4,5,6,7,8,9,10,11");
    const std::string strText = store.GetRecordText(0);

    const std::vector<CSeen> aSeen = WalkFrom(store, 0, 0);
    ASSERT_EQ(aSeen.size(), 4u);
    EXPECT_EQ(aSeen[0].nRecipe, 2);
    EXPECT_EQ(aSeen[0].anValues, (std::vector<int32_t>{0, 1250, 980, 1530, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(aSeen[0].nPosAfter, static_cast<int>(strText.find('|')) + 1);  // start of the second record
    EXPECT_EQ(aSeen[1].nRecipe, 3);
    EXPECT_EQ(aSeen[1].anValues[0], 700);
    EXPECT_EQ(aSeen[2].nRecipe, 0);
    EXPECT_EQ(aSeen[2].anValues, std::vector<int32_t>(10, 0));
    EXPECT_EQ(aSeen[3].nRecipe, 9);
    EXPECT_EQ(aSeen[3].anValues, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));  // first ten only
    EXPECT_EQ(aSeen[3].nPosAfter, static_cast<int>(strText.size()));

    // From the second record's start, and from its "|" (one step back), the walk sees the rest.
    EXPECT_EQ(WalkFrom(store, 0, aSeen[0].nPosAfter).size(), 3u);
    EXPECT_EQ(WalkFrom(store, 0, aSeen[0].nPosAfter - 1).size(), 3u);
}

TEST(StoreQueries, NextRecordStopsAtTheEndAndOnForeignText)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    int nPos = 0;
    int nRecipe = 0;
    int32_t anValues[10];
    EXPECT_FALSE(store.NextRecord(0, &nPos, &nRecipe, anValues));  // empty text

    store.AppendRecord(0, "05.12.2026,14:03:27,20=5,6");
    nPos = store.GetRecordTextLength(0) - 1;  // the final "|"
    EXPECT_FALSE(store.NextRecord(0, &nPos, &nRecipe, anValues));
    EXPECT_EQ(nPos, store.GetRecordTextLength(0) - 1);  // unchanged
    nPos = -5;
    EXPECT_FALSE(store.NextRecord(0, &nPos, &nRecipe, anValues));

    // A text whose first byte is 0x80 or above is not read at all.
    store.AppendRecord(1, "\xC0\xE1=1,2");
    nPos = 0;
    EXPECT_FALSE(store.NextRecord(1, &nPos, &nRecipe, anValues));
}

TEST(StoreQueries, RunStartSeriesAndRunCountAreIndependent)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.AppendRecord(0, "01.01.2026,00:00:00,10=1");
    EXPECT_EQ(store.GetRunStart(0), 0);  // only a data-file load moves the run start
    store.ClearRunCount(0);
    EXPECT_EQ(store.GetRunCount(0), 0);
    EXPECT_EQ(store.GetRecordCount(0), 1);
}

}  // namespace
