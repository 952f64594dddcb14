// Simulator over a real pseudo-terminal: exact reply bytes, frames found by structure, addressing, each fault,
// the COMn link and the line's lifecycle.
#include "sim_test_peer.h"

#include <sys/stat.h>

#include "temp_dir.h"

namespace simtest {
namespace {

const std::string kHl05 = std::string("\x05HL\r\nCD023 12345 0000 01234 00 \r\n");
const std::string kIdle = "CD011 00000 0000 00000 00 \r\n";  // an indicator at state 11 without tuning
const std::string kHt05_23 = std::string("\x05HT\x17\r\n") + "123450067890123456708\r\n";

class SimFrames : public CSimTest {
protected:
    void SetUp() override
    {
        CSimTest::SetUp();
        m_ind.SetState(2, 3, 1234);
        for (int nAddress : {0x11, 0x13, 0x0A, 0x0D, 0x48, 0, 40})  // like XON, XOFF, LF, CR, 'H': ordinary bytes
            m_line.AddIndicator(nAddress).SetState(1, 1, 0);
        const int anRow23[] = {12345, 678, 9012, 345, 67, 8};
        const int anRow40[] = {123456, 0, 0, 5000, 0, -7};  // clamped to the digit widths
        for (int k = 0; k < CSimIndicator::kValues; ++k) {
            m_ind.SetTune(23, k, anRow23[k]);
            m_ind.SetTune(10, k, 10 + k);
            m_ind.SetTune(13, k, 13 + k);
            m_ind.SetTune(40, k, anRow40[k]);
        }
    }
};

// Exact replies, alone on the line, from the addressed indicator only; frames found by structure whatever
// surrounds them or splits them.
TEST_F(SimFrames, FramesAndReplies)
{
    const struct {
        const char* pszWhy;
        std::vector<std::string> astrChunks;  // written apart, each but the last followed by a quiet wait
        int nPauseMs;
        std::string strReply;
        int nRequests;
        std::string strGarbage;  // bytes logged as garbage
    } aRows[] = {
        {"HL", {Hl(5)}, 0, kHl05, 1, ""},
        {"HT", {Ht(5, 23)}, 0, kHt05_23, 1, ""},
        {"HT record LF, framed by position", {Ht(5, 0x0A)}, 0, "\x05HT\n\r\n000100001100120131415\r\n", 1, ""},
        {"HT record CR", {Ht(5, 0x0D)}, 0, "\x05HT\r\r\n000130001400150161718\r\n", 1, ""},
        {"values clamped to their widths", {Ht(5, 40)}, 0, "\x05HT(\r\n999990000000009990000\r\n", 1, ""},
        {"HT record above 99", {Ht(5, 200)}, 0, "\x05HT\xC8\r\n" + std::string(21, '0') + "\r\n", 1, ""},
        {"two frames in one write", {Ht(5, 23) + Hl(5)}, 0, kHt05_23 + kHl05, 2, ""},
        {"no indicator at 6", {Hl(6)}, 0, "", 1, ""},
        {"no indicator at 16", {Hl(16)}, 0, "", 1, ""},
        {"no indicator at 41", {Hl(41)}, 0, "", 1, ""},
        {"XON as address", {Hl(0x11)}, 0, Hl(0x11) + kIdle, 1, ""},
        {"XOFF as address", {Hl(0x13)}, 0, Hl(0x13) + kIdle, 1, ""},
        {"LF as address", {Hl(0x0A)}, 0, Hl(0x0A) + kIdle, 1, ""},
        {"CR as address", {Hl(0x0D)}, 0, Hl(0x0D) + kIdle, 1, ""},
        {"H as address", {Hl(0x48)}, 0, Hl(0x48) + kIdle, 1, ""},
        {"0 as address", {Hl(0)}, 0, Hl(0) + kIdle, 1, ""},
        {"40 as address", {Ht(40, 40)}, 0, Ht(40, 40) + std::string(21, '0') + "\r\n", 1, ""},
        {"split over three writes", {"\x05H", "L\r", "\n"}, 20, kHl05, 1, ""},
        {"garbage ahead", {"xyz\r\n\x05H\x05HL\r\n"}, 0, kHl05, 1, "xyz\r\n\x05H"},
        {"HT prefix", {"\x03HT\x05HL\r\n"}, 0, kHl05, 1, "\x03HT"},
        {"HT prefix with CR", {"\x03HT\x07\r\x05HL\r\n"}, 0, kHl05, 1, "\x03HT\x07\r"},
        {"HL prefix", {"\x05HL\r\x05HL\r\n"}, 0, kHl05, 1, "\x05HL\r"},
        {"HH", {"HH\x05HL\r\n"}, 0, kHl05, 1, "HH"},
        {"HT with CR CR", {"\x05HT\r\r\x05HL\r\n"}, 0, kHl05, 1, "\x05HT\r\r"},
        {"unfinished frame goes stale after half a second", {"\x05HL\r", "\n"}, 800, "", 0, "\x05HL\r"},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        m_line.ClearLog();
        for (size_t i = 0; i + 1 < row.astrChunks.size(); ++i) {
            ASSERT_TRUE(m_pPeer->Send(row.astrChunks[i]));
            EXPECT_EQ(m_pPeer->ReadUntilQuiet(row.nPauseMs), "") << "answered before the frame was complete";
        }
        EXPECT_EQ(Exchange(row.astrChunks.back()), row.strReply);
        EXPECT_EQ(m_line.CountRequests(), row.nRequests);
        std::string strGarbage;
        for (const auto& e : m_line.Log())
            if (e.eDir == CSimLogEntry::kIn && e.cKind == 0)
                strGarbage += e.strBytes;
        EXPECT_EQ(strGarbage, row.strGarbage);
    }
    EXPECT_EQ(m_ind.PeekHlReply(), kHl05);
}

TEST_F(SimFrames, EachReplyFaultDoesWhatItSays)
{
    const std::string kGarbage = "garbage";
    const struct {
        const char* pszWhy;
        ESimFault eFault;
        int nCount;
        char cKind;
        std::vector<std::pair<std::string, std::string>> aExchanges;  // frame, what comes back
    } aRows[] = {
        {"no answer twice", ESimFault::kNoAnswer, 2, 0, {{Hl(5), ""}, {Ht(5, 23), ""}, {Hl(5), kHl05}}},
        {"no answer until cleared", ESimFault::kNoAnswer, -1, 0, {{Hl(5), ""}, {Hl(5), ""}, {Ht(5, 23), ""}}},
        {"garbage once", ESimFault::kGarbage, 1, 0, {{Hl(5), kGarbage}, {Hl(5), kHl05}}},
        {"truncated", ESimFault::kTruncated, 2, 0, {{Hl(5), kHl05.substr(0, 20)}, {Ht(5, 23), kHt05_23.substr(0, 20)}}},
        {"corrupted", ESimFault::kCorrupted, 2, 0,
         {{Hl(5), std::string(kHl05).replace(6, 1, "E")}, {Ht(5, 23), std::string(kHt05_23).replace(15, 1, " ")}}},
        {"HT only", ESimFault::kNoAnswer, 1, 'T', {{Hl(5), kHl05}, {Ht(5, 23), ""}, {Ht(5, 23), kHt05_23}}},
    };
    int nRequests = 0;
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        m_ind.SetFault(row.eFault, row.nCount, row.cKind);
        for (const auto& [strFrame, strExpected] : row.aExchanges) {
            const std::string strGot = Exchange(strFrame);
            const bool bGarbage = strGot.size() == 24 && strGot.find_first_of("H\r\n") == std::string::npos;
            EXPECT_EQ(bGarbage ? kGarbage : strGot, strExpected) << "garbage: 24 bytes, no frame, no reply";
        }
        m_ind.ClearFault();
        EXPECT_EQ(Exchange(Hl(5)), kHl05);
        nRequests += static_cast<int>(row.aExchanges.size()) + 1;
    }
    EXPECT_EQ(m_line.CountRequests(5), nRequests) << "silent requests are still seen and counted";

    // Faulted replies do not advance a script.
    m_ind.SetScript({{1, 1, 10}, {1, 2, 20}, {1, 0, 30}});
    m_ind.SetFault(ESimFault::kNoAnswer, 1);
    EXPECT_EQ(Exchange(Hl(5)), "");
    m_ind.SetFault(ESimFault::kCorrupted, 1);
    EXPECT_EQ(Exchange(Hl(5)).substr(5, 5), "CE011");
    EXPECT_EQ(Exchange(Hl(5)).substr(5, 5), "CD011");
    EXPECT_EQ(Exchange(Hl(5)).substr(5, 5), "CD012");
}

TEST_F(SimFrames, LateAndDelayedReplies)
{
    m_ind.SetLateMs(250);
    m_ind.SetFault(ESimFault::kLate, 1, 'T');
    ASSERT_TRUE(m_pPeer->Send(Ht(5, 23)));
    EXPECT_EQ(m_pPeer->Read(29, 200, 200), "") << "nothing within the first 200 ms";
    SleepMs(300);
    EXPECT_EQ(Exchange(Hl(5)), kHt05_23 + kHl05) << "the late reply lands ahead of the next one";

    m_line.SetReplyDelayMs(150);  // every reply
    const double dAsked = NowMs();
    EXPECT_EQ(m_pPeer->Ask(Hl(5), 33), kHl05);
    EXPECT_EQ(m_pPeer->Ask(Ht(5, 23), 29), kHt05_23);
    EXPECT_GE(NowMs() - dAsked, 290.0);
}

TEST_F(SimFrames, StreamingLineNeverFallsQuietUntilSwitchedOff)
{
    m_line.SetStreaming(true);
    ASSERT_TRUE(m_pPeer->Send(Hl(5)));
    // No quiet gap of 150 ms within a whole second (the product's drain waits 11 ms).
    const double dStart = NowMs();
    const std::string str = m_pPeer->ReadUntilQuiet(150, 1000);
    EXPECT_GE(NowMs() - dStart, 990.0);
    EXPECT_GE(str.size(), 1000u);
    const size_t nReply = str.find(kHl05);
    EXPECT_NE(nReply, std::string::npos) << "indicators still answer";
    for (size_t i = 0; i < str.size(); ++i)
        ASSERT_TRUE(static_cast<unsigned char>(str[i]) >= 0x80 || (i >= nReply && i < nReply + 33))
            << "streamed bytes stay clear of 'H', CR and LF";
    m_line.SetStreaming(false);
    m_pPeer->ReadUntilQuiet(100);
    EXPECT_EQ(m_pPeer->ReadUntilQuiet(100, 300), "");

    m_line.SetStreaming(true, 2000);
    const size_t nPaced = m_pPeer->ReadUntilQuiet(150, 1000).size();
    m_line.SetStreaming(false);
    EXPECT_GE(nPaced, 1200u);  // 2000 bytes/s for a second, with room for a busy machine
    EXPECT_LE(nPaced, 2600u);
}

TEST_F(SimFrames, HangUpTakesTheLineAway)
{
    m_line.HangUp();
    pollfd pfd{m_pPeer->m_fd, POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, 1000), 1);
    EXPECT_NE(pfd.revents & (POLLHUP | POLLERR), 0);
    EXPECT_EQ(m_pPeer->Ask(Hl(5), 33), "");
    m_line.HangUp();  // a second hang-up does nothing
}

TEST(SimLine, LinkAndLifecycle)
{
    tkdtest::CTempDir dir;
    const std::string strLink = dir.File("COM3");
    ASSERT_EQ(::symlink("/dev/pts/999999", strLink.c_str()), 0);
    CSimLine line;
    line.AddIndicator(1);
    ASSERT_TRUE(line.Start());
    ASSERT_TRUE(line.LinkAs(dir.Path(), 3)) << "a stale link is replaced";
    for (int i = 0; i < 2; ++i) {  // the program closes and reopens its port
        CPeer peer(strLink);
        EXPECT_EQ(peer.Ask(Hl(1), 33).size(), 33u);
    }
    line.Stop();
    line.Stop();
    struct stat st{};
    EXPECT_NE(::lstat(strLink.c_str(), &st), 0) << "Stop removes the link";
    ASSERT_TRUE(line.Start());
    EXPECT_EQ(line.CountRequests(), 0) << "a new start counts afresh";
    CPeer peer(line.SlavePath());
    EXPECT_EQ(peer.Ask(Hl(1), 33).size(), 33u);
}

}  // namespace
}  // namespace simtest
