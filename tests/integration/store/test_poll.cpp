// CBatchStore::Poll over the simulated line: batches followed state by state into record text, data file and totals.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "line_rig.h"

namespace tkdtest {
namespace {

const std::string g_strH = kHeaderTime;

// Recipe 1: doses 1..4; recipe 2: doses 1..3; recipe 3: doses 1, 2. Recipe 5 has none.
void Configure(CSimIndicator& ind)
{
    ind.ClearTuning();
    ind.ConfigureDoses(1, 1, {100, 200, 300, 400});
    ind.ConfigureDoses(2, 1, {500, 1200, 300});
    ind.ConfigureDoses(3, 1, {700, 800});
}

// One HL reply per step; the poll that completes a batch and its row (other polls: none, row -1); at the
// end the record (also the data-file line), the non-zero totals, the pending record and the last state.
struct CPollRow {
    const char* pszWhat;
    std::vector<CSimStep> aSteps;
    int nCompletedAt, nRow;
    std::string strRecord;
    std::map<int, int32_t> mapTotals;
    std::string strPending, strLastState;
};

const CPollRow g_aRows[] = {
    {"worked example: 20, 21, 22, 23, 20", {{2, 0, 11}, {2, 1, 1250}, {2, 2, 980}, {2, 3, 1530}, {2, 0, 777}}, 4, 2,
     g_strH + "20=1250,980,1530,777", {{20, 1250}, {21, 980}, {22, 1530}, {23, 777}}, "", ""},
    {"the next answer after a batch starts a new header", {{2, 0, 11}, {2, 1, 5}, {2, 0, 6}, {2, 0, 7}}, 2, 2,
     g_strH + "20=5,6", {{20, 5}, {21, 6}}, g_strH + "20=", "20"},
    {"skipped doses: 10, 11, 14, 10", {{1, 0, 5}, {1, 1, 100}, {1, 4, 200}, {1, 0, 300}}, 3, 1,
     g_strH + "10=100,200,0,0,300", {{10, 100}, {11, 200}, {14, 300}}, "", ""},
    {"recipe change: the values after it form a record without header",
     {{2, 0, 1}, {2, 1, 50}, {3, 1, 60}, {3, 2, 70}, {3, 0, 80}}, 4, 3, "70,80", {{31, 70}, {32, 80}}, "", ""},
    {"all-zero batch: stored and counted, no row", {{2, 0, 0}, {2, 1, 0}, {2, 0, 0}}, 2, -1, g_strH + "20=0,0", {}, "", ""},
    {"repeated states and a recipe without doses change nothing",
     {{2, 0, 1}, {2, 0, 2}, {2, 1, 10}, {2, 1, 11}, {5, 3, 999}, {2, 2, 20}, {2, 0, 30}}, 6, 2,
     g_strH + "20=10,20,30", {{20, 10}, {21, 20}, {22, 30}}, "", ""},
    {"a batch that starts at dose 2 gets header 22", {{2, 2, 5}, {2, 3, 40}, {2, 0, 50}}, 2, 2,
     g_strH + "22=40,50", {{22, 40}, {23, 50}}, "", ""},
    {"dose digit going down: each weight to the dose that was left", {{2, 0, 1}, {2, 3, 10}, {2, 1, 20}, {2, 0, 30}}, 3, 2,
     g_strH + "20=10,0,0,20,30", {{20, 10}, {23, 20}, {21, 30}}, "", ""},
    {"negative, blank-padded and garbled weights", {{2, 0, 0}, {2, 1, -250, 1, "  -25"}, {2, 2, 0, 1, "00042"}, {2, 0, 0, 1, "12x45"}},
     3, 2, g_strH + "20=-25,42,12", {{20, -25}, {21, 42}, {22, 12}}, "", ""},
    {"an idle indicator on a recipe without doses is not followed", {{5, 0, 1}, {5, 1, 2}, {5, 0, 3}}, -1, -1, "", {}, "", ""},
    {"a batch still running keeps its pending record", {{1, 0, 1}, {1, 1, 10}, {1, 2, 20}}, -1, -1, "", {},
     g_strH + "10=10,20,", "12"},
};

class StorePoll : public CLineRig {};

TEST_F(StorePoll, FollowsBatchesStateByState)
{
    CSimIndicator& ind = m_line.AddIndicator(5);
    Configure(ind);
    for (const CPollRow& row : g_aRows) {
        SCOPED_TRACE(row.pszWhat);
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        std::remove(File("Data_i05").c_str());
        ind.SetScript(row.aSteps);
        ASSERT_EQ(Attach(ind), 0);
        for (int i = 0; i < static_cast<int>(row.aSteps.size()); ++i) {
            int nRow = 77;
            bool bCompleted = false;
            m_store.Poll(m_port, &nRow, &bCompleted);
            EXPECT_EQ(std::make_pair(nRow, bCompleted), std::make_pair(i == row.nCompletedAt ? row.nRow : -1, i == row.nCompletedAt)) << i;
        }
        const bool bRecord = !row.strRecord.empty();
        EXPECT_EQ(std::string(m_store.GetRecordText(0)), bRecord ? row.strRecord + "|" : "");
        EXPECT_EQ(std::pair(m_store.GetRecordCount(0), m_store.GetRunCount(0)), std::pair(int{bRecord}, int{bRecord}));
        EXPECT_EQ(std::string(m_store.GetPending(0)) + "/" + m_store.GetLastState(0), row.strPending + "/" + row.strLastState);
        std::vector<int32_t> anTotals(100, 0);
        for (const auto& [nEntry, nTotal] : row.mapTotals)
            anTotals[static_cast<size_t>(nEntry)] = nTotal;
        EXPECT_EQ(Totals(m_store, 0), anTotals);
        m_store.Close();  // lets go of the data file before it is read
        EXPECT_EQ(ReadBytes(File("Data_i05")), bRecord ? row.strRecord + "\r\n" : "");
    }
}

// A silent indicator keeps its batch; with the record text full, the record still reaches the data file and the totals.
TEST_F(StorePoll, ASilentIndicatorKeepsItsBatchAndAFullRecordTextKeepsFileAndTotals)
{
    CSimIndicator& ind = m_line.AddIndicator(5);
    Configure(ind);
    std::string strFull;
    for (int i = 0; i < 60000; ++i)
        strFull += "05.12.2026,14:03:27,20=1\r\n";  // 25 bytes of record text each: more than fit
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), TuningFileOf(ind)) && WriteBytes(File("Data_i05"), strFull));
    ind.SetScript({{2, 0, 1}, {2, 1, 10}, {2, 0, 20}});
    Attach(ind);
    const int nHeld = m_store.GetRecordCount(0);
    EXPECT_EQ(nHeld, (CBatchStore::kRecordTextBytes - 1) / 25);  // the oldest, without a gap
    Poll(2);
    ind.SetFault(ESimFault::kNoAnswer, 1, 'L');  // in the middle of the batch
    EXPECT_EQ(Poll(2), 1);
    EXPECT_EQ(std::pair(m_store.GetRecordCount(0), m_store.GetRunCount(0)), std::pair(nHeld, 1));
    EXPECT_EQ(std::pair(m_store.GetTotal(0, 20), m_store.GetTotal(0, 21)), std::pair(60000 + 10, 20));
    m_store.Close();
    EXPECT_EQ(ReadBytes(File("Data_i05")), strFull + g_strH + "20=10,20\r\n");
}

}  // namespace
}  // namespace tkdtest
