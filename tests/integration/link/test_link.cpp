// The serial channel and the indicator protocol over a real pseudo-terminal: line settings, exclusive use,
// raw bytes, the read's gap, hang-up, shared handles; frames byte for byte, accepted and refused replies;
// late and endless replies and the real times against the simulator.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "com_port.h"
#include "port_params.h"
#include "pty_peer.h"
#include "sim_line.h"
#include "temp_dir.h"

namespace tkdtest {
namespace {

CPortParams Com5(int32_t nBaud = 9600, uint8_t byData = 8, uint8_t byStop = 0, const char* pszName = "COM5")
{
    CPortParams params = SimPortParams(5);
    std::strcpy(params.m_szPortName, pszName);
    params.m_nBaud = nBaud;
    params.m_byDataBits = byData;
    params.m_byStopBits = byStop;
    return params;
}

double ElapsedMs(const std::function<void()>& fn)
{
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// A second open of COM5 from another process: true when it got the port.
bool OpensInAnotherProcess()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(CComPort(CLineTiming::Short()).Open(Com5()) ? 0 : 1);
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

const uint8_t* U8(const std::string& str) { return reinterpret_cast<const uint8_t*>(str.data()); }
std::string HlReply(int nAddress, const std::string& strPayload24 = "000021000000000000001234")
{
    return std::string(1, static_cast<char>(nAddress)) + "HL\r\nCD" + strPayload24 + "\r\n";
}
std::string HtReply(int nAddress, int nParam)
{
    return std::string{char(nAddress), 'H', 'T', char(nParam), '\r', '\n'} + "012345678901234567890\r\n";
}

class CLink : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_pty.LinkAs(m_dir.Path(), 5)) << "no pseudo-terminal"; }
    // One conversation into a buffer pre-filled with 0xEE, so that writes beyond the reply's length show.
    bool Exchange(CComPort& port, int nKind, int nAddress, int nParam = 23)
    {
        std::memset(m_abyReply, 0xEE, sizeof m_abyReply);
        m_nLen = -1;
        return port.Exchange(nKind, nAddress, nParam, m_abyReply, &m_nLen);
    }
    std::string Reply() const { return std::string(reinterpret_cast<const char*>(m_abyReply), m_nLen > 0 ? m_nLen : 0); }

    CTempDir m_dir;
    CScopedChdir m_chdir{m_dir.Path()};
    CPtyPeer m_pty;
    uint8_t m_abyReply[CComPort::kMaxBlock];
    int m_nLen = -1;
};

TEST_F(CLink, OpenSetsRateAndStopBitsOrRefusesAndCloses)
{
    const struct {
        int32_t nBaud;
        uint8_t byData, byStop;
        speed_t nSpeed;  // B0: the parameters are refused
    } aRows[] = {{9600, 8, 0, B9600}, {110, 7, 0, B110}, {115200, 8, 2, B115200}, {921600, 5, 0, B921600},
                 {1200, 8, 2, B1200}, {0, 8, 0, B0}, {600, 8, 0, B0}, {9600, 0, 0, B0}, {9600, 9, 0, B0},
                 {9600, 8, 1, B0}};
    for (const auto& row : aRows) {
        SCOPED_TRACE(std::to_string(row.nBaud) + " " + std::to_string(row.byData) + " " + std::to_string(row.byStop));
        // The line starts out the other way round: another rate, CSTOPB opposite, flow control on.
        termios tio{};
        ASSERT_EQ(::tcgetattr(m_pty.MasterFd(), &tio), 0);
        ::cfsetspeed(&tio, B300);
        tio.c_cflag = (row.byStop == 2 ? tio.c_cflag & ~CSTOPB : tio.c_cflag | CSTOPB) | CRTSCTS | HUPCL;
        ASSERT_EQ(::tcsetattr(m_pty.MasterFd(), TCSANOW, &tio), 0);

        CComPort port(CLineTiming::Short());
        ASSERT_EQ(port.Open(Com5(row.nBaud, row.byData, row.byStop)), row.nSpeed != B0);
        if (row.nSpeed == B0) {
            EXPECT_FALSE(port.IsOpen());
            EXPECT_FALSE(port.Close()) << "no handle was kept";
            EXPECT_TRUE(OpensInAnotherProcess()) << "the refused open left the device free";
            continue;
        }
        ASSERT_EQ(::tcgetattr(m_pty.MasterFd(), &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), row.nSpeed);
        EXPECT_EQ(::cfgetispeed(&tio), row.nSpeed);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, row.byStop == 2);
        EXPECT_EQ(tio.c_cflag & (CRTSCTS | HUPCL), static_cast<tcflag_t>(CRTSCTS | HUPCL)) << "other flags kept";
        EXPECT_TRUE(port.Close());
    }
    // Empty, not a COM name, no number, COM0, letters, no such device (/dev/ttyS98), a regular file, a dangling link.
    ASSERT_TRUE(WriteBytes("COM3", "not a serial line"));
    ASSERT_EQ(::symlink("/nonexistent/tty", "COM4"), 0);
    for (const char* pszName : {"", "LPT1", "COM", "COM0", "COM1A", "COM99", "COM3", "COM4"}) {
        SCOPED_TRACE(pszName);
        CComPort port(CLineTiming::Short());
        EXPECT_FALSE(port.Open(Com5(9600, 8, 0, pszName)));
        EXPECT_FALSE(port.IsOpen());
    }
}

// No echo, no CR/LF translation, no XON/XOFF (17, 19), no signal (3, 26, 28), end-of-file (4) or erase (127).
TEST_F(CLink, EveryByteValueCrossesUntouched)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(Com5()));
    std::string strAll;
    for (int i = 0; i < 256; ++i)
        strAll += static_cast<char>(i);
    ASSERT_TRUE(m_pty.WriteMaster(strAll));
    std::string strRead;
    uint8_t abyBuf[CComPort::kMaxBlock];
    for (int i = 0, nCount = 0; i < 10 && strRead.size() < 256 && port.Read(abyBuf, &nCount); ++i)
        strRead.append(reinterpret_cast<const char*>(abyBuf), static_cast<size_t>(nCount));
    EXPECT_EQ(strRead, strAll) << "indicator to program";

    EXPECT_FALSE(port.Write(U8(strAll), CComPort::kMaxBlock + 1));
    EXPECT_FALSE(port.Write(U8(strAll), -1));
    for (int nStart = 0; nStart < 256; nStart += 64)
        EXPECT_TRUE(port.Write(U8(strAll) + nStart, 64));
    EXPECT_EQ(m_pty.ReadMaster(1000), strAll) << "program to indicator, nothing echoed; refused writes send nothing";
}

// After the first byte, silence for the read gap ends a read even while its total bound runs on.
TEST_F(CLink, QuietGapEndsARead)
{
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 5;  // total bound 330 ms, far beyond the gaps below
    const struct {
        int nGapMs, nPauseMs, nExpect;
    } aRows[] = {{200, 10, 20}, {20, 150, 10}};  // a second burst within the gap joins the first; after it, waits
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.nGapMs);
        timing.nReadGapMs = row.nGapMs;
        CComPort port(timing);
        ASSERT_TRUE(port.Open(Com5()));
        std::thread writer([&] {
            m_pty.WriteMaster(std::string(10, '1'));
            std::this_thread::sleep_for(std::chrono::milliseconds(row.nPauseMs));
            m_pty.WriteMaster(std::string(10, '2'));
        });
        uint8_t abyBuf[CComPort::kMaxBlock];
        int nCount = -1;
        EXPECT_TRUE(port.Read(abyBuf, &nCount));
        EXPECT_EQ(nCount, row.nExpect);
        writer.join();
    }
}

TEST_F(CLink, HungUpLineFailsAtOnce)
{
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 20;  // bounds far beyond the asserted times: only the hang-up can end them
    timing.nDrainReadMs = 1000;
    CComPort port(timing);
    ASSERT_TRUE(port.Open(Com5()));
    m_pty.HangUp();
    uint8_t abyBuf[CComPort::kMaxBlock] = {};
    int nCount = -1;
    EXPECT_LT(ElapsedMs([&] { EXPECT_FALSE(port.Read(abyBuf, &nCount)); }), 500.0);
    EXPECT_LT(ElapsedMs([&] { port.Drain(); }), 500.0);
    EXPECT_FALSE(port.Write(abyBuf, 5));
}

// The port is held exclusively and opens clean. Copies share its one handle; closing any closes it for all,
// once. A closed or never opened object refuses everything; a failed conversation clears only the first byte
// and the length.
TEST_F(CLink, ExclusiveOpenAndOneSharedHandle)
{
    const std::string strFrame("\x05HL\r\n");
    CComPort port(CLineTiming::Short()), never;
    ASSERT_TRUE(port.Open(Com5()));
    EXPECT_FALSE(OpensInAnotherProcess()) << "a second program must not get the port";
    EXPECT_FALSE(CComPort(CLineTiming::Short()).Open(Com5())) << "nor a second object of this one";
    EXPECT_FALSE(port.Open(Com5())) << "nor the open object again";
    EXPECT_TRUE(port.Close());
    ASSERT_TRUE(m_pty.WriteMaster(HlReply(5)));  // the line is raw now: nothing echoes it
    ASSERT_TRUE(port.Open(Com5()));
    EXPECT_FALSE(Exchange(port, REQ_HL, 5)) << "bytes that waited for the open are gone";
    EXPECT_EQ(m_pty.ReadMaster(500, 5), strFrame);
    CComPort copy = port, assigned;
    assigned = port;
    EXPECT_TRUE(copy.Write(U8(strFrame), 5));
    EXPECT_TRUE(assigned.Write(U8(strFrame), 5));
    EXPECT_EQ(m_pty.ReadMaster(500, 10), strFrame + strFrame);

    EXPECT_TRUE(copy.IsOpen() && assigned.IsOpen());
    EXPECT_TRUE(assigned.Close()) << "closing a copy closes the shared handle";
    for (CComPort* pPort : {&port, &copy, &assigned, &never}) {
        uint8_t abyBuf[CComPort::kMaxBlock];
        int nCount = -1;
        EXPECT_FALSE(pPort->IsOpen()) << "no copy sees the closed handle";
        EXPECT_FALSE(pPort->Write(U8(strFrame), 5));
        EXPECT_FALSE(pPort->Read(abyBuf, &nCount));
        pPort->Drain();
        for (int nTry = 0; nTry < 2; ++nTry) {
            std::memset(m_abyReply, 0xEE, sizeof m_abyReply);
            m_nLen = 7;
            EXPECT_FALSE(nTry ? pPort->ReadReply(m_abyReply, &m_nLen) : pPort->Exchange(REQ_HL, 5, 0, m_abyReply, &m_nLen));
            EXPECT_TRUE(m_nLen == 0 && m_abyReply[0] == 0 && m_abyReply[1] == 0xEE && m_abyReply[63] == 0xEE);
        }
        EXPECT_FALSE(pPort->Close()) << "the handle is closed once only";
    }
    EXPECT_EQ(m_pty.ReadMaster(50), "") << "closed objects send nothing";
    EXPECT_TRUE(OpensInAnotherProcess());
    {
        CComPort gone(CLineTiming::Short());
        ASSERT_TRUE(gone.Open(Com5()));
        CComPort goneCopy = gone;
    }
    EXPECT_TRUE(OpensInAnotherProcess()) << "a port and its copies going away unclosed release the device";
}

// Each row's conversation, then one answered well: frames byte for byte, the reply handed over whole or
// refused and drained, so that the next conversation sees its own reply only. Replies wait in the driver
// before the request goes out, as a reply that came within the pause does.
TEST_F(CLink, FramesAndReplies)
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
        {"150 bytes of garbage: read 64, drain 50, purge 36", REQ_HL, 5, 0, "\x05HL\r\n", std::string(150, 'g'), false},
    };
    CLineTiming timing = CLineTiming::Short();
    timing.nDrainLimitBytes = 50;
    CComPort port(timing);
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
            EXPECT_EQ(m_nLen, bAccepted ? static_cast<int>(strReply.size()) : 0);
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
class CSimLink : public CLink {
protected:
    void SetUp() override
    {
        m_line.AddIndicator(5).SetState(2, 1, 1234);
        ASSERT_TRUE(m_line.Start() && m_line.LinkAs(m_dir.Path(), 5));
    }
    CSimLine m_line;
};

// A reply that comes after its conversation gave up waits in the driver: the next read finds it, whoever
// was asked (the address and entry checks above the link refuse it there).
TEST_F(CSimLink, LateReplySurfacesInTheNextConversation)
{
    CComPort port(CLineTiming::Short());  // a conversation without answer ends after about 100 ms
    ASSERT_TRUE(port.Open(Com5()));
    m_line.SetReplyDelayMs(300);
    EXPECT_FALSE(Exchange(port, REQ_HL, 5));
    ASSERT_TRUE(m_line.WaitForRequests(1, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(Exchange(port, REQ_HL, 6)) << "nobody at 6, yet the stale reply is returned";
    EXPECT_EQ(Reply(), m_line.Find(5)->PeekHlReply());
}

// A line that never falls quiet ends the conversation on the drain's time bound or on its byte bound,
// whichever comes first.
TEST_F(CSimLink, NeverQuietLineEndsTheConversationWithinTheDrainBounds)
{
    const struct {
        int nRate;  // bytes a second; 0: the reader always finds about 1 kB waiting
        int nLimitMs, nLimitBytes;
        double dMinMs, dMaxMs;
    } aRows[] = {{2000, 300, 4096, 300, 1800}, {0, 20000, 4096, 0, 2500}};  // paced: 600 bytes in 300 ms
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
TEST_F(CSimLink, AnsweredAndUnansweredWithTheRealTimes)
{
    CComPort port;  // CLineTiming{}: the product's values
    ASSERT_TRUE(port.Open(Com5()));
    const double dAnsweredMs = ElapsedMs([&] { EXPECT_TRUE(Exchange(port, REQ_HL, 5)); });
    EXPECT_EQ(m_nLen, 33);
    EXPECT_GE(dAnsweredMs, 120.0 + 40.0);
    EXPECT_LT(dAnsweredMs, 120.0 + 74.0 + 500.0);
    const double dSilentMs = ElapsedMs([&] { EXPECT_FALSE(Exchange(port, REQ_HL, 42)); });
    EXPECT_GE(dSilentMs, 120.0 + 74.0 + 11.0) << "pause, the empty read's whole bound, one quiet drain read";
    EXPECT_LT(dSilentMs, 205.0 + 500.0);
}

}  // namespace
}  // namespace tkdtest
