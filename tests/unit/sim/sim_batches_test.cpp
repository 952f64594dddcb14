// Simulator batches over a real pseudo-terminal: script steps, AUTO walks, and the batches they record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "sim_line.h"
#include "sim_test_peer.h"

using simtest::CPeer;
using simtest::Hl;

namespace {

struct CState {
    int nRecipe = -1;
    int nDose = -1;
    int nWeight = 0;
    std::string strWeight;
    std::string Code() const { return std::to_string(nRecipe) + std::to_string(nDose); }
};

// Reads one HL reply the way the product decodes it.
CState Decode(const std::string& strReply)
{
    CState s;
    if (strReply.size() != 33 || strReply.substr(1, 6) != "HL\r\nCD" || strReply.substr(31) != "\r\n")
        return s;
    s.nRecipe = strReply[8] - '0';
    s.nDose = strReply[9] - '0';
    s.strWeight = strReply.substr(22, 5);
    s.nWeight = std::atoi(s.strWeight.c_str());
    return s;
}

// The product's rule for turning a sequence of states into records, written out again here so that
// the simulator's own record is checked against something it did not compute.
struct CExpectedBatch {
    int nRecipe;
    bool bHeader;
    std::vector<int> anValues;
};

class CFollower {
public:
    explicit CFollower(std::vector<int> anConfiguredRecipes) : m_anConfigured(std::move(anConfiguredRecipes)) {}
    void Feed(const CState& s)
    {
        if (std::find(m_anConfigured.begin(), m_anConfigured.end(), s.nRecipe) == m_anConfigured.end())
            return;
        if (!m_bFollowing) {
            m_bFollowing = true;
            m_cur = CExpectedBatch{s.nRecipe, true, {}};
            m_last = s;
            return;
        }
        if (s.nRecipe == m_last.nRecipe && s.nDose == m_last.nDose)
            return;
        if (s.nRecipe != m_last.nRecipe) {
            m_cur = CExpectedBatch{s.nRecipe, false, {}};
            m_last = s;
            return;
        }
        m_cur.anValues.push_back(s.nWeight);
        for (int d = m_last.nDose + 1; s.nDose != 0 && d < s.nDose; ++d)
            m_cur.anValues.push_back(0);
        m_last = s;
        if (s.nDose == 0) {
            m_aDone.push_back(m_cur);
            m_bFollowing = false;
        }
    }
    const std::vector<CExpectedBatch>& Done() const { return m_aDone; }

private:
    std::vector<int> m_anConfigured;
    bool m_bFollowing = false;
    CState m_last;
    CExpectedBatch m_cur{};
    std::vector<CExpectedBatch> m_aDone;
};

class SimBatches : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pInd = &m_line.AddIndicator(5);
        m_pInd->ApplyDemoTuning();
        ASSERT_TRUE(m_line.Start());
        m_pPeer = std::make_unique<CPeer>(m_line.SlavePath());
        ASSERT_TRUE(m_pPeer->IsOpen());
    }
    CState Poll()
    {
        const std::string strReply = m_pPeer->Ask(Hl(5), 33);
        EXPECT_EQ(strReply.size(), 33u);
        return Decode(strReply);
    }
    std::string PollCodes(int n)
    {
        std::string str;
        for (int i = 0; i < n; ++i)
            str += (i ? "," : "") + Poll().Code();
        return str;
    }

    CSimLine m_line;
    CSimIndicator* m_pInd = nullptr;
    std::unique_ptr<CPeer> m_pPeer;
};

}  // namespace

// ---- script ----

TEST_F(SimBatches, ScriptStepsAreShownInOrderAndTheLastRepeats)
{
    m_pInd->SetScript({{2, 0, 11}, {2, 1, 22}, {2, 2, 33}, {2, 3, 44}, {2, 0, 55}});
    EXPECT_EQ(m_pInd->ScriptStepsLeft(), 5);
    std::vector<int> anWeights;
    std::string strCodes;
    for (int i = 0; i < 7; ++i) {
        const CState s = Poll();
        strCodes += (i ? "," : "") + s.Code();
        anWeights.push_back(s.nWeight);
    }
    EXPECT_EQ(strCodes, "20,21,22,23,20,20,20");
    EXPECT_EQ(anWeights, (std::vector<int>{11, 22, 33, 44, 55, 55, 55}));
    EXPECT_EQ(m_pInd->ScriptStepsLeft(), 0);

    const auto aBatches = m_pInd->Batches();
    ASSERT_EQ(aBatches.size(), 1u);
    EXPECT_EQ(aBatches[0].nRecipe, 2);
    EXPECT_TRUE(aBatches[0].bHeader);
    EXPECT_EQ(aBatches[0].nFirstDose, 0);
    EXPECT_EQ(aBatches[0].anValues, (std::vector<int>{22, 33, 44, 55}));
    EXPECT_EQ(aBatches[0].ValuesText(), "22,33,44,55");
    EXPECT_EQ(aBatches[0].strStates, "20,21,22,23,20");
    // Weight captured on leaving dose d = weight of the first reply in the next state.
    EXPECT_EQ(aBatches[0].anDoseWeights[0], 22);
    EXPECT_EQ(aBatches[0].anDoseWeights[3], 55);
    EXPECT_EQ(aBatches[0].anDoseWeights[4], 0);
}

TEST_F(SimBatches, ScriptStepHoldsForItsNumberOfReplies)
{
    m_pInd->SetScript({{1, 0, 0, 2}, {1, 1, 100, 3}, {1, 2, 200, 1}});
    EXPECT_EQ(PollCodes(7), "10,10,11,11,11,12,12");
}

TEST_F(SimBatches, ScriptSkippedDosesAndRecipeChangeFollowTheRecordRules)
{
    // 11 -> 14 skips doses 2 and 3: the record gets two zeros. Recipe 2 -> 1 drops the gathered values
    // and the batch that follows has no header.
    m_pInd->SetScript({{1, 1, 10}, {1, 3, 30}, {1, 0, 40},
                       {2, 1, 5}, {2, 2, 6}, {1, 1, 7}, {1, 2, 8}, {1, 0, 9}});
    PollCodes(8);
    const auto aBatches = m_pInd->Batches();
    ASSERT_EQ(aBatches.size(), 2u);
    EXPECT_EQ(aBatches[0].nFirstDose, 1);
    EXPECT_EQ(aBatches[0].ValuesText(), "30,0,40");
    EXPECT_FALSE(aBatches[1].bHeader);
    EXPECT_EQ(aBatches[1].nRecipe, 1);
    EXPECT_EQ(aBatches[1].ValuesText(), "8,9");
}

TEST_F(SimBatches, RecipeWithoutConfiguredDoseIsNotFollowed)
{
    // Recipe 7 has no configured dose: its states change nothing, even in the middle of a batch.
    m_pInd->SetScript({{1, 0, 1}, {7, 1, 2}, {1, 1, 3}, {7, 0, 4}, {1, 0, 5}});
    PollCodes(5);
    const auto aBatches = m_pInd->Batches();
    ASSERT_EQ(aBatches.size(), 1u);
    EXPECT_TRUE(aBatches[0].bHeader);
    EXPECT_EQ(aBatches[0].ValuesText(), "3,5");
}

TEST_F(SimBatches, WeightFieldFormats)
{
    const struct {
        char cPad;
        int nWeight;
        const char* pszField;
    } kRows[] = {
        {'0', 812, "00812"}, {' ', 812, "  812"}, {'0', 0, "00000"}, {' ', 0, "    0"},
        {'0', -12, "-0012"}, {' ', -12, "  -12"}, {'0', 123456, "99999"}, {'0', -123456, "-9999"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.pszField);
        m_pInd->SetWeightPad(row.cPad);
        m_pInd->SetState(1, 1, row.nWeight);
        EXPECT_EQ(Poll().strWeight, row.pszField);
    }
    m_pInd->SetWeightPad('0');
    CSimStep raw{1, 2, 0, 1, " 1 2 "};
    m_pInd->SetScript({raw});
    EXPECT_EQ(Poll().strWeight, " 1 2 ");
}

// ---- AUTO ----

TEST_F(SimBatches, AutoWalksTheConfiguredDosesAndReturnsToZero)
{
    CSimAutoPlan plan;
    plan.anRecipes = {3};  // doses 1, 2 and 5
    plan.nDosePolls = 2;
    plan.nIdlePolls = 1;
    ASSERT_TRUE(m_pInd->StartAuto(plan));
    // One reply at 30 ends the batch, then the next batch idles at 30 for its one reply.
    EXPECT_EQ(PollCodes(10), "30,31,31,32,32,35,35,30,30,31");
}

TEST_F(SimBatches, AutoBatchesMatchWhatTheRepliesShow)
{
    CSimAutoPlan plan;
    plan.anRecipes = {1, 2, 3};
    plan.nDosePolls = 3;
    plan.nIdlePolls = 2;
    plan.dScatterPct = 3.0;
    plan.nSeed = 77;
    ASSERT_TRUE(m_pInd->StartAuto(plan));
    CFollower follower({1, 2, 3});
    std::map<int, std::vector<int>> finals{{1, {0, 500, 1200, 300}}, {2, {800, 250, 1500, 400, 90}},
                                           {3, {0, 2000, 350, 0, 0, 60}}};
    std::vector<CState> aStates;
    for (int i = 0; i < 110; ++i) {
        aStates.push_back(Poll());
        follower.Feed(aStates.back());
    }
    const auto aBatches = m_pInd->Batches();
    const auto& aExpected = follower.Done();
    ASSERT_GE(aExpected.size(), 6u);
    ASSERT_EQ(aBatches.size(), aExpected.size());
    for (size_t i = 0; i < aBatches.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(aBatches[i].nRecipe, plan.anRecipes[i % 3]) << "recipes cycle in plan order";
        EXPECT_TRUE(aExpected[i].bHeader) << "a recipe change must not cost the next batch its header";
        EXPECT_TRUE(aBatches[i].bHeader);
        EXPECT_EQ(aBatches[i].anValues, aExpected[i].anValues);
        // Each value scatters around its dose's final value (Irwin-Hall stays within 6 deviations).
        const auto& anFinals = finals[aBatches[i].nRecipe];
        ASSERT_EQ(aBatches[i].anValues.size(), anFinals.size());
        for (size_t d = 0; d < anFinals.size(); ++d) {
            if (anFinals[d] == 0) {
                EXPECT_EQ(aBatches[i].anValues[d], 0) << "dose " << d;
            } else {
                EXPECT_NEAR(aBatches[i].anValues[d], anFinals[d], anFinals[d] * 0.18 + 1) << "dose " << d;
                EXPECT_GT(aBatches[i].anValues[d], 0);
            }
        }
    }
    // After a state's first reply (the weighing of the state before), the weight rises and never
    // passes the weighing that the next state's first reply shows.
    for (size_t i = 2; i < aStates.size(); ++i) {
        if (aStates[i - 1].Code() == aStates[i - 2].Code()) {  // reply i-1 is not the first of its state
            EXPECT_LE(aStates[i - 1].nWeight, aStates[i].nWeight) << "reply " << i;
        }
    }
}

TEST(SimAutoSeed, WeightsDependOnTheSeedOnly)
{
    auto run = [](uint32_t nSeed) {
        CSimLine line;
        CSimIndicator& ind = line.AddIndicator(5);
        ind.ApplyDemoTuning();
        CSimAutoPlan plan;
        plan.anRecipes = {2};
        plan.nDosePolls = 1;
        plan.nIdlePolls = 1;
        plan.nSeed = nSeed;
        EXPECT_TRUE(ind.StartAuto(plan));
        EXPECT_TRUE(line.Start());
        CPeer peer(line.SlavePath());
        for (int i = 0; i < 12; ++i)  // 20 21 22 23 24 20, twice
            EXPECT_EQ(peer.Ask(Hl(5), 33).size(), 33u);
        std::string str;
        for (const auto& batch : ind.Batches())
            str += batch.ValuesText() + "|";
        return str;
    };
    const std::string strA = run(5);
    EXPECT_EQ(std::count(strA.begin(), strA.end(), '|'), 2) << strA;
    EXPECT_EQ(run(5), strA);
    EXPECT_NE(run(6), strA);
}

TEST_F(SimBatches, AutoWithDoseMsHoldsEachStateLongEnough)
{
    CSimAutoPlan plan;
    plan.anRecipes = {1};
    plan.nDoseMs = 120;
    ASSERT_TRUE(m_pInd->StartAuto(plan));
    std::vector<std::pair<double, std::string>> aSeen;
    const double dEnd = simtest::NowMs() + 1300;
    while (simtest::NowMs() < dEnd) {
        aSeen.emplace_back(simtest::NowMs(), Poll().Code());
        simtest::SleepMs(20);
    }
    // Collapse into runs of one state and check every run except the last lasted 120 ms or more.
    std::vector<std::pair<std::string, double>> aRuns;
    double dStart = aSeen.front().first;
    for (size_t i = 1; i <= aSeen.size(); ++i) {
        if (i == aSeen.size() || aSeen[i].second != aSeen[i - 1].second) {
            aRuns.emplace_back(aSeen[i - 1].second, (i == aSeen.size() ? aSeen[i - 1].first : aSeen[i].first) - dStart);
            if (i < aSeen.size())
                dStart = aSeen[i].first;
        }
    }
    ASSERT_GE(aRuns.size(), 4u);
    EXPECT_EQ(aRuns[0].first, "10");
    EXPECT_EQ(aRuns[1].first, "11");
    EXPECT_EQ(aRuns[2].first, "12");
    for (size_t i = 0; i + 1 < aRuns.size(); ++i)
        EXPECT_GE(aRuns[i].second, 110.0) << aRuns[i].first;  // measured from the first reply: small slack
}

TEST_F(SimBatches, AutoRefusesAPlanWithoutConfiguredDoses)
{
    m_pInd->SetState(1, 1, 42);
    CSimAutoPlan plan;
    plan.anRecipes = {7, 12, -1};
    EXPECT_FALSE(m_pInd->StartAuto(plan));
    EXPECT_EQ(Poll().nWeight, 42) << "the manual state stays";
    m_pInd->ClearTuning();
    plan.anRecipes = {1};
    EXPECT_FALSE(m_pInd->StartAuto(plan));
}

TEST_F(SimBatches, ManualStateRepeatsAndRecordsNothing)
{
    m_pInd->SetState(2, 3, 1500);
    EXPECT_EQ(PollCodes(4), "23,23,23,23");
    EXPECT_TRUE(m_pInd->Batches().empty());
}
