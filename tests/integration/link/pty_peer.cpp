// The test's end of a pseudo-terminal: frame recognition at the master and scripted answers.
#include "pty_peer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tkdtest {

namespace {

// Length of the request frame at the start of str: 5 (HL), 6 (HT), 0 when more bytes are needed, -1 when
// no frame starts here. HT's parameter may itself be CR or LF, so frames are recognised by structure.
int FrameLength(const std::string& str)
{
    if (str.size() < 5 || (str.size() < 6 && str.compare(1, 2, "HT") == 0))
        return 0;
    if (str.compare(1, 4, "HL\r\n") == 0)
        return 5;
    return str.compare(1, 2, "HT") == 0 && str.compare(4, 2, "\r\n") == 0 ? 6 : -1;
}

}  // namespace

CPtyPeer::CPtyPeer()
{
    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nMaster < 0 || ::grantpt(m_nMaster) != 0 || ::unlockpt(m_nMaster) != 0 || ::ptsname(m_nMaster) == nullptr) {
        HangUp();  // closes what was opened: IsReady() is false
        return;
    }
    m_strSlave = ::ptsname(m_nMaster);
    m_nSlaveKeep = ::open(m_strSlave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::fcntl(m_nMaster, F_SETFL, ::fcntl(m_nMaster, F_GETFL) | O_NONBLOCK);
}

CPtyPeer::~CPtyPeer()
{
    HangUp();
    if (!m_strLink.empty())
        ::unlink(m_strLink.c_str());
}

bool CPtyPeer::LinkAs(const std::string& strDir, int nComNumber)
{
    m_strLink = strDir + "/COM" + std::to_string(nComNumber);
    ::unlink(m_strLink.c_str());
    return ::symlink(m_strSlave.c_str(), m_strLink.c_str()) == 0;
}

void CPtyPeer::Start(std::function<CPeerAnswer(const std::string&)> fnAnswer)
{
    Stop();
    m_fnAnswer = std::move(fnAnswer);
    m_bRun = true;
    m_thread = std::thread([this] { Run(); });
}

void CPtyPeer::Stop()
{
    m_bNoise = false;
    m_bRun = false;
    if (m_thread.joinable())
        m_thread.join();
}

bool CPtyPeer::WriteAll(const std::string& strBytes, int nStallMs, bool bWhileRunning)
{
    for (size_t nDone = 0; nDone < strBytes.size();) {
        if (bWhileRunning && !m_bRun)
            return false;
        const ssize_t n = ::write(m_nMaster, strBytes.data() + nDone, strBytes.size() - nDone);
        pollfd pfd{m_nMaster, POLLOUT, 0};
        if (n > 0)
            nDone += static_cast<size_t>(n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR) || (::poll(&pfd, 1, nStallMs) == 0 && !bWhileRunning))
            return false;
    }
    return true;
}

bool CPtyPeer::WriteMaster(const std::string& strBytes) { return WriteAll(strBytes, 1000, false); }

void CPtyPeer::Run()
{
    std::string strPending;
    while (m_bRun && m_nMaster >= 0) {
        pollfd pfd{m_nMaster, POLLIN, 0};
        char achBuf[256];
        const ssize_t n = ::poll(&pfd, 1, 5) > 0 ? ::read(m_nMaster, achBuf, sizeof achBuf) : 0;
        if (n <= 0)
            continue;
        strPending.append(achBuf, static_cast<size_t>(n));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_strReceived.append(achBuf, static_cast<size_t>(n));
        }
        for (int nFrame; (nFrame = FrameLength(strPending)) != 0;) {
            if (nFrame < 0) {
                strPending.erase(0, 1);  // not a frame start: the logged bytes show it
                continue;
            }
            const std::string strFrame = strPending.substr(0, static_cast<size_t>(nFrame));
            strPending.erase(0, static_cast<size_t>(nFrame));
            const CPeerAnswer answer = m_fnAnswer ? m_fnAnswer(strFrame) : CPeerAnswer{};
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_astrFrames.push_back(strFrame);
            }
            m_cv.notify_all();
            std::this_thread::sleep_for(std::chrono::milliseconds(answer.nDelayMs));
            WriteAll(answer.strReply, 5, true);
            for (m_bNoise = answer.bNeverQuiet; m_bNoise && m_bRun;) {  // a byte about every millisecond
                WriteAll("~", 5, true);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
}

std::string CPtyPeer::Received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strReceived;
}

std::vector<std::string> CPtyPeer::Frames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_astrFrames;
}

bool CPtyPeer::WaitFrames(size_t nFrames, int nTimeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), [&] { return m_astrFrames.size() >= nFrames; });
}

std::string CPtyPeer::ReadMaster(int nTimeoutMs, size_t nMax)
{
    std::string str;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (auto tNow = std::chrono::steady_clock::now(); str.size() < nMax && tNow < tEnd;
         tNow = std::chrono::steady_clock::now()) {
        pollfd pfd{m_nMaster, POLLIN, 0};
        char achBuf[256];
        const int nLeftMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(tEnd - tNow).count());
        const ssize_t n =
            ::poll(&pfd, 1, nLeftMs) > 0 ? ::read(m_nMaster, achBuf, std::min(sizeof achBuf, nMax - str.size())) : 0;
        if (n > 0)
            str.append(achBuf, static_cast<size_t>(n));
    }
    return str;
}

void CPtyPeer::HangUp()
{
    Stop();
    for (int* pFd : {&m_nSlaveKeep, &m_nMaster}) {
        if (*pFd >= 0)
            ::close(*pFd);
        *pFd = -1;
    }
}

double ElapsedMs(const std::function<void()>& fn)
{
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

std::string HlReply(uint8_t byAddress, const std::string& strPayload24)
{
    return std::string(1, static_cast<char>(byAddress)) + "HL\r\nCD" + strPayload24 + "\r\n";
}

std::string HtReply(uint8_t byAddress, uint8_t byParam, const std::string& strDigits21)
{
    return std::string{static_cast<char>(byAddress), 'H', 'T', static_cast<char>(byParam), '\r', '\n'} + strDigits21 +
           "\r\n";
}

}  // namespace tkdtest
