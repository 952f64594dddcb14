// Simulator faults over a real pseudo-terminal: silence, garbage, truncated, corrupted and late replies,
// a reply delay, a line that never falls quiet, a hang-up, the COMn link.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_line.h"
#include "sim_test_peer.h"
#include "temp_dir.h"

using simtest::CPeer;
using simtest::Hl;
using simtest::Ht;

namespace {

class SimFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pInd = &m_line.AddIndicator(5);
        m_pInd->ConfigureDoses(1, 1, {700});
        m_pInd->SetState(1, 1, 650);
        ASSERT_TRUE(m_line.Start());
        m_pPeer = std::make_unique<CPeer>(m_line.SlavePath());
        ASSERT_TRUE(m_pPeer->IsOpen());
        m_strHl = m_pInd->PeekHlReply();
        m_strHt = m_pInd->HtReply(11);
        ASSERT_EQ(m_strHl.size(), 33u);
        ASSERT_EQ(m_strHt.size(), 29u);
    }
    // Sends a frame and collects what comes until 80 ms of quiet.
    std::string Exchange(const std::string& strFrame)
    {
        EXPECT_TRUE(m_pPeer->Send(strFrame));
        return m_pPeer->ReadUntilQuiet(80);
    }
    bool LogHas(const std::string& strText) const
    {
        for (const auto& e : m_line.Log())
            if (e.strNote.find(strText) != std::string::npos)
                return true;
        return false;
    }

    CSimLine m_line;
    CSimIndicator* m_pInd = nullptr;
    std::unique_ptr<CPeer> m_pPeer;
    std::string m_strHl;
    std::string m_strHt;
};

}  // namespace

// ---- reply faults ----

TEST_F(SimFaults, NoAnswerForTheGivenNumberOfRequestsThenAnswersAgain)
{
    m_pInd->SetFault(ESimFault::kNoAnswer, 2);
    EXPECT_EQ(Exchange(Hl(5)), "");
    EXPECT_EQ(Exchange(Ht(5, 11)), "");
    EXPECT_EQ(Exchange(Hl(5)), m_strHl);
    EXPECT_TRUE(LogHas("no answer 05 (fault)"));
    EXPECT_EQ(m_line.CountRequests(5), 3) << "silent requests are still seen and counted";
}

TEST_F(SimFaults, PersistentFaultLastsUntilCleared)
{
    m_pInd->SetFault(ESimFault::kNoAnswer);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Exchange(Hl(5)), "");
    m_pInd->ClearFault();
    EXPECT_EQ(Exchange(Hl(5)), m_strHl);
}

TEST_F(SimFaults, GarbageIsNeitherFrameNorReply)
{
    m_pInd->SetFault(ESimFault::kGarbage, 1);
    const std::string str = Exchange(Hl(5));
    ASSERT_EQ(str.size(), 24u);
    EXPECT_EQ(str.find_first_of("H\r\n"), std::string::npos);
    EXPECT_EQ(Exchange(Hl(5)), m_strHl);
}

TEST_F(SimFaults, TruncatedReplyIsTheFirstTwentyBytes)
{
    m_pInd->SetFault(ESimFault::kTruncated, 2);
    EXPECT_EQ(Exchange(Hl(5)), m_strHl.substr(0, 20));
    EXPECT_EQ(Exchange(Ht(5, 11)), m_strHt.substr(0, 20));
}

TEST_F(SimFaults, CorruptedReplyDiffersInExactlyTheNamedByte)
{
    m_pInd->SetFault(ESimFault::kCorrupted, 2);
    std::string strExpected = m_strHl;
    strExpected[6] = 'E';
    EXPECT_EQ(Exchange(Hl(5)), strExpected);
    strExpected = m_strHt;
    strExpected[15] = ' ';
    EXPECT_EQ(Exchange(Ht(5, 11)), strExpected);
}

TEST_F(SimFaults, FaultLimitedToOneKindLeavesTheOtherAlone)
{
    m_pInd->SetFault(ESimFault::kNoAnswer, 1, 'T');
    EXPECT_EQ(Exchange(Hl(5)), m_strHl);
    EXPECT_EQ(Exchange(Ht(5, 11)), "");
    EXPECT_EQ(Exchange(Ht(5, 11)), m_strHt) << "the count covers HT requests only";
}

TEST_F(SimFaults, FaultedRepliesDoNotAdvanceTheScript)
{
    m_pInd->SetScript({{1, 1, 10}, {1, 2, 20}, {1, 0, 30}});
    m_pInd->SetFault(ESimFault::kNoAnswer, 1);
    EXPECT_EQ(Exchange(Hl(5)), "");
    m_pInd->SetFault(ESimFault::kCorrupted, 1);
    const std::string strCorrupt = Exchange(Hl(5));
    ASSERT_EQ(strCorrupt.size(), 33u);
    EXPECT_EQ(strCorrupt.substr(8, 2), "11");
    EXPECT_EQ(Exchange(Hl(5)).substr(8, 2), "11");
    EXPECT_EQ(Exchange(Hl(5)).substr(8, 2), "12");
}

TEST_F(SimFaults, LateReplyArrivesAfterItsDelay)
{
    m_pInd->SetLateMs(250);
    m_pInd->SetFault(ESimFault::kLate, 1);
    const double dStart = simtest::NowMs();
    ASSERT_TRUE(m_pPeer->Send(Hl(5)));
    EXPECT_EQ(m_pPeer->ReadN(33, 150), "") << "nothing within the first 150 ms";
    EXPECT_EQ(m_pPeer->ReadN(33, 2000), m_strHl);
    const double dElapsed = simtest::NowMs() - dStart;
    EXPECT_GE(dElapsed, 240.0);
    EXPECT_LT(dElapsed, 1500.0);
    EXPECT_TRUE(LogHas("late reply HL 05"));
}

TEST_F(SimFaults, LateReplySurfacesAheadOfTheNextReply)
{
    // What the product sees: the late reply lands in the read of its next conversation, ahead of it.
    m_pInd->SetLateMs(100);
    m_pInd->SetFault(ESimFault::kLate, 1);
    ASSERT_TRUE(m_pPeer->Send(Ht(5, 11)));
    EXPECT_EQ(m_pPeer->ReadN(29, 50), "");
    simtest::SleepMs(120);
    EXPECT_EQ(Exchange(Hl(5)), m_strHt + m_strHl);
}

TEST_F(SimFaults, ReplyDelayAppliesToEveryReply)
{
    m_line.SetReplyDelayMs(150);
    for (int i = 0; i < 2; ++i) {
        const double dStart = simtest::NowMs();
        ASSERT_TRUE(m_pPeer->Send(Hl(5)));
        EXPECT_EQ(m_pPeer->ReadN(33, 2000), m_strHl);
        const double dElapsed = simtest::NowMs() - dStart;
        EXPECT_GE(dElapsed, 145.0);
        EXPECT_LT(dElapsed, 1500.0);
    }
    m_line.SetReplyDelayMs(0);
    const double dStart = simtest::NowMs();
    EXPECT_EQ(m_pPeer->Ask(Hl(5), 33), m_strHl);
    EXPECT_LT(simtest::NowMs() - dStart, 100.0);
}

// ---- line-wide faults ----

TEST_F(SimFaults, StreamingLineNeverFallsQuietUntilSwitchedOff)
{
    m_line.SetStreaming(true);
    // A quiet gap never comes within a whole second (150 ms allows for a busy machine; the product's
    // drain waits 11 ms).
    const double dStart = simtest::NowMs();
    const std::string str = m_pPeer->ReadUntilQuiet(150, 1000);
    EXPECT_GE(simtest::NowMs() - dStart, 990.0);
    EXPECT_GE(str.size(), 1000u);
    for (unsigned char c : str)
        ASSERT_GE(c, 0x80) << "streamed bytes stay clear of 'H', CR and LF";
    m_line.SetStreaming(false);
    m_pPeer->ReadUntilQuiet(100, 2000);
    EXPECT_EQ(m_pPeer->ReadUntilQuiet(100, 300), "");
    EXPECT_TRUE(LogHas("stream on"));
    EXPECT_TRUE(LogHas("stream off after"));
}

TEST_F(SimFaults, PacedStreamKeepsItsRate)
{
    m_line.SetStreaming(true, 2000);
    const std::string str = m_pPeer->ReadUntilQuiet(150, 1000);
    m_line.SetStreaming(false);
    // 2000 bytes/s for a second; generous bounds for a busy machine, far from the unpaced stream.
    EXPECT_GE(str.size(), 1200u);
    EXPECT_LE(str.size(), 2600u);
    EXPECT_TRUE(LogHas("stream on, 2000 bytes/s"));
}

TEST_F(SimFaults, IndicatorsStillAnswerWhileTheLineStreams)
{
    m_line.SetStreaming(true);
    ASSERT_TRUE(m_pPeer->Send(Hl(5)));
    ASSERT_TRUE(m_line.WaitForRequests(1, 2000));
    const std::string str = m_pPeer->ReadUntilQuiet(40, 400);
    m_line.SetStreaming(false);
    EXPECT_NE(str.find(m_strHl), std::string::npos);
}

TEST_F(SimFaults, HangUpTakesTheLineAway)
{
    m_line.HangUp();
    pollfd pfd{m_pPeer->Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 1000), 1);
    EXPECT_NE(pfd.revents & (POLLHUP | POLLERR), 0);
    char c = 0;
    errno = 0;
    const ssize_t n = read(m_pPeer->Fd(), &c, 1);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << "n=" << n << " errno=" << errno;
    EXPECT_TRUE(LogHas("hang-up"));
    m_line.HangUp();  // a second hang-up does nothing
    m_line.Stop();
}

TEST_F(SimFaults, LineSurvivesTheProgramClosingAndReopeningThePort)
{
    EXPECT_EQ(m_pPeer->Ask(Hl(5), 33), m_strHl);
    m_pPeer->Close();
    simtest::SleepMs(50);
    CPeer again(m_line.SlavePath());
    ASSERT_TRUE(again.IsOpen());
    EXPECT_EQ(again.Ask(Hl(5), 33), m_strHl);
}

// ---- lifecycle and the COMn link ----

TEST(SimLink, LinkReplacesAStaleOneAndStopRemovesIt)
{
    tkdtest::CTempDir dir;
    const std::string strLink = dir.File("COM3");
    ASSERT_EQ(symlink("/dev/pts/999999", strLink.c_str()), 0);
    CSimLine line;
    line.AddIndicator(1);
    EXPECT_FALSE(line.LinkAs(dir.Path(), 3)) << "no pty before Start";
    ASSERT_TRUE(line.Start());
    ASSERT_TRUE(line.LinkAs(dir.Path(), 3));
    EXPECT_EQ(line.LinkPath(), strLink);
    char sz[256] = {};
    ASSERT_GT(readlink(strLink.c_str(), sz, sizeof sz - 1), 0);
    EXPECT_EQ(std::string(sz), line.SlavePath());
    {
        CPeer peer(strLink);
        ASSERT_TRUE(peer.IsOpen());
        EXPECT_EQ(peer.Ask(Hl(1), 33).size(), 33u);
    }
    line.Stop();
    struct stat st{};
    EXPECT_NE(lstat(strLink.c_str(), &st), 0) << "link removed";
    EXPECT_FALSE(line.IsRunning());
}

TEST(SimLink, StopLeavesALinkThatAnotherLineHasTaken)
{
    tkdtest::CTempDir dir;
    CSimLine first;
    CSimLine second;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(first.LinkAs(dir.Path(), 1));
    ASSERT_TRUE(second.LinkAs(dir.Path(), 1));
    first.Stop();
    char sz[256] = {};
    ASSERT_GT(readlink(dir.File("COM1").c_str(), sz, sizeof sz - 1), 0);
    EXPECT_EQ(std::string(sz), second.SlavePath());
    second.Stop();
    EXPECT_FALSE(tkdtest::FileExists(dir.File("COM1")));
}

TEST(SimLink, LinkRefusesADirectoryAndBadNumbers)
{
    tkdtest::CTempDir dir;
    ASSERT_EQ(mkdir(dir.File("COM2").c_str(), 0700), 0);
    CSimLine line;
    ASSERT_TRUE(line.Start());
    EXPECT_FALSE(line.LinkAs(dir.Path(), 2));
    EXPECT_FALSE(line.LinkAs(dir.Path(), 0));
    EXPECT_TRUE(line.LinkAs(dir.Path(), 16));
}

TEST(SimLifecycle, StartTwiceStopTwiceAndRestart)
{
    CSimLine line;
    line.AddIndicator(2).SetState(1, 0, 1);
    EXPECT_EQ(line.SlavePath(), "");
    ASSERT_TRUE(line.Start());
    const std::string strFirst = line.SlavePath();
    EXPECT_TRUE(line.Start());
    EXPECT_EQ(line.SlavePath(), strFirst);
    {
        CPeer peer(line.SlavePath());
        EXPECT_EQ(peer.Ask(Hl(2), 33).size(), 33u);
    }
    EXPECT_EQ(line.CountRequests(), 1);
    line.Stop();
    line.Stop();
    ASSERT_TRUE(line.Start());
    EXPECT_EQ(line.CountRequests(), 0) << "a new start counts afresh";
    EXPECT_TRUE(line.Log().empty());
    CPeer peer(line.SlavePath());
    EXPECT_EQ(peer.Ask(Hl(2), 33).size(), 33u);
    EXPECT_EQ(line.CountRequests(2, 'L'), 1);
}

TEST(SimLifecycle, ReconfiguringFromAnotherThreadWhileAnswering)
{
    // Settings change on another thread while replies go out: every reply still comes whole.
    CSimLine line;
    CSimIndicator& ind = line.AddIndicator(4);
    ind.ApplyDemoTuning();
    ASSERT_TRUE(line.Start());
    CPeer peer(line.SlavePath());
    std::atomic<bool> bDone{false};
    std::thread changer([&] {
        int i = 0;
        while (!bDone) {
            ind.SetState(1, i % 4, i);
            ind.SetTune(11, 0, i % 1000);
            line.SetReplyDelayMs(0);
            (void)line.Log();
            ++i;
        }
    });
    int nReplies = 0;
    for (int i = 0; i < 50; ++i)
        nReplies += peer.Ask(i % 2 ? Hl(4) : Ht(4, 11), i % 2 ? 33 : 29).size() >= 29;
    bDone = true;
    changer.join();
    EXPECT_EQ(nReplies, 50);
}
