// Conversations with an indicator at the far end of a pseudo-terminal: frames byte for byte; accepted,
// refused, late and endless replies; the short and the real times.
#include <atomic>
#include <string>
#include <thread>

#include "link_fixture.h"
#include "sim_line.h"

namespace tkdtest {
namespace {

using CConversation = CLinkTest;

// Each row's conversation, then one answered well: frames byte for byte, the reply handed over whole or
// refused and drained, so that the next conversation sees its own reply only. Replies wait in the driver
// before the request goes out, as a reply that came within the pause does.
TEST_F(CConversation, FramesAndReplies)
{
    const std::string strHl5 = HlReply(5);
    const struct {
        const char* pszWhy;
        int nKind, nAddress, nParam;
        std::string strFrame, strReply;
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
        {"no reply", REQ_HL, 5, 0, "\x05HL\r\n", "", false},
        {"CE for CD", REQ_HL, 5, 0, "\x05HL\r\n", std::string(strHl5).replace(6, 1, "E"), false},
        {"HL of 32 bytes", REQ_HL, 5, 0, "\x05HL\r\n", strHl5.substr(0, 32), false},
        {"HT with a blank at 15", REQ_HT, 5, 23, "\x05HT\x17\r\n", HtReply(5, 23).replace(15, 1, " "), false},
        {"150 bytes of garbage: read 64, drain the rest", REQ_HL, 5, 0, "\x05HL\r\n", std::string(150, 'g'), false},
    };
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(Com5()));
    const std::string strNext = HlReply(5, "NEXT00000000000000000000");
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        for (int nTry = 0; nTry < 2; ++nTry) {
            const std::string& strReply = nTry == 0 ? row.strReply : strNext;
            ASSERT_TRUE(m_pty.WriteMaster(strReply));
            const bool bAccepted = nTry == 0 ? Exchange(port, row.nKind, row.nAddress, row.nParam)
                                             : Exchange(port, REQ_HL, 5);
            EXPECT_EQ(bAccepted, nTry == 1 || row.bAccepted);
            EXPECT_EQ(Reply(), bAccepted ? strReply : "");
            EXPECT_EQ(m_abyReply[0], static_cast<uint8_t>(bAccepted ? strReply[0] : 0));
            for (int i = std::max(m_nLen, 1); i < CComPort::kMaxBlock; ++i)
                ASSERT_EQ(m_abyReply[i], 0xEE) << "caller's byte " << i << " beyond the reply was changed";
            const std::string strFrame = nTry == 0 ? row.strFrame : "\x05HL\r\n";
            EXPECT_EQ(m_pty.ReadMaster(500, strFrame.size()), strFrame);
        }
    }
    EXPECT_EQ(m_pty.ReadMaster(50), "") << "nothing after the frames";
}

// The simulator takes COM5 over: replies that come late, a line that never falls quiet, the real times.
class CSimConversation : public CLinkTest {
protected:
    void SetUp() override
    {
        m_line.AddIndicator(5).SetState(2, 1, 1234);
        ASSERT_TRUE(m_line.Start());
        ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 5));
    }
    CSimLine m_line;
};

// A reply that comes after its conversation gave up waits in the driver: the next read finds it, whoever
// was asked (the address and entry checks above the link refuse it there).
TEST_F(CSimConversation, LateReplySurfacesInTheNextConversation)
{
    CComPort port(CLineTiming::Short());  // a conversation without answer ends after about 100 ms
    ASSERT_TRUE(port.Open(Com5()));
    CSimIndicator& ind = *m_line.Find(5);
    ind.SetLateMs(300);
    ind.SetFault(ESimFault::kLate, 1);
    const std::string strLate = ind.PeekHlReply();
    EXPECT_FALSE(Exchange(port, REQ_HL, 5));
    ASSERT_TRUE(m_line.WaitForRequests(1, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(Exchange(port, REQ_HL, 6)) << "nobody at 6, yet the stale reply is returned";
    EXPECT_EQ(Reply(), strLate);
}

// A line that never falls quiet ends the conversation on the drain's time bound or on its byte bound,
// whichever comes first.
TEST_F(CSimConversation, NeverQuietLineEndsTheConversationWithinTheDrainBounds)
{
    const struct {
        int nRate;  // bytes a second; 0: the reader always finds about 1 kB waiting
        int nLimitMs, nLimitBytes;
        double dMinMs, dMaxMs;
    } aRows[] = {{2000, 300, 1 << 30, 300, 1800}, {0, 20000, 4096, 0, 2500}};
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.nRate);
        CLineTiming timing = CLineTiming::Short();
        timing.nDrainReadMs = 60;  // a busy machine may hold the streaming thread back for a few ms
        timing.nDrainLimitMs = row.nLimitMs;
        timing.nDrainLimitBytes = row.nLimitBytes;
        CComPort port(timing);
        ASSERT_TRUE(port.Open(Com5()));
        m_line.SetStreaming(true, row.nRate);
        std::atomic<bool> bDone{false};
        std::thread watchdog([&] {  // without a bound the drain would last as long as the stream
            for (int i = 0; i < 400 && !bDone; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            m_line.SetStreaming(false);
        });
        const double dMs = ElapsedMs([&] { EXPECT_FALSE(Exchange(port, REQ_HL, 6)); });
        bDone = true;
        watchdog.join();
        EXPECT_GE(dMs, timing.nReplyPauseMs + row.dMinMs);
        EXPECT_LT(dMs, timing.nReplyPauseMs + row.dMaxMs);
    }
}

// The product's own times: 120 ms pause, 74 ms read bound, 40 ms gap, 11 ms quiet drain read.
TEST_F(CSimConversation, AnsweredAndUnansweredWithTheRealTimes)
{
    CComPort port;  // CLineTiming{}: the product's values
    ASSERT_TRUE(port.Open(Com5()));
    const double dAnsweredMs = ElapsedMs([&] { EXPECT_TRUE(Exchange(port, REQ_HL, 5)); });
    EXPECT_EQ(m_nLen, 33);
    EXPECT_GE(dAnsweredMs, 120.0 + 40.0);
    EXPECT_LT(dAnsweredMs, 120.0 + 74.0 + 500.0);

    const double dSilentMs = ElapsedMs([&] { EXPECT_FALSE(Exchange(port, REQ_HL, 42)); });
    EXPECT_EQ(m_nLen, 0);
    EXPECT_GE(dSilentMs, 120.0 + 74.0 + 11.0) << "pause, the empty read's whole bound, one quiet drain read";
    EXPECT_LT(dSilentMs, 205.0 + 500.0);
}

}  // namespace
}  // namespace tkdtest
