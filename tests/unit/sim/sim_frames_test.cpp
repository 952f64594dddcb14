// Simulator over a real pseudo-terminal: frames found by structure, exact reply bytes, addressing, log.
#include <gtest/gtest.h>

#include <termios.h>

#include "sim_line.h"
#include "sim_test_peer.h"

using simtest::CPeer;
using simtest::Hl;
using simtest::Ht;

namespace {

class SimFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        CSimIndicator& ind = m_line.AddIndicator(5);
        ind.SetState(2, 3, 1234);
        for (int k = 0; k < CSimIndicator::kValues; ++k) {
            static const int kRow23[] = {12345, 678, 9012, 345, 67, 8};
            ind.SetTune(23, k, kRow23[k]);
            ind.SetTune(10, k, 10 + k);
            ind.SetTune(13, k, 13 + k);
        }
        ASSERT_TRUE(m_line.Start());
        m_pPeer = std::make_unique<CPeer>(m_line.SlavePath());
        ASSERT_TRUE(m_pPeer->IsOpen());
    }

    CSimLine m_line;
    std::unique_ptr<CPeer> m_pPeer;
};

const std::string kHl05 = std::string("\x05HL\r\nCD023 12345 0000 01234 00 \r\n");

}  // namespace

// ---- exact reply bytes ----

TEST_F(SimFrames, HlReplyIsTheThirtyThreeBytesOfTheShape)
{
    const std::string strReply = m_pPeer->Ask(Hl(5), 33);
    ASSERT_EQ(strReply.size(), 33u);
    EXPECT_EQ(strReply, kHl05);
    EXPECT_EQ(strReply[8], '2');                   // recipe digit
    EXPECT_EQ(strReply[9], '3');                   // dose digit
    EXPECT_EQ(strReply.substr(22, 5), "01234");    // weight
    EXPECT_EQ(m_line.Find(5)->PeekHlReply(), kHl05);
    EXPECT_EQ(m_pPeer->ReadUntilQuiet(50), "") << "nothing after the reply";
}

TEST_F(SimFrames, HtReplyCarriesTheEntrysDigitsInTheirWidths)
{
    const std::string strReply = m_pPeer->Ask(Ht(5, 23), 29);
    EXPECT_EQ(strReply, std::string("\x05HT\x17\r\n") + "123450067890123456708" + "\r\n");
    EXPECT_EQ(strReply.size(), 29u);
    EXPECT_EQ(m_pPeer->ReadUntilQuiet(50), "") << "nothing after the reply";
}

TEST_F(SimFrames, HtParametersTenAndThirteenAreFramedByPositionNotByLineEnd)
{
    // 0x0A and 0x0D as parameter: a CR LF search would cut these frames short.
    std::string strReply = m_pPeer->Ask(Ht(5, 0x0A), 29);
    EXPECT_EQ(strReply, std::string("\x05HT\n\r\n") + "000100001100120131415\r\n");
    strReply = m_pPeer->Ask(Ht(5, 0x0D), 29);
    EXPECT_EQ(strReply, std::string("\x05HT\r\r\n") + "000130001400150161718\r\n");
    EXPECT_EQ(m_line.CountRequests(5, 'T'), 2);
    EXPECT_EQ(m_line.CountRequests(5, 'L'), 0);
}

TEST_F(SimFrames, HtParameterAboveNinetyNineGetsZeros)
{
    const std::string strReply = m_pPeer->Ask(Ht(5, 200), 29);
    EXPECT_EQ(strReply, std::string("\x05HT\xC8\r\n") + std::string(21, '0') + "\r\n");
}

TEST_F(SimFrames, TuningValuesAreClampedToTheirWidths)
{
    CSimIndicator& ind = *m_line.Find(5);
    ind.SetTune(40, 0, 123456);
    ind.SetTune(40, 3, 5000);
    ind.SetTune(40, 5, -7);
    EXPECT_EQ(ind.Tune(40, 0), 99999);
    EXPECT_EQ(ind.Tune(40, 3), 999);
    EXPECT_EQ(ind.Tune(40, 5), 0);
    EXPECT_EQ(ind.TuneDigits(40), "999990000000009990000");
}

// ---- recognition by structure ----

TEST_F(SimFrames, FrameSplitOverSeveralWritesIsAnsweredOnce)
{
    ASSERT_TRUE(m_pPeer->Send("\x05H"));
    simtest::SleepMs(15);
    ASSERT_TRUE(m_pPeer->Send("L\r"));
    simtest::SleepMs(15);
    EXPECT_EQ(m_pPeer->ReadUntilQuiet(30), "") << "answered before the frame was complete";
    ASSERT_TRUE(m_pPeer->Send("\n"));
    EXPECT_EQ(m_pPeer->ReadUntilQuiet(150), kHl05);
}

TEST_F(SimFrames, GarbageBeforeAFrameIsSkippedAndLogged)
{
    ASSERT_TRUE(m_pPeer->Send(std::string("xyz\r\n\x05H") + "\x05HL\r\n"));
    EXPECT_EQ(m_pPeer->ReadUntilQuiet(150), kHl05);
    EXPECT_EQ(m_line.CountRequests(), 1);
    std::string strGarbage;
    for (const auto& e : m_line.Log())
        if (e.eDir == CSimLogEntry::kIn && e.cKind == 0)
            strGarbage += e.strBytes;
    EXPECT_EQ(strGarbage, "xyz\r\n\x05H");
}

TEST_F(SimFrames, PrefixOfOneFrameFollowedByAnotherResynchronises)
{
    // Each begins like a frame and is broken by the next frame's bytes.
    const std::string aPrefixes[] = {"\x03HT", "\x03HT\x07\r", "\x05HL\r", "HH", std::string("\x05HT\r\r")};
    for (const auto& strPrefix : aPrefixes) {
        SCOPED_TRACE(testing::PrintToString(strPrefix));
        ASSERT_TRUE(m_pPeer->Send(strPrefix + Hl(5)));
        EXPECT_EQ(m_pPeer->ReadUntilQuiet(100), kHl05);
    }
}

TEST_F(SimFrames, TwoFramesInOneWriteGetTwoRepliesInOrder)
{
    ASSERT_TRUE(m_pPeer->Send(Ht(5, 23) + Hl(5)));
    const std::string strReplies = m_pPeer->ReadUntilQuiet(150);
    EXPECT_EQ(strReplies, std::string("\x05HT\x17\r\n") + "123450067890123456708\r\n" + kHl05);
}

TEST_F(SimFrames, UnfinishedFrameGoesStaleAndIsNotCompletedLater)
{
    ASSERT_TRUE(m_pPeer->Send("\x05HL\r"));
    simtest::SleepMs(800);  // beyond the half second an unfinished frame is kept
    ASSERT_TRUE(m_pPeer->Send("\n"));
    EXPECT_EQ(m_pPeer->ReadUntilQuiet(150), "");
    EXPECT_EQ(m_line.CountRequests(), 0);
    EXPECT_EQ(m_pPeer->Ask(Hl(5), 33), kHl05);
}

TEST_F(SimFrames, LineIsRawSoNoByteIsTranslatedOrSwallowed)
{
    termios tio{};
    ASSERT_EQ(tcgetattr(m_pPeer->Fd(), &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

// ---- addressing ----

TEST(SimAddressing, OnlyTheAddressedIndicatorAnswers)
{
    CSimLine line;
    for (int nAddress : {3, 17, 40})
        line.AddIndicator(nAddress).SetState(1, 0, nAddress);
    ASSERT_TRUE(line.Start());
    CPeer peer(line.SlavePath());
    ASSERT_TRUE(peer.IsOpen());
    for (int nAddress : {0, 4, 16, 18, 39, 41, 99}) {
        ASSERT_TRUE(peer.Send(Hl(nAddress)));
        EXPECT_EQ(peer.ReadUntilQuiet(60), "") << "address " << nAddress;
    }
    for (int nAddress : {17, 3, 40}) {
        const std::string strReply = peer.Ask(Hl(nAddress), 33);
        ASSERT_EQ(strReply.size(), 33u);
        EXPECT_EQ(static_cast<unsigned char>(strReply[0]), nAddress);
        EXPECT_EQ(std::atoi(strReply.substr(22, 5).c_str()), nAddress);
    }
    EXPECT_EQ(line.CountRequests(), 10);
    EXPECT_EQ(line.CountRequests(17), 1);
    int nUnanswered = 0;
    for (const auto& e : line.Log())
        nUnanswered += e.strNote.find("no indicator") != std::string::npos;
    EXPECT_EQ(nUnanswered, 7);
}

TEST(SimAddressing, AddressesThatLookLikeControlBytesAreAnswered)
{
    // XON, XOFF, LF, CR and 'H' as the address byte.
    CSimLine line;
    const int anAddresses[] = {0x11, 0x13, 0x0A, 0x0D, 0x48, 0};
    for (int nAddress : anAddresses)
        line.AddIndicator(nAddress).SetState(1, 1, nAddress);
    ASSERT_TRUE(line.Start());
    CPeer peer(line.SlavePath());
    for (int nAddress : anAddresses) {
        SCOPED_TRACE(nAddress);
        std::string strReply = peer.Ask(Hl(nAddress), 33);
        ASSERT_EQ(strReply.size(), 33u);
        EXPECT_EQ(static_cast<unsigned char>(strReply[0]), nAddress);
        EXPECT_EQ(strReply.substr(1, 6), "HL\r\nCD");
        strReply = peer.Ask(Ht(nAddress, nAddress), 29);
        ASSERT_EQ(strReply.size(), 29u);
        EXPECT_EQ(static_cast<unsigned char>(strReply[3]), nAddress);
    }
}

TEST(SimAddressing, IndicatorAddedWhileRunningAnswersAndSameAddressGivesSameIndicator)
{
    CSimLine line;
    ASSERT_TRUE(line.Start());
    CPeer peer(line.SlavePath());
    ASSERT_TRUE(peer.Send(Hl(9)));
    EXPECT_EQ(peer.ReadUntilQuiet(60), "");
    CSimIndicator& ind = line.AddIndicator(9);
    EXPECT_EQ(&line.AddIndicator(9), &ind);
    EXPECT_EQ(line.Find(8), nullptr);
    EXPECT_EQ(peer.Ask(Hl(9), 33).size(), 33u);
}

// ---- log and counters ----

TEST(SimLog, EntriesCarryBytesNotesAndRisingTimes)
{
    CSimLine line;
    line.AddIndicator(7).SetState(3, 2, 56);
    ASSERT_TRUE(line.Start());
    CPeer peer(line.SlavePath());
    ASSERT_EQ(peer.Ask(Hl(7), 33).size(), 33u);
    simtest::SleepMs(20);
    ASSERT_EQ(peer.Ask(Ht(7, 32), 29).size(), 29u);
    const auto log = line.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].eDir, CSimLogEntry::kIn);
    EXPECT_EQ(log[0].strBytes, Hl(7));
    EXPECT_EQ(log[0].strNote, "HL 07");
    EXPECT_EQ(log[1].eDir, CSimLogEntry::kOut);
    EXPECT_EQ(log[1].strBytes.size(), 33u);
    EXPECT_NE(log[1].strNote.find("state 32"), std::string::npos);
    EXPECT_EQ(log[2].strNote, "HT 07 32");
    EXPECT_EQ(log[2].cKind, 'T');
    EXPECT_EQ(log[3].strBytes.size(), 29u);
    for (size_t i = 1; i < log.size(); ++i)
        EXPECT_LE(log[i - 1].dMs, log[i].dMs);
    EXPECT_GE(log[2].dMs - log[1].dMs, 15.0);  // the 20 ms pause between the conversations
    EXPECT_LT(log[1].dMs - log[0].dMs, 50.0);   // an answer at once, even on a busy machine
    const std::string strLine = CSimLine::FormatLogEntry(log[0]);
    EXPECT_NE(strLine.find("HL 07"), std::string::npos);
    EXPECT_NE(strLine.find("07 48 4C 0D 0A"), std::string::npos);

    line.ClearLog();
    EXPECT_TRUE(line.Log().empty());
    EXPECT_EQ(line.CountRequests(), 0);
}

TEST(SimLog, WaitForRequestsSeesRequestsOfAnotherThreadAndTimesOut)
{
    CSimLine line;
    ASSERT_TRUE(line.Start());
    CPeer peer(line.SlavePath());
    EXPECT_FALSE(line.WaitForRequests(1, 50));
    ASSERT_TRUE(peer.Send(Hl(1) + Ht(2, 5) + Ht(2, 6)));
    EXPECT_TRUE(line.WaitForRequests(3, 2000));
    EXPECT_TRUE(line.WaitForRequests(2, 10, 2, 'T'));
    EXPECT_FALSE(line.WaitForRequests(2, 10, 1, 0));
}

TEST(SimLog, SinkReceivesEveryEntryInOrder)
{
    CSimLine line;
    std::mutex mutex;
    std::vector<std::string> aNotes;
    line.SetLogSink([&](const CSimLogEntry& e) {
        std::lock_guard lock(mutex);
        aNotes.push_back(e.strNote);
    });
    line.AddIndicator(1);
    ASSERT_TRUE(line.Start());
    CPeer peer(line.SlavePath());
    ASSERT_EQ(peer.Ask(Hl(1), 33).size(), 33u);
    ASSERT_TRUE(peer.Send(Hl(2)));
    ASSERT_TRUE(line.WaitForRequests(2, 2000));
    line.Stop();  // hands over what is left
    std::lock_guard lock(mutex);
    ASSERT_EQ(aNotes.size(), 4u);
    EXPECT_EQ(aNotes[0], "HL 01");
    EXPECT_EQ(aNotes[2], "HL 02");
    EXPECT_EQ(aNotes[3], "no answer 02: no indicator");
}
