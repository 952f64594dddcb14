// CDlgRig: the objects the main dialog works on, in a temporary directory with a simulated line as COM1; a recording view.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <map>
#include <string>
#include <vector>

#include "batch_dlg.h"
#include "batch_store.h"
#include "com_port.h"
#include "recording_surface.h"
#include "sim_line.h"
#include "temp_dir.h"
#include "tune_settings.h"
#include "weigh_chart.h"

namespace tkdtest {

using Strings = std::vector<std::string>;

struct CDlgRig {
    explicit CDlgRig(const CLineTiming& timing = CLineTiming::Short()) : m_chdir(m_dir.Path()), m_port(timing) {}

    // TK4700_TUNE.INI naming COM1 at 9600 8N1 (none without bSettings; without BAUD the port stays
    // closed), then the line as COM1.
    bool StartLine(bool bSettings = true, bool bWithBaud = true)
    {
        const std::string strIni = std::string("[COMMON]\r\n[COM1]\r\n") + (bWithBaud ? "BAUD=9600\r\n" : "") + "DATA=8\r\n";
        return (!bSettings || WriteBytes(m_dir.File("TK4700_TUNE.INI"), strIni)) && m_line.Start() && m_line.LinkAs(m_dir.Path(), 1);
    }
    CBatchContext Context() { return {m_settings, m_port, m_store, m_chartCurrent, m_chartAll}; }
    // The frames the line received, as the simulator notes them ("HL 05", "HT 05 23").
    Strings Requests() const
    {
        Strings astr;
        for (const CSimLogEntry& entry : m_line.Log())
            if (entry.eDir == CSimLogEntry::kIn && entry.cKind != 0)
                astr.push_back(entry.strNote);
        return astr;
    }

    CTempDir m_dir;
    CScopedChdir m_chdir;
    CSimLine m_line;
    CTuneSettings m_settings;
    CComPort m_port;
    CBatchStore m_store;
    CWeighChart m_chartCurrent, m_chartAll;
};

// A view without a window: keeps what the logic shows. A control never touched is enabled, as the
// template creates it. A wake from the line thread is only noted: RunUntil applies the events.
class CRecordingView : public IBatchView, IProgressBar, IErrorReporter {
public:
    bool IsEnabled(int nId) const { return !m_mapEnabled.contains(nId) || m_mapEnabled.at(nId); }
    void EnableControl(int nId, bool bEnable) override { m_mapEnabled[nId] = bEnable; }
    void ComboAdd(int nId, const char* pszText) override { m_mapItems[nId].emplace_back(pszText); }
    bool ComboDeleteLast(int nId) override
    {
        if (m_mapItems[nId].empty())
            return false;
        m_mapItems[nId].pop_back();
        m_mapSel[nId] = ComboCurSel(nId) < ComboCount(nId) ? ComboCurSel(nId) : -1;
        return true;
    }
    void ComboSelect(int nId, int nIndex) override { m_mapSel[nId] = nIndex < ComboCount(nId) ? nIndex : ComboCurSel(nId); }
    int ComboCount(int nId) const override { return static_cast<int>(Items(nId).size()); }
    int ComboCurSel(int nId) const override { return m_mapSel.contains(nId) ? m_mapSel.at(nId) : -1; }
    void ComboText(int nId, int nIndex, char* pszBuffer, int nSize) const override
    {
        const bool bIn = nIndex >= 0 && nIndex < ComboCount(nId);
        std::snprintf(pszBuffer, static_cast<size_t>(nSize), "%s", bIn ? Items(nId)[static_cast<size_t>(nIndex)].c_str() : "");
    }
    Strings Items(int nId) const { return m_mapItems.contains(nId) ? m_mapItems.at(nId) : Strings{}; }

    void ListInsertColumn(int, const char* pszHeading, int nWidth) override { m_astrColumns.push_back(pszHeading + ("/" + std::to_string(nWidth))); }
    int ListInsertRow(const char* pszLabel) override
    {
        m_aRows.emplace_back(m_astrColumns.size(), "").at(0) = pszLabel;
        return static_cast<int>(m_aRows.size()) - 1;
    }
    void ListSetCell(int nRow, int nCol, const char* pszText) override
    {
        ++m_nCellWrites;
        if (nRow >= 0 && nRow < static_cast<int>(m_aRows.size()) && nCol >= 0 && nCol < static_cast<int>(m_astrColumns.size()))
            m_aRows[static_cast<size_t>(nRow)][static_cast<size_t>(nCol)] = pszText;
    }
    void ListSetFullRowSelect() override {}
    std::string Cell(int nRow, int nCol) const { return m_aRows.at(static_cast<size_t>(nRow)).at(static_cast<size_t>(nCol)); }

    void ProgressSetRange(int, int, int) override {}
    IProgressBar& Progress(int) override { return *this; }
    void SetPos(int) override { ++m_nBarMoves; }
    void PostWake() override { m_bWoken = true; }
    IDrawSurface& Surface() override { return m_surface; }
    void Repaint() override { ++m_nRepaints; }
    bool IsMinimized() const override { return m_bMinimized; }
    IErrorReporter& ErrorReporter() override { return *this; }
    void ShowError(const char* pszText) override { m_astrMessages.emplace_back(pszText); }
    void ShowWarning(const char* pszText) override { m_astrWarnings.emplace_back(pszText); }
    void ShowAbout() override { ++m_nAbouts; }
    bool AskYesNo(const char* pszText) override { m_astrQuestions.emplace_back(pszText); return m_bAnswerYes; }
    void CloseWindow() override { ++m_nCloses; }
    size_t Fills() const { return m_surface.CallsOf(EDrawOp::FillBlack).size(); }

    std::map<int, bool> m_mapEnabled;
    std::map<int, Strings> m_mapItems;
    std::map<int, int> m_mapSel;
    Strings m_astrColumns, m_astrMessages, m_astrWarnings, m_astrQuestions;  // columns as "heading/width"
    std::vector<Strings> m_aRows;
    int m_nCellWrites = 0, m_nRepaints = 0, m_nAbouts = 0, m_nCloses = 0, m_nBarMoves = 0;
    bool m_bMinimized = false, m_bAnswerYes = true;
    std::atomic<bool> m_bWoken{false};
    CRecordingSurface m_surface;
};

// The window's loop for a test: applies the line's events whenever they wake the view, until
// done() holds; false when nTimeoutMs passed first.
inline bool RunUntil(CBatchDlg& dlg, CRecordingView& view, const std::function<bool()>& done, int nTimeoutMs = 20000)
{
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        if (view.m_bWoken.exchange(false))
            dlg.OnLineEvents();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > tEnd)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace tkdtest
