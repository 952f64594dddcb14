// CLineThread: the thread that owns the port and runs the search and polling conversations, with the disk writer beside it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "batch_store.h"
#include "com_port.h"
#include "disk_writer.h"
#include "line_events.h"

// Three owners, and messages between them (a queue each way, nothing else shared and mutable):
// - the line thread (this object's thread) owns the port, its own store (the tuning, the batches
//   being followed and, during a search, the files being opened) and runs the conversations with
//   the line's exact timing;
// - the disk writer owns the data files from the search's end on, and appends and flushes records;
// - the window's thread owns the model the window shows. It sends commands through the methods
//   below and receives CLineEvent through the event queue.
// The line sees what it would see from a single-threaded program: the same frames, pauses and
// reads, and a polling pass that starts 300 ms after the previous one started, or at once when
// that one took longer.
class CLineThread {
public:
    // The port belongs to the line thread from here on: the window's thread only opened it at
    // start-up, before this object existed, and never touches it again. fnClock stamps records.
    // The polling period is the port's timing's (300 ms; tests may hand a shorter profile).
    CLineThread(CComPort& port, CEventQueue& events, LocalClockFn fnClock = {});
    // Finish(-1).
    ~CLineThread();
    CLineThread(const CLineThread&) = delete;
    CLineThread& operator=(const CLineThread&) = delete;

    // Commands, from the window's thread; carried out in order.
    // A search over the data directory pszDataDir: the waiting records are written and the files
    // closed, the port is opened again when it is not open or dead, and the search runs. Its end is
    // a CSearchDoneEvent; its bars move through CProgressEvent.
    void Search(const char* pszDataDir);
    // Polling passes until StopPolling; the first starts one period from now. CPassEvent carries
    // each pass's completed batches.
    void StartPolling();
    // Ends polling after the conversation under way; forgets the batches being followed.
    void StopPolling();
    // A close, a signal or the end of the session: whatever runs stops at its next safe point (a
    // search before the next address, or once the indicator being downloaded has its state code
    // back; polling after the conversation under way), and no later command runs. A search's end is
    // still sent, and a CLineEndedEvent last.
    void RequestStop();
    // RequestStop, waits for the line thread to end, then for the writer (at most nWriterTimeoutMs;
    // negative: no bound). Returns the records that could not be written. Runs once.
    int Finish(int nWriterTimeoutMs);

private:
    enum ECommand { CMD_SEARCH, CMD_START, CMD_STOP, CMD_PASS, CMD_QUIT };
    struct CCommand {
        ECommand eKind = CMD_QUIT;
        std::string strDataDir;
    };
    // A search bar as events.
    class CQueuedBar : public IProgressBar {
    public:
        CQueuedBar(CEventQueue& events, ESearchBar eBar) : m_events(events), m_eBar(eBar) {}
        void SetPos(int nPos) override { m_events.Push(CProgressEvent{m_eBar, nPos}); }

    private:
        CEventQueue& m_events;
        ESearchBar m_eBar;
    };

    void Post(CCommand command);
    CCommand Next();
    bool HasCommand();
    void Run();
    void RunSearch(const std::string& strDataDir);
    void OpenPortForSearch();
    void RunPass();
    void StopPollingNow();

    // Owned by the line thread.
    CComPort& m_port;
    CBatchStore m_store;
    CPassEvent m_pass;  // batches of the pass under way
    bool m_bPolling = false;
    std::chrono::steady_clock::time_point m_tNextPass{};
    long long m_nSleptMs = 0;  // OsSystemSleepMs at the last pass
    const std::chrono::milliseconds m_period;

    // Shared with the window's thread, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_cvCommand;
    std::deque<CCommand> m_queCommands;
    bool m_bStopping = false;

    CEventQueue& m_events;
    CQueuedFaults m_faults;
    CQueuedBar m_scanBar;
    CQueuedBar m_downloadBar;
    CDiskWriter m_writer;
    bool m_bFinished = false;  // the window's thread's own
    std::thread m_thread;      // last: starts once everything above exists
};
