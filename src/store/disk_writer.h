// CDiskWriter: the data files' appends and flushes, in order, on a thread of its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fault_notices.h"
#include "file_access.h"

struct CWriterState;
struct CWriterThreads;

// Owns the open data files from the moment the search hands them over. Records are queued by the
// line thread and written by the writer's thread: every record that waits for a file goes in one
// write and one flush, so that a slow disk delays records but never the line. Before each write the
// file is checked to still be the one of its name; a file replaced under the program is opened
// again by name (FAULT_DATA_REPLACED). A record written in part that cannot be cut off stops the
// file's writes until the next search has moved the fragment aside (FAULT_RECORD_TORN). A flush that has not
// returned within kSlowFlushMs is reported (FAULT_FLUSH_SLOW), and so is its end. Faults go to the
// IStoreFaults handed in, from the writer's threads (the line thread's CQueuedFaults).
//
// At most kMaxWaiting records wait, all files together (128 bytes each at most, so 8 MB): at one
// batch a second that is more than 18 hours of a disk that does not answer. A record beyond that is
// not queued; it is reported (FAULT_QUEUE_FULL) and counted as not written.
class CDiskWriter {
public:
    static constexpr int kMaxWaiting = 65536;
    static constexpr int kSlowFlushMs = 1000;
    static constexpr int kRetryMs = 1000;  // after a failed write, the next try (or the next record)

    explicit CDiskWriter(IStoreFaults& faults);
    // Finish without a bound.
    ~CDiskWriter();
    CDiskWriter(const CDiskWriter&) = delete;
    CDiskWriter& operator=(const CDiskWriter&) = delete;

    // Takes over the open data file of the indicator at nAddress (pszPath its name). Records of that
    // address that still wait (a search came while the disk failed) are written to it first. With
    // kInvalidFile the search gave the file up, for the reason pszGivenUp that later notices repeat;
    // with bOpenLater (it could only not be opened) the writer's thread tries to open it again when a
    // later record comes, under the usual rule that only "no such file" creates; the record waits for
    // that open, and stays only in the model when it fails.
    void Adopt(int nAddress, OsFile hFile, const char* pszPath, bool bNeedLineEnd, const char* pszGivenUp = "",
               bool bOpenLater = false);
    // Queues a completed batch's pending text for the indicator's data file. An indicator without a
    // data file is reported (FAULT_NO_DATA_FILE) and its record stays only in the model.
    void Append(int nAddress, const char* pszPending);
    // Tries once more to write what waits, then closes every file; returns when done. Records that
    // could not be written keep waiting for the next Adopt of their indicator. The line thread calls
    // it before a search reads the files again.
    void CloseAll();
    // As CloseAll, then ends the writer's threads; waits at most nTimeoutMs (negative: no bound).
    // Returns the records that were not written (still waiting, or refused by a full queue). After a
    // timeout the threads are left to end by themselves, reporting nothing more.
    int Finish(int nTimeoutMs);

    // The pending texts of the records of one indicator that wait now, oldest first.
    std::vector<std::string> WaitingFor(int nAddress) const;

private:
    std::shared_ptr<CWriterState> m_pState;
    std::unique_ptr<CWriterThreads> m_pThreads;  // none once finished
};
