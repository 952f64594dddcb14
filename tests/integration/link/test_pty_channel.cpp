// The serial channel over a real pseudo-terminal: open and line settings, exclusive use, raw bytes,
// the read's time-outs, draining, hang-up, closing and copies.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "link_test_util.h"

namespace tkdtest {
namespace {

using CPortChannel = CPtyTest;

std::string ReadAll(CComPort& port, size_t nWant, int nMaxReads)
{
    std::string str;
    for (int i = 0; i < nMaxReads && str.size() < nWant; ++i) {
        uint8_t abyBuf[CComPort::kMaxBlock];
        int nCount = -1;
        if (!port.Read(abyBuf, &nCount))
            break;
        str.append(reinterpret_cast<const char*>(abyBuf), static_cast<size_t>(nCount));
    }
    return str;
}

// A second open of the same COMn from another process; its exit status 0 means it got the port.
bool OpensInAnotherProcess(const CPortParams& params)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        CComPort other(CLineTiming::Short());
        const bool bOpened = other.Open(params);
        other.Close();
        ::_exit(bOpened ? 0 : 1);
    }
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

TEST_F(CPortChannel, OpenSetsRateAndStopBitsAndKeepsFlowControl)
{
    struct CRow {
        int32_t nBaud;
        speed_t nSpeed;
        uint8_t byStop;
    };
    const CRow aRows[] = {{9600, B9600, 0}, {110, B110, 0}, {115200, B115200, 2}, {921600, B921600, 0},
                          {1200, B1200, 2}};
    for (const CRow& row : aRows) {
        SCOPED_TRACE("baud " + std::to_string(row.nBaud) + " stop code " + std::to_string(row.byStop));
        // The line starts out the other way round: CSTOPB opposite, hardware flow control on,
        // cooked mode with echo and XON/XOFF, as a fresh tty may be.
        termios tioBefore{};
        ASSERT_EQ(::tcgetattr(m_peer.MasterFd(), &tioBefore), 0);
        ::cfsetspeed(&tioBefore, B300);
        tioBefore.c_cflag = (row.byStop == 2) ? (tioBefore.c_cflag & ~CSTOPB) : (tioBefore.c_cflag | CSTOPB);
        tioBefore.c_cflag |= CRTSCTS | HUPCL;
        tioBefore.c_lflag |= ICANON | ECHO | ISIG;
        tioBefore.c_iflag |= ICRNL | IXON | IXOFF;
        tioBefore.c_oflag |= OPOST | ONLCR;
        ASSERT_EQ(::tcsetattr(m_peer.MasterFd(), TCSANOW, &tioBefore), 0);

        CComPort port(CLineTiming::Short());
        ASSERT_TRUE(port.Open(PortParams("COM5", row.nBaud, 7, row.byStop)));
        EXPECT_TRUE(port.IsOpen());

        termios tio{};
        ASSERT_EQ(::tcgetattr(m_peer.MasterFd(), &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), row.nSpeed);
        EXPECT_EQ(::cfgetispeed(&tio), row.nSpeed);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, row.byStop == 2);
        EXPECT_NE(tio.c_cflag & CRTSCTS, 0u) << "hardware flow control keeps its value";
        EXPECT_NE(tio.c_cflag & HUPCL, 0u) << "other control flags keep their values";
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        EXPECT_TRUE(port.Close());
    }
}

TEST_F(CPortChannel, RefusedParametersCloseTheHandleAgain)
{
    struct CRow {
        const char* pszWhy;
        CPortParams params;
    };
    const CRow aRows[] = {
        {"baud rate 0", PortParams("COM5", 0, 8)},
        {"baud rate 600", PortParams("COM5", 600, 8)},
        {"data bits 0", PortParams("COM5", 9600, 0)},
        {"data bits 9", PortParams("COM5", 9600, 9)},
        {"stop bits 1.5", PortParams("COM5", 9600, 8, 1)},
    };
    for (const CRow& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        CComPort port(CLineTiming::Short());
        EXPECT_FALSE(port.Open(row.params));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.Close()) << "no handle was kept";
        // The refused open left the device free: another process gets it.
        EXPECT_TRUE(OpensInAnotherProcess(PortParams()));
    }
}

TEST_F(CPortChannel, OpenIsExclusive)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(OpensInAnotherProcess(PortParams())) << "the port must be free to begin with";
    ASSERT_TRUE(port.Open(PortParams()));

    EXPECT_FALSE(OpensInAnotherProcess(PortParams())) << "a second program must not get the port";
    CComPort second(CLineTiming::Short());
    EXPECT_FALSE(second.Open(PortParams())) << "nor a second object of this one";

    // Opening the open object again fails, and the object keeps its working handle.
    EXPECT_FALSE(port.Open(PortParams()));
    EXPECT_TRUE(port.IsOpen());
    const uint8_t abyFrame[5] = {7, 'H', 'L', '\r', '\n'};
    EXPECT_TRUE(port.Write(abyFrame, 5));
    EXPECT_EQ(m_peer.ReadMaster(500, 5), std::string("\x07HL\r\n"));

    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(OpensInAnotherProcess(PortParams())) << "closing releases the port";
}

TEST_F(CPortChannel, OpenDiscardsBytesThatWaitedForIt)
{
    ASSERT_TRUE(m_peer.WriteMaster(HlReply(5)));
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;
    EXPECT_TRUE(port.Read(abyBuf, &nCount));
    EXPECT_EQ(nCount, 0);
}

// Every byte value crosses the line unchanged in both directions: no echo, no CR/LF translation,
// no XON/XOFF (17, 19), no signal characters (3, 26, 28), no end-of-file (4), no erase (127).
TEST_F(CPortChannel, EveryByteValueCrossesUntouched)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    std::string strAll;
    for (int i = 0; i < 256; ++i)
        strAll += static_cast<char>(i);

    ASSERT_TRUE(m_peer.WriteMaster(strAll));
    EXPECT_EQ(ReadAll(port, 256, 10), strAll) << "indicator to program";
    EXPECT_EQ(m_peer.ReadMaster(50), "") << "nothing echoed back";

    for (int nStart = 0; nStart < 256; nStart += 64) {
        EXPECT_TRUE(port.Write(reinterpret_cast<const uint8_t*>(strAll.data()) + nStart, 64));
    }
    EXPECT_EQ(m_peer.ReadMaster(1000, 256), strAll) << "program to indicator";
}

TEST_F(CPortChannel, WriteTakesAtMostOneBlock)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    uint8_t abyBig[CComPort::kMaxBlock + 1] = {};
    EXPECT_FALSE(port.Write(abyBig, CComPort::kMaxBlock + 1));
    EXPECT_FALSE(port.Write(abyBig, -1));
    EXPECT_TRUE(port.Write(abyBig, 0));
    EXPECT_EQ(m_peer.ReadMaster(50), "") << "a refused write sends nothing";
}

TEST_F(CPortChannel, ReadEndsOnItsBounds)
{
    CComPort port(CLineTiming::Short());  // total bound 64 x 1 + 10 = 74 ms, as in the product
    ASSERT_TRUE(port.Open(PortParams()));
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;

    // Nothing arrives: success with no byte, after the whole bound.
    const double dEmptyMs = ElapsedMs([&] { EXPECT_TRUE(port.Read(abyBuf, &nCount)); });
    EXPECT_EQ(nCount, 0);
    EXPECT_GE(dEmptyMs, 73.0);
    EXPECT_LT(dEmptyMs, 74.0 + 400.0);

    // 33 bytes waiting and no more coming: all of them, well before the bound.
    const std::string strReply = HlReply(5);
    ASSERT_TRUE(m_peer.WriteMaster(strReply));
    const double d33Ms = ElapsedMs([&] { EXPECT_TRUE(port.Read(abyBuf, &nCount)); });
    ASSERT_EQ(nCount, 33);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(abyBuf), 33), strReply);
    EXPECT_LT(d33Ms, 74.0 + 400.0);

    // 100 bytes waiting: one read takes 64, the next the other 36.
    ASSERT_TRUE(m_peer.WriteMaster(std::string(64, 'a') + std::string(36, 'b')));
    EXPECT_TRUE(port.Read(abyBuf, &nCount));
    ASSERT_EQ(nCount, 64);
    EXPECT_EQ(abyBuf[63], 'a');
    EXPECT_TRUE(port.Read(abyBuf, &nCount));
    ASSERT_EQ(nCount, 36);
    EXPECT_EQ(abyBuf[0], 'b');
}

// After the first byte, silence for the read gap ends a read even while its total bound runs on.
TEST_F(CPortChannel, QuietGapEndsARead)
{
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 5;  // total bound 330 ms, far beyond the gaps below
    struct CRow {
        const char* pszWhy;
        int nGapMs;
        int nPauseMs;
        int nExpect;
    };
    const CRow aRows[] = {
        {"second burst within the gap joins the first", 200, 10, 20},
        {"second burst after the gap comes in the next read", 20, 150, 10},
    };
    for (const CRow& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
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
        port.Drain();
        EXPECT_TRUE(port.Close());
    }
}

TEST_F(CPortChannel, DrainDiscardsWhatIsArriving)
{
    CComPort port(CLineTiming::Short());
    ASSERT_TRUE(port.Open(PortParams()));
    std::thread writer([&] {
        for (int i = 0; i < 10; ++i) {
            m_peer.WriteMaster("garbage");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    port.Drain();
    writer.join();
    // Whatever the writer managed after the drain's last read was purged or is still to come;
    // a second drain of a quiet line leaves nothing.
    port.Drain();
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;
    EXPECT_TRUE(port.Read(abyBuf, &nCount));
    EXPECT_EQ(nCount, 0);
}

// A line that never falls quiet: the drain gives up after its time limit or its byte limit.
TEST_F(CPortChannel, DrainOfANeverQuietLineIsBounded)
{
    std::atomic<bool> bNoise{true};
    std::atomic<int> nMode{0};
    std::thread noise([&] {
        while (bNoise) {
            // Mode 0: a byte every millisecond; mode 1: as fast as the pty takes them.
            m_peer.WriteMaster(nMode == 0 ? std::string("~") : std::string(64, '~'));
            if (nMode == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    CLineTiming timing = CLineTiming::Short();  // drain limit 300 ms
    timing.nDrainReadMs = 60;  // a busy machine may hold the noise thread back for a few ms
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    const double dTimeBoundMs = ElapsedMs([&] { port.Drain(); });
    EXPECT_GE(dTimeBoundMs, timing.nDrainLimitMs - 5.0);
    EXPECT_LT(dTimeBoundMs, timing.nDrainLimitMs + 1000.0);
    EXPECT_TRUE(port.Close());

    timing.nDrainLimitMs = 20000;  // now the bytes must end it
    timing.nDrainLimitBytes = 4096;
    nMode = 1;
    CComPort portBytes(timing);
    ASSERT_TRUE(portBytes.Open(PortParams()));
    const double dByteBoundMs = ElapsedMs([&] { portBytes.Drain(); });
    EXPECT_LT(dByteBoundMs, 10000.0);
    bNoise = false;
    noise.join();
}

TEST_F(CPortChannel, HungUpLineFailsAtOnce)
{
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 20;  // bounds far beyond the asserted times: only the hang-up can end them
    timing.nDrainReadMs = 1000;
    CComPort port(timing);
    ASSERT_TRUE(port.Open(PortParams()));
    m_peer.HangUp();
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;
    bool bRead = true;
    const double dReadMs = ElapsedMs([&] { bRead = port.Read(abyBuf, &nCount); });
    EXPECT_FALSE(bRead);
    EXPECT_LT(dReadMs, 500.0) << "a hung-up line ends the read before its bound";
    const double dDrainMs = ElapsedMs([&] { port.Drain(); });
    EXPECT_LT(dDrainMs, 500.0);
    const uint8_t abyFrame[5] = {5, 'H', 'L', '\r', '\n'};
    EXPECT_FALSE(port.Write(abyFrame, 5));
    int nLen = -1;
    EXPECT_FALSE(port.Exchange(REQ_HL, 5, 0, abyBuf, &nLen));
    EXPECT_EQ(nLen, 0);
    EXPECT_TRUE(port.Close());
}

TEST_F(CPortChannel, CopiesShareTheOneHandle)
{
    const uint8_t abyFrame[5] = {5, 'H', 'L', '\r', '\n'};
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = -1;
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 20;  // the read below ends on its gap, however late the bytes come through
    {
        CComPort port(timing);
        ASSERT_TRUE(port.Open(PortParams()));
        CComPort copy = port;
        CComPort assigned;
        assigned = port;
        EXPECT_TRUE(copy.IsOpen());
        EXPECT_TRUE(copy.Write(abyFrame, 5));
        EXPECT_TRUE(assigned.Write(abyFrame, 5));
        EXPECT_EQ(m_peer.ReadMaster(500, 10), std::string("\x05HL\r\n\x05HL\r\n"));
        ASSERT_TRUE(m_peer.WriteMaster("xyz"));
        EXPECT_TRUE(copy.Read(abyBuf, &nCount));
        EXPECT_EQ(nCount, 3);

        EXPECT_TRUE(port.Close());
        EXPECT_FALSE(copy.Write(abyFrame, 5)) << "the copy sees no handle once the port is closed";
        EXPECT_FALSE(copy.Read(abyBuf, &nCount));
        EXPECT_FALSE(copy.Close()) << "the handle is closed once only";
        EXPECT_FALSE(assigned.Close());
        EXPECT_EQ(m_peer.ReadMaster(50), "");
        EXPECT_TRUE(OpensInAnotherProcess(PortParams()));
    }
    {
        // Closing a copy closes the shared handle for the original as well.
        CComPort port(CLineTiming::Short());
        ASSERT_TRUE(port.Open(PortParams()));
        CComPort copy = port;
        EXPECT_TRUE(copy.Close());
        EXPECT_FALSE(port.Write(abyFrame, 5));
        EXPECT_FALSE(port.Close());
        EXPECT_FALSE(port.IsOpen());
    }
    {
        // A port and its copies going away unclosed release the device.
        CComPort port(CLineTiming::Short());
        ASSERT_TRUE(port.Open(PortParams()));
        CComPort copy = port;
        (void)copy;
    }
    EXPECT_TRUE(OpensInAnotherProcess(PortParams()));
}

}  // namespace
}  // namespace tkdtest
