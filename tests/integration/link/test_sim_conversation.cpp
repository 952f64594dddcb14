// The serial channel against the indicator simulator: three indicators answer the program's HL and HT
// conversations over one pseudo-terminal, and the simulator's frame log shows what crossed the line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "com_port.h"
#include "sim_line.h"
#include "temp_dir.h"

namespace {

const int g_anAddresses[] = {5, 10, 17};  // 10 is LF and 17 XON on the line: ordinary address bytes

std::string Bytes(const uint8_t* p, int n) { return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)); }

CPortParams Com5()
{
    CPortParams params;
    std::strcpy(params.m_szPortName, "COM5");
    params.m_nComNumber = 5;
    params.m_nBaud = 9600;
    params.m_byDataBits = 8;
    return params;
}

// The short profile with a longer read bound: the simulator's thread, slowed down by the sanitizers on
// a busy machine, then has 20 + 202 ms to answer, while answered conversations still end on the gap.
CLineTiming SimTiming()
{
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 3;
    return timing;
}

class CSimConversation : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int nAddress : g_anAddresses) {
            CSimIndicator& ind = m_line.AddIndicator(nAddress);
            ind.ApplyDemoTuning();
            ind.SetState(nAddress % 10, 1, 1000 + nAddress);
        }
        ASSERT_TRUE(m_line.Start());
        ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 5));
        ASSERT_TRUE(m_port.Open(Com5()));
    }

    // The requests the simulator recognised, in order, as raw bytes.
    std::vector<std::string> FramesIn() const
    {
        std::vector<std::string> astr;
        for (const CSimLogEntry& entry : m_line.Log())
            if (entry.eDir == CSimLogEntry::kIn && entry.cKind != 0)
                astr.push_back(entry.strBytes);
        return astr;
    }

    tkdtest::CTempDir m_dir;
    tkdtest::CScopedChdir m_chdir{m_dir.Path()};
    CSimLine m_line;
    CComPort m_port{SimTiming()};
};

TEST_F(CSimConversation, ThreeIndicatorsAnswerHlAndHt)
{
    std::vector<std::string> astrExpectedFrames;
    for (int nAddress : g_anAddresses) {
        SCOPED_TRACE("address " + std::to_string(nAddress));
        const CSimIndicator& ind = *m_line.Find(nAddress);
        uint8_t abyReply[CComPort::kMaxBlock];
        int nLen = -1;

        const std::string strHl = ind.PeekHlReply();
        ASSERT_TRUE(m_port.Exchange(REQ_HL, nAddress, 0, abyReply, &nLen));
        EXPECT_EQ(Bytes(abyReply, nLen), strHl);
        EXPECT_EQ(nLen, 33);
        astrExpectedFrames.push_back(std::string{static_cast<char>(nAddress), 'H', 'L', '\r', '\n'});

        // Records 10 and 13 travel as LF and CR inside the frame.
        for (int nParam : {0, 10, 13, 21, 99}) {
            SCOPED_TRACE("record " + std::to_string(nParam));
            ASSERT_TRUE(m_port.Exchange(REQ_HT, nAddress, nParam, abyReply, &nLen));
            EXPECT_EQ(Bytes(abyReply, nLen), ind.HtReply(nParam));
            EXPECT_EQ(nLen, 29);
            astrExpectedFrames.push_back(
                std::string{static_cast<char>(nAddress), 'H', 'T', static_cast<char>(nParam), '\r', '\n'});
        }
    }
    EXPECT_EQ(FramesIn(), astrExpectedFrames) << "the simulator saw each frame byte for byte";
    EXPECT_TRUE(m_line.WaitForRequests(1 + 5, 2000, 17));
    EXPECT_EQ(m_line.CountRequests(5, 'L'), 1);
    EXPECT_EQ(m_line.CountRequests(17, 'T'), 5);
}

// A search over addresses 0..20 finds exactly the three indicators; the silent addresses fail cleanly.
TEST_F(CSimConversation, SearchFindsExactlyTheThree)
{
    std::vector<int> anFound;
    for (int nAddress = 0; nAddress <= 20; ++nAddress) {
        uint8_t abyReply[CComPort::kMaxBlock];
        int nLen = -1;
        if (m_port.Exchange(REQ_HL, nAddress, 0, abyReply, &nLen)) {
            EXPECT_EQ(abyReply[0], nAddress);
            anFound.push_back(nAddress);
        } else {
            EXPECT_EQ(nLen, 0);
            EXPECT_EQ(abyReply[0], 0);
        }
    }
    EXPECT_EQ(anFound, (std::vector<int>{5, 10, 17}));
    EXPECT_TRUE(m_line.WaitForRequests(21, 2000, -1, 'L'));
    EXPECT_EQ(m_line.CountRequests(-1, 'L'), 21);
}

TEST_F(CSimConversation, FaultsFailTheConversationAndTheNextOneIsClean)
{
    struct CRow {
        const char* pszWhy;
        ESimFault eFault;
    };
    const CRow aRows[] = {
        {"no answer", ESimFault::kNoAnswer},
        {"garbage", ESimFault::kGarbage},
        {"truncated reply", ESimFault::kTruncated},
        {"corrupted reply", ESimFault::kCorrupted},
    };
    CSimIndicator& ind = *m_line.Find(10);
    for (const CRow& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        for (int nKind : {REQ_HL, REQ_HT}) {
            ind.SetFault(row.eFault, 1);
            uint8_t abyReply[CComPort::kMaxBlock];
            std::memset(abyReply, 0xEE, sizeof abyReply);
            int nLen = -1;
            EXPECT_FALSE(m_port.Exchange(nKind, 10, 23, abyReply, &nLen));
            EXPECT_EQ(nLen, 0);
            EXPECT_EQ(abyReply[0], 0);
            EXPECT_EQ(abyReply[1], 0xEE);
            ASSERT_TRUE(m_port.Exchange(nKind, 10, 23, abyReply, &nLen)) << "the fault was for one request";
            EXPECT_EQ(Bytes(abyReply, nLen), nKind == REQ_HL ? ind.PeekHlReply() : ind.HtReply(23));
        }
    }
}

TEST_F(CSimConversation, StreamingLineIsDrainedWithinItsLimit)
{
    m_line.SetStreaming(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the line is busy before the request
    uint8_t abyReply[CComPort::kMaxBlock];
    int nLen = -1;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_port.Exchange(REQ_HL, 5, 0, abyReply, &nLen));
    const double dMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    m_line.SetStreaming(false);
    EXPECT_LT(dMs, 20 + 202 + 300 + 1500.0);
}

TEST_F(CSimConversation, HungUpLineFailsWithoutHanging)
{
    m_line.HangUp();
    uint8_t abyReply[CComPort::kMaxBlock];
    int nLen = -1;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_port.Exchange(REQ_HL, 5, 0, abyReply, &nLen));
    EXPECT_FALSE(m_port.Exchange(REQ_HT, 5, 1, abyReply, &nLen));
    const double dMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(nLen, 0);
    EXPECT_LT(dMs, 1000.0);
}

}  // namespace
