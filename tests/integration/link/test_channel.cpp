// The serial channel over a real pseudo-terminal: line settings, exclusive use, raw bytes, the read's gap,
// hang-up, and copies sharing one handle.
#include <string>
#include <thread>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "link_fixture.h"

namespace tkdtest {
namespace {

using CChannel = CLinkTest;

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

TEST_F(CChannel, OpenSetsRateAndStopBitsOrRefusesAndCloses)
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
}

TEST_F(CChannel, OpenIsExclusiveAndDiscardsWaitingBytes)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(Com5()));
    EXPECT_FALSE(OpensInAnotherProcess()) << "a second program must not get the port";
    EXPECT_FALSE(CComPort(CLineTiming::Short()).Open(Com5())) << "nor a second object of this one";
    EXPECT_FALSE(port.Open(Com5())) << "nor the open object again";
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(OpensInAnotherProcess()) << "closing releases the port";

    ASSERT_TRUE(m_pty.WriteMaster(HlReply(5)));
    ASSERT_TRUE(port.Open(Com5()));
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;
    EXPECT_TRUE(port.Read(abyBuf, &nCount));
    EXPECT_EQ(nCount, 0) << "bytes that waited for the open are gone";
}

// No echo, no CR/LF translation, no XON/XOFF (17, 19), no signal (3, 26, 28), end-of-file (4) or erase (127).
TEST_F(CChannel, EveryByteValueCrossesUntouched)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(Com5()));
    std::string strAll;
    for (int i = 0; i < 256; ++i)
        strAll += static_cast<char>(i);
    ASSERT_TRUE(m_pty.WriteMaster(strAll));
    std::string strRead;
    for (int i = 0; i < 10 && strRead.size() < 256; ++i) {
        uint8_t abyBuf[CComPort::kMaxBlock];
        int nCount = -1;
        ASSERT_TRUE(port.Read(abyBuf, &nCount));
        strRead.append(reinterpret_cast<const char*>(abyBuf), static_cast<size_t>(nCount));
    }
    EXPECT_EQ(strRead, strAll) << "indicator to program";
    EXPECT_EQ(m_pty.ReadMaster(50), "") << "nothing echoed back";

    EXPECT_FALSE(port.Write(U8(strAll), CComPort::kMaxBlock + 1));
    EXPECT_FALSE(port.Write(U8(strAll), -1));
    for (int nStart = 0; nStart < 256; nStart += 64)
        EXPECT_TRUE(port.Write(U8(strAll) + nStart, 64));
    EXPECT_EQ(m_pty.ReadMaster(1000, 256), strAll) << "program to indicator; refused writes send nothing";
}

// After the first byte, silence for the read gap ends a read even while its total bound runs on.
TEST_F(CChannel, QuietGapEndsARead)
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

TEST_F(CChannel, HungUpLineFailsAtOnce)
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
    EXPECT_FALSE(Exchange(port, REQ_HL, 5));
    EXPECT_TRUE(port.Close());
}

TEST_F(CChannel, CopiesShareTheOneHandle)
{
    const std::string strFrame("\x05HL\r\n");
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(Com5()));
    CComPort copy = port;
    CComPort assigned;
    assigned = port;
    EXPECT_TRUE(copy.Write(U8(strFrame), 5));
    EXPECT_TRUE(assigned.Write(U8(strFrame), 5));
    EXPECT_EQ(m_pty.ReadMaster(500, 10), strFrame + strFrame);

    EXPECT_TRUE(assigned.Close()) << "closing a copy closes the shared handle";
    for (CComPort* pPort : {&port, &copy, &assigned}) {
        EXPECT_FALSE(pPort->Write(U8(strFrame), 5));
        EXPECT_FALSE(pPort->Read(abyBuf, &nCount));
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

}  // namespace
}  // namespace tkdtest
