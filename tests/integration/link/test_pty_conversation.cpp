// Conversations with an indicator at the far end of a pseudo-terminal: frames byte for byte; accepted, refused,
// missing, late and endless replies; the short and the real times.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "link_test_util.h"

namespace tkdtest {
namespace {

using CConversation = CPtyTest;

// Each row's conversation, then one answered well: frames byte for byte, the reply handed over whole or refused
// and drained, so that the next conversation sees its own reply only.
TEST_F(CConversation, FramesAndReplies)
{
    const std::string strHl5 = HlReply(5);
    const struct {
        const char* pszWhy;
        int nKind;
        int nAddress;
        int nParam;
        std::string strFrame;
        std::string strReply;
        bool bAccepted;
    } aRows[] = {
        {"HL", REQ_HL, 5, 0, std::string("\x05HL\r\n", 5), strHl5, true},
        {"HT", REQ_HT, 5, 23, std::string("\x05HT\x17\r\n", 6), HtReply(5, 23), true},
        {"HL carries no parameter", REQ_HL, 99, 7, "\x63HL\r\n", HlReply(99), true},
        {"LF and CR sent as they are", REQ_HT, 10, 13, "\x0AHT\x0D\r\n", HtReply(10, 13), true},
        {"CR and LF the other way round", REQ_HT, 13, 10, "\x0DHT\x0A\r\n", HtReply(13, 10), true},
        {"XON and XOFF are ordinary bytes", REQ_HT, 17, 19, "\x11HT\x13\r\n", HtReply(17, 19), true},
        {"address and record 0", REQ_HT, 0, 0, std::string("\x00HT\x00\r\n", 6), HtReply(0, 0), true},
        {"low 8 bits; another address answers", REQ_HT, 300, 263, "\x2CHT\x07\r\n", HtReply(6, 23), true},
        {"HL reply to HT: the shape decides", REQ_HT, -1, 23, "\xFFHT\x17\r\n", strHl5, true},
        {"HL reply with 7 further bytes", REQ_HL, 5, 0, "\x05HL\r\n", strHl5 + "1234567", true},
        {"CE for CD", REQ_HL, 5, 0, "\x05HL\r\n", std::string(strHl5).replace(6, 1, "E"), false},
        {"HL of 32 bytes", REQ_HL, 5, 0, "\x05HL\r\n", strHl5.substr(0, 32), false},
        {"HT with a blank at 15", REQ_HT, 5, 23, "\x05HT\x17\r\n", HtReply(5, 23).replace(15, 1, " "), false},
        {"garbage", REQ_HL, 5, 0, "\x05HL\r\n", "\x01\x02garbage\r\n\x11\x13 no reply here", false},
        {"150 bytes of garbage: read 64, drain the rest", REQ_HL, 5, 0, "\x05HL\r\n", std::string(150, 'g'), false},
    };
    std::mutex mutex;
    std::string strNext;
    m_peer.Start([&](const std::string&) {
        std::lock_guard<std::mutex> lock(mutex);
        return CPeerAnswer{strNext};
    });
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    std::string strFrames;
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        for (int nTry = 0; nTry < 2; ++nTry) {
            const std::string strReply = nTry == 0 ? row.strReply : HlReply(5, "NEXT00000000000000000000");
            {
                std::lock_guard<std::mutex> lock(mutex);
                strNext = strReply;
            }
            const bool bAccepted =
                nTry == 0 ? Exchange(port, row.nKind, row.nAddress, row.nParam) : Exchange(port, REQ_HL, 5);
            EXPECT_EQ(bAccepted, nTry == 1 || row.bAccepted);
            EXPECT_EQ(Bytes(m_reply.m_aby, m_reply.m_nLen), bAccepted ? strReply : "");
            EXPECT_EQ(m_reply.m_aby[0], static_cast<uint8_t>(bAccepted ? strReply[0] : 0));
            for (int i = std::max(m_reply.m_nLen, 1); i < CComPort::kMaxBlock; ++i)
                ASSERT_EQ(m_reply.m_aby[i], 0xEE) << "caller's byte " << i << " beyond the reply was changed";
        }
        strFrames += row.strFrame + "\x05HL\r\n";
    }
    EXPECT_EQ(m_peer.Received(), strFrames) << "nothing before, between or after the frames";
}

// A reply that comes after the conversation gave up waits in the driver and is what the next read finds.
TEST_F(CConversation, LateReplySurfacesInTheNextConversation)
{
    std::atomic<int> nFrame{0};
    m_peer.Start([&](const std::string&) {
        return ++nFrame == 1 ? CPeerAnswer{HlReply(5, "LATE00000000000000000000"), 400} : CPeerAnswer{};
    });
    CComPort port(CLineTiming::Short());  // a conversation without answer ends after about 100 ms
    ASSERT_TRUE(port.Open(PortParams()));
    EXPECT_FALSE(Exchange(port, REQ_HL, 5));
    ASSERT_TRUE(m_peer.WaitFrames(1, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ASSERT_TRUE(Exchange(port, REQ_HL, 5)) << "no answer of its own, yet the stale reply is returned";
    EXPECT_EQ(Bytes(m_reply.m_aby, m_reply.m_nLen), HlReply(5, "LATE00000000000000000000"));
}

TEST_F(CConversation, NeverQuietLineEndsTheConversationWithinTheDrainLimit)
{
    m_peer.Start([&](const std::string&) { return CPeerAnswer{"~~~", 0, true}; });
    CLineTiming timing = CLineTiming::Short();  // drain limit 300 ms
    timing.nDrainReadMs = 60;  // a busy machine may hold the noise thread back for a few ms
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    const double dMs = ElapsedMs([&] { EXPECT_FALSE(Exchange(port, REQ_HL, 5)); });
    m_peer.StopNoise();
    EXPECT_EQ(m_reply.m_nLen, 0);
    EXPECT_GE(dMs, timing.nReplyPauseMs + timing.nDrainLimitMs - 5.0);
    EXPECT_LT(dMs, timing.nReplyPauseMs + 74.0 + timing.nDrainLimitMs + 1500.0);
}

// The product's own times: 120 ms pause, 74 ms read bound, 40 ms gap, 11 ms quiet drain read.
TEST_F(CConversation, AnsweredAndUnansweredWithTheRealTimes)
{
    std::atomic<bool> bAnswer{true};
    m_peer.Start([&](const std::string&) { return bAnswer ? CPeerAnswer{HlReply(5)} : CPeerAnswer{}; });
    CComPort port;  // CLineTiming{}: the product's values
    ASSERT_TRUE(port.Open(PortParams()));
    const double dAnsweredMs = ElapsedMs([&] { EXPECT_TRUE(Exchange(port, REQ_HL, 5)); });
    EXPECT_EQ(m_reply.m_nLen, 33);
    EXPECT_GE(dAnsweredMs, 120.0 + 40.0);
    EXPECT_LT(dAnsweredMs, 120.0 + 74.0 + 500.0);

    bAnswer = false;
    const double dSilentMs = ElapsedMs([&] { EXPECT_FALSE(Exchange(port, REQ_HL, 42)); });
    EXPECT_EQ(m_reply.m_nLen, 0);
    EXPECT_EQ(m_reply.m_aby[0], 0);
    EXPECT_EQ(m_reply.m_aby[1], 0xEE) << "a failure clears only the first byte";
    EXPECT_GE(dSilentMs, 120.0 + 74.0 + 11.0) << "pause, the empty read's whole bound, one quiet drain read";
    EXPECT_LT(dSilentMs, 205.0 + 500.0);
}

}  // namespace
}  // namespace tkdtest
