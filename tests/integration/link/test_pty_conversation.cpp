// Conversations with an indicator at the far end of a pseudo-terminal: frames on the line byte for byte,
// answered, refused, missing, late, extra and endless replies, with the short and the real times.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "link_test_util.h"

namespace tkdtest {
namespace {

using CConversation = CPtyTest;

std::string Bytes(const uint8_t* p, int n) { return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)); }

// The caller's buffer, pre-filled so that writes beyond the reply's length show.
struct CReplyBuf {
    CReplyBuf() { std::memset(m_aby, 0xEE, sizeof m_aby); }
    uint8_t m_aby[CComPort::kMaxBlock];
    int m_nLen = -1;
};

TEST_F(CConversation, FramesOnTheLineByteForByte)
{
    struct CRow {
        int nKind;
        int nAddress;
        int nParam;
        std::string strFrame;
    };
    const CRow aRows[] = {
        {REQ_HL, 5, 0, std::string("\x05HL\r\n", 5)},
        {REQ_HT, 5, 23, std::string("\x05HT\x17\r\n", 6)},
        {REQ_HL, 0, 0, std::string("\x00HL\r\n", 5)},
        {REQ_HL, 99, 7, std::string("\x63HL\r\n", 5)},  // HL carries no parameter
        {REQ_HT, 10, 13, std::string("\x0AHT\x0D\r\n", 6)},  // LF and CR sent as they are
        {REQ_HT, 13, 10, std::string("\x0DHT\x0A\r\n", 6)},
        {REQ_HT, 17, 19, std::string("\x11HT\x13\r\n", 6)},  // XON and XOFF are ordinary bytes
        {REQ_HT, 3, 0, std::string("\x03HT\x00\r\n", 6)},
        {REQ_HT, 300, 263, std::string("\x2CHT\x07\r\n", 6)},  // low 8 bits
        {REQ_HL, -1, 0, std::string("\xFFHL\r\n", 5)},
    };
    // The peer answers every frame with an HL reply, so each conversation is short and succeeds.
    m_peer.Start([](const std::string& strFrame) { return CPeerAnswer{HlReply(static_cast<uint8_t>(strFrame[0]))}; });
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    std::string strExpected;
    for (const CRow& row : aRows) {
        SCOPED_TRACE("kind " + std::to_string(row.nKind) + " address " + std::to_string(row.nAddress));
        CReplyBuf reply;
        EXPECT_TRUE(port.Exchange(row.nKind, row.nAddress, row.nParam, reply.m_aby, &reply.m_nLen));
        EXPECT_EQ(reply.m_nLen, 33);
        EXPECT_EQ(reply.m_aby[0], static_cast<uint8_t>(row.strFrame[0]));
        strExpected += row.strFrame;
    }
    // The whole byte stream, not just the frames: nothing before, between or after them.
    EXPECT_EQ(m_peer.Received(), strExpected);
    ASSERT_EQ(m_peer.Frames().size(), std::size(aRows));
}

TEST_F(CConversation, RecognisedRepliesReachTheCaller)
{
    struct CRow {
        const char* pszWhy;
        int nKind;
        std::string strReply;
    };
    const std::string strHl40 = HlReply(5) + "1234567";
    const CRow aRows[] = {
        {"HL reply to HL", REQ_HL, HlReply(5)},
        {"HT reply to HT", REQ_HT, HtReply(5, 23)},
        {"HT reply with record CR", REQ_HT, HtReply(5, 0x0D)},
        {"HL reply to HT: the shape decides", REQ_HT, HlReply(5)},
        {"HT reply to HL", REQ_HL, HtReply(5, 1)},
        {"reply from another address", REQ_HL, HlReply(6)},
        {"HL reply with 7 further bytes, handed over whole", REQ_HL, strHl40},
    };
    std::string strNext;
    std::mutex mutex;
    m_peer.Start([&](const std::string&) {
        std::lock_guard<std::mutex> lock(mutex);
        return CPeerAnswer{strNext};
    });
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    for (const CRow& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        {
            std::lock_guard<std::mutex> lock(mutex);
            strNext = row.strReply;
        }
        CReplyBuf reply;
        ASSERT_TRUE(port.Exchange(row.nKind, 5, 23, reply.m_aby, &reply.m_nLen));
        ASSERT_EQ(reply.m_nLen, static_cast<int>(row.strReply.size()));
        EXPECT_EQ(Bytes(reply.m_aby, reply.m_nLen), row.strReply);
        for (int i = reply.m_nLen; i < CComPort::kMaxBlock; ++i)
            ASSERT_EQ(reply.m_aby[i], 0xEE) << "caller's byte " << i << " beyond the reply was changed";
    }
}

TEST_F(CConversation, RefusedRepliesAreDrainedAndLeaveNothingBehind)
{
    std::string strBadHl = HlReply(5);
    strBadHl[6] = 'E';  // "CE" for "CD"
    std::string strBadHt = HtReply(5, 23);
    strBadHt[15] = ' ';
    std::string strWrongKind = HtReply(5, 23);
    strWrongKind[2] = 'D';
    struct CRow {
        const char* pszWhy;
        CPeerAnswer answer;
    };
    const CRow aRows[] = {
        {"CE for CD", {strBadHl}},
        {"HL of 32 bytes", {HlReply(5).substr(0, 32)}},
        {"HT with a blank at 15", {strBadHt}},
        {"HD for HT", {strWrongKind}},
        {"garbage", {"\x01\x02garbage\r\n\x11\x13 no reply here"}},
        // 150 bytes arriving over about 100 ms: the read takes 64, the drain the rest.
        {"a long stream of garbage", {std::string(150, 'g')}},
    };
    std::atomic<int> nRow{0};
    m_peer.Start([&](const std::string&) {
        const int n = nRow.load();
        return n < 0 ? CPeerAnswer{HlReply(5)} : aRows[n].answer;
    });
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    for (int i = 0; i < static_cast<int>(std::size(aRows)); ++i) {
        SCOPED_TRACE(aRows[i].pszWhy);
        nRow = i;
        CReplyBuf reply;
        EXPECT_FALSE(port.Exchange(REQ_HT, 5, 23, reply.m_aby, &reply.m_nLen));
        EXPECT_EQ(reply.m_nLen, 0);
        EXPECT_EQ(reply.m_aby[0], 0);
        EXPECT_EQ(reply.m_aby[1], 0xEE) << "a failure clears only the first byte";

        // The next conversation sees its own reply only.
        nRow = -1;
        CReplyBuf next;
        ASSERT_TRUE(port.Exchange(REQ_HL, 5, 0, next.m_aby, &next.m_nLen));
        EXPECT_EQ(Bytes(next.m_aby, next.m_nLen), HlReply(5));
    }
}

TEST_F(CConversation, NoAnswer)
{
    m_peer.Start([](const std::string&) { return CPeerAnswer{}; });
    const CLineTiming timing = CLineTiming::Short();
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    CReplyBuf reply;
    bool bOk = true;
    const double dMs = ElapsedMs([&] { bOk = port.Exchange(REQ_HL, 42, 0, reply.m_aby, &reply.m_nLen); });
    EXPECT_FALSE(bOk);
    EXPECT_EQ(reply.m_nLen, 0);
    EXPECT_EQ(reply.m_aby[0], 0);
    // Pause, the empty read's whole bound and one quiet drain read.
    const double dLeastMs = timing.nReplyPauseMs + 64.0 * timing.nReadPerByteMs + timing.nReadConstMs;
    EXPECT_GE(dMs, dLeastMs);
    EXPECT_LT(dMs, dLeastMs + timing.nDrainReadMs + 500.0);
}

// A reply that comes after the conversation gave up waits in the driver and is what the next read finds.
TEST_F(CConversation, LateReplySurfacesInTheNextRead)
{
    const CLineTiming timing = CLineTiming::Short();  // a conversation without answer ends after ~100 ms
    std::atomic<int> nFrame{0};
    m_peer.Start([&](const std::string&) {
        return ++nFrame == 1 ? CPeerAnswer{HlReply(5, "LATE00000000000000000000"), 400} : CPeerAnswer{};
    });
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    CReplyBuf first;
    EXPECT_FALSE(port.Exchange(REQ_HL, 5, 0, first.m_aby, &first.m_nLen));
    EXPECT_EQ(first.m_nLen, 0);
    ASSERT_TRUE(m_peer.WaitFrames(1, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // the late reply has come by now

    // The second request gets no answer of its own, yet the conversation returns the stale reply.
    CReplyBuf second;
    ASSERT_TRUE(port.Exchange(REQ_HL, 5, 0, second.m_aby, &second.m_nLen));
    EXPECT_EQ(Bytes(second.m_aby, second.m_nLen), HlReply(5, "LATE00000000000000000000"));
}

TEST_F(CConversation, NeverQuietLineEndsTheConversationWithinTheDrainLimit)
{
    CPeerAnswer noise;
    noise.strReply = "~~~";
    noise.bNeverQuiet = true;
    m_peer.Start([&](const std::string&) { return noise; });
    CLineTiming timing = CLineTiming::Short();  // drain limit 300 ms
    timing.nDrainReadMs = 60;  // a busy machine may hold the noise thread back for a few ms
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    CReplyBuf reply;
    bool bOk = true;
    const double dMs = ElapsedMs([&] { bOk = port.Exchange(REQ_HL, 5, 0, reply.m_aby, &reply.m_nLen); });
    m_peer.StopNoise();
    EXPECT_FALSE(bOk);
    EXPECT_EQ(reply.m_nLen, 0);
    EXPECT_GE(dMs, timing.nReplyPauseMs + timing.nDrainLimitMs - 5.0);
    EXPECT_LT(dMs, timing.nReplyPauseMs + 74.0 + timing.nDrainLimitMs + 1500.0);
}

TEST_F(CConversation, ClosedPortSendsNothing)
{
    m_peer.Start([](const std::string&) { return CPeerAnswer{HlReply(5)}; });
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    ASSERT_TRUE(port.Close());
    CReplyBuf reply;
    EXPECT_FALSE(port.Exchange(REQ_HL, 5, 0, reply.m_aby, &reply.m_nLen));
    EXPECT_EQ(reply.m_nLen, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(m_peer.Received(), "");
}

// The product's own times: 120 ms pause, 74 ms read bound, 40 ms gap, 11 ms quiet drain read.
TEST_F(CConversation, RealTimes)
{
    std::atomic<bool> bAnswer{true};
    m_peer.Start([&](const std::string&) { return bAnswer ? CPeerAnswer{HlReply(5)} : CPeerAnswer{}; });
    CComPort port;  // CLineTiming{}: the product's values
    ASSERT_TRUE(port.Open(PortParams()));

    CReplyBuf reply;
    bool bOk = false;
    const double dAnsweredMs = ElapsedMs([&] { bOk = port.Exchange(REQ_HL, 5, 0, reply.m_aby, &reply.m_nLen); });
    EXPECT_TRUE(bOk);
    EXPECT_EQ(reply.m_nLen, 33);
    EXPECT_GE(dAnsweredMs, 120.0 + 40.0);
    EXPECT_LT(dAnsweredMs, 120.0 + 74.0 + 500.0);

    bAnswer = false;
    const double dSilentMs = ElapsedMs([&] { bOk = port.Exchange(REQ_HL, 5, 0, reply.m_aby, &reply.m_nLen); });
    EXPECT_FALSE(bOk);
    EXPECT_GE(dSilentMs, 120.0 + 74.0 + 11.0);
    EXPECT_LT(dSilentMs, 205.0 + 500.0);
}

}  // namespace
}  // namespace tkdtest
