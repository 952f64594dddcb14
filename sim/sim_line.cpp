// The simulated line: the pseudo-terminal, its service thread, frame recognition, replies, faults, log.
#include "sim_line.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "sim_indicator_impl.h"

namespace {

constexpr size_t kMaxLog = 200000;
constexpr size_t kReadChunk = 512;     // one read of the master
constexpr double kStaleRxMs = 500;     // an unfinished frame older than this is dropped as garbage
constexpr int kStreamPeriodMs = 1;      // a streaming line tops up the slave's input this often...
constexpr int kStreamBacklog = 1024;    // ...to this many unread bytes, so a reader never finds it empty,
                                        // even when this thread is late on a busy machine
constexpr int kTruncatedLen = 20;      // bytes of a truncated reply
constexpr int kMaxDelayMs = 600000;

int64_t MonotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::string Addr2(int nAddress)
{
    char sz[8] = {};
    std::snprintf(sz, sizeof sz, "%02d", nAddress & 0xFF);
    return sz;
}

// 24 bytes that are no request frame and no reply shape: no 'H', no CR or LF anywhere.
std::string GarbageReply()
{
    return "?*GARBAGE*?#@!~$%^&()_+=";
}

}  // namespace

struct CSimLine::CImpl {
    struct CPending {
        double dDueMs;
        std::string strBytes;
        std::string strNote;
        int nAddress;
        char cKind;
    };

    double NowMs() const { return static_cast<double>(MonotonicNs() - nStartNs) / 1e6; }
    void Run();
    void Wake() const;
    void Parse(double dNowMs);
    void HandleFrame(const std::string& strFrame, double dNowMs);
    void FlushGarbage(double dNowMs);
    void Reply(const std::string& strBytes, const std::string& strNote, int nAddress, char cKind, int nExtraDelayMs,
               double dNowMs);
    void Write(const std::string& strBytes, const std::string& strNote, int nAddress, char cKind);
    void Log(CSimLogEntry::EDir eDir, const std::string& strBytes, const std::string& strNote, int nAddress,
             char cKind, double dMs = -1);
    void CloseFds();
    void Stream(double dNowMs);
    void FlushSink(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex;
    mutable std::condition_variable cvRequests;  // request counts grew, or a hang-up was carried out
    std::deque<std::unique_ptr<CSimIndicator>> apIndicators;
    int fdMaster = -1;
    int fdSlave = -1;
    int afdWake[2] = {-1, -1};
    std::string strSlavePath;
    std::string strLinkPath;
    std::thread thread;
    bool bRunning = false;
    bool bStop = false;
    bool bHangUpAsked = false;
    int64_t nStartNs = MonotonicNs();

    std::string strRx;       // bytes read that may still become a frame (at most 5)
    double dRxSinceMs = 0;   // when strRx last started or moved
    std::string strGarbage;  // bytes dropped while finding the next frame, logged as one entry
    std::vector<CPending> aPending;
    int nReplyDelayMs = 0;
    bool bStreaming = false;
    int nStreamRate = 0;  // bytes per second; 0: keep kStreamBacklog bytes waiting
    double dStreamStartMs = 0;
    double dNextStreamMs = 0;
    uint64_t nStreamBytes = 0;
    uint32_t nStreamRand = 12345;

    std::deque<CSimLogEntry> log;
    std::vector<CSimLogEntry> aToSink;
    std::function<void(const CSimLogEntry&)> sink;
    std::mutex sinkMutex;  // held while the sink runs, so a new sink never races an old one
    std::map<std::pair<int, char>, int> counts;
};

CSimLine::CSimLine() : m_pImpl(std::make_unique<CImpl>()) {}

CSimLine::~CSimLine() { Stop(); }

bool CSimLine::Start()
{
    CImpl& m = *m_pImpl;
    std::lock_guard lock(m.mutex);
    if (m.bRunning)
        return true;

    int fdMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fdMaster < 0)
        return false;
    char szName[128] = {};
    int fdSlave = -1;
    int afdWake[2] = {-1, -1};
    bool bOk = ::grantpt(fdMaster) == 0 && ::unlockpt(fdMaster) == 0 &&
               ::ptsname_r(fdMaster, szName, sizeof szName - 1) == 0;
    if (bOk) {
        const int nFlags = ::fcntl(fdMaster, F_GETFL);
        bOk = nFlags >= 0 && ::fcntl(fdMaster, F_SETFL, nFlags | O_NONBLOCK) == 0;
    }
    if (bOk) {
        // Held for the line's whole life: without a slave open the master reads EIO, and bytes
        // written to the master wait until the product opens the port.
        fdSlave = ::open(szName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        bOk = fdSlave >= 0;
    }
    if (bOk) {
        // Raw: every byte value is data. Address 0x11 or 0x13 must not act as XON/XOFF, and a
        // parameter of 0x0D must not turn into 0x0A.
        termios tio{};
        bOk = ::tcgetattr(fdSlave, &tio) == 0;
        if (bOk) {
            ::cfmakeraw(&tio);
            tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
            tio.c_cflag |= CLOCAL | CREAD;
            tio.c_cc[VMIN] = 0;
            tio.c_cc[VTIME] = 0;
            ::cfsetispeed(&tio, B9600);
            ::cfsetospeed(&tio, B9600);
            bOk = ::tcsetattr(fdSlave, TCSANOW, &tio) == 0;
        }
    }
    if (bOk)
        bOk = ::pipe2(afdWake, O_NONBLOCK | O_CLOEXEC) == 0;
    if (!bOk) {
        ::close(fdMaster);
        if (fdSlave >= 0)
            ::close(fdSlave);
        return false;
    }

    m.fdMaster = fdMaster;
    m.fdSlave = fdSlave;
    m.afdWake[0] = afdWake[0];
    m.afdWake[1] = afdWake[1];
    m.strSlavePath = szName;
    m.nStartNs = MonotonicNs();
    m.bStop = false;
    m.bHangUpAsked = false;
    m.strRx.clear();
    m.strGarbage.clear();
    m.aPending.clear();
    m.log.clear();  // times count from this Start
    m.counts.clear();
    m.bRunning = true;
    m.thread = std::thread([&m] { m.Run(); });
    return true;
}

void CSimLine::Stop()
{
    CImpl& m = *m_pImpl;
    {
        std::lock_guard lock(m.mutex);
        if (!m.bRunning)
            return;
        m.bStop = true;
        m.Wake();
    }
    m.thread.join();
    std::unique_lock lock(m.mutex);
    m.CloseFds();
    for (int& fd : m.afdWake) {
        ::close(fd);
        fd = -1;
    }
    if (!m.strLinkPath.empty()) {
        // Only our own link: another simulator may have taken the name since.
        char szTarget[256] = {};
        const ssize_t n = ::readlink(m.strLinkPath.c_str(), szTarget, sizeof szTarget - 1);
        if (n > 0 && m.strSlavePath == std::string(szTarget, static_cast<size_t>(n)))
            ::unlink(m.strLinkPath.c_str());
        m.strLinkPath.clear();
    }
    m.bRunning = false;
    m.FlushSink(lock);
}

bool CSimLine::IsRunning() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->bRunning;
}

std::string CSimLine::SlavePath() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->strSlavePath;
}

std::string CSimLine::LinkPath() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->strLinkPath;
}

bool CSimLine::LinkAs(const std::string& strDir, int nComNumber)
{
    CImpl& m = *m_pImpl;
    std::lock_guard lock(m.mutex);
    if (!m.bRunning || m.strSlavePath.empty() || nComNumber < 1 || nComNumber > 99)
        return false;
    const std::string strPath = (strDir.empty() ? std::string(".") : strDir) + "/COM" + std::to_string(nComNumber);
    struct stat st{};
    if (::lstat(strPath.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return false;
        if (::unlink(strPath.c_str()) != 0)
            return false;
    }
    if (::symlink(m.strSlavePath.c_str(), strPath.c_str()) != 0)
        return false;
    m.strLinkPath = strPath;
    return true;
}

CSimIndicator& CSimLine::AddIndicator(int nAddress)
{
    CImpl& m = *m_pImpl;
    std::lock_guard lock(m.mutex);
    for (auto& p : m.apIndicators)
        if (p->Address() == nAddress)
            return *p;
    m.apIndicators.push_back(std::unique_ptr<CSimIndicator>(new CSimIndicator(nAddress, &m.mutex)));
    return *m.apIndicators.back();
}

CSimIndicator* CSimLine::Find(int nAddress)
{
    std::lock_guard lock(m_pImpl->mutex);
    for (auto& p : m_pImpl->apIndicators)
        if (p->Address() == nAddress)
            return p.get();
    return nullptr;
}

void CSimLine::SetReplyDelayMs(int nMs)
{
    std::lock_guard lock(m_pImpl->mutex);
    m_pImpl->nReplyDelayMs = std::clamp(nMs, 0, kMaxDelayMs);
}

void CSimLine::SetStreaming(bool bOn, int nBytesPerSecond)
{
    CImpl& m = *m_pImpl;
    {
        std::lock_guard lock(m.mutex);
        m.nStreamRate = std::clamp(nBytesPerSecond, 0, 10000000);
        if (m.bStreaming == bOn)
            return;
        m.bStreaming = bOn;
        if (bOn) {
            m.nStreamBytes = 0;
            m.dStreamStartMs = m.dNextStreamMs = m.NowMs();
            m.Log(CSimLogEntry::kEvent, {},
                  m.nStreamRate ? "stream on, " + std::to_string(m.nStreamRate) + " bytes/s" : "stream on", -1, 0);
        } else {
            m.Log(CSimLogEntry::kEvent, {}, "stream off after " + std::to_string(m.nStreamBytes) + " bytes", -1, 0);
        }
        m.Wake();
    }
}

void CSimLine::HangUp()
{
    CImpl& m = *m_pImpl;
    std::unique_lock lock(m.mutex);
    if (!m.bRunning) {
        m.CloseFds();
        return;
    }
    if (m.fdMaster < 0)
        return;
    // The service thread may be inside poll() on the master: it closes the descriptors itself.
    m.bHangUpAsked = true;
    m.Wake();
    m.cvRequests.wait(lock, [&m] { return !m.bHangUpAsked; });
}

std::vector<CSimLogEntry> CSimLine::Log() const
{
    std::lock_guard lock(m_pImpl->mutex);
    return {m_pImpl->log.begin(), m_pImpl->log.end()};
}

void CSimLine::ClearLog()
{
    std::lock_guard lock(m_pImpl->mutex);
    m_pImpl->log.clear();
    m_pImpl->counts.clear();
}

int CSimLine::CountRequests(int nAddress, char cKind) const
{
    std::lock_guard lock(m_pImpl->mutex);
    int n = 0;
    for (const auto& [key, nCount] : m_pImpl->counts)
        if ((nAddress < 0 || key.first == (nAddress & 0xFF)) && (cKind == 0 || key.second == cKind))
            n += nCount;
    return n;
}

bool CSimLine::WaitForRequests(int nCount, int nTimeoutMs, int nAddress, char cKind) const
{
    std::unique_lock lock(m_pImpl->mutex);
    auto count = [&] {
        int n = 0;
        for (const auto& [key, nC] : m_pImpl->counts)
            if ((nAddress < 0 || key.first == (nAddress & 0xFF)) && (cKind == 0 || key.second == cKind))
                n += nC;
        return n;
    };
    return m_pImpl->cvRequests.wait_for(lock, std::chrono::milliseconds(std::max(0, nTimeoutMs)),
                                        [&] { return count() >= nCount; });
}

void CSimLine::SetLogSink(std::function<void(const CSimLogEntry&)> sink)
{
    std::lock_guard sinkLock(m_pImpl->sinkMutex);
    std::lock_guard lock(m_pImpl->mutex);
    m_pImpl->sink = std::move(sink);
}

std::string CSimLine::FormatLogEntry(const CSimLogEntry& entry)
{
    static const char* const kDir[] = {"in ", "out", "---"};
    char sz[64] = {};
    const int nDir = (entry.eDir >= CSimLogEntry::kIn && entry.eDir <= CSimLogEntry::kEvent) ? entry.eDir : 2;
    std::snprintf(sz, sizeof sz, "%12.3f %s ", entry.dMs, kDir[nDir]);
    std::string str = sz;
    str += entry.strNote;
    if (!entry.strBytes.empty()) {
        if (str.size() < 60)
            str.resize(60, ' ');
        str += " |";
        for (unsigned char c : entry.strBytes) {
            std::snprintf(sz, sizeof sz, " %02X", c);
            str += sz;
        }
    }
    return str;
}

// ---- inside the service thread (and the lock) ----

// Called with the lock held: Stop closes the pipe under it.
void CSimLine::CImpl::Wake() const
{
    if (afdWake[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(afdWake[1], &c, 1);  // a full pipe already wakes the thread
    }
}

void CSimLine::CImpl::CloseFds()
{
    if (fdMaster >= 0)
        ::close(fdMaster);
    if (fdSlave >= 0)
        ::close(fdSlave);
    fdMaster = fdSlave = -1;
}

void CSimLine::CImpl::Log(CSimLogEntry::EDir eDir, const std::string& strBytes, const std::string& strNote,
                          int nAddress, char cKind, double dMs)
{
    CSimLogEntry entry;
    entry.dMs = dMs < 0 ? NowMs() : dMs;
    entry.eDir = eDir;
    entry.strBytes = strBytes;
    entry.strNote = strNote;
    entry.nAddress = nAddress;
    entry.cKind = cKind;
    if (log.size() >= kMaxLog)
        log.pop_front();
    log.push_back(entry);
    if (sink && aToSink.size() < kMaxLog)
        aToSink.push_back(std::move(entry));
}

void CSimLine::CImpl::FlushSink(std::unique_lock<std::mutex>& lock)
{
    if (aToSink.empty())
        return;
    std::vector<CSimLogEntry> aEntries;
    aEntries.swap(aToSink);
    lock.unlock();
    {
        std::lock_guard sinkLock(sinkMutex);
        if (sink)
            for (const auto& entry : aEntries)
                sink(entry);
    }
    lock.lock();
}

void CSimLine::CImpl::Write(const std::string& strBytes, const std::string& strNote, int nAddress, char cKind)
{
    if (fdMaster < 0) {
        Log(CSimLogEntry::kEvent, {}, strNote + ": not sent, line hung up", nAddress, cKind);
        return;
    }
    ssize_t n;
    do
        n = ::write(fdMaster, strBytes.data(), strBytes.size());
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(strBytes.size()))
        Log(CSimLogEntry::kOut, strBytes, strNote, nAddress, cKind);
    else if (n > 0)
        Log(CSimLogEntry::kOut, strBytes.substr(0, static_cast<size_t>(n)),
            strNote + " (short write, pty buffer full)", nAddress, cKind);
    else
        Log(CSimLogEntry::kEvent, {}, strNote + ": not sent, pty buffer full", nAddress, cKind);
}

void CSimLine::CImpl::Reply(const std::string& strBytes, const std::string& strNote, int nAddress, char cKind,
                            int nExtraDelayMs, double dNowMs)
{
    const int nDelay = nReplyDelayMs + nExtraDelayMs;
    if (nDelay <= 0) {
        Write(strBytes, strNote, nAddress, cKind);
        return;
    }
    aPending.push_back(CPending{dNowMs + nDelay, strBytes, strNote, nAddress, cKind});
    std::stable_sort(aPending.begin(), aPending.end(),
                     [](const CPending& a, const CPending& b) { return a.dDueMs < b.dDueMs; });
}

void CSimLine::CImpl::FlushGarbage(double dNowMs)
{
    if (strGarbage.empty())
        return;
    Log(CSimLogEntry::kIn, strGarbage, "garbage " + std::to_string(strGarbage.size()), -1, 0, dNowMs);
    strGarbage.clear();
}

// Frames are found by their structure, never by looking for CR LF: the HT parameter may itself be
// 0x0D or 0x0A. At the front of the buffer either a frame can still begin (wait for more bytes), a
// whole frame stands (handle it), or neither (drop one byte and look again).
void CSimLine::CImpl::Parse(double dNowMs)
{
    while (!strRx.empty()) {
        const size_t n = strRx.size();
        size_t nLen = 0;
        bool bPossible = true;
        if (n >= 2 && strRx[1] != 'H')
            bPossible = false;
        else if (n >= 3) {
            if (strRx[2] == 'L')
                nLen = 5;
            else if (strRx[2] == 'T')
                nLen = 6;
            else
                bPossible = false;
        }
        if (bPossible && nLen != 0) {
            if (n > nLen - 2 && strRx[nLen - 2] != '\r')
                bPossible = false;
            else if (n > nLen - 1 && strRx[nLen - 1] != '\n')
                bPossible = false;
        }
        if (!bPossible) {
            strGarbage += strRx[0];
            strRx.erase(0, 1);
            dRxSinceMs = dNowMs;
            continue;
        }
        if (nLen != 0 && n >= nLen) {
            FlushGarbage(dNowMs);
            const std::string strFrame = strRx.substr(0, nLen);
            strRx.erase(0, nLen);
            dRxSinceMs = dNowMs;
            HandleFrame(strFrame, dNowMs);
            continue;
        }
        break;  // a frame may still complete
    }
    FlushGarbage(dNowMs);
}

void CSimLine::CImpl::HandleFrame(const std::string& strFrame, double dNowMs)
{
    const int nAddress = static_cast<unsigned char>(strFrame[0]);
    const char cKind = strFrame[2];
    const int nParam = cKind == 'T' ? static_cast<unsigned char>(strFrame[3]) : 0;
    std::string strWhat = std::string("H") + cKind + " " + Addr2(nAddress);
    if (cKind == 'T')
        strWhat += " " + std::to_string(nParam);
    Log(CSimLogEntry::kIn, strFrame, strWhat, nAddress, cKind, dNowMs);
    ++counts[{nAddress, cKind}];
    cvRequests.notify_all();

    CSimIndicator* pInd = nullptr;
    for (auto& p : apIndicators)
        if ((p->Address() & 0xFF) == nAddress) {
            pInd = p.get();
            break;
        }
    if (!pInd) {
        Log(CSimLogEntry::kEvent, {}, "no answer " + Addr2(nAddress) + ": no indicator", nAddress, cKind, dNowMs);
        return;
    }
    CSimIndicator::CImpl& ind = *pInd->m_pImpl;
    const ESimFault eFault = ind.TakeFault(cKind);
    switch (eFault) {
    case ESimFault::kNoAnswer:
        Log(CSimLogEntry::kEvent, {}, "no answer " + Addr2(nAddress) + " (fault)", nAddress, cKind, dNowMs);
        return;
    case ESimFault::kGarbage:
        Reply(GarbageReply(), "garbage " + Addr2(nAddress) + " (fault)", nAddress, cKind, 0, dNowMs);
        return;
    default:
        break;
    }

    std::string strReply;
    std::string strNote;
    if (cKind == 'L') {
        // Faulted replies do not advance the indicator's state: the product never saw them.
        const bool bAdvance = eFault == ESimFault::kNone || eFault == ESimFault::kLate;
        const CSimIndicator::CImpl::CShown shown = bAdvance ? ind.NextHl(dNowMs) : ind.Current();
        strReply = ind.BuildHl(nAddress, shown);
        strNote = "reply " + strWhat + " state " + std::to_string(shown.nRecipe) + std::to_string(shown.nDose) +
                  " weight '" + shown.strWeight + "'";
    } else {
        strReply = ind.BuildHt(nAddress, nParam);
        strNote = "reply " + strWhat;
    }
    switch (eFault) {
    case ESimFault::kTruncated:
        strReply.resize(kTruncatedLen);
        Reply(strReply, "truncated " + strNote + " (fault)", nAddress, cKind, 0, dNowMs);
        return;
    case ESimFault::kCorrupted:
        if (cKind == 'L')
            strReply[6] = 'E';   // "CE" instead of "CD"
        else
            strReply[15] = ' ';  // a blank among the 21 digits
        Reply(strReply, "corrupted " + strNote + " (fault)", nAddress, cKind, 0, dNowMs);
        return;
    case ESimFault::kLate:
        Log(CSimLogEntry::kEvent, {}, "late " + Addr2(nAddress) + ": reply in " + std::to_string(ind.nLateMs) + " ms",
            nAddress, cKind, dNowMs);
        Reply(strReply, "late " + strNote + " (fault)", nAddress, cKind, ind.nLateMs, dNowMs);
        return;
    default:
        Reply(strReply, strNote, nAddress, cKind, 0, dNowMs);
        return;
    }
}

void CSimLine::CImpl::Stream(double dNowMs)
{
    if (!bStreaming || fdMaster < 0 || dNowMs < dNextStreamMs)
        return;
    dNextStreamMs = dNowMs + kStreamPeriodMs;
    size_t nWant;
    if (nStreamRate > 0) {
        const double dDue = (dNowMs - dStreamStartMs) * nStreamRate / 1000.0 - static_cast<double>(nStreamBytes);
        nWant = static_cast<size_t>(std::clamp(dDue, 0.0, static_cast<double>(kStreamBacklog)));
    } else {
        int nQueued = 0;
        if (fdSlave < 0 || ::ioctl(fdSlave, FIONREAD, &nQueued) != 0)
            nQueued = 0;
        nWant = static_cast<size_t>(kStreamBacklog - std::clamp(nQueued, 0, kStreamBacklog));
    }
    if (nWant == 0)
        return;
    // Bytes 0x80..0xFF only: never 'H', CR or LF, so never a reply shape by chance.
    char ac[kStreamBacklog];
    for (size_t i = 0; i < nWant; ++i) {
        nStreamRand = nStreamRand * 1103515245u + 12345u;
        ac[i] = static_cast<char>(0x80 | ((nStreamRand >> 16) & 0x7F));
    }
    const ssize_t n = ::write(fdMaster, ac, nWant);
    if (n > 0)
        nStreamBytes += static_cast<uint64_t>(n);
}

void CSimLine::CImpl::Run()
{
    std::unique_lock lock(mutex);
    while (!bStop) {
        if (bHangUpAsked) {
            CloseFds();
            strRx.clear();
            aPending.clear();
            Log(CSimLogEntry::kEvent, {}, "hang-up: line closed", -1, 0);
            bHangUpAsked = false;
            cvRequests.notify_all();
        }
        double dNow = NowMs();
        while (!aPending.empty() && aPending.front().dDueMs <= dNow) {
            const CPending p = aPending.front();
            aPending.erase(aPending.begin());
            Write(p.strBytes, p.strNote, p.nAddress, p.cKind);
        }
        Stream(dNow);
        if (!strRx.empty() && dNow - dRxSinceMs > kStaleRxMs) {
            strGarbage += strRx;
            strRx.clear();
            FlushGarbage(dNow);
        }

        double dWaitMs = 1000;
        if (!aPending.empty())
            dWaitMs = std::min(dWaitMs, aPending.front().dDueMs - dNow);
        if (bStreaming && fdMaster >= 0)
            dWaitMs = std::min(dWaitMs, dNextStreamMs - dNow);
        if (!strRx.empty())
            dWaitMs = std::min(dWaitMs, dRxSinceMs + kStaleRxMs + 1 - dNow);
        // Round up, so that a due write is never missed by a poll that wakes a fraction early.
        const int nWaitMs = std::max(0, static_cast<int>(dWaitMs + 0.999));
        const int fdMasterNow = fdMaster;
        FlushSink(lock);
        if (bStop || bHangUpAsked)
            continue;
        lock.unlock();

        pollfd afd[2] = {{afdWake[0], POLLIN, 0}, {fdMasterNow, POLLIN, 0}};
        const int nFds = fdMasterNow >= 0 ? 2 : 1;
        const int nReady = ::poll(afd, static_cast<nfds_t>(nFds), nWaitMs);
        if (nReady > 0 && (afd[0].revents & POLLIN)) {
            char ac[64];
            while (::read(afdWake[0], ac, sizeof ac) > 0) {
            }
        }
        std::string strIn;
        bool bError = false;
        if (nReady > 0 && nFds == 2 && (afd[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char ac[kReadChunk];
            for (;;) {
                const ssize_t n = ::read(fdMasterNow, ac, sizeof ac);
                if (n > 0) {
                    strIn.append(ac, static_cast<size_t>(n));
                    if (strIn.size() >= 8 * kReadChunk)
                        break;  // parse what came; the rest waits for the next round
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                    bError = true;
                break;
            }
        }
        if (bError && strIn.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // do not spin on a broken master

        lock.lock();
        if (!strIn.empty()) {
            dNow = NowMs();
            if (strRx.empty())
                dRxSinceMs = dNow;
            // The buffer is emptied by Parse down to at most 5 bytes of a possible frame each round.
            for (char c : strIn) {
                strRx += c;
                if (strRx.size() >= 64)
                    Parse(dNow);
            }
            Parse(dNow);
        }
    }
    FlushGarbage(NowMs());
    if (bHangUpAsked) {
        CloseFds();
        bHangUpAsked = false;
        cvRequests.notify_all();
    }
}
