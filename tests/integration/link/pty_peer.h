// The indicator's end of a pseudo-terminal linked as COMn: its master, written and read raw by the tests.
#pragma once

#include <string>

namespace tkdtest {

// The slave stays open here as well, so that the master never sees a hang-up while the port is closed.
class CPtyPeer {
public:
    CPtyPeer();
    ~CPtyPeer() { HangUp(); }
    CPtyPeer(const CPtyPeer&) = delete;
    CPtyPeer& operator=(const CPtyPeer&) = delete;

    bool IsReady() const { return m_nSlave >= 0; }
    int MasterFd() const { return m_nMaster; }
    bool LinkAs(const std::string& strDir, int nComNumber) const;
    bool WriteMaster(const std::string& strBytes) const;
    // What the port sent: up to nMax bytes, waiting at most nTimeoutMs.
    std::string ReadMaster(int nTimeoutMs, size_t nMax = 4096) const;
    // Closes both ends: the port's side of the line is hung up.
    void HangUp();

private:
    int m_nMaster = -1;
    int m_nSlave = -1;
};

}  // namespace tkdtest
