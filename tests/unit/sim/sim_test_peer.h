// The product's end of a simulated line: raw reads and writes on the slave, and a started line with one indicator.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "sim_line.h"

namespace simtest {

inline double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
inline void SleepMs(int nMs) { std::this_thread::sleep_for(std::chrono::milliseconds(nMs)); }
inline std::string Hl(int nAddress) { return std::string{static_cast<char>(nAddress), 'H', 'L', '\r', '\n'}; }
inline std::string Ht(int nAddress, int nParam)
{
    return std::string{static_cast<char>(nAddress), 'H', 'T', static_cast<char>(nParam), '\r', '\n'};
}

class CPeer {
public:
    explicit CPeer(const std::string& strPath) : m_fd(::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~CPeer() { ::close(m_fd); }
    CPeer(const CPeer&) = delete;
    CPeer& operator=(const CPeer&) = delete;
    bool IsOpen() const { return m_fd >= 0; }
    bool Send(const std::string& s) { return ::write(m_fd, s.data(), s.size()) == static_cast<ssize_t>(s.size()); }
    // Reads until nWant bytes came, the line was quiet for nQuietMs (before the first byte too) or nLimitMs passed.
    std::string Read(size_t nWant, int nQuietMs, int nLimitMs = 3000)
    {
        std::string str;
        const double dEnd = NowMs() + nLimitMs;
        double dQuietEnd = NowMs() + nQuietMs;
        for (double dNow; str.size() < nWant && (dNow = NowMs()) < std::min(dEnd, dQuietEnd);) {
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(std::min(dEnd, dQuietEnd) - dNow) + 1) <= 0)
                continue;
            char ac[256];
            const ssize_t n = ::read(m_fd, ac, std::min(sizeof ac, nWant - str.size()));
            if (n <= 0)
                break;
            str.append(ac, static_cast<size_t>(n));
            dQuietEnd = NowMs() + nQuietMs;
        }
        return str;
    }
    std::string ReadUntilQuiet(int nQuietMs, int nLimitMs = 3000) { return Read(SIZE_MAX, nQuietMs, nLimitMs); }
    std::string Ask(const std::string& strFrame, size_t nWant) { return Send(strFrame) ? Read(nWant, 1000, 1000) : ""; }
    const int m_fd;
};

// A started line with indicator 5 (demo tuning) and the product's end opened.
class CSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_ind.ApplyDemoTuning();
        ASSERT_TRUE(m_line.Start());
        m_pPeer = std::make_unique<CPeer>(m_line.SlavePath());
        ASSERT_TRUE(m_pPeer->IsOpen());
    }
    // Sends the bytes and collects what comes until 80 ms of quiet.
    std::string Exchange(const std::string& strSent)
    {
        EXPECT_TRUE(m_pPeer->Send(strSent));
        return m_pPeer->ReadUntilQuiet(80);
    }

    CSimLine m_line;
    CSimIndicator& m_ind = m_line.AddIndicator(5);
    std::unique_ptr<CPeer> m_pPeer;
};

}  // namespace simtest
