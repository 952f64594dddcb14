// CBatchDlg: every decision of the main window (start-up work, selection cascade, totals, chart series, acquisition).
#pragma once

#include "batch_view.h"
#include "fault_notices.h"

class CBatchStore;
class CComPort;
class CTuneSettings;
class CWeighChart;

// The process-wide objects the dialog works on. The program hands it the globals; tests hand it
// their own, e.g. a port built with a short line timing.
struct CBatchContext {
    CTuneSettings& m_settings;
    CComPort& m_port;
    CBatchStore& m_store;
    CWeighChart& m_chartCurrent;
    CWeighChart& m_chartAll;
};

class CBatchDlg {
public:
    CBatchDlg(IBatchView& view, const CBatchContext& context);
    CBatchDlg(const CBatchDlg&) = delete;
    CBatchDlg& operator=(const CBatchDlg&) = delete;

    // Window events, forwarded by the view.
    void OnShowWindow();  // the start-up work; runs once, on the first show
    void OnPaint();       // status box and both panels, then shown; also called directly
    void OnSysCommand(int nId);
    void OnSelchangeIndicator();
    void OnSelchangeRecipe();
    void OnSelchangeDose();
    void OnSearch();
    void OnStart();
    void OnStop();
    void OnTimer();
    // Asked before the dialog ends by any means (Выход, Esc, Enter, close box). False while a search
    // runs: the request is remembered, the search is made to end at once, and the view's CloseWindow
    // follows when it has returned.
    bool OnCloseRequest();
    // Stops polling, closes the port and the store and releases the store's buffers. Runs once.
    void OnDestroy();

    // Operations shared by the handlers.
    void EnableControls(bool bEnable);
    void EmptyCombo(int nId);
    void FillRecipes(int nSlot);
    void FillDoses(int nSlot, int nRecipe);
    void FillTotals(int nSlot);
    void BuildCurrentSeries(int nStart);
    void BuildAllSeries();

    int TimerId() const { return m_nTimer; }
    bool IsSearching() const { return m_bSearching; }
    bool IsCloseRequested() const { return m_bCloseRequested; }

private:
    // Feeds chart from the records of the current indicator, recipe and dose. The series holds at
    // most nCount values: those of the last nCount records from nStart on.
    void BuildSeries(CWeighChart& chart, int nCount, int nStart);
    void ClearPanels();
    void SetTotalsRow(int nSlot, int nRow);

    IBatchView& m_view;
    CBatchContext m_ctx;
    int m_nTimer = 0;                // the polling timer's id; 0 while no polling runs
    bool m_bShown = false;           // the start-up work has run
    bool m_bSearching = false;       // inside CBatchStore::Search (its pump may call us back)
    bool m_bCloseRequested = false;  // a close came during the search
    bool m_bDestroyed = false;
    // Failures to keep records and a dead line, shown through the view's warning.
    CFaultNotices m_notices{[this](const char* pszText) { m_view.ShowWarning(pszText); }};
};
