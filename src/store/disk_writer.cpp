// CDiskWriter: the writer's thread (queued records, one write and one flush per file) and the watch that tells a flush that hangs.
#include "disk_writer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "record_append.h"

namespace {

using Clock = std::chrono::steady_clock;

// One indicator's data file as the writer holds it.
struct CWriterFile {
    OsFile hFile = kInvalidFile;
    std::string strPath;
    std::string strGivenUp;  // why the last search gave the file up
    bool bOpenLater = false; // ...and whether a later record may open it (the writer's thread tries)
    bool bNeedLineEnd = false;
    // A record was written in part and could not be cut off: the file ends in a fragment that the
    // next search moves aside. Until then nothing more goes into it, or the fragment would become a line.
    bool bTorn = false;
    std::deque<std::string> queWaiting;  // pending texts, oldest first
    Clock::time_point tRetry{};          // no write before this after a failed one
};

}  // namespace

// Everything the writer's two threads and its callers share, under m_mutex. Held through a
// shared_ptr by the threads too, so that threads left behind by a Finish that timed out still find it.
struct CWriterState {
    explicit CWriterState(IStoreFaults& faults) : m_faults(faults) {}

    IStoreFaults& m_faults;  // only called under m_mutex and while !m_bAbandoned
    std::mutex m_mutex;
    std::condition_variable m_cvWork;   // the writer's thread waits for records, closes, the end
    std::condition_variable m_cvDone;   // CloseAll and Finish wait for the writer's thread
    std::condition_variable m_cvWatch;  // the watch waits for a write to start or end
    std::map<int, CWriterFile> m_mapFiles;  // by bus address; entries never move
    int m_nWaiting = 0;
    int m_nRefused = 0;
    int m_nCloseRequests = 0;
    int m_nClosesDone = 0;
    bool m_bQuit = false;
    bool m_bWorkerDone = false;
    bool m_bAbandoned = false;
    // The write under way, for the watch.
    bool m_bWriting = false;
    unsigned m_nWriteSeq = 0;
    Clock::time_point m_tWriteStart{};
    int m_nWriteAddress = -1;
    std::string m_strWritePath;
    bool m_bSlowReported = false;

    void Report(EStoreFault eKind, int nAddress, const std::string& strSubject, const char* pszSystemText)
    {
        if (!m_bAbandoned)
            m_faults.Report(eKind, nAddress, strSubject.c_str(), pszSystemText);
    }
    void Cleared(EStoreFault eKind, int nAddress)
    {
        if (!m_bAbandoned)
            m_faults.Cleared(eKind, nAddress);
    }
    void RetryAllNow()
    {
        for (auto& entry : m_mapFiles)
            entry.second.tRetry = Clock::time_point{};
    }
};

namespace {

// Writes every record that waits for one file, outside the lock.
void WriteWaiting(CWriterState& st, int nAddress, CWriterFile& file, std::unique_lock<std::mutex>& lock)
{
    std::string strLines;
    size_t nRecords = 0;
    for (const std::string& strPending : file.queWaiting) {
        if (!AddRecordLine(strLines, strPending.c_str()))
            break;  // never: the line thread queues pending texts of at most 127 characters
        ++nRecords;
    }
    const OsFile hFile = file.hFile;
    bool bNeedLineEnd = file.bNeedLineEnd;
    st.m_bWriting = true;
    ++st.m_nWriteSeq;
    st.m_tWriteStart = Clock::now();
    st.m_nWriteAddress = nAddress;
    st.m_strWritePath = file.strPath;
    st.m_cvWatch.notify_all();

    const std::string strPath = file.strPath;

    lock.unlock();
    // A file replaced under the program (an editor that saves by rename, sed -i, rotation, rm) would
    // swallow every record: the name is opened again, under the usual rule that only "no such file"
    // creates.
    OsFile hWrite = hFile;
    bool bReplaced = false;
    bool bReopenFailed = false;
    char szError[256] = "";
    if (!IsStillNamed(hFile, strPath.c_str())) {
        hWrite = OsFileOpenOrCreate(strPath.c_str());
        if (hWrite == kInvalidFile) {
            OsFileLastError(szError, sizeof szError);
            bReopenFailed = true;
            hWrite = hFile;
        } else {
            OsFileClose(hFile);
            bReplaced = true;
            bNeedLineEnd = false;  // a new file: whatever ended the old one is not in it
        }
    }
    EAppendResult eResult = APPEND_NOT_WRITTEN;
    if (!bReopenFailed) {
        eResult = AppendRecordLines(hWrite, strLines.data(), static_cast<int>(strLines.size()), &bNeedLineEnd);
        if (eResult != APPEND_OK)
            OsFileLastError(szError, sizeof szError);
    }
    lock.lock();

    st.m_bWriting = false;
    st.m_cvWatch.notify_all();
    // Both are shown once per search (CFaultNotices); standard error and the log get every one.
    if (st.m_bSlowReported) {
        st.m_bSlowReported = false;
        st.Report(FAULT_FLUSH_RESUMED, nAddress, file.strPath, "");
    }
    if (bReplaced) {
        file.hFile = hWrite;
        st.Report(FAULT_DATA_REPLACED, nAddress, file.strPath, "");
    }
    if (bReopenFailed) {
        st.Report(FAULT_DATA_OPEN, nAddress, file.strPath, szError);
        file.tRetry = Clock::now() + std::chrono::milliseconds(CDiskWriter::kRetryMs);
        return;
    }
    file.bNeedLineEnd = bNeedLineEnd;
    if (eResult == APPEND_OK || eResult == APPEND_NOT_FLUSHED) {
        file.queWaiting.erase(file.queWaiting.begin(), file.queWaiting.begin() + static_cast<long>(nRecords));
        st.m_nWaiting -= static_cast<int>(nRecords);
    }
    if (eResult == APPEND_OK) {
        st.Cleared(FAULT_RECORD_WRITE, nAddress);
        return;
    }
    st.Report(FAULT_RECORD_WRITE, nAddress, file.strPath, szError);
    if (eResult == APPEND_TORN) {
        file.bTorn = true;
        st.Report(FAULT_RECORD_TORN, nAddress, file.strPath, "");
    }
    file.tRetry = Clock::now() + std::chrono::milliseconds(CDiskWriter::kRetryMs);
}

// Opens the data file the search could not open, outside the lock, under the usual rule that only
// "no such file" creates. When it still cannot be opened, the records that waited for it stay only in
// the model, each one told, as they would have been at the search.
void OpenLater(CWriterState& st, int nAddress, CWriterFile& file, std::unique_lock<std::mutex>& lock)
{
    const std::string strPath = file.strPath;
    lock.unlock();
    const OsFile hFile = OsFileOpenOrCreate(strPath.c_str());
    lock.lock();
    if (hFile != kInvalidFile) {
        file.hFile = hFile;
        file.bOpenLater = false;
        st.Cleared(FAULT_NO_DATA_FILE, nAddress);
        return;
    }
    for (size_t n = file.queWaiting.size(); n > 0; --n)
        st.Report(FAULT_NO_DATA_FILE, nAddress, file.strPath, file.strGivenUp.c_str());
    st.m_nWaiting -= static_cast<int>(file.queWaiting.size());
    file.queWaiting.clear();
}

void CloseFiles(CWriterState& st, std::unique_lock<std::mutex>& lock)
{
    for (auto& [nAddress, file] : st.m_mapFiles) {
        if (file.hFile == kInvalidFile)
            continue;
        const OsFile hFile = file.hFile;
        file.hFile = kInvalidFile;
        file.bTorn = false;  // the next search moves the fragment aside
        lock.unlock();
        const bool bClosed = OsFileClose(hFile);
        char szError[256] = "";
        if (!bClosed)
            OsFileLastError(szError, sizeof szError);
        lock.lock();
        // A close that fails may have lost written data on a network file system.
        if (!bClosed)
            st.Report(FAULT_DATA_CLOSE, nAddress, file.strPath, szError);
    }
}

void RunWriter(std::shared_ptr<CWriterState> pState)
{
    CWriterState& st = *pState;
    std::unique_lock<std::mutex> lock(st.m_mutex);
    while (!st.m_bAbandoned) {
        const Clock::time_point tNow = Clock::now();
        Clock::time_point tNext = Clock::time_point::max();
        CWriterFile* pFile = nullptr;
        int nAddress = -1;
        for (auto& [nAt, file] : st.m_mapFiles) {
            if (file.queWaiting.empty() || (file.hFile == kInvalidFile && !file.bOpenLater) || file.bTorn)
                continue;
            if (file.tRetry <= tNow) {
                pFile = &file;
                nAddress = nAt;
                break;
            }
            tNext = std::min(tNext, file.tRetry);
        }
        if (pFile != nullptr) {
            if (pFile->hFile == kInvalidFile)
                OpenLater(st, nAddress, *pFile, lock);
            else
                WriteWaiting(st, nAddress, *pFile, lock);
            continue;
        }
        if (st.m_nClosesDone != st.m_nCloseRequests) {
            const int nRequest = st.m_nCloseRequests;
            CloseFiles(st, lock);
            st.m_nClosesDone = nRequest;
            st.m_cvDone.notify_all();
            continue;
        }
        if (st.m_bQuit)
            break;
        if (tNext == Clock::time_point::max())
            st.m_cvWork.wait(lock);
        else
            st.m_cvWork.wait_until(lock, tNext);
    }
    st.m_bWorkerDone = true;
    st.m_cvDone.notify_all();
    st.m_cvWatch.notify_all();
}

// Tells a write and flush that has not returned within kSlowFlushMs; its end is told by the writer.
void RunWatch(std::shared_ptr<CWriterState> pState)
{
    CWriterState& st = *pState;
    std::unique_lock<std::mutex> lock(st.m_mutex);
    while (!st.m_bAbandoned && !st.m_bWorkerDone) {
        if (!st.m_bWriting) {
            st.m_cvWatch.wait(lock);
            continue;
        }
        const unsigned nSeq = st.m_nWriteSeq;
        auto ended = [&] { return !st.m_bWriting || st.m_nWriteSeq != nSeq || st.m_bAbandoned; };
        if (st.m_cvWatch.wait_until(lock, st.m_tWriteStart + std::chrono::milliseconds(CDiskWriter::kSlowFlushMs), ended))
            continue;
        if (!st.m_bSlowReported) {
            st.m_bSlowReported = true;
            st.Report(FAULT_FLUSH_SLOW, st.m_nWriteAddress, st.m_strWritePath, "");
        }
        st.m_cvWatch.wait(lock, ended);
    }
}

}  // namespace

struct CWriterThreads {
    std::thread m_writer;
    std::thread m_watch;
};

CDiskWriter::CDiskWriter(IStoreFaults& faults) : m_pState(std::make_shared<CWriterState>(faults))
{
    m_pThreads = std::make_unique<CWriterThreads>();
    m_pThreads->m_writer = std::thread(RunWriter, m_pState);
    m_pThreads->m_watch = std::thread(RunWatch, m_pState);
}

CDiskWriter::~CDiskWriter()
{
    Finish(-1);
}

void CDiskWriter::Adopt(int nAddress, OsFile hFile, const char* pszPath, bool bNeedLineEnd, const char* pszGivenUp,
                        bool bOpenLater)
{
    std::lock_guard<std::mutex> lock(m_pState->m_mutex);
    CWriterFile& file = m_pState->m_mapFiles[nAddress];
    if (file.hFile != kInvalidFile)
        OsFileClose(file.hFile);  // never: a search adopts only after CloseAll
    file.hFile = hFile;
    file.strPath = pszPath;
    file.strGivenUp = pszGivenUp != nullptr ? pszGivenUp : "";
    file.bOpenLater = hFile == kInvalidFile && bOpenLater;
    file.bNeedLineEnd = bNeedLineEnd;
    file.bTorn = false;
    file.tRetry = Clock::time_point{};
    m_pState->m_cvWork.notify_all();
}

void CDiskWriter::Append(int nAddress, const char* pszPending)
{
    CWriterState& st = *m_pState;
    std::lock_guard<std::mutex> lock(st.m_mutex);
    auto it = st.m_mapFiles.find(nAddress);
    // A file that could only not be opened at the search (a viewer held it a moment) is opened again
    // by the writer's thread, with the record waiting meanwhile: the open may take a second.
    if (it == st.m_mapFiles.end() || (it->second.hFile == kInvalidFile && !it->second.bOpenLater)) {
        const bool bKnown = it != st.m_mapFiles.end();
        st.Report(FAULT_NO_DATA_FILE, nAddress, bKnown ? it->second.strPath : std::string(),
                  bKnown ? it->second.strGivenUp.c_str() : "");
        return;
    }
    CWriterFile& file = it->second;
    if (st.m_nWaiting >= kMaxWaiting) {
        ++st.m_nRefused;
        st.Report(FAULT_QUEUE_FULL, nAddress, file.strPath, "");
        return;
    }
    file.queWaiting.emplace_back(pszPending);
    ++st.m_nWaiting;
    file.tRetry = Clock::time_point{};  // a new record tries a failed disk again at once
    st.m_cvWork.notify_all();
}

void CDiskWriter::CloseAll()
{
    CWriterState& st = *m_pState;
    std::unique_lock<std::mutex> lock(st.m_mutex);
    const int nRequest = ++st.m_nCloseRequests;
    st.RetryAllNow();
    st.m_cvWork.notify_all();
    st.m_cvDone.wait(lock, [&] { return st.m_nClosesDone >= nRequest || st.m_bWorkerDone; });
}

int CDiskWriter::Finish(int nTimeoutMs)
{
    CWriterState& st = *m_pState;
    std::unique_lock<std::mutex> lock(st.m_mutex);
    if (m_pThreads) {
        ++st.m_nCloseRequests;
        st.RetryAllNow();
        st.m_bQuit = true;
        st.m_cvWork.notify_all();
        auto done = [&] { return st.m_bWorkerDone; };
        bool bDone = true;
        if (nTimeoutMs < 0)
            st.m_cvDone.wait(lock, done);
        else
            bDone = st.m_cvDone.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), done);
        if (!bDone) {
            st.m_bAbandoned = true;
            st.m_cvWatch.notify_all();
            m_pThreads->m_writer.detach();
            m_pThreads->m_watch.detach();
        } else {
            st.m_cvWatch.notify_all();
            lock.unlock();
            m_pThreads->m_writer.join();
            m_pThreads->m_watch.join();
            lock.lock();
        }
        m_pThreads.reset();
    }
    return st.m_nWaiting + st.m_nRefused;
}

std::vector<std::string> CDiskWriter::WaitingFor(int nAddress) const
{
    std::lock_guard<std::mutex> lock(m_pState->m_mutex);
    const auto it = m_pState->m_mapFiles.find(nAddress);
    if (it == m_pState->m_mapFiles.end())
        return {};
    return std::vector<std::string>(it->second.queWaiting.begin(), it->second.queWaiting.end());
}
