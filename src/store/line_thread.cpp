// CLineThread: the line thread's command loop, the search with its hand-over of files, and the polling schedule.
#include "line_thread.h"

#include "keep_awake.h"

CLineThread::CLineThread(CComPort& port, CEventQueue& events, LocalClockFn fnClock)
    : m_port(port),
      m_period(port.Timing().nPollPeriodMs),
      m_events(events),
      m_faults(events),
      m_scanBar(events, BAR_SCAN),
      m_downloadBar(events, BAR_DOWNLOAD),
      m_writer(m_faults)
{
    m_store.SetClock(std::move(fnClock));
    m_store.SetFaults(&m_faults);
    m_store.SetBatchSink([this](int nSlot, const char* pszPending, int nRecipe, const int32_t* anDoseWeight) {
        m_writer.Append(m_store.GetIndicatorAddress(nSlot), pszPending);
        CBatch batch;
        batch.nSlot = nSlot;
        batch.nRecipe = nRecipe;
        batch.strPending = pszPending;
        for (int d = 0; d < CBatchStore::kDoses; ++d)
            batch.anDoseWeight[d] = anDoseWeight[d];
        m_pass.aBatches.push_back(std::move(batch));
    });
    m_thread = std::thread([this] { Run(); });
}

CLineThread::~CLineThread()
{
    Finish(-1);
}

void CLineThread::Post(CCommand command)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queCommands.push_back(std::move(command));
    m_cvCommand.notify_all();
}

void CLineThread::Search(const char* pszDataDir)
{
    Post({CMD_SEARCH, pszDataDir != nullptr ? pszDataDir : ""});
}

void CLineThread::StartPolling()
{
    Post({CMD_START, {}});
}

void CLineThread::StopPolling()
{
    Post({CMD_STOP, {}});
}

void CLineThread::RequestStop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStopping = true;
    // Seen by a search or a pass under way at its next safe point.
    m_store.RequestStop();
    m_cvCommand.notify_all();
}

int CLineThread::Finish(int nWriterTimeoutMs)
{
    if (m_bFinished)
        return m_writer.Finish(0);
    m_bFinished = true;
    RequestStop();
    if (m_thread.joinable())
        m_thread.join();
    return m_writer.Finish(nWriterTimeoutMs);
}

bool CLineThread::HasCommand()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_queCommands.empty() || m_bStopping;
}

CLineThread::CCommand CLineThread::Next()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [this] { return !m_queCommands.empty() || m_bStopping; };
    if (m_bPolling) {
        if (!m_cvCommand.wait_until(lock, m_tNextPass, ready))
            return {CMD_PASS, {}};
    } else {
        m_cvCommand.wait(lock, ready);
    }
    if (m_bStopping)
        return {CMD_QUIT, {}};
    CCommand command = std::move(m_queCommands.front());
    m_queCommands.pop_front();
    return command;
}

void CLineThread::Run()
{
    for (;;) {
        const CCommand command = Next();
        switch (command.eKind) {
        case CMD_SEARCH: RunSearch(command.strDataDir); break;
        case CMD_START:
            if (!m_bPolling) {
                m_bPolling = true;
                // A PC asleep mid-production would lose every batch it slept through.
                OsKeepSystemAwake(true);
                m_nSleptMs = OsSystemSleepMs();
                // As a 300 ms timer started now: its first tick comes one period later.
                m_tNextPass = std::chrono::steady_clock::now() + m_period;
            }
            break;
        case CMD_STOP: StopPollingNow(); break;
        case CMD_PASS: RunPass(); break;
        case CMD_QUIT:
            StopPollingNow();
            m_events.Push(CLineEndedEvent{});
            return;
        }
    }
}

void CLineThread::StopPollingNow()
{
    if (m_bPolling)
        OsKeepSystemAwake(false);  // on the thread that asked for it
    m_bPolling = false;
    for (int nSlot = 0; nSlot < CBatchStore::kMaxSlots; ++nSlot)
        m_store.ResetPending(nSlot);
}

void CLineThread::OpenPortForSearch()
{
    // A port that is not open (missing or busy at start-up, a reopen that failed), whose device
    // vanished (an unplugged adapter), or whose name now leads elsewhere is opened afresh with the
    // parameters of the settings, and every failure is told: a search never fails in silence.
    const bool bWasDead = m_port.IsDead();
    if (m_port.IsOpen() && !bWasDead && !m_port.IsStale())
        return;
    if (m_port.Reopen()) {
        m_faults.Cleared(FAULT_LINE_DEAD, -1);
        m_faults.Cleared(FAULT_PORT_OPEN, -1);
        m_faults.Cleared(FAULT_PORT_BUSY, -1);
        return;
    }
    char szError[256];
    m_port.LastErrorText(szError, sizeof szError);
    const EStoreFault eKind = m_port.OpenError() == PORT_OPEN_BUSY ? FAULT_PORT_BUSY : FAULT_PORT_OPEN;
    m_faults.Cleared(eKind, -1);  // shown at every search that fails
    m_faults.Report(eKind, -1, m_port.Name(), szError);
}

void CLineThread::RunSearch(const std::string& strDataDir)
{
    // Records still waiting go to the files before the search reads them back.
    m_writer.CloseAll();
    m_store.Open(strDataDir.c_str());
    OpenPortForSearch();

    CSearchDoneEvent done;
    done.bFound = m_store.Search(m_port, &m_scanBar, &m_downloadBar);
    // A line that hung up during the search ends it early: said, not left for the empty list to tell.
    if (m_port.IsDead()) {
        char szError[256];
        m_port.LastErrorText(szError, sizeof szError);
        m_faults.Report(FAULT_LINE_DEAD, -1, m_port.Name(), szError);
    }
    for (int nSlot = 0; nSlot < m_store.GetIndicatorCount() && nSlot < CBatchStore::kMaxSlots; ++nSlot) {
        const int nAddress = m_store.GetIndicatorAddress(nSlot);
        bool bNeedLineEnd = false;
        const OsFile hFile = m_store.TakeDataFile(nSlot, &bNeedLineEnd);
        char szPath[CBatchStore::kDirBytes + 64];
        m_store.MakeDataPath(nAddress, szPath, sizeof szPath);
        // Records that still wait for this file (a disk that failed before the search) are records
        // all the same: the model counts them as the file will hold them once they are written,
        // which can start as soon as the writer has the file.
        if (hFile != kInvalidFile) {
            for (const std::string& strPending : m_writer.WaitingFor(nAddress)) {
                const std::string strLine = strPending.substr(0, strPending.empty() ? 0 : strPending.size() - 1);
                m_store.LoadRecordLine(nSlot, strLine.c_str());
            }
        }
        m_writer.Adopt(nAddress, hFile, szPath, bNeedLineEnd, m_store.GetGivenUp(nSlot), m_store.MayOpenLater(nSlot));
        CSlotImage image;
        m_store.ExportSlot(nSlot, &image);
        done.aSlots.push_back(std::move(image));
    }
    m_events.Push(std::move(done));
}

void CLineThread::RunPass()
{
    // The next pass is due one period after this one was due, not after it woke: a wait that wakes a
    // little late (about 2 ms under Wine) must not stretch every period, as a periodic timer's do not.
    m_tNextPass += m_period;
    // The system slept anyway (a user's "Sleep", a closed lid): the port did not come through.
    const long long nSleptMs = OsSystemSleepMs();
    if (nSleptMs - m_nSleptMs > 1000)
        m_port.MarkDead();
    m_nSleptMs = nSleptMs;
    int nRow = -1;
    bool bCompleted = false;
    m_pass.aBatches.clear();
    // A command (a stop, a search) ends the pass after the conversation under way.
    m_store.Poll(m_port, &nRow, &bCompleted, [this] { return HasCommand(); });
    if (!m_pass.aBatches.empty())
        m_events.Push(std::move(m_pass));
    m_pass = CPassEvent{};
    // A pass that took longer than the period is followed at once.
    const auto tEnd = std::chrono::steady_clock::now();
    if (m_tNextPass < tEnd)
        m_tNextPass = tEnd;
}
