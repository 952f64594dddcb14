// Simulator batches over a real pseudo-terminal: script steps, AUTO walks, and the batches they record.
#include "sim_test_peer.h"

#include <map>
#include <set>

namespace simtest {
namespace {

std::string BatchesText(const std::vector<CSimBatch>& aBatches)
{
    std::string str;  // "1H0:500,1200,300|": recipe, header or not, first dose, values
    for (const CSimBatch& b : aBatches)
        str += std::to_string(b.nRecipe) + (b.bHeader ? "H" : "-") + std::to_string(b.nFirstDose) + ":" +
               b.ValuesText() + "|";
    return str;
}

class SimBatches : public CSimTest {
protected:
    // A new indicator with the demo tuning, polled from now on: a batch follows one indicator's replies.
    CSimIndicator& Fresh()
    {
        CSimIndicator& ind = m_line.AddIndicator(++m_nAddress);
        ind.ApplyDemoTuning();
        return ind;
    }
    // One HL conversation: "RD:WWWWW", the state code and the weight field as sent.
    std::string Poll()
    {
        const std::string strReply = m_pPeer->Ask(Hl(m_nAddress), 33);
        EXPECT_EQ(strReply.substr(0, 7), Hl(m_nAddress) + "CD");
        return strReply.size() == 33 ? strReply.substr(8, 2) + ":" + strReply.substr(22, 5) : "?";
    }
    std::string Polls(size_t n)
    {
        std::string str;
        for (size_t i = 0; i < n; ++i)
            str += (i ? "," : "") + Poll();
        return str;
    }
    int m_nAddress = 5;
};

TEST_F(SimBatches, ScriptsAndTheirBatches)
{
    const struct {
        const char* pszWhy;
        char cPad;
        std::vector<CSimStep> aSteps;
        std::string strShown;
        std::string strBatches;
    } aRows[] = {
        {"steps in order, the last repeats", '0', {{2, 0, 11}, {2, 1, 22}, {2, 2, 33}, {2, 3, 44}, {2, 0, 55}},
         "20:00011,21:00022,22:00033,23:00044,20:00055,20:00055", "2H0:22,33,44,55|"},
        {"a step holds for its replies", '0', {{1, 0, 0, 2}, {1, 1, 100, 3}, {1, 2, 200, 1}},
         "10:00000,10:00000,11:00100,11:00100,11:00100,12:00200", ""},
        {"skipped doses give zeros; a recipe change drops the header", '0',
         {{1, 1, 10}, {1, 3, 30}, {1, 0, 40}, {2, 1, 5}, {2, 2, 6}, {1, 1, 7}, {1, 2, 8}, {1, 0, 9}},
         "11:00010,13:00030,10:00040,21:00005,22:00006,11:00007,12:00008,10:00009", "1H1:30,0,40|1-1:8,9|"},
        {"a recipe without configured doses is not followed", '0',
         {{1, 0, 1}, {7, 1, 2}, {1, 1, 3}, {7, 0, 4}, {1, 0, 5}}, "10:00001,71:00002,11:00003,70:00004,10:00005",
         "1H0:3,5|"},
        {"weights clamped, padded with zeros, or sent raw", '0',
         {{4, 1, -12}, {4, 1, 123456}, {4, 1, -123456}, {4, 2, 0, 1, " 1 2 "}}, "41:-0012,41:99999,41:-9999,42: 1 2 ",
         ""},
        {"weights padded with blanks", ' ', {{4, 1, 812}, {4, 1, 0}, {4, 1, -12}}, "41:  812,41:    0,41:  -12", ""},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        CSimIndicator& ind = Fresh();
        ind.SetWeightPad(row.cPad);
        ind.SetScript(row.aSteps);
        EXPECT_EQ(Polls(std::count(row.strShown.begin(), row.strShown.end(), ',') + 1u), row.strShown);
        EXPECT_EQ(BatchesText(ind.Batches()), row.strBatches);
        EXPECT_EQ(ind.ScriptStepsLeft(), 0);
    }
    m_ind.SetState(2, 3, 1500);
    m_nAddress = 5;
    EXPECT_EQ(Polls(2), "23:01500,23:01500");
    EXPECT_TRUE(m_ind.Batches().empty()) << "a manual state records nothing";
}

TEST_F(SimBatches, AutoBatchesMatchWhatTheRepliesShow)
{
    CSimAutoPlan plan;
    plan.anRecipes = {1, 2, 3};
    plan.nDosePolls = 3;
    plan.nIdlePolls = 2;
    plan.dScatterPct = 3.0;
    plan.nSeed = 77;
    ASSERT_TRUE(m_ind.StartAuto(plan));
    plan.anRecipes = {7, 12, -1};
    EXPECT_FALSE(m_ind.StartAuto(plan)) << "a plan without configured doses is refused and changes nothing";
    plan.anRecipes = {1, 2, 3};
    std::map<int, std::vector<int>> finals{{1, {0, 500, 1200, 300}}, {2, {800, 250, 1500, 400, 90}},
                                           {3, {0, 2000, 350, 0, 0, 60}}};
    std::vector<std::string> astrShown;
    std::set<int> setCaptured;  // weights shown by the first reply of each new state
    for (int i = 0; i < 110; ++i) {
        astrShown.push_back(Poll());
        if (i > 0 && astrShown[i].substr(0, 2) != astrShown[i - 1].substr(0, 2))
            setCaptured.insert(std::stoi(astrShown[i].substr(3)));
        // Within a state, after its first reply, the weight rises up to what the next state's first reply shows.
        if (i > 1 && astrShown[i - 1].substr(0, 2) == astrShown[i - 2].substr(0, 2)) {
            EXPECT_LE(std::stoi(astrShown[i - 1].substr(3)), std::stoi(astrShown[i].substr(3))) << "reply " << i;
        }
    }
    // Idle replies at dose 0, each configured dose for its replies, one reply at dose 0 that ends the batch.
    std::string strCodes;
    for (size_t i = 0; i < 39; ++i)
        strCodes += astrShown[i].substr(0, 2) + " ";
    EXPECT_EQ(strCodes, "10 10 11 11 11 12 12 12 13 13 13 10 20 20 21 21 21 22 22 22 23 23 23 24 24 24 20 "
                        "30 30 31 31 31 32 32 32 35 35 35 30 ");
    const auto aBatches = m_ind.Batches();
    ASSERT_GE(aBatches.size(), 6u);
    for (size_t i = 0; i < aBatches.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(aBatches[i].nRecipe, plan.anRecipes[i % 3]) << "recipes cycle in plan order";
        EXPECT_TRUE(aBatches[i].bHeader) << "a recipe change must not cost the next batch its header";
        // Each value was shown on the line and scatters around its dose's final value (within 6 deviations).
        const auto& anFinals = finals[aBatches[i].nRecipe];
        ASSERT_EQ(aBatches[i].anValues.size(), anFinals.size());
        for (size_t d = 0; d < anFinals.size(); ++d) {
            const int nValue = aBatches[i].anValues[d];
            EXPECT_NEAR(nValue, anFinals[d], anFinals[d] * 0.18) << "dose " << d;
            EXPECT_TRUE(nValue == 0 ? anFinals[d] == 0 : setCaptured.count(nValue) == 1) << "dose " << d;
        }
    }

    // The weights depend on the seed only.
    auto run = [&](uint32_t nSeed) {
        plan.nSeed = nSeed;
        CSimIndicator& ind = Fresh();
        EXPECT_TRUE(ind.StartAuto(plan));
        Polls(40);
        return BatchesText(ind.Batches());
    };
    const std::string strA = run(5);
    EXPECT_GE(std::count(strA.begin(), strA.end(), '|'), 2) << strA;
    EXPECT_EQ(run(5), strA);
    EXPECT_NE(run(6), strA);
}

}  // namespace
}  // namespace simtest
