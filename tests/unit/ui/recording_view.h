// CRecordingView: an IBatchView without a window that keeps every control's state, for the dialog logic tests.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "batch_view.h"
#include "recording_surface.h"
#include "store_seams.h"
#include "tune_settings.h"

// A progress bar that remembers every position it was given.
class CRecordingProgress : public IProgressBar {
public:
    void SetPos(int nPos) override
    {
        m_nPos = nPos;
        m_anHistory.push_back(nPos);
    }
    int m_nMin = 0;
    int m_nMax = 100;
    int m_nPos = 0;
    std::vector<int> m_anHistory;
};

// Each pump call runs the hook (if any): what a click dispatched by the search's pump would do.
class CRecordingPump : public IMessagePump {
public:
    void PumpOneMessage() override
    {
        ++m_nCalls;
        if (m_fnHook)
            m_fnHook(m_nCalls);
    }
    int m_nCalls = 0;
    std::function<void(int)> m_fnHook;
};

class CRecordingReporter : public IErrorReporter {
public:
    void ShowError(const char* pszText) override { m_astrMessages.emplace_back(pszText); }
    std::vector<std::string> m_astrMessages;
};

struct CViewCombo {
    std::vector<std::string> m_astrItems;
    int m_nSel = -1;
};

struct CViewColumn {
    std::string m_strHeading;
    int m_nWidth = 0;
};

class CRecordingView : public IBatchView {
public:
    // A control never touched is enabled, as the template creates it.
    bool IsEnabled(int nId) const
    {
        const auto it = m_mapEnabled.find(nId);
        return it == m_mapEnabled.end() || it->second;
    }

    void EnableControl(int nId, bool bEnable) override { m_mapEnabled[nId] = bEnable; }
    void ComboAdd(int nId, const char* pszText) override { m_mapCombos[nId].m_astrItems.emplace_back(pszText); }
    bool ComboDeleteLast(int nId) override
    {
        CViewCombo& combo = m_mapCombos[nId];
        if (combo.m_astrItems.empty())
            return false;
        combo.m_astrItems.pop_back();
        if (combo.m_nSel >= static_cast<int>(combo.m_astrItems.size()))
            combo.m_nSel = -1;
        return true;
    }
    void ComboSelect(int nId, int nIndex) override
    {
        CViewCombo& combo = m_mapCombos[nId];
        if (nIndex >= -1 && nIndex < static_cast<int>(combo.m_astrItems.size()))
            combo.m_nSel = nIndex;
    }
    int ComboCount(int nId) const override
    {
        const auto it = m_mapCombos.find(nId);
        return it == m_mapCombos.end() ? 0 : static_cast<int>(it->second.m_astrItems.size());
    }
    int ComboCurSel(int nId) const override
    {
        const auto it = m_mapCombos.find(nId);
        return it == m_mapCombos.end() ? -1 : it->second.m_nSel;
    }
    void ComboText(int nId, int nIndex, char* pszBuffer, int nSize) const override
    {
        std::string strText;
        const auto it = m_mapCombos.find(nId);
        if (it != m_mapCombos.end() && nIndex >= 0 && nIndex < static_cast<int>(it->second.m_astrItems.size()))
            strText = it->second.m_astrItems[static_cast<size_t>(nIndex)];
        std::snprintf(pszBuffer, static_cast<size_t>(nSize), "%s", strText.c_str());
    }
    std::vector<std::string> Items(int nId) const
    {
        const auto it = m_mapCombos.find(nId);
        return it == m_mapCombos.end() ? std::vector<std::string>{} : it->second.m_astrItems;
    }
    // What a user's choice does: select the item, then the handler runs (the caller calls it).
    void UserSelect(int nId, int nIndex) { m_mapCombos[nId].m_nSel = nIndex; }

    void ListInsertColumn(int nCol, const char* pszHeading, int nWidth) override
    {
        m_anInsertedAt.push_back(nCol);
        m_aColumns.push_back({pszHeading, nWidth});
    }
    int ListInsertRow(const char* pszLabel) override
    {
        m_aRows.emplace_back(m_aColumns.size());
        if (!m_aColumns.empty())
            m_aRows.back()[0] = pszLabel;
        return static_cast<int>(m_aRows.size()) - 1;
    }
    void ListSetCell(int nRow, int nCol, const char* pszText) override
    {
        ++m_nCellWrites;
        if (nRow < 0 || nRow >= static_cast<int>(m_aRows.size()) || nCol < 0 ||
            nCol >= static_cast<int>(m_aColumns.size()))
            return;
        m_aRows[static_cast<size_t>(nRow)][static_cast<size_t>(nCol)] = pszText;
    }
    void ListSetFullRowSelect() override { m_bFullRowSelect = true; }
    std::string Cell(int nRow, int nCol) const { return m_aRows.at(static_cast<size_t>(nRow)).at(static_cast<size_t>(nCol)); }

    void ProgressSetRange(int nId, int nMin, int nMax) override
    {
        CRecordingProgress& bar = nId == IDC_PROGRESS_SCAN ? m_scan : m_download;
        bar.m_nMin = nMin;
        bar.m_nMax = nMax;
    }
    IProgressBar& Progress(int nId) override { return nId == IDC_PROGRESS_SCAN ? m_scan : m_download; }
    IMessagePump& Pump() override { return m_pump; }

    int StartTimer(int nTimerId, int nPeriodMs) override
    {
        ++m_nTimerStarts;
        if (!m_bTimerWorks)
            return 0;
        m_nRunningTimer = nTimerId;
        m_nPeriodMs = nPeriodMs;
        return nTimerId;
    }
    bool StopTimer(int nTimerId) override
    {
        if (m_nRunningTimer == 0 || m_nRunningTimer != nTimerId)
            return false;
        m_nRunningTimer = 0;
        return true;
    }

    IDrawSurface& Surface() override { return m_surface; }
    void Repaint() override { ++m_nRepaints; }
    bool IsMinimized() const override { return m_bMinimized; }
    IErrorReporter& ErrorReporter() override { return m_reporter; }
    void ShowAbout() override { ++m_nAbouts; }
    void CloseWindow() override { ++m_nCloses; }

    std::map<int, bool> m_mapEnabled;
    std::map<int, CViewCombo> m_mapCombos;
    std::vector<CViewColumn> m_aColumns;
    std::vector<int> m_anInsertedAt;
    std::vector<std::vector<std::string>> m_aRows;
    int m_nCellWrites = 0;
    bool m_bFullRowSelect = false;
    CRecordingProgress m_scan;
    CRecordingProgress m_download;
    CRecordingPump m_pump;
    bool m_bTimerWorks = true;
    int m_nTimerStarts = 0;
    int m_nRunningTimer = 0;
    int m_nPeriodMs = 0;
    CRecordingSurface m_surface;
    int m_nRepaints = 0;
    bool m_bMinimized = false;
    CRecordingReporter m_reporter;
    int m_nAbouts = 0;
    int m_nCloses = 0;
};
