// CBatchStore::Poll over the simulated line: batches followed state by state into record text, data file and totals.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "store_line_fixture.h"

namespace {

using storeline::kHeaderTime;
using tkdtest::ReadBytes;

const std::string g_strH = kHeaderTime;

struct CPollRow {
    const char* pszWhat;
    std::vector<CSimStep> aSteps;          // one HL reply each
    std::vector<int> anRows;               // row after each poll
    std::vector<bool> abCompleted;         // completed after each poll (reset to false before each)
    std::string strRecordText;             // record text of the slot at the end
    std::string strDataFile;               // data file at the end
    std::map<int, int32_t> mapTotals;      // non-zero totals at the end
    std::string strPending;                // pending record at the end
    std::string strLastState;
    int nRunCount;
};

// Recipe 1: doses 1..4; recipe 2: doses 1..3; recipe 3: doses 1, 2. Recipe 5 has none.
void Configure(CSimIndicator& ind)
{
    ind.ClearTuning();
    ind.ConfigureDoses(1, 1, {100, 200, 300, 400});
    ind.ConfigureDoses(2, 1, {500, 1200, 300});
    ind.ConfigureDoses(3, 1, {700, 800});
}

const std::vector<CPollRow>& Rows()
{
    static const std::vector<CPollRow> aRows = {
        {"worked example: 20, 21, 22, 23, 20",
         {{2, 0, 11}, {2, 1, 1250}, {2, 2, 980}, {2, 3, 1530}, {2, 0, 777}},
         {-1, -1, -1, -1, 2}, {false, false, false, false, true},
         g_strH + "20=1250,980,1530,777|", g_strH + "20=1250,980,1530,777\r\n",
         {{20, 1250}, {21, 980}, {22, 1530}, {23, 777}}, "", "", 1},
        {"the next answer after a batch starts a new header",
         {{2, 0, 11}, {2, 1, 5}, {2, 0, 6}, {2, 0, 7}},
         {-1, -1, 2, -1}, {false, false, true, false},
         g_strH + "20=5,6|", g_strH + "20=5,6\r\n", {{20, 5}, {21, 6}}, g_strH + "20=", "20", 1},
        {"skipped doses: 10, 11, 14, 10",
         {{1, 0, 5}, {1, 1, 100}, {1, 4, 200}, {1, 0, 300}},
         {-1, -1, -1, 1}, {false, false, false, true},
         g_strH + "10=100,200,0,0,300|", g_strH + "10=100,200,0,0,300\r\n",
         {{10, 100}, {11, 200}, {14, 300}}, "", "", 1},
        {"recipe change: the values after it form a record without header",
         {{2, 0, 1}, {2, 1, 50}, {3, 1, 60}, {3, 2, 70}, {3, 0, 80}},
         {-1, -1, -1, -1, 3}, {false, false, false, false, true},
         "70,80|", "70,80\r\n", {{31, 70}, {32, 80}}, "", "", 1},
        {"all-zero batch: stored and counted, no row",
         {{2, 0, 0}, {2, 1, 0}, {2, 0, 0}},
         {-1, -1, -1}, {false, false, true},
         g_strH + "20=0,0|", g_strH + "20=0,0\r\n", {}, "", "", 1},
        {"repeated states and a recipe without doses change nothing",
         {{2, 0, 1}, {2, 0, 2}, {2, 1, 10}, {2, 1, 11}, {5, 3, 999}, {2, 2, 20}, {2, 0, 30}},
         {-1, -1, -1, -1, -1, -1, 2}, {false, false, false, false, false, false, true},
         g_strH + "20=10,20,30|", g_strH + "20=10,20,30\r\n", {{20, 10}, {21, 20}, {22, 30}}, "", "", 1},
        {"a batch that starts at dose 2 gets header 22",
         {{2, 2, 5}, {2, 3, 40}, {2, 0, 50}},
         {-1, -1, 2}, {false, false, true},
         g_strH + "22=40,50|", g_strH + "22=40,50\r\n", {{22, 40}, {23, 50}}, "", "", 1},
        {"dose digit going down: each weight to the dose that was left",
         {{2, 0, 1}, {2, 3, 10}, {2, 1, 20}, {2, 0, 30}},
         {-1, -1, -1, 2}, {false, false, false, true},
         g_strH + "20=10,0,0,20,30|", g_strH + "20=10,0,0,20,30\r\n", {{20, 10}, {23, 20}, {21, 30}}, "", "", 1},
        {"negative and blank-padded weights",
         {{2, 0, 0}, {2, 1, -250, 1, "  -25"}, {2, 0, 0, 1, "00042"}},
         {-1, -1, 2}, {false, false, true},
         g_strH + "20=-25,42|", g_strH + "20=-25,42\r\n", {{20, -25}, {21, 42}}, "", "", 1},
        {"garbage in the weight field reads as far as it is a number",
         {{2, 0, 0}, {2, 1, 0, 1, "12x45"}, {2, 0, 0, 1, "abcde"}},
         {-1, -1, 2}, {false, false, true},
         g_strH + "20=12,0|", g_strH + "20=12,0\r\n", {{20, 12}}, "", "", 1},
        {"an idle indicator on a recipe without doses is not followed",
         {{5, 0, 1}, {5, 1, 2}, {5, 0, 3}},
         {-1, -1, -1}, {false, false, false}, "", "", {}, "", "", 0},
        {"a batch still running keeps its pending record",
         {{1, 0, 1}, {1, 1, 10}, {1, 2, 20}},
         {-1, -1, -1}, {false, false, false}, "", "", {}, g_strH + "10=10,20,", "12", 0},
    };
    return aRows;
}

class StorePoll : public storeline::StoreOnLine {};

TEST_F(StorePoll, FollowsBatchesStateByState)
{
    CSimIndicator& ind = m_line.AddIndicator(5);
    Configure(ind);
    for (const CPollRow& row : Rows()) {
        SCOPED_TRACE(row.pszWhat);
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        std::remove(File("Data_i05").c_str());
        ind.SetScript(row.aSteps);
        const int nSlot = Attach(ind);
        ASSERT_EQ(nSlot, 0);
        for (size_t i = 0; i < row.aSteps.size(); ++i) {
            int nRow = 77;
            bool bCompleted = false;
            m_store.Poll(m_port, &nRow, &bCompleted);
            EXPECT_EQ(nRow, row.anRows[i]) << "poll " << i;
            EXPECT_EQ(bCompleted, row.abCompleted[i]) << "poll " << i;
        }
        EXPECT_EQ(std::string(m_store.GetRecordText(0)), row.strRecordText);
        EXPECT_EQ(m_store.GetRecordCount(0), row.strRecordText.empty() ? 0 : 1);
        EXPECT_EQ(m_store.GetRunCount(0), row.nRunCount);
        EXPECT_EQ(std::string(m_store.GetPending(0)), row.strPending);
        EXPECT_EQ(std::string(m_store.GetLastState(0)), row.strLastState);
        for (int e = 0; e < 100; ++e) {
            const auto it = row.mapTotals.find(e);
            EXPECT_EQ(m_store.GetTotal(0, e), it != row.mapTotals.end() ? it->second : 0) << "entry " << e;
        }
        m_store.Close();  // lets go of the data file before it is read
        EXPECT_EQ(ReadBytes(File("Data_i05")), row.strDataFile);
    }
}

TEST_F(StorePoll, ASilentIndicatorCostsOneWaitAndKeepsItsBatch)
{
    CSimIndicator& ind = m_line.AddIndicator(5);
    Configure(ind);
    ind.SetScript({{2, 0, 1}, {2, 1, 10}, {2, 0, 20}});
    Attach(ind);
    int nRow = -1;
    bool bCompleted = false;
    m_store.Poll(m_port, &nRow, &bCompleted);
    m_store.Poll(m_port, &nRow, &bCompleted);

    ind.SetFault(ESimFault::kNoAnswer, 1, 'L');
    const auto tStart = std::chrono::steady_clock::now();
    m_store.Poll(m_port, &nRow, &bCompleted);
    const double dMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tStart).count();
    EXPECT_GE(dMs, m_port.Timing().nSilenceWaitMs);  // the wait after a silent poll
    EXPECT_FALSE(bCompleted);
    EXPECT_EQ(nRow, -1);
    EXPECT_EQ(std::string(m_store.GetPending(0)), g_strH + "20=10,");

    m_store.Poll(m_port, &nRow, &bCompleted);
    EXPECT_TRUE(bCompleted);
    EXPECT_EQ(nRow, 2);
    EXPECT_EQ(std::string(m_store.GetRecordText(0)), g_strH + "20=10,20|");
}

TEST_F(StorePoll, CompletedIsLeftAsTheCallerSetItWhenNothingEnds)
{
    CSimIndicator& ind = m_line.AddIndicator(5);
    Configure(ind);
    ind.SetState(2, 1, 100);
    Attach(ind);
    int nRow = 5;
    bool bCompleted = true;
    m_store.Poll(m_port, &nRow, &bCompleted);
    EXPECT_TRUE(bCompleted);
    EXPECT_EQ(nRow, -1);
}

TEST_F(StorePoll, ThreeSlotsInOneTickAndTheRowOfTheLastBatch)
{
    CSimIndicator& a = m_line.AddIndicator(3);
    CSimIndicator& b = m_line.AddIndicator(17);
    CSimIndicator& c = m_line.AddIndicator(40);
    for (CSimIndicator* p : {&a, &b, &c})
        Configure(*p);
    a.SetScript({{1, 0, 0}, {1, 1, 100}, {1, 0, 101}});
    b.SetScript({{2, 0, 0}, {2, 1, 200}, {2, 0, 201}});
    c.SetScript({{3, 0, 0}, {3, 1, 0}, {3, 0, 0}});  // all zero: no row
    Attach(a);
    Attach(b);
    Attach(c);
    int nRow = -1;
    bool bCompleted = false;
    m_store.Poll(m_port, &nRow, &bCompleted);
    m_store.Poll(m_port, &nRow, &bCompleted);
    bCompleted = false;
    m_store.Poll(m_port, &nRow, &bCompleted);
    EXPECT_TRUE(bCompleted);
    EXPECT_EQ(nRow, 2);  // slot 1's recipe: slot 2's batch had only zeros
    EXPECT_EQ(m_store.GetTotal(0, 10), 100);
    EXPECT_EQ(m_store.GetTotal(0, 11), 101);
    EXPECT_EQ(m_store.GetTotal(1, 20), 200);
    EXPECT_EQ(m_store.GetTotal(1, 21), 201);
    EXPECT_EQ(m_store.GetRecordCount(2), 1);
    EXPECT_EQ(m_store.GetRunCount(2), 1);
    EXPECT_EQ(m_line.CountRequests(3, 'L'), 3);
    EXPECT_EQ(m_line.CountRequests(17, 'L'), 3);
    EXPECT_EQ(m_line.CountRequests(40, 'L'), 3);
}

TEST_F(StorePoll, AfterTheRecordTextIsFullTheDataFileAndTotalsStillGrow)
{
    CSimIndicator& ind = m_line.AddIndicator(5);
    Configure(ind);
    // A reloaded data file of long records that fills the record text.
    std::string strLine = "01.01.2026,00:00:00,20=1";
    while (strLine.size() < 126)
        strLine += ",1";
    std::string strData;
    for (int i = 0; i < 11500; ++i)
        strData += strLine + "\r\n";
    ASSERT_TRUE(tkdtest::WriteBytes(File("RecipesTune_i05"), storeline::TuningFileOf(ind)));
    ASSERT_TRUE(tkdtest::WriteBytes(File("Data_i05"), strData));
    ind.SetScript({{2, 0, 0}, {2, 1, 5}, {2, 0, 6}});
    Attach(ind);
    const int nHeld = m_store.GetRecordCount(0);
    int nRow = -1;
    bool bCompleted = false;
    for (int i = 0; i < 3; ++i)
        m_store.Poll(m_port, &nRow, &bCompleted);
    EXPECT_TRUE(bCompleted);
    EXPECT_EQ(m_store.GetRecordCount(0), nHeld);
    EXPECT_EQ(m_store.GetRunCount(0), 1);
    EXPECT_EQ(m_store.GetTotal(0, 20), 11500 + 5);
    EXPECT_EQ(m_store.GetTotal(0, 21), 11500 + 6);
    m_store.Close();
    EXPECT_EQ(ReadBytes(File("Data_i05")), strData + g_strH + "20=5,6\r\n");
}

TEST_F(StorePoll, AFlappingDoseDigitCannotOverrunThePendingRecord)
{
    CSimIndicator& ind = m_line.AddIndicator(5);
    Configure(ind);
    std::vector<CSimStep> aSteps = {{1, 0, 0}};
    for (int i = 0; i < 40; ++i)
        aSteps.push_back({1, 1 + (i % 2) * 3, 10000 + i});  // 11, 14, 11, 14, ...
    aSteps.push_back({1, 0, 1});
    ind.SetScript(aSteps);
    Attach(ind);
    int nRow = -1;
    bool bCompleted = false;
    for (size_t i = 0; i < aSteps.size(); ++i)
        m_store.Poll(m_port, &nRow, &bCompleted);
    EXPECT_TRUE(bCompleted);
    const std::string strText = m_store.GetRecordText(0);
    EXPECT_LE(strText.size(), 127u);
    EXPECT_EQ(strText.substr(0, 29), g_strH + "10=10000,");
    // The totals still get each dose's weight: the last weight captured on leaving it.
    EXPECT_EQ(m_store.GetTotal(0, 10), 10000);
    EXPECT_EQ(m_store.GetTotal(0, 11), 10039);
    EXPECT_EQ(m_store.GetTotal(0, 14), 1);
    m_store.Close();
    const std::string strFile = ReadBytes(File("Data_i05"));
    EXPECT_EQ(strFile, strText.substr(0, strText.size() - 1) + "\r\n");
}

}  // namespace
