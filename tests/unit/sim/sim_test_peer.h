// The product's end of a simulated line for the simulator's tests: raw reads and writes on the slave.
#pragma once

#include <cstdint>
#include <string>

#include "sim_line.h"

namespace simtest {

// Opens the slave of a started line (non-blocking) and talks to it with plain read/write.
class CPeer {
public:
    explicit CPeer(const std::string& strPath);
    ~CPeer();
    CPeer(const CPeer&) = delete;
    CPeer& operator=(const CPeer&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    bool Send(const std::string& strBytes);
    // Reads until nWant bytes came or nTimeoutMs passed, whichever is first.
    std::string ReadN(size_t nWant, int nTimeoutMs);
    // Reads until the line has been quiet for nQuietMs after the last byte (or before the first),
    // for at most nLimitMs.
    std::string ReadUntilQuiet(int nQuietMs, int nLimitMs = 3000);
    // One request and its reply: the frame, then ReadN(nWant, 1000).
    std::string Ask(const std::string& strFrame, size_t nWant);
    void Close();

private:
    int m_fd = -1;
};

std::string Hl(int nAddress);
std::string Ht(int nAddress, int nParam);
double NowMs();  // CLOCK_MONOTONIC
void SleepMs(int nMs);

}  // namespace simtest
