// The serial channel over a real pseudo-terminal: line settings, exclusive use, raw bytes, the read's gap,
// hang-up, and copies sharing one handle.
#include <string>
#include <thread>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "link_test_util.h"

namespace tkdtest {
namespace {

using CPortChannel = CPtyTest;

// A second open of COM5 from another process: true when it got the port.
bool OpensInAnotherProcess()
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        CComPort other(CLineTiming::Short());
        ::_exit(other.Open(PortParams()) ? 0 : 1);
    }
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

TEST_F(CPortChannel, OpenSetsRateAndStopBitsOrRefusesAndCloses)
{
    const struct {
        int32_t nBaud;
        uint8_t byData;
        uint8_t byStop;
        speed_t nSpeed;  // B0: the parameters are refused
    } aRows[] = {{9600, 8, 0, B9600}, {110, 7, 0, B110}, {115200, 8, 2, B115200}, {921600, 5, 0, B921600},
                 {1200, 8, 2, B1200}, {0, 8, 0, B0}, {600, 8, 0, B0}, {9600, 0, 0, B0}, {9600, 9, 0, B0},
                 {9600, 8, 1, B0}};
    for (const auto& row : aRows) {
        SCOPED_TRACE("baud " + std::to_string(row.nBaud) + " data " + std::to_string(row.byData) + " stop code " +
                     std::to_string(row.byStop));
        // The line starts out the other way round: another rate, CSTOPB opposite, flow control on. (Raw mode
        // shows in EveryByteValueCrossesUntouched.)
        termios tio{};
        ASSERT_EQ(::tcgetattr(m_peer.MasterFd(), &tio), 0);
        ::cfsetspeed(&tio, B300);
        tio.c_cflag = (row.byStop == 2 ? tio.c_cflag & ~CSTOPB : tio.c_cflag | CSTOPB) | CRTSCTS | HUPCL;
        ASSERT_EQ(::tcsetattr(m_peer.MasterFd(), TCSANOW, &tio), 0);

        CComPort port(CLineTiming::Short());
        ASSERT_EQ(port.Open(PortParams(row.nBaud, row.byData, row.byStop)), row.nSpeed != B0);
        if (row.nSpeed == B0) {
            EXPECT_FALSE(port.IsOpen());
            EXPECT_FALSE(port.Close()) << "no handle was kept";
            EXPECT_TRUE(OpensInAnotherProcess()) << "the refused open left the device free";
            continue;
        }
        ASSERT_EQ(::tcgetattr(m_peer.MasterFd(), &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), row.nSpeed);
        EXPECT_EQ(::cfgetispeed(&tio), row.nSpeed);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, row.byStop == 2);
        EXPECT_EQ(tio.c_cflag & (CRTSCTS | HUPCL), static_cast<tcflag_t>(CRTSCTS | HUPCL)) << "other control flags kept";
        EXPECT_TRUE(port.Close());
    }
}

TEST_F(CPortChannel, OpenIsExclusiveAndDiscardsWaitingBytes)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    EXPECT_FALSE(OpensInAnotherProcess()) << "a second program must not get the port";
    EXPECT_FALSE(CComPort(CLineTiming::Short()).Open(PortParams())) << "nor a second object of this one";
    EXPECT_FALSE(port.Open(PortParams())) << "nor the open object again";
    EXPECT_TRUE(port.Write(reinterpret_cast<const uint8_t*>("\x07HL\r\n"), 5)) << "the handle still works";
    EXPECT_EQ(m_peer.ReadMaster(500, 5), "\x07HL\r\n");
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(OpensInAnotherProcess()) << "closing releases the port";

    ASSERT_TRUE(m_peer.WriteMaster(HlReply(5)));
    ASSERT_TRUE(port.Open(PortParams()));
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;
    EXPECT_TRUE(port.Read(abyBuf, &nCount));
    EXPECT_EQ(nCount, 0) << "bytes that waited for the open are gone";
}

// No echo, no CR/LF translation, no XON/XOFF (17, 19), no signal (3, 26, 28), end-of-file (4) or erase (127).
TEST_F(CPortChannel, EveryByteValueCrossesUntouched)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    std::string strAll;
    for (int i = 0; i < 256; ++i)
        strAll += static_cast<char>(i);
    ASSERT_TRUE(m_peer.WriteMaster(strAll));
    std::string strRead;
    for (int i = 0; i < 10 && strRead.size() < 256; ++i) {
        uint8_t abyBuf[CComPort::kMaxBlock];
        int nCount = -1;
        ASSERT_TRUE(port.Read(abyBuf, &nCount));
        EXPECT_LE(nCount, 64) << "one read takes at most one block";
        strRead += Bytes(abyBuf, nCount);
    }
    EXPECT_EQ(strRead, strAll) << "indicator to program";
    EXPECT_EQ(m_peer.ReadMaster(50), "") << "nothing echoed back";

    const auto* pAll = reinterpret_cast<const uint8_t*>(strAll.data());
    EXPECT_FALSE(port.Write(pAll, CComPort::kMaxBlock + 1));
    EXPECT_FALSE(port.Write(pAll, -1));
    for (int nStart = 0; nStart < 256; nStart += 64)
        EXPECT_TRUE(port.Write(pAll + nStart, 64));
    EXPECT_EQ(m_peer.ReadMaster(1000, 256), strAll) << "program to indicator; refused writes send nothing";
}

// After the first byte, silence for the read gap ends a read even while its total bound runs on.
TEST_F(CPortChannel, QuietGapEndsARead)
{
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 5;  // total bound 330 ms, far beyond the gaps below
    const struct {
        int nGapMs;
        int nPauseMs;
        int nExpect;
    } aRows[] = {{200, 10, 20}, {20, 150, 10}};  // a second burst within the gap joins the first; after it, waits
    for (const auto& row : aRows) {
        SCOPED_TRACE("gap " + std::to_string(row.nGapMs));
        timing.nReadGapMs = row.nGapMs;
        CComPort port(timing);
        ASSERT_TRUE(port.Open(PortParams()));
        std::thread writer([&] {
            m_peer.WriteMaster(std::string(10, '1'));
            std::this_thread::sleep_for(std::chrono::milliseconds(row.nPauseMs));
            m_peer.WriteMaster(std::string(10, '2'));
        });
        uint8_t abyBuf[CComPort::kMaxBlock];
        int nCount = -1;
        EXPECT_TRUE(port.Read(abyBuf, &nCount));
        EXPECT_EQ(nCount, row.nExpect);
        writer.join();
    }
}

TEST_F(CPortChannel, HungUpLineFailsAtOnce)
{
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 20;  // bounds far beyond the asserted times: only the hang-up can end them
    timing.nDrainReadMs = 1000;
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    m_peer.HangUp();
    uint8_t abyBuf[CComPort::kMaxBlock] = {};
    int nCount = -1;
    EXPECT_LT(ElapsedMs([&] { EXPECT_FALSE(port.Read(abyBuf, &nCount)); }), 500.0);
    EXPECT_LT(ElapsedMs([&] { port.Drain(); }), 500.0);
    EXPECT_FALSE(port.Write(abyBuf, 5));
    EXPECT_FALSE(Exchange(port, REQ_HL, 5));
    EXPECT_EQ(m_reply.m_nLen, 0);
    EXPECT_TRUE(port.Close());
}

TEST_F(CPortChannel, CopiesShareTheOneHandle)
{
    const auto* pFrame = reinterpret_cast<const uint8_t*>("\x05HL\r\n");
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 20;  // the read ends on its gap, however late the bytes come through
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    CComPort copy = port;
    CComPort assigned;
    assigned = port;
    EXPECT_TRUE(copy.Write(pFrame, 5));
    EXPECT_TRUE(assigned.Write(pFrame, 5));
    EXPECT_EQ(m_peer.ReadMaster(500, 10), "\x05HL\r\n\x05HL\r\n");
    ASSERT_TRUE(m_peer.WriteMaster("xyz"));
    EXPECT_TRUE(copy.Read(abyBuf, &nCount));
    EXPECT_EQ(nCount, 3);

    EXPECT_TRUE(assigned.Close()) << "closing a copy closes the shared handle";
    for (CComPort* pPort : {&port, &copy, &assigned}) {
        EXPECT_FALSE(pPort->Write(pFrame, 5));
        EXPECT_FALSE(pPort->Read(abyBuf, &nCount));
        EXPECT_FALSE(Exchange(*pPort, REQ_HL, 5));
        EXPECT_FALSE(pPort->Close()) << "the handle is closed once only";
    }
    EXPECT_EQ(m_peer.ReadMaster(50), "") << "closed objects send nothing";
    EXPECT_TRUE(OpensInAnotherProcess());
    {
        CComPort gone(CLineTiming::Short());
        ASSERT_TRUE(gone.Open(PortParams()));
        CComPort goneCopy = gone;
    }
    EXPECT_TRUE(OpensInAnotherProcess()) << "a port and its copies going away unclosed release the device";
}

}  // namespace
}  // namespace tkdtest
