// CComPort without a line: a closed object refuses everything, and ports that cannot be opened stay closed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "com_port.h"
#include "temp_dir.h"

#include <unistd.h>

namespace {

CPortParams Params(const char* pszName, int32_t nBaud = 9600, uint8_t byData = 8)
{
    CPortParams params;
    std::strncpy(params.m_szPortName, pszName, sizeof params.m_szPortName - 1);
    params.m_nBaud = nBaud;
    params.m_byDataBits = byData;
    return params;
}

TEST(ClosedPort, RefusesEveryOperation)
{
    CComPort port(CLineTiming::Short());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close()) << "never opened";
    EXPECT_FALSE(port.IsOpen());

    const uint8_t abyFrame[5] = {5, 'H', 'L', '\r', '\n'};
    EXPECT_FALSE(port.Write(abyFrame, 5));
    uint8_t abyBuf[CComPort::kMaxBlock];
    std::memset(abyBuf, 0xEE, sizeof abyBuf);
    int nCount = 7;
    EXPECT_FALSE(port.Read(abyBuf, &nCount));
    port.Drain();  // nothing to drain, nothing to crash on

    int nLen = 7;
    EXPECT_FALSE(port.ReadReply(abyBuf, &nLen));
    EXPECT_EQ(abyBuf[0], 0);
    EXPECT_EQ(nLen, 0);

    // A failed conversation clears the first byte and the length, and nothing else of the buffer.
    std::memset(abyBuf, 0xEE, sizeof abyBuf);
    nLen = 7;
    EXPECT_FALSE(port.Exchange(REQ_HL, 5, 0, abyBuf, &nLen));
    EXPECT_EQ(abyBuf[0], 0);
    EXPECT_EQ(nLen, 0);
    EXPECT_EQ(abyBuf[1], 0xEE);
    EXPECT_EQ(abyBuf[63], 0xEE);

    // Copies of a closed port are closed too.
    CComPort copy = port;
    EXPECT_FALSE(copy.Write(abyFrame, 5));
    EXPECT_FALSE(copy.Close());
}

TEST(ClosedPort, UnopenablePortsStayClosed)
{
    tkdtest::CTempDir dir;
    ASSERT_TRUE(tkdtest::WriteBytes(dir.File("COM3"), "not a serial line"));
    tkdtest::CScopedChdir chdir(dir.Path());

    struct CRow {
        const char* pszWhy;
        CPortParams params;
    };
    const CRow aRows[] = {
        {"empty port name", Params("")},
        {"not a COM name", Params("LPT1")},
        {"COM without number", Params("COM")},
        {"COM0", Params("COM0")},
        {"COM with letters", Params("COM1A")},
        {"no such device (/dev/ttyS98)", Params("COM99")},
        {"a regular file named COM3", Params("COM3")},
        {"a dangling link named COM4", Params("COM4")},
    };
    ASSERT_EQ(::symlink("/nonexistent/tty", dir.File("COM4").c_str()), 0);
    for (const CRow& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        CComPort port(CLineTiming::Short());
        EXPECT_FALSE(port.Open(row.params));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.Close());
    }
}

}  // namespace
