// The serial channel against the indicator simulator: three indicators answer the program's HL and HT
// conversations over one pseudo-terminal, and the simulator's log shows what crossed the line.
#include "link_test_util.h"
#include "sim_line.h"

namespace tkdtest {
namespace {

const int g_anAddresses[] = {5, 10, 17};  // 10 is LF and 17 XON on the line: ordinary address bytes

// COM5 is taken over from the scripted peer by the simulator's line.
class CSimConversation : public CPtyTest {
protected:
    void SetUp() override
    {
        CPtyTest::SetUp();
        for (int nAddress : g_anAddresses) {
            CSimIndicator& ind = m_line.AddIndicator(nAddress);
            ind.ApplyDemoTuning();
            ind.SetState(nAddress % 10, 1, 1000 + nAddress);
        }
        ASSERT_TRUE(m_line.Start());
        ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 5));
    }

    CSimLine m_line;
};

// A search over addresses 0..20 finds exactly the three, which then answer HL and HT byte for byte.
TEST_F(CSimConversation, ThreeIndicatorsAnswerHlAndHt)
{
    // The short profile with a longer read bound: the simulator's thread, slowed down by the sanitizers on a
    // busy machine, then has 20 + 202 ms to answer, while answered conversations still end on the gap.
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 3;
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    std::vector<int> anFound;
    std::vector<std::string> astrExpected;
    for (int nAddress = 0; nAddress <= 20; ++nAddress) {
        SCOPED_TRACE("address " + std::to_string(nAddress));
        astrExpected.push_back(std::string{static_cast<char>(nAddress), 'H', 'L', '\r', '\n'});
        const CSimIndicator* pInd = m_line.Find(nAddress);
        const std::string strHl = pInd ? pInd->PeekHlReply() : "";
        EXPECT_EQ(port.Exchange(REQ_HL, nAddress, 0, m_reply.m_aby, &m_reply.m_nLen), pInd != nullptr);
        EXPECT_EQ(Bytes(m_reply.m_aby, m_reply.m_nLen), strHl);
        if (!pInd)
            continue;
        anFound.push_back(nAddress);
        for (int nParam : {0, 10, 13, 21, 99}) {  // records 10 and 13 travel as LF and CR inside the frame
            SCOPED_TRACE("record " + std::to_string(nParam));
            ASSERT_TRUE(port.Exchange(REQ_HT, nAddress, nParam, m_reply.m_aby, &m_reply.m_nLen));
            EXPECT_EQ(Bytes(m_reply.m_aby, m_reply.m_nLen), pInd->HtReply(nParam));
            astrExpected.push_back(
                std::string{static_cast<char>(nAddress), 'H', 'T', static_cast<char>(nParam), '\r', '\n'});
        }
    }
    EXPECT_EQ(anFound, (std::vector<int>{5, 10, 17}));
    std::vector<std::string> astrFrames;
    for (const CSimLogEntry& entry : m_line.Log())
        if (entry.eDir == CSimLogEntry::kIn && entry.cKind != 0)
            astrFrames.push_back(entry.strBytes);
    EXPECT_EQ(astrFrames, astrExpected) << "the simulator saw each frame byte for byte";
}

// A line that never falls quiet, with a drain bounded by bytes: the conversation ends on that bound.
TEST_F(CSimConversation, StreamingLineIsDrainedWithinItsByteLimit)
{
    CLineTiming timing = CLineTiming::Short();
    timing.nDrainLimitMs = 20000;
    timing.nDrainLimitBytes = 4096;
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    m_line.SetStreaming(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the line is busy before the request
    const double dMs = ElapsedMs([&] { EXPECT_FALSE(port.Exchange(REQ_HL, 5, 0, m_reply.m_aby, &m_reply.m_nLen)); });
    m_line.SetStreaming(false);
    EXPECT_EQ(m_reply.m_nLen, 0);
    EXPECT_LT(dMs, 10000.0);
}

}  // namespace
}  // namespace tkdtest
