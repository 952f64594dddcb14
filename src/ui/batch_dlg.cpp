// CBatchDlg: the main window's start-up work, selection cascade, totals list, chart series and acquisition control.
#include "batch_dlg.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "batch_store.h"
#include "chart_rects.h"
#include "com_port.h"
#include "draw_surface.h"
#include "store_seams.h"
#include "tune_settings.h"
#include "weigh_chart.h"

namespace {

constexpr int kSlots = 3;
constexpr int kRecipes = 10;
constexpr int kDoses = 10;
constexpr int kListRows = 10;
constexpr int kRecipeColumnWidth = 30;  // pixels
constexpr int kDoseColumnWidth = 72;    // pixels
constexpr int kMinSeries = 10;          // fewer values than this make no statistics
// Every record takes at least one character of a record text, so no walk over one can see more.
constexpr int kMaxRecordsInText = 1457664;

struct CDecimal {
    char m_sz[16];
    explicit CDecimal(int nValue) { std::snprintf(m_sz, sizeof(m_sz), "%d", nValue); }
};

}  // namespace

CBatchDlg::CBatchDlg(IBatchView& view, const CBatchContext& context) : m_view(view), m_ctx(context)
{
    m_ctx.m_store.SetFaults(&m_notices);
}

void CBatchDlg::OnShowWindow()
{
    if (m_bShown)
        return;
    m_bShown = true;

    m_view.ProgressSetRange(IDC_PROGRESS_SCAN, 0, 99);
    m_view.ProgressSetRange(IDC_PROGRESS_DOWNLOAD, 0, 99);
    // Each failure below leaves the controls as the window created them; only Load shows a message.
    if (!m_ctx.m_settings.Load(&m_view.ErrorReporter()))
        return;
    if (!m_ctx.m_store.Open(""))
        return;
    if (!m_ctx.m_port.Open(m_ctx.m_settings.GetPortParams())) {
        // A second copy of the program would otherwise show an empty window and say nothing.
        char szError[256];
        m_ctx.m_port.LastErrorText(szError, sizeof szError);
        m_notices.Report(m_ctx.m_port.OpenError() == PORT_OPEN_BUSY ? FAULT_PORT_BUSY : FAULT_PORT_OPEN, -1,
                         m_ctx.m_port.Name(), szError);
        return;
    }
    EnableControls(false);

    m_view.ListInsertColumn(0, "РЦ", kRecipeColumnWidth);
    for (int nDose = 0; nDose < kDoses; ++nDose) {
        char szHeading[16];
        std::snprintf(szHeading, sizeof(szHeading), "Доза %d", nDose);
        m_view.ListInsertColumn(nDose + 1, szHeading, kDoseColumnWidth);
    }
    m_view.ListSetFullRowSelect();
    m_view.EnableControl(IDC_LIST_TOTALS, false);
    for (int nRecipe = 0; nRecipe < kListRows; ++nRecipe) {
        const int nRow = m_view.ListInsertRow(CDecimal(nRecipe).m_sz);
        for (int nCol = 1; nCol <= kDoses; ++nCol)
            m_view.ListSetCell(nRow, nCol, "0");
    }
}

void CBatchDlg::OnPaint()
{
    if (m_view.IsMinimized())
        return;  // the window shows its icon by itself
    IDrawSurface& surface = m_view.Surface();
    CWeighChart::DrawStatus(surface, m_nTimer);
    m_ctx.m_chartCurrent.Draw(surface, g_rcChartCurrent.m_nLeft, g_rcChartCurrent.m_nTop,
                              g_rcChartCurrent.m_nRight, g_rcChartCurrent.m_nBottom);
    m_ctx.m_chartAll.Draw(surface, g_rcChartAll.m_nLeft, g_rcChartAll.m_nTop, g_rcChartAll.m_nRight,
                          g_rcChartAll.m_nBottom);
    m_view.Repaint();
}

void CBatchDlg::OnSysCommand(int nId)
{
    if ((nId & 0xFFF0) == g_nIdmAbout)
        m_view.ShowAbout();
}

void CBatchDlg::EnableControls(bool bEnable)
{
    // "Поиск", "Выход" and the totals list are not this function's business.
    m_view.EnableControl(IDC_START, bEnable);
    m_view.EnableControl(IDC_STOP, bEnable);
    m_view.EnableControl(IDC_COMBO_INDICATOR, bEnable);
    m_view.EnableControl(IDC_COMBO_RECIPE, bEnable);
    m_view.EnableControl(IDC_COMBO_DOSE, bEnable);
}

void CBatchDlg::EmptyCombo(int nId)
{
    while (m_view.ComboDeleteLast(nId)) {
    }
}

void CBatchDlg::FillRecipes(int nSlot)
{
    EmptyCombo(IDC_COMBO_RECIPE);
    bool bAny = false;
    for (int nRecipe = 0; nRecipe < kRecipes; ++nRecipe) {
        if (!m_ctx.m_store.HasRecipe(nSlot, nRecipe))
            continue;
        if (!bAny)
            m_ctx.m_store.SetCurrentRecipe(nRecipe);
        bAny = true;
        m_view.ComboAdd(IDC_COMBO_RECIPE, CDecimal(nRecipe).m_sz);
    }
    // With no recipe the store keeps its previous current recipe.
    if (bAny)
        m_view.ComboSelect(IDC_COMBO_RECIPE, 0);
}

void CBatchDlg::FillDoses(int nSlot, int nRecipe)
{
    EmptyCombo(IDC_COMBO_DOSE);
    bool bAny = false;
    for (int nDose = 0; nDose < kDoses; ++nDose) {
        if (!m_ctx.m_store.HasDose(nSlot, nRecipe, nDose))
            continue;
        if (!bAny)
            m_ctx.m_store.SetCurrentDose(nDose);
        bAny = true;
        m_view.ComboAdd(IDC_COMBO_DOSE, CDecimal(nDose).m_sz);
    }
    if (bAny)
        m_view.ComboSelect(IDC_COMBO_DOSE, 0);
}

void CBatchDlg::SetTotalsRow(int nSlot, int nRow)
{
    for (int nDose = 0; nDose < kDoses; ++nDose)
        m_view.ListSetCell(nRow, nDose + 1, CDecimal(m_ctx.m_store.GetTotal(nSlot, nRow * 10 + nDose)).m_sz);
}

void CBatchDlg::FillTotals(int nSlot)
{
    for (int nRow = 0; nRow < kRecipes; ++nRow)
        SetTotalsRow(nSlot, nRow);
}

void CBatchDlg::ClearPanels()
{
    IDrawSurface& surface = m_view.Surface();
    CWeighChart::ClearPanel(surface, g_rcChartCurrent.m_nLeft, g_rcChartCurrent.m_nTop, g_rcChartCurrent.m_nRight,
                            g_rcChartCurrent.m_nBottom);
    CWeighChart::ClearPanel(surface, g_rcChartAll.m_nLeft, g_rcChartAll.m_nTop, g_rcChartAll.m_nRight,
                            g_rcChartAll.m_nBottom);
    m_view.Repaint();
}

void CBatchDlg::OnSelchangeIndicator()
{
    // The position is the slot; the item's text (the address) is not used.
    const int nSlot = m_view.ComboCurSel(IDC_COMBO_INDICATOR);
    if (nSlot < 0 || nSlot >= kSlots)
        return;
    EmptyCombo(IDC_COMBO_RECIPE);
    EmptyCombo(IDC_COMBO_DOSE);
    CBatchStore& store = m_ctx.m_store;
    store.SetCurrentIndicator(nSlot);
    FillRecipes(nSlot);
    FillDoses(nSlot, store.GetCurrentRecipe());
    FillTotals(nSlot);
    ClearPanels();
    BuildCurrentSeries(store.GetRunStart(store.GetCurrentIndicator()));
    BuildAllSeries();
}

void CBatchDlg::OnSelchangeRecipe()
{
    char szText[16];
    m_view.ComboText(IDC_COMBO_RECIPE, m_view.ComboCurSel(IDC_COMBO_RECIPE), szText, sizeof(szText));
    const int nRecipe = std::atoi(szText);
    CBatchStore& store = m_ctx.m_store;
    store.SetCurrentRecipe(nRecipe);
    EmptyCombo(IDC_COMBO_DOSE);
    FillDoses(store.GetCurrentIndicator(), nRecipe);
    ClearPanels();
    BuildCurrentSeries(store.GetRunStart(store.GetCurrentIndicator()));
    BuildAllSeries();
}

void CBatchDlg::OnSelchangeDose()
{
    char szText[16];
    m_view.ComboText(IDC_COMBO_DOSE, m_view.ComboCurSel(IDC_COMBO_DOSE), szText, sizeof(szText));
    CBatchStore& store = m_ctx.m_store;
    store.SetCurrentDose(std::atoi(szText));
    ClearPanels();
    BuildCurrentSeries(store.GetRunStart(store.GetCurrentIndicator()));
    BuildAllSeries();
}

void CBatchDlg::BuildCurrentSeries(int nStart)
{
    const CBatchStore& store = m_ctx.m_store;
    BuildSeries(m_ctx.m_chartCurrent, store.GetRunCount(store.GetCurrentIndicator()), nStart);
}

void CBatchDlg::BuildAllSeries()
{
    const CBatchStore& store = m_ctx.m_store;
    BuildSeries(m_ctx.m_chartAll, store.GetRecordCount(store.GetCurrentIndicator()), 0);
}

void CBatchDlg::BuildSeries(CWeighChart& chart, int nCount, int nStart)
{
    // Too few weighings: the chart keeps what it had and nothing is redrawn.
    if (nCount < kMinSeries)
        return;
    std::unique_ptr<double[]> pValues(new (std::nothrow) double[static_cast<size_t>(nCount)]);
    if (!pValues)
        return;

    CBatchStore& store = m_ctx.m_store;
    const int nSlot = store.GetCurrentIndicator();
    const int nRecipe = store.GetCurrentRecipe();
    const int nDose = store.GetCurrentDose();
    int nRecordRecipe = 0;
    int32_t aValues[kDoses] = {};

    // After a stop and a new start the run count restarts while the run start stays, so earlier
    // runs' records can lie between the start and the end of the text: the current run is the last
    // nCount records, and only those are taken. When the series covers the whole text (all weighings)
    // nothing can be surplus, and the extra pass over up to 1.4 MB is spared.
    int nRecords = kMaxRecordsInText;
    int nSkip = 0;
    if (nStart != 0 || nCount < store.GetRecordCount(nSlot)) {
        nRecords = 0;
        for (int nPos = nStart;
             nRecords < kMaxRecordsInText && store.NextRecord(nSlot, &nPos, &nRecordRecipe, aValues);)
            ++nRecords;
        nSkip = nRecords > nCount ? nRecords - nCount : 0;
    }

    int nTaken = 0;
    bool bAllZero = true;
    int nSeen = 0;
    for (int nPos = nStart;
         nTaken < nCount && nSeen < nRecords && store.NextRecord(nSlot, &nPos, &nRecordRecipe, aValues); ++nSeen) {
        if (nSkip > 0) {
            --nSkip;
            continue;
        }
        if (nRecordRecipe != nRecipe)
            continue;
        const int nValue = aValues[nDose];
        if (nValue != 0)
            bAllZero = false;
        pValues[nTaken++] = nValue;
    }
    // A series of zeros hands the chart nothing, which empties its statistics.
    chart.Compute(pValues.get(), bAllZero ? 0 : nTaken, store.GetTuneValue(nSlot, nRecipe, nDose));
    OnPaint();
}

void CBatchDlg::OnSearch()
{
    // The search's pump dispatches clicks, this one included: a second search inside the first
    // would reset the store under the running one.
    if (m_bSearching)
        return;
    OnStop();
    EmptyCombo(IDC_COMBO_INDICATOR);
    EmptyCombo(IDC_COMBO_RECIPE);
    EmptyCombo(IDC_COMBO_DOSE);
    EnableControls(false);

    CBatchStore& store = m_ctx.m_store;
    char szDataDir[sizeof(m_ctx.m_settings.m_szDataDir) + 1];
    std::snprintf(szDataDir, sizeof(szDataDir), "%s", m_ctx.m_settings.GetDataDir());
    store.Open(szDataDir);
    for (int nSlot = 0; nSlot < kSlots; ++nSlot)
        store.ClearRunCount(nSlot);

    // A line whose device vanished (an unplugged adapter) comes back here: reopened with the
    // parameters it was opened with, then scanned.
    m_notices.ClearIndicators();
    if (m_ctx.m_port.IsDead()) {
        if (m_ctx.m_port.Reopen()) {
            m_notices.Cleared(FAULT_LINE_DEAD, -1);
        } else {
            char szError[256];
            m_ctx.m_port.LastErrorText(szError, sizeof szError);
            m_notices.Report(m_ctx.m_port.OpenError() == PORT_OPEN_BUSY ? FAULT_PORT_BUSY : FAULT_PORT_OPEN, -1,
                             m_ctx.m_port.Name(), szError);
        }
    }

    m_bSearching = true;
    // The search gets a copy of the port that shares its handle.
    const bool bFound = store.Search(&m_view.Pump(), m_ctx.m_port, &m_view.Progress(IDC_PROGRESS_SCAN),
                                     &m_view.Progress(IDC_PROGRESS_DOWNLOAD));
    m_bSearching = false;
    if (m_bCloseRequested) {
        m_view.CloseWindow();
        return;
    }
    if (!bFound)
        return;

    EnableControls(true);
    for (int nSlot = 0; nSlot < kSlots; ++nSlot) {
        const int nAddress = store.GetIndicatorAddress(nSlot);
        if (nAddress < 0)
            break;
        if (nSlot == 0)
            store.SetCurrentIndicator(0);
        m_view.ComboAdd(IDC_COMBO_INDICATOR, CDecimal(nAddress).m_sz);
    }
    m_view.ComboSelect(IDC_COMBO_INDICATOR, 0);
    m_view.EnableControl(IDC_LIST_TOTALS, true);

    const int nSlot = store.GetCurrentIndicator();
    FillRecipes(nSlot);
    FillDoses(nSlot, store.GetCurrentRecipe());
    FillTotals(nSlot);
    ClearPanels();
    // Only the all-weighings chart: the current run has not begun.
    BuildAllSeries();
}

bool CBatchDlg::OnCloseRequest()
{
    if (!m_bSearching)
        return true;
    if (!m_bCloseRequested) {
        m_bCloseRequested = true;
        // The pump has no way to stop the search, but the port does: closing its shared handle makes
        // every later exchange of the search fail at once, so the scan runs out of addresses without
        // waiting. Only a download already under way still spends its retry pauses.
        m_ctx.m_port.Close();
    }
    return false;
}

void CBatchDlg::OnStart()
{
    m_view.EnableControl(IDC_SEARCH, false);
    m_view.EnableControl(IDC_START, false);
    if (m_nTimer != 0)
        return;
    m_nTimer = m_view.StartTimer(g_nPollTimerId, g_nPollPeriodMs);
    CWeighChart::DrawStatus(m_view.Surface(), m_nTimer);
    m_view.Repaint();
}

void CBatchDlg::OnStop()
{
    m_view.EnableControl(IDC_SEARCH, true);
    m_view.EnableControl(IDC_START, true);
    if (m_nTimer != 0 && m_view.StopTimer(m_nTimer)) {
        m_nTimer = 0;
        OnPaint();
    }
    for (int nSlot = 0; nSlot < kSlots; ++nSlot) {
        m_ctx.m_store.ResetPending(nSlot);
        m_ctx.m_store.ClearRunCount(nSlot);
    }
}

void CBatchDlg::OnTimer()
{
    int nRow = -1;
    bool bCompleted = false;
    CBatchStore& store = m_ctx.m_store;
    store.Poll(m_ctx.m_port, &nRow, &bCompleted);
    if (nRow == -1)
        return;
    // The row shows the current indicator, whichever indicator completed the weighing.
    const int nSlot = store.GetCurrentIndicator();
    SetTotalsRow(nSlot, nRow);
    if (bCompleted) {
        ClearPanels();
        BuildCurrentSeries(store.GetRunStart(nSlot));
        BuildAllSeries();
    }
}

void CBatchDlg::OnDestroy()
{
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    OnStop();
    m_ctx.m_port.Close();
    m_ctx.m_store.Close();
    m_ctx.m_store.Release();
    m_ctx.m_store.SetFaults(nullptr);
}
