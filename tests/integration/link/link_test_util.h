// Shared set-up of the pseudo-terminal tests: a temporary current directory with COM5 linked to a peer.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "com_port.h"
#include "pty_peer.h"
#include "temp_dir.h"

namespace tkdtest {

inline CPortParams PortParams(int32_t nBaud = 9600, uint8_t byData = 8, uint8_t byStop = 0)
{
    CPortParams params;
    std::strcpy(params.m_szPortName, "COM5");
    params.m_nComNumber = 5;
    params.m_nBaud = nBaud;
    params.m_byDataBits = byData;
    params.m_byStopBits = byStop;
    return params;
}

inline std::string Bytes(const uint8_t* p, int n) { return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)); }

// The caller's buffer, pre-filled so that writes beyond the reply's length show.
struct CReplyBuf {
    CReplyBuf() { std::memset(m_aby, 0xEE, sizeof m_aby); }
    uint8_t m_aby[CComPort::kMaxBlock];
    int m_nLen = -1;
};

class CPtyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_peer.IsReady()) << "no pseudo-terminal";
        ASSERT_TRUE(m_peer.LinkAs(m_dir.Path(), 5));
    }
    // One conversation on an open port; the reply (or nothing) lands in m_reply.
    bool Exchange(CComPort& port, int nKind, int nAddress, int nParam = 23)
    {
        m_reply = CReplyBuf{};
        return port.Exchange(nKind, nAddress, nParam, m_reply.m_aby, &m_reply.m_nLen);
    }

    CTempDir m_dir;
    CScopedChdir m_chdir{m_dir.Path()};
    CPtyPeer m_peer;
    CReplyBuf m_reply;
};

}  // namespace tkdtest
