// The indicator's end of a pseudo-terminal: opening the pair, raw writes and timed reads at the master.
#include "pty_peer.h"

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
    for (auto tNow = tEnd; str.size() < nMax && (tNow = std::chrono::steady_clock::now()) < tEnd;) {
        pollfd pfd{m_nMaster, POLLIN, 0};
        char ach[256];
        const auto nLeftMs = std::chrono::ceil<std::chrono::milliseconds>(tEnd - tNow).count();
        if (::poll(&pfd, 1, static_cast<int>(nLeftMs)) <= 0)
            continue;
        const ssize_t n = ::read(m_nMaster, ach, nMax - str.size() < sizeof ach ? nMax - str.size() : sizeof ach);
        if (n > 0)
            str.append(ach, static_cast<size_t>(n));
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
