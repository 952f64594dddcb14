// The indicator's end of a pseudo-terminal: opening the pair, raw writes and timed reads at the master.
#include "pty_peer.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tkdtest {

CPtyPeer::CPtyPeer()
{
    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_nMaster >= 0 && ::grantpt(m_nMaster) == 0 && ::unlockpt(m_nMaster) == 0 && ::ptsname(m_nMaster))
        m_nSlave = ::open(::ptsname(m_nMaster), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

bool CPtyPeer::LinkAs(const std::string& strDir, int nComNumber) const
{
    const std::string strLink = strDir + "/COM" + std::to_string(nComNumber);
    ::unlink(strLink.c_str());
    return IsReady() && ::symlink(::ptsname(m_nMaster), strLink.c_str()) == 0;
}

bool CPtyPeer::WriteMaster(const std::string& strBytes) const
{
    return ::write(m_nMaster, strBytes.data(), strBytes.size()) == static_cast<ssize_t>(strBytes.size());
}

std::string CPtyPeer::ReadMaster(int nTimeoutMs, size_t nMax) const
{
    std::string str;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    char ach[256];
    for (pollfd pfd{m_nMaster, POLLIN, 0}; str.size() < nMax && std::chrono::steady_clock::now() < tEnd;) {
        const ssize_t n = ::poll(&pfd, 1, 1) > 0 ? ::read(m_nMaster, ach, std::min(sizeof ach, nMax - str.size())) : 0;
        str.append(ach, n > 0 ? static_cast<size_t>(n) : 0);
    }
    return str;
}

void CPtyPeer::HangUp()
{
    for (int* pFd : {&m_nSlave, &m_nMaster}) {
        if (*pFd >= 0)
            ::close(*pFd);
        *pFd = -1;
    }
}

}  // namespace tkdtest
