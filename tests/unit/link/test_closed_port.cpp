// CComPort without a line: a closed object refuses everything, and ports that cannot be opened stay closed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

#include "com_port.h"
#include "temp_dir.h"

namespace {

TEST(ClosedPort, RefusesEveryOperation)
{
    CComPort port(CLineTiming::Short());
    EXPECT_FALSE(port.Close()) << "never opened";
    EXPECT_FALSE(port.IsOpen());
    const uint8_t abyFrame[5] = {5, 'H', 'L', '\r', '\n'};
    EXPECT_FALSE(port.Write(abyFrame, 5));
    uint8_t abyBuf[CComPort::kMaxBlock];
    int nCount = 7;
    EXPECT_FALSE(port.Read(abyBuf, &nCount));
    port.Drain();  // nothing to drain, nothing to crash on

    // A failed conversation or reply read clears the first byte and the length, and nothing else.
    for (int nTry = 0; nTry < 2; ++nTry) {
        std::memset(abyBuf, 0xEE, sizeof abyBuf);
        int nLen = 7;
        EXPECT_FALSE(nTry ? port.ReadReply(abyBuf, &nLen) : port.Exchange(REQ_HL, 5, 0, abyBuf, &nLen));
        EXPECT_EQ(nLen, 0);
        EXPECT_EQ(abyBuf[0], 0);
        EXPECT_EQ(abyBuf[1], 0xEE);
        EXPECT_EQ(abyBuf[63], 0xEE);
    }
    CComPort copy = port;
    EXPECT_FALSE(copy.Write(abyFrame, 5)) << "copies of a closed port are closed too";
    EXPECT_FALSE(copy.Close());
}

TEST(ClosedPort, UnopenablePortsStayClosed)
{
    tkdtest::CTempDir dir;
#ifndef _WIN32
    // Only POSIX opens COMn through an entry of the current directory (Windows: \\.\COMn, and a
    // file cannot be named COM3 there).
    ASSERT_TRUE(tkdtest::WriteBytes(dir.File("COM3"), "not a serial line"));
    std::filesystem::create_symlink("/nonexistent/tty", dir.File("COM4"));
#endif
    tkdtest::CScopedChdir chdir(dir.Path());
    // Empty, not a COM name, no number, COM0, letters, no such device (/dev/ttyS98), a regular file named COM3,
    // a dangling link named COM4.
    for (const char* pszName : {"", "LPT1", "COM", "COM0", "COM1A", "COM99", "COM3", "COM4"}) {
        SCOPED_TRACE(pszName);
        CPortParams params;
        std::strcpy(params.m_szPortName, pszName);
        params.m_nBaud = 9600;
        params.m_byDataBits = 8;
        CComPort port(CLineTiming::Short());
        EXPECT_FALSE(port.Open(params));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.Close());
    }
}

}  // namespace
