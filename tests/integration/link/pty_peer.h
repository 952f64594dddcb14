// The test's end of a pseudo-terminal: an "indicator" at the master that logs frames and answers by script.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tkdtest {

// What the peer does when a whole request frame has come.
struct CPeerAnswer {
    std::string strReply;     // written after nDelayMs (nothing when empty)
    int nDelayMs = 0;
    bool bNeverQuiet = false; // after the reply, keep writing bytes until StopNoise()
};

// A pseudo-terminal pair: the master here, the slave reached through a COMn link. The peer keeps the slave
// open itself, so the master never sees a hang-up while the port under test is closed.
class CPtyPeer {
public:
    CPtyPeer();
    ~CPtyPeer();
    CPtyPeer(const CPtyPeer&) = delete;
    CPtyPeer& operator=(const CPtyPeer&) = delete;

    bool IsReady() const { return m_nMaster >= 0; }
    int MasterFd() const { return m_nMaster; }
    const std::string& SlavePath() const { return m_strSlave; }
    bool LinkAs(const std::string& strDir, int nComNumber);

    // Answers each request frame (HL or HT, recognised by structure) with fnAnswer's result on a thread of
    // its own, until Stop. Without Start the master is only read and written by hand.
    void Start(std::function<CPeerAnswer(const std::string& strFrame)> fnAnswer);
    void Stop();
    void StopNoise() { m_bNoise = false; }

    // Every byte the master has read since Start, and the frames found in them.
    std::string Received() const;
    std::vector<std::string> Frames() const;
    // Waits until nFrames frames have come; false after nTimeoutMs.
    bool WaitFrames(size_t nFrames, int nTimeoutMs) const;

    // By hand (without Start): writes at the master, reads what the slave sent within nTimeoutMs.
    bool WriteMaster(const std::string& strBytes);
    std::string ReadMaster(int nTimeoutMs, size_t nMax = 4096);

    // Closes the master: the slave side is hung up.
    void HangUp();

private:
    void Run();
    // False when the master takes nothing for nStallMs (nobody reads the slave) or, bWhileRunning, after Stop.
    bool WriteAll(const std::string& strBytes, int nStallMs, bool bWhileRunning);

    int m_nMaster = -1;
    int m_nSlaveKeep = -1;
    std::string m_strSlave;
    std::string m_strLink;
    std::function<CPeerAnswer(const std::string&)> m_fnAnswer;
    std::thread m_thread;
    std::atomic<bool> m_bRun{false};
    std::atomic<bool> m_bNoise{false};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::string m_strReceived;
    std::vector<std::string> m_astrFrames;
};

// Milliseconds elapsed while fn runs (CLOCK_MONOTONIC).
double ElapsedMs(const std::function<void()>& fn);

// A well-formed 33-byte HL reply and 29-byte HT reply.
std::string HlReply(uint8_t byAddress, const std::string& strPayload24 = "000021000000000000001234");
std::string HtReply(uint8_t byAddress, uint8_t byParam, const std::string& strDigits21 = "012345678901234567890");

}  // namespace tkdtest
