// CBatchDlg: the main window's start-up work, selection cascade, totals list, chart series and acquisition control.
#include "batch_dlg.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <variant>

#include "batch_store.h"
#include "chart_rects.h"
#include "com_port.h"
#include "draw_surface.h"
#include "line_thread.h"
#include "store_seams.h"
#include "tune_settings.h"
#include "weigh_chart.h"

namespace {

constexpr int kSlots = CBatchStore::kMaxSlots;
constexpr int kRecipes = CBatchStore::kRecipes;
constexpr int kDoses = CBatchStore::kDoses;
constexpr int kListRows = 10;
constexpr int kRecipeColumnWidth = 30;  // pixels
constexpr int kDoseColumnWidth = 72;    // pixels
constexpr int kMinSeries = 10;          // fewer values than this make no statistics
// Every record takes at least one character of a record text, so no walk over one can see more.
constexpr int kMaxRecordsInText = CBatchStore::kRecordTextBytes;

struct CDecimal {
    char m_sz[16];
    explicit CDecimal(int nValue) { std::snprintf(m_sz, sizeof(m_sz), "%d", nValue); }
};

}  // namespace

CBatchDlg::CBatchDlg(IBatchView& view, const CBatchContext& context) : m_view(view), m_ctx(context)
{
    m_ctx.m_store.SetFaults(&m_notices);
}

CBatchDlg::~CBatchDlg()
{
    // The line thread wakes the view through this object: it ends before either goes.
    FinishLine(false);
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
    const bool bPortOpen = m_ctx.m_port.Open(m_ctx.m_settings.GetPortParams());
    // From here on the port belongs to the line thread.
    m_pLine = std::make_unique<CLineThread>(m_ctx.m_port, m_events, m_ctx.m_store.Clock());
    if (!bPortOpen) {
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
    DrawPanels();
    m_view.Repaint();
}

void CBatchDlg::DrawPanels()
{
    IDrawSurface& surface = m_view.Surface();
    CWeighChart::DrawStatus(surface, m_bPolling ? 1 : 0);
    m_ctx.m_chartCurrent.Draw(surface, g_rcChartCurrent.m_nLeft, g_rcChartCurrent.m_nTop,
                              g_rcChartCurrent.m_nRight, g_rcChartCurrent.m_nBottom);
    m_ctx.m_chartAll.Draw(surface, g_rcChartAll.m_nLeft, g_rcChartAll.m_nTop, g_rcChartAll.m_nRight,
                          g_rcChartAll.m_nBottom);
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
    // A second search while one runs would reset the store under it.
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

    m_notices.ClearIndicators();
    if (m_pLine == nullptr)
        return;  // the start-up work stopped before the line: nothing to search on
    m_bSearching = true;
    m_pLine->Search(szDataDir);
}

void CBatchDlg::OnLineEvents()
{
    for (CLineEvent& event : m_events.TakeAll()) {
        if (m_bDestroyed)
            return;
        std::visit(
            [this](auto& e) {
                using T = std::decay_t<decltype(e)>;
                if constexpr (std::is_same_v<T, CProgressEvent>)
                    m_view.Progress(e.eBar == BAR_SCAN ? IDC_PROGRESS_SCAN : IDC_PROGRESS_DOWNLOAD).SetPos(e.nPos);
                else if constexpr (std::is_same_v<T, CFaultEvent>)
                    ApplyFault(e);
                else if constexpr (std::is_same_v<T, CSearchDoneEvent>)
                    ApplySearchDone(e);
                else if constexpr (std::is_same_v<T, CPassEvent>)
                    ApplyPass(e);
                else if constexpr (std::is_same_v<T, CLineEndedEvent>) {
                    // The close that asked the line to stop can go on now.
                    m_bSearching = false;
                    m_bPolling = false;
                    m_view.CloseWindow();
                }
            },
            event);
    }
}

void CBatchDlg::ApplyFault(const CFaultEvent& fault)
{
    if (fault.bCleared)
        m_notices.Cleared(fault.eKind, fault.nAddress);
    else
        m_notices.Report(fault.eKind, fault.nAddress, fault.strSubject.c_str(), fault.strSystemText.c_str());
}

void CBatchDlg::ApplySearchDone(const CSearchDoneEvent& done)
{
    m_bSearching = false;
    if (m_bCloseRequested)
        return;  // the line's end closes the window
    CBatchStore& store = m_ctx.m_store;
    for (const CSlotImage& image : done.aSlots)
        store.ImportSlot(image);
    if (!done.bFound) {
        // The store is empty now: so are the list and the charts.
        FillTotals(0);
        m_ctx.m_chartCurrent.Compute(nullptr, 0, 0);
        m_ctx.m_chartAll.Compute(nullptr, 0, 0);
        ClearPanels();
        OnPaint();
        return;
    }

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

bool CBatchDlg::OnCloseKey()
{
    return !m_bPolling && OnCloseRequest();
}

bool CBatchDlg::OnCloseRequest()
{
    if (m_bCloseRequested)
        return !m_bSearching && !m_bPolling;
    if (!m_bSearching && !m_bPolling)
        return true;
    if (m_bPolling && !m_view.AskYesNo("Идёт опрос. Остановить сбор данных и выйти?"))
        return false;
    // Closing the port under the search would cut off the indicator being downloaded before it gets
    // its state code back, which can leave it on another recipe; a poll is let finish its
    // conversation. The line stops itself, and its end closes the window.
    m_bCloseRequested = true;
    m_pLine->RequestStop();
    return false;
}

void CBatchDlg::OnEndSession()
{
    m_bCloseRequested = true;
    FinishLine(false);
    m_bSearching = false;
    m_bPolling = false;
    m_view.CloseWindow();
}

void CBatchDlg::OnStart()
{
    m_view.EnableControl(IDC_SEARCH, false);
    m_view.EnableControl(IDC_START, false);
    if (m_bPolling || m_pLine == nullptr)
        return;
    m_bPolling = true;
    m_notices.SetPolling(true);
    m_pLine->StartPolling();
    CWeighChart::DrawStatus(m_view.Surface(), 1);
    m_view.Repaint();
}

void CBatchDlg::OnStop()
{
    m_view.EnableControl(IDC_SEARCH, true);
    m_view.EnableControl(IDC_START, true);
    if (m_bPolling) {
        m_bPolling = false;
        m_notices.SetPolling(false);
        m_pLine->StopPolling();
        OnPaint();
    }
    for (int nSlot = 0; nSlot < kSlots; ++nSlot)
        m_ctx.m_store.ClearRunCount(nSlot);
}

void CBatchDlg::ApplyPass(const CPassEvent& pass)
{
    CBatchStore& store = m_ctx.m_store;
    int nRow = -1;
    for (const CBatch& batch : pass.aBatches) {
        const int nBatchRow = store.ApplyBatch(batch.nSlot, batch.strPending.c_str(), batch.nRecipe, batch.anDoseWeight);
        if (nBatchRow != -1)
            nRow = nBatchRow;
    }
    if (nRow == -1)
        return;
    // The row shows the current indicator, whichever indicator completed the weighing.
    const int nSlot = store.GetCurrentIndicator();
    SetTotalsRow(nSlot, nRow);
    ClearPanels();
    BuildCurrentSeries(store.GetRunStart(nSlot));
    BuildAllSeries();
}

void CBatchDlg::FinishLine(bool bTell)
{
    if (m_pLine == nullptr)
        return;
    const int nLost = m_pLine->Finish(kExitWriterWaitMs);
    m_pLine.reset();
    // What the line and the writer reported last still reaches standard error.
    for (CLineEvent& event : m_events.TakeAll()) {
        if (auto* pFault = std::get_if<CFaultEvent>(&event))
            ApplyFault(*pFault);
    }
    if (nLost <= 0)
        return;
    char szText[256];
    std::snprintf(szText, sizeof szText, "%d отвес(ов) не удалось записать в файлы данных: они остались только в памяти", nLost);
    std::fprintf(stderr, "tk-dedi: %s\n", szText);
    if (bTell)
        m_view.ErrorReporter().ShowError(szText);
}

void CBatchDlg::OnDestroy()
{
    if (m_bDestroyed)
        return;
    OnStop();
    FinishLine(true);
    m_bDestroyed = true;
    // The line thread has ended: the port is the window's again, to close.
    m_ctx.m_port.Close();
    m_ctx.m_store.Close();
    m_ctx.m_store.Release();
    m_ctx.m_store.SetFaults(nullptr);
}
