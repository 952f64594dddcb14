// The store with the product's own line times: one indicator found, downloaded and polled through a batch.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "store_line_fixture.h"

namespace {

using storeline::kHeaderTime;
using tkdtest::ReadBytes;

class StoreRealTime : public storeline::StoreOnLine {
protected:
    StoreRealTime() : StoreOnLine(CLineTiming{}) {}
};

double MsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

TEST_F(StoreRealTime, SearchAndPollWithTheProductsTimes)
{
    CSimIndicator& ind = m_line.AddIndicator(97);  // near the end of the scan: 97 silent addresses first
    ind.ConfigureDoses(2, 1, {500, 1200, 300});
    ind.SetState(5, 0, 0);

    auto tStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(m_store.Search(nullptr, m_port, nullptr, nullptr));
    const double dSearchMs = MsSince(tStart);
    EXPECT_EQ(m_store.GetIndicatorAddress(0), 97);
    // 100 HL conversations (99 unanswered: 120 + 74 + a quiet drain read each) and 101 HT ones
    // (120 + the reply read, about 40 ms after the last byte). Generous bounds for a busy machine.
    RecordProperty("search_ms", std::to_string(static_cast<int>(dSearchMs)));
    EXPECT_GT(dSearchMs, 99 * 194 + 101 * 120);
    EXPECT_LT(dSearchMs, 60000);

    ind.SetScript({{2, 0, 0}, {2, 1, 510}, {2, 2, 1190}, {2, 3, 305}, {2, 0, 2}});
    int nRow = -1;
    bool bCompleted = false;
    for (int i = 0; i < 5; ++i) {
        tStart = std::chrono::steady_clock::now();
        m_store.Poll(m_port, &nRow, &bCompleted);
        const double dPollMs = MsSince(tStart);
        EXPECT_GE(dPollMs, 120);  // the reply pause
        EXPECT_LT(dPollMs, 1000) << "poll " << i;
    }
    EXPECT_TRUE(bCompleted);
    EXPECT_EQ(nRow, 2);
    const std::string strRecord = std::string(kHeaderTime) + "20=510,1190,305,2";
    EXPECT_EQ(std::string(m_store.GetRecordText(0)), strRecord + "|");

    // A silent indicator costs the reply pause, the empty read, the drain and the 1000 ms wait.
    ind.SetFault(ESimFault::kNoAnswer, 1, 'L');
    tStart = std::chrono::steady_clock::now();
    m_store.Poll(m_port, &nRow, &bCompleted);
    const double dSilentMs = MsSince(tStart);
    EXPECT_GE(dSilentMs, 1000 + 120 + 74);
    EXPECT_LT(dSilentMs, 3000);

    m_store.Close();
    EXPECT_EQ(ReadBytes(File("Data_i97")), strRecord + "\r\n");
}

}  // namespace
