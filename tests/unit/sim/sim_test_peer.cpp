// The product's end of a simulated line for the simulator's tests: raw reads and writes on the slave.
#include "sim_test_peer.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace simtest {

double NowMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void SleepMs(int nMs)
{
    timespec ts{nMs / 1000, static_cast<long>(nMs % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::string Hl(int nAddress)
{
    return std::string(1, static_cast<char>(nAddress & 0xFF)) + "HL\r\n";
}

std::string Ht(int nAddress, int nParam)
{
    return std::string(1, static_cast<char>(nAddress & 0xFF)) + "HT" + std::string(1, static_cast<char>(nParam & 0xFF)) +
           "\r\n";
}

CPeer::CPeer(const std::string& strPath)
{
    m_fd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

CPeer::~CPeer() { Close(); }

void CPeer::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CPeer::Send(const std::string& strBytes)
{
    return m_fd >= 0 && ::write(m_fd, strBytes.data(), strBytes.size()) == static_cast<ssize_t>(strBytes.size());
}

std::string CPeer::ReadN(size_t nWant, int nTimeoutMs)
{
    std::string str;
    const double dEnd = NowMs() + nTimeoutMs;
    while (m_fd >= 0 && str.size() < nWant) {
        const double dLeft = dEnd - NowMs();
        if (dLeft <= 0)
            break;
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(dLeft) + 1) <= 0)
            continue;
        char ac[256];
        const size_t nRoom = std::min(sizeof ac, nWant - str.size());
        const ssize_t n = ::read(m_fd, ac, nRoom);
        if (n > 0)
            str.append(ac, static_cast<size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return str;
}

std::string CPeer::ReadUntilQuiet(int nQuietMs, int nLimitMs)
{
    std::string str;
    const double dEnd = NowMs() + nLimitMs;
    double dQuietEnd = NowMs() + nQuietMs;
    while (m_fd >= 0) {
        const double dNow = NowMs();
        const double dUntil = std::min(dEnd, dQuietEnd);
        if (dNow >= dUntil)
            break;
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(dUntil - dNow) + 1) <= 0)
            continue;
        char ac[256];
        const ssize_t n = ::read(m_fd, ac, sizeof ac);
        if (n > 0) {
            str.append(ac, static_cast<size_t>(n));
            dQuietEnd = NowMs() + nQuietMs;
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    return str;
}

std::string CPeer::Ask(const std::string& strFrame, size_t nWant)
{
    if (!Send(strFrame))
        return {};
    return ReadN(nWant, 1000);
}

}  // namespace simtest
