// The test's end of a pseudo-terminal: frame recognition at the master and scripted answers.
#include "pty_peer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tkdtest {

namespace {

// Length of the request frame at the start of str: 5 (HL), 6 (HT), 0 when more bytes are needed,
// -1 when no frame starts here. The parameter of HT may itself be CR or LF, so frames are
// recognised by structure.
int FrameLength(const std::string& str)
{
    if (str.size() < 5)
        return 0;
    if (str[1] == 'H' && str[2] == 'L' && str[3] == '\r' && str[4] == '\n')
        return 5;
    if (str[1] == 'H' && str[2] == 'T') {
        if (str.size() < 6)
            return 0;
        if (str[4] == '\r' && str[5] == '\n')
            return 6;
    }
    return -1;
}

}  // namespace

CPtyPeer::CPtyPeer()
{
    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nMaster < 0)
        return;
    if (::grantpt(m_nMaster) != 0 || ::unlockpt(m_nMaster) != 0 || ::ptsname(m_nMaster) == nullptr) {
        ::close(m_nMaster);
        m_nMaster = -1;
        return;
    }
    m_strSlave = ::ptsname(m_nMaster);
    m_nSlaveKeep = ::open(m_strSlave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::fcntl(m_nMaster, F_SETFL, ::fcntl(m_nMaster, F_GETFL) | O_NONBLOCK);
}

CPtyPeer::~CPtyPeer()
{
    Stop();
    if (!m_strLink.empty())
        ::unlink(m_strLink.c_str());
    if (m_nSlaveKeep >= 0)
        ::close(m_nSlaveKeep);
    if (m_nMaster >= 0)
        ::close(m_nMaster);
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

void CPtyPeer::WriteAll(const std::string& strBytes)
{
    size_t nDone = 0;
    while (nDone < strBytes.size() && m_bRun) {
        const ssize_t n = ::write(m_nMaster, strBytes.data() + nDone, strBytes.size() - nDone);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd pfd{m_nMaster, POLLOUT, 0};
            ::poll(&pfd, 1, 5);
        } else {
            return;
        }
    }
}

void CPtyPeer::Run()
{
    std::string strPending;
    while (m_bRun && m_nMaster >= 0) {
        pollfd pfd{m_nMaster, POLLIN, 0};
        if (::poll(&pfd, 1, 5) <= 0 || !(pfd.revents & POLLIN))
            continue;
        char achBuf[256];
        const ssize_t n = ::read(m_nMaster, achBuf, sizeof achBuf);
        if (n <= 0)
            continue;
        strPending.append(achBuf, static_cast<size_t>(n));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_strReceived.append(achBuf, static_cast<size_t>(n));
        }
        for (;;) {
            const int nFrame = FrameLength(strPending);
            if (nFrame == 0)
                break;
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
            if (answer.nDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(answer.nDelayMs));
            WriteAll(answer.strReply);
            if (answer.bNeverQuiet) {
                // One byte about every millisecond, for as long as the test wants.
                m_bNoise = true;
                while (m_bNoise && m_bRun) {
                    WriteAll("~");
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
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

bool CPtyPeer::WriteMaster(const std::string& strBytes)
{
    size_t nDone = 0;
    while (nDone < strBytes.size()) {
        const ssize_t n = ::write(m_nMaster, strBytes.data() + nDone, strBytes.size() - nDone);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd pfd{m_nMaster, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) == 0)
                return false;  // nobody reads the slave: the pty's buffer stays full
        } else {
            return false;
        }
    }
    return true;
}

std::string CPtyPeer::ReadMaster(int nTimeoutMs, size_t nMax)
{
    std::string str;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (str.size() < nMax) {
        const auto tLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - std::chrono::steady_clock::now()).count();
        if (tLeft <= 0)
            break;
        pollfd pfd{m_nMaster, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(tLeft)) <= 0 || !(pfd.revents & POLLIN))
            continue;
        char achBuf[256];
        const size_t nWant = std::min(sizeof achBuf, nMax - str.size());
        const ssize_t n = ::read(m_nMaster, achBuf, nWant);
        if (n > 0)
            str.append(achBuf, static_cast<size_t>(n));
    }
    return str;
}

void CPtyPeer::HangUp()
{
    Stop();
    if (m_nSlaveKeep >= 0)
        ::close(m_nSlaveKeep);
    m_nSlaveKeep = -1;
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nMaster = -1;
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
    return std::string(1, static_cast<char>(byAddress)) + "HT" + std::string(1, static_cast<char>(byParam)) + "\r\n" +
           strDigits21 + "\r\n";
}

}  // namespace tkdtest
