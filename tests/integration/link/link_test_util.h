// Shared set-up of the pseudo-terminal tests: a temporary current directory with COM5 linked to a peer.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "com_port.h"
#include "pty_peer.h"
#include "temp_dir.h"

namespace tkdtest {

inline CPortParams PortParams(const char* pszName = "COM5", int32_t nBaud = 9600, uint8_t byData = 8,
                              uint8_t byStop = 0)
{
    CPortParams params;
    std::strncpy(params.m_szPortName, pszName, sizeof params.m_szPortName - 1);
    params.m_nComNumber = 5;
    params.m_nBaud = nBaud;
    params.m_byDataBits = byData;
    params.m_byStopBits = byStop;
    return params;
}

class CPtyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_peer.IsReady()) << "no pseudo-terminal";
        ASSERT_TRUE(m_peer.LinkAs(m_dir.Path(), 5));
    }

    CTempDir m_dir;
    CScopedChdir m_chdir{m_dir.Path()};
    CPtyPeer m_peer;
};

}  // namespace tkdtest
