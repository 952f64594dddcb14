// CBatchDlg: every decision of the main window (start-up work, selection cascade, totals, chart series, acquisition).
#pragma once

#include <memory>

#include "batch_view.h"
#include "fault_notices.h"
#include "line_events.h"

class CBatchStore;
class CComPort;
class CLineThread;
class CTuneSettings;
class CWeighChart;

// The process-wide objects the dialog works on. The program hands it the globals; tests hand it
// their own, e.g. a port built with a short line timing. The port is opened by the start-up work
// and from then on belongs to the line thread; the store is the model the window shows, owned by
// the window's thread, as are the charts.
struct CBatchContext {
    CTuneSettings& m_settings;
    CComPort& m_port;
    CBatchStore& m_store;
    CWeighChart& m_chartCurrent;
    CWeighChart& m_chartAll;
};

// Runs on the window's thread. The conversations with the line run on the line thread, the data
// files' writes on the disk writer (CLineThread); the dialog sends them commands and applies what
// they report in OnLineEvents, which the view runs on the window's thread after PostWake.
class CBatchDlg {
public:
    // Time the window waits at exit for records still waiting for the disk.
    static constexpr int kExitWriterWaitMs = 10000;

    CBatchDlg(IBatchView& view, const CBatchContext& context);
    ~CBatchDlg();
    CBatchDlg(const CBatchDlg&) = delete;
    CBatchDlg& operator=(const CBatchDlg&) = delete;

    // Window events, forwarded by the view.
    void OnShowWindow();  // the start-up work; runs once, on the first show
    void OnPaint();       // status box and both panels, then shown; also called directly
    // The status box and both panels drawn from their models onto the surface, without asking the
    // view to show them: what the window's own paint shows every time.
    void DrawPanels();
    void OnSysCommand(int nId);
    void OnSelchangeIndicator();
    void OnSelchangeRecipe();
    void OnSelchangeDose();
    void OnSearch();
    void OnStart();
    void OnStop();
    // Applies what the line thread and the disk writer reported: the search's bars and its end,
    // the batches of each polling pass, faults. Called by the view on the window's thread.
    void OnLineEvents();
    // Asked before the dialog ends by any means (Выход, Esc, Enter, close box). False while a search
    // or polling runs: the request is remembered, the line is asked to stop at its next safe point
    // (the indicator being downloaded gets its state code back first; a poll ends after the
    // conversation under way), and the view's CloseWindow follows once it has.
    bool OnCloseRequest();
    // Enter or Escape about to end the dialog (not on a button): while polling an accidental key must
    // not stop the recording, so it is ignored (false); otherwise as OnCloseRequest.
    bool OnCloseKey();
    // The program is told to end (a signal, the end of the Windows session): the same safe stop as a
    // close, waited for here, then the waiting records are written (bounded) and the view closed.
    void OnEndSession();
    // Stops the line thread at its safe point, waits for the disk writer (at most kExitWriterWaitMs)
    // and tells how many records could not be written; closes the port and the store and releases
    // the store's buffers. Runs once.
    void OnDestroy();

    // Operations shared by the handlers.
    void EnableControls(bool bEnable);
    void EmptyCombo(int nId);
    void FillRecipes(int nSlot);
    void FillDoses(int nSlot, int nRecipe);
    void FillTotals(int nSlot);
    void BuildCurrentSeries(int nStart);
    void BuildAllSeries();

    bool IsPolling() const { return m_bPolling; }
    bool IsSearching() const { return m_bSearching; }
    bool IsCloseRequested() const { return m_bCloseRequested; }

private:
    // Feeds chart from the records of the current indicator, recipe and dose. The series holds at
    // most nCount values: those of the last nCount records from nStart on.
    void BuildSeries(CWeighChart& chart, int nCount, int nStart);
    void ClearPanels();
    void SetTotalsRow(int nSlot, int nRow);
    void ApplySearchDone(const CSearchDoneEvent& done);
    void ApplyPass(const CPassEvent& pass);
    void ApplyFault(const CFaultEvent& fault);
    // Ends the line thread and the writer; the records that could not be written go to standard
    // error and, with bTell, to a message.
    void FinishLine(bool bTell);

    IBatchView& m_view;
    CBatchContext m_ctx;
    bool m_bPolling = false;         // "Старт" was pressed and no "Стоп" since
    bool m_bShown = false;           // the start-up work has run
    bool m_bSearching = false;       // a search runs on the line thread
    bool m_bCloseRequested = false;  // a close came while the line was busy
    bool m_bDestroyed = false;
    // Failures to keep records and a dead line, shown through the view's warning.
    CFaultNotices m_notices{[this](const char* pszText) { m_view.ShowWarning(pszText); }};
    // The line thread's reports; pushing wakes the window's thread through the view.
    CEventQueue m_events{[this] { m_view.PostWake(); }};
    std::unique_ptr<CLineThread> m_pLine;  // created by the start-up work once the port is open
};
