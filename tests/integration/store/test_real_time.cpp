// The store with the product's own line times: one indicator found, downloaded and polled through a batch.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "store_line_fixture.h"

namespace {

using namespace storeline;

struct StoreRealTime : StoreOnLine { StoreRealTime() : StoreOnLine(CLineTiming{}) {} };

template <class F>
double Ms(F f)
{
    const auto tStart = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tStart).count();
}

TEST_F(StoreRealTime, SearchAndPollWithTheProductsTimes)
{
    CSimIndicator& ind = m_line.AddIndicator(97);  // near the end of the scan: 97 silent addresses first
    ind.ConfigureDoses(2, 1, {500, 1200, 300});
    ind.SetState(5, 0, 0);
    // 100 HL conversations (99 unanswered: 120 + 74 + a quiet drain read each) and 101 HT ones
    // (120 + the reply read). Generous upper bounds for a busy machine.
    const double dSearchMs = Ms([&] { EXPECT_TRUE(m_store.Search(nullptr, m_port, nullptr, nullptr)); });
    RecordProperty("search_ms", std::to_string(static_cast<int>(dSearchMs)));
    EXPECT_EQ(m_store.GetIndicatorAddress(0), 97);
    EXPECT_GT(dSearchMs, 99 * 194 + 101 * 120);
    EXPECT_LT(dSearchMs, 60000);

    ind.SetScript({{2, 0, 0}, {2, 1, 510}, {2, 2, 1190}, {2, 3, 305}, {2, 0, 2}});
    for (int i = 0; i < 5; ++i) {
        const double dPollMs = Ms([&] { Poll(); });
        EXPECT_GE(dPollMs, 120);  // the reply pause
        EXPECT_LT(dPollMs, 1000) << "poll " << i;
    }
    const std::string strRecord = kHeaderTime + "20=510,1190,305,2";
    EXPECT_EQ(std::string(m_store.GetRecordText(0)), strRecord + "|");

    // A silent indicator costs the reply pause, the empty read, the drain and the 1000 ms wait.
    ind.SetFault(ESimFault::kNoAnswer, 1, 'L');
    const double dSilentMs = Ms([&] { Poll(); });
    EXPECT_GE(dSilentMs, 1000 + 120 + 74);
    EXPECT_LT(dSilentMs, 3000);
    m_store.Close();
    EXPECT_EQ(ReadBytes(File("Data_i97")), strRecord + "\r\n");
}

}  // namespace
