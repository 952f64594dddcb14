// CBatchStore's model and questions: Open/Close/Release, slots, record texts, totals, recipes; NextRecord over any text is fuzzed in fuzz_records.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <utility>

#include "batch_store.h"

namespace {

TEST(StoreModel, OpenCloseReleaseSlotsAndTotals)
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
    EXPECT_EQ(std::tuple(store.GetRecordCount(1), store.GetTotal(0, 7), store.GetCurrentRecipe()), std::tuple(1, 10, 4));
    // A directory text that leaves no room for a name is refused and changes nothing.
    EXPECT_FALSE(store.Open(std::string(260, 'd').c_str()));
    EXPECT_EQ(store.GetTotal(0, 7), 10);
    ASSERT_TRUE(store.Open(std::string(259, 'd').c_str()));  // empties everything
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(std::tuple(store.GetIndicatorAddress(s), store.GetRecordCount(s), store.GetRunCount(s)), std::tuple(-1, 0, 0)) << s;
    EXPECT_EQ(std::tuple(store.GetTuneValueAt(1, 42, 0), store.GetTotal(0, 7), store.GetCurrentRecipe()), std::tuple(0, 0, 0));
    char szPath[400];
    ASSERT_TRUE(store.MakeDataPath(7, szPath, sizeof szPath) && std::string(szPath) == std::string(259, 'd') + "Data_i07");
    EXPECT_FALSE(store.MakeDataPath(42, szPath, 10));  // does not fit: refused, not cut
    EXPECT_EQ(std::tuple(store.GetIndicatorAddress(3), store.GetIndicatorAddress(INT_MAX)), std::tuple(-1, -1));
    EXPECT_EQ(store.IndexOfAddress(5), 3);

    // One trailing comma is dropped and "|" ends the record; totals saturate.
    for (const char* psz : {"h=1,2,", "h=1,2,,", "h=1,2", ""})
        store.AppendRecord(2, psz);
    EXPECT_STREQ(store.GetRecordText(2), "h=1,2|h=1,2,|h=1,2||");
    EXPECT_EQ(std::tuple(store.GetRecordCount(2), store.GetRecordTextLength(2)), std::tuple(4, 20));
    store.AddTotal(0, 0, INT32_MAX - 5);
    store.AddTotal(0, 0, 99999);
    store.AddTotal(1, 0, INT32_MIN);
    store.AddTotal(1, 0, -1);
    EXPECT_EQ(store.GetTotal(0, 0), INT32_MAX);
    EXPECT_EQ(store.GetTotal(1, 0), INT32_MIN);

    store.Release();
    EXPECT_FALSE(store.HasBuffers());
    store.Release();  // a second release finds nothing to free (ASan would report a double free)
    EXPECT_TRUE(store.Open("") && !store.AppendRecord(0, "a=1") && !store.AppendPending(0, "a="));
}

TEST(StoreQueries, RecipesAndDoses)
{
    CBatchStore store;
    ASSERT_TRUE(store.Open(""));
    store.SetTuneValue(1, 47, 0, 2500);
    store.SetTuneValue(1, 48, 1, 33);  // not the final value: does not configure dose 8
    for (int r = 0; r < 10; ++r)
        for (int d = 0; d < 10; ++d)
            EXPECT_EQ(std::pair(store.HasRecipe(1, r), store.HasDose(1, r, d)), std::pair(r == 4, r == 4 && d == 7)) << r << d;
    EXPECT_EQ(store.GetTuneValue(1, 4, 7), 2500);

}

}  // namespace
