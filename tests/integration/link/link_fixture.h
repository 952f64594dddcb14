// The pseudo-terminal tests' set-up: a temporary current directory with COM5 linked to a raw pty.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "com_port.h"
#include "port_params.h"
#include "pty_peer.h"
#include "temp_dir.h"

namespace tkdtest {

inline CPortParams Com5(int32_t nBaud = 9600, uint8_t byData = 8, uint8_t byStop = 0)
{
    CPortParams params = SimPortParams(5);
    params.m_nBaud = nBaud;
    params.m_byDataBits = byData;
    params.m_byStopBits = byStop;
    return params;
}

inline double ElapsedMs(const std::function<void()>& fn)
{
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

class CLinkTest : public ::testing::Test {
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

inline std::string HlReply(int nAddress, const std::string& strPayload24 = "000021000000000000001234")
{
    return std::string(1, static_cast<char>(nAddress)) + "HL\r\nCD" + strPayload24 + "\r\n";
}
inline std::string HtReply(int nAddress, int nParam, const std::string& strDigits21 = "012345678901234567890")
{
    return std::string{static_cast<char>(nAddress), 'H', 'T', static_cast<char>(nParam), '\r', '\n'} + strDigits21 + "\r\n";
}

}  // namespace tkdtest
