// The Win32 window under Wine: template against the table, start-up, search, polling and close against tk4700-sim; GDI pixels; About; version.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <winver.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "batch_store.h"
#include "chart_rects.h"
#include "com_port.h"
#include "dialog_template.h"
#include "gdi_surface.h"
#include "temp_dir.h"
#include "tkd_version.h"
#include "tune_settings.h"
#include "weigh_chart.h"
#include "win32_text.h"
#include "win32_window.h"

namespace {

const std::string kLineDir = TKD_WIN32_LINE_DIR;  // a Unix path; Wine maps COMn to its link there

// Runs a shell command on the Linux side (a Unix program named by a Z: path), waiting when asked.
void RunShell(const std::string& strScript, bool bWait)
{
    std::string strCommand = "Z:\\bin\\sh -c \"mkdir -p '" + kLineDir + "' && cd '" + kLineDir + "' && " + strScript + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, bWait ? 10000 : 0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

std::string SimLog() { return tkdtest::ReadBytes("Z:" + kLineDir + "/sim.log"); }

// Dispatches messages as the dialog's loop would, until done() or about nRounds x 10 ms.
bool PumpUntil(CWin32BatchWindow& window, const std::function<bool()>& done, int nRounds = 3000)
{
    for (int i = 0; i < nRounds && !done(); ++i) {
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
            if (!window.PreTranslate(msg) && (window.Hwnd() == nullptr || !IsDialogMessageW(window.Hwnd(), &msg))) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        Sleep(10);
    }
    return done();
}

// A visible window of this thread owned by hOwner that has a child nChildId (a modal box's button):
// found without relying on activation, which an X server without a window manager may not give.
HWND FindOwnedBox(HWND hOwner, int nChildId)
{
    struct CFind { HWND hOwner; int nChildId; HWND hFound; } find{hOwner, nChildId, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* pFind = reinterpret_cast<CFind*>(lParam);
        if (hwnd != pFind->hOwner && IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == pFind->hOwner &&
            GetDlgItem(hwnd, pFind->nChildId) != nullptr)
            pFind->hFound = hwnd;
        return pFind->hFound == nullptr;
    }, reinterpret_cast<LPARAM>(&find));
    return find.hFound;
}

std::string Utf8(const wchar_t* psz) { char sz[256]; WideToUtf8(psz, sz, 256); return sz; }
std::string ItemText(HWND hwnd) { wchar_t sz[128] = {}; GetWindowTextW(hwnd, sz, 128); return Utf8(sz); }

// The window over a real line: three simulated indicators at 5, 9 and 10 on COMn, short line timing.
class CWin32Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string strCom = "COM" + std::to_string(TKD_WIN32_SIM_PORT);
        RunShell("rm -f sim.log " + strCom, true);
        RunShell(std::string("echo $$ > sim.pid && exec '") + TKD_SIM_PROGRAM + "' --port " + strCom.substr(3) +
                     " --indicators 5,9,10 --auto --recipes 1 --dose-polls 1 --idle-polls 2 --log sim.log > /dev/null 2>&1 < /dev/null", false);
        for (int i = 0; i < 200 && GetFileAttributesA(("Z:" + kLineDir + "/" + strCom).c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(25);
        ASSERT_TRUE(tkdtest::WriteBytes(m_dir.File("TK4700_TUNE.INI"),
                                        "[COMMON]\r\nDATADIR=data\\\r\n[" + strCom + "]\r\nBAUD=9600\r\nDATA=8\r\nPARITY=0\r\nSTOP=0\r\n"));
        CreateDirectoryA(m_dir.File("data").c_str(), nullptr);
        ASSERT_TRUE(m_window.Create());
        PumpUntil(m_window, [] { return false; }, 30);  // the first paint and the focus settle
    }
    void TearDown() override { RunShell("kill $(cat sim.pid)", true); }

    HWND Item(int nId) const { return GetDlgItem(m_window.Hwnd(), nId); }
    // "1" or "0" per control of the table, enabled state, in order.
    std::string EnabledStates() const
    {
        std::string str;
        for (int nId : {IDC_SEARCH, IDC_START, IDC_STOP, IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_LIST_TOTALS, IDC_EXIT})
            str += IsWindowEnabled(Item(nId)) ? '1' : '0';
        return str;
    }
    std::string ComboItems(int nId) const  // the items, then "@" and the selection
    {
        std::string str;
        char sz[16];
        for (int i = 0; i < m_window.ComboCount(nId); ++i, str += std::string(i > 1 ? "," : "") + sz)
            m_window.ComboText(nId, i, sz, sizeof sz);
        return str + "@" + std::to_string(SendMessageW(Item(nId), CB_GETCURSEL, 0, 0));
    }
    std::string Cell(int nRow, int nCol) const
    {
        wchar_t sz[32] = {};
        LVITEMW item{};
        std::tie(item.iSubItem, item.pszText, item.cchTextMax) = std::tuple(nCol, sz, 32);
        SendMessageW(Item(IDC_LIST_TOTALS), LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&item));
        return Utf8(sz);
    }
    std::string Bar(int nId) const { return std::to_string(SendMessageW(Item(nId), PBM_GETPOS, 0, 0)); }
    bool LampLit() const  // red letters in the status box, read back from the screen
    {
        HDC hdc = GetDC(m_window.Hwnd());
        int nRed = 0;
        for (int i = 0; i < 71 * 30; ++i)
            nRed += GetPixel(hdc, 690 + i % 71, 64 + i / 71) == RGB(255, 0, 0) ? 1 : 0;
        ReleaseDC(m_window.Hwnd(), hdc);
        return nRed > 10;
    }
    void Click(int nId) { SendMessageW(Item(nId), BM_CLICK, 0, 0); }

    tkdtest::CTempDir m_dir;
    tkdtest::CScopedChdir m_chdir{m_dir.Path()};
    CTuneSettings m_settings;
    CComPort m_port{CLineTiming::Short()};
    CBatchStore m_store;
    CWeighChart m_chartCurrent, m_chartAll;
    CWin32BatchWindow m_window{CBatchContext{m_settings, m_port, m_store, m_chartCurrent, m_chartAll},
                               GetModuleHandleW(nullptr)};
};

TEST_F(CWin32Window, TemplateAndStartUp)
{
    const HWND hwnd = m_window.Hwnd();
    RECT rc;
    GetClientRect(hwnd, &rc);
    EXPECT_EQ(ItemText(hwnd) + " " + std::to_string(rc.right) + "x" + std::to_string(rc.bottom), "TK-Dedi 786x561");  // 6 x 13 base units
    EXPECT_TRUE((GetWindowLongW(hwnd, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME)) == (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME) &&
                (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW));

    // Each chart panel lies inside its group box, below the caption line.
    for (const auto& [nGroup, chart] : {std::pair{IDC_GROUP_CURRENT, g_rcChartCurrent}, std::pair{IDC_GROUP_ALL, g_rcChartAll}}) {
        RECT rcG;
        GetWindowRect(Item(nGroup), &rcG);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rcG), 2);
        EXPECT_TRUE(rcG.left < chart.m_nLeft && chart.m_nRight < rcG.right && rcG.top + 8 < chart.m_nTop && chart.m_nBottom < rcG.bottom)
            << nGroup << ": " << rcG.left << "," << rcG.top << "," << rcG.right << "," << rcG.bottom;
    }

    // After the start-up work: only "Поиск" and "Выход"; bars 0 of 0..99; 11 columns, 10 rows of zeros.
    EXPECT_EQ(EnabledStates(), "10000001");
    for (int nId : {IDC_PROGRESS_SCAN, IDC_PROGRESS_DOWNLOAD})
        EXPECT_EQ(Bar(nId) + "/" + std::to_string(SendMessageW(Item(nId), PBM_GETRANGE, FALSE, 0)), "0/99");
    const HWND hHeader = reinterpret_cast<HWND>(SendMessageW(Item(IDC_LIST_TOTALS), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(std::pair(SendMessageW(hHeader, HDM_GETITEMCOUNT, 0, 0), SendMessageW(Item(IDC_LIST_TOTALS), LVM_GETITEMCOUNT, 0, 0)),
              std::pair(LRESULT{11}, LRESULT{10}));
    for (const auto& [nCol, pszHeading, nWidth] : {std::tuple{0, "РЦ", 30}, std::tuple{10, "Доза 9", 72}}) {
        wchar_t sz[32] = {};
        LVCOLUMNW column{};
        std::tie(column.mask, column.pszText, column.cchTextMax) = std::tuple(LVCF_TEXT | LVCF_WIDTH | LVCF_FMT, sz, 32);
        SendMessageW(Item(IDC_LIST_TOTALS), LVM_GETCOLUMNW, nCol, reinterpret_cast<LPARAM>(&column));
        EXPECT_EQ(Utf8(sz) + std::to_string(column.cx), pszHeading + std::to_string(nWidth));
    }
    EXPECT_EQ(std::tuple(Cell(9, 0), Cell(9, 10), Cell(0, 1)), std::tuple("9", "0", "0"));
    EXPECT_EQ(SendMessageW(Item(IDC_LIST_TOTALS), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);

    // The About item ends the system menu, after a separator.
    const HMENU hMenu = GetSystemMenu(hwnd, FALSE);
    const int nLast = GetMenuItemCount(hMenu) - 1;
    wchar_t szItem[64] = {};
    GetMenuStringW(hMenu, nLast, szItem, 64, MF_BYPOSITION);
    EXPECT_EQ(std::to_string(GetMenuItemID(hMenu, nLast)) + Utf8(szItem), "16&About TK-Dedi...");
    EXPECT_TRUE(GetMenuState(hMenu, nLast - 1, MF_BYPOSITION) & MF_SEPARATOR);

    // The About box from the system menu and from F1, read and closed from inside its modal loop.
    static std::string s_strAbout;
    const UINT_PTR nTimer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND hAbout = GetLastActivePopup(GetActiveWindow());
        if (hAbout == nullptr || GetDlgItem(hAbout, IDOK) == nullptr)
            return;
        for (HWND h = GetWindow(hAbout, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
            s_strAbout += ((GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON ? "icon" : ItemText(h)) + "|";
        SendMessageW(hAbout, WM_COMMAND, IDOK, 0);
    });
    SendMessageW(m_window.Hwnd(), WM_SYSCOMMAND, 16, 0);
    const MSG msg{m_window.Hwnd(), WM_KEYDOWN, VK_F1, 0, 0, {}};
    EXPECT_TRUE(m_window.PreTranslate(msg));
    const std::string strAbout = "icon|TK-Dedi, Version " TKD_VERSION "|Сбор отвесов с TK4700|OK|";  // project(VERSION ...)
    EXPECT_EQ(s_strAbout, strAbout + strAbout);
    KillTimer(nullptr, nTimer);

    // A warning blocks nothing and takes no keys: polling, the buttons and Enter go on.
    m_window.ShowWarning("Запись не сохранена");
    EXPECT_EQ(ItemText(GetDlgItem(FindWindowW(L"#32770", L""), 1101)), "Запись не сохранена");
    EXPECT_TRUE(IsWindowEnabled(m_window.Hwnd()));

    // Enter right after start-up ends the dialog; it must not click "Поиск".
    PostMessageW(GetFocus() != nullptr ? GetFocus() : hwnd, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(PumpUntil(m_window, [&] { return m_window.IsEnded(); }));
    EXPECT_EQ(m_window.Result(), IDOK);
    EXPECT_EQ(SimLog().find("in  HL"), std::string::npos);
}

// The dialog that tk_dedi.rc makes is the one the Qt window builds from g_aBatchControls: the same controls in
// the same order, each of the class and with the styles its kind means, its caption, its place, hidden or not.
TEST_F(CWin32Window, TemplateIsTheTable)
{
    const HWND hwnd = m_window.Hwnd();
    RECT rcClient, rcSize{0, 0, g_nBatchDlgCx, g_nBatchDlgCy};
    GetClientRect(hwnd, &rcClient);
    MapDialogRect(hwnd, &rcSize);
    EXPECT_TRUE(EqualRect(&rcClient, &rcSize)) << rcClient.right << "x" << rcClient.bottom;
    // Per kind, in the order of EControlKind: the window class, and the style bits (under the mask) that make it.
    const struct { const wchar_t* m_pszClass; LONG m_nMask, m_nStyle; } kKinds[] = {
        {L"Button", BS_TYPEMASK, BS_GROUPBOX},
        {L"Static", SS_TYPEMASK, SS_LEFT},
        {L"ComboBox", 3 | WS_TABSTOP, CBS_DROPDOWNLIST | WS_TABSTOP},  // the scroll bar is the open list's
        {L"msctls_progress32", PBS_SMOOTH | PBS_VERTICAL, PBS_SMOOTH},
        {L"Button", BS_TYPEMASK | WS_TABSTOP, BS_AUTOCHECKBOX | WS_TABSTOP},
        {L"SysDateTimePick32", DTS_TIMEFORMAT | DTS_RIGHTALIGN | WS_TABSTOP, DTS_RIGHTALIGN | WS_TABSTOP},
        {L"SysDateTimePick32", DTS_TIMEFORMAT | DTS_RIGHTALIGN | WS_TABSTOP, DTS_TIMEFORMAT | DTS_RIGHTALIGN | WS_TABSTOP},
        {L"Button", (BS_TYPEMASK & ~BS_DEFPUSHBUTTON) | WS_TABSTOP, BS_PUSHBUTTON | WS_TABSTOP},  // the focus may make it the default
        {L"SysListView32", LVS_TYPEMASK | WS_TABSTOP, LVS_REPORT | WS_TABSTOP},
    };
    HWND hChild = GetWindow(hwnd, GW_CHILD);
    LONG nComboShort = -1;
    for (const CControlDef& def : g_aBatchControls) {
        SCOPED_TRACE(def.m_nId);
        ASSERT_NE(hChild, nullptr);
        const auto& kind = kKinds[static_cast<int>(def.m_eKind)];
        wchar_t szClass[64] = {};
        GetClassNameW(hChild, szClass, 64);
        const LONG nStyle = GetWindowLongW(hChild, GWL_STYLE);
        EXPECT_EQ(GetDlgCtrlID(hChild), def.m_nId);
        EXPECT_EQ(lstrcmpiW(szClass, kind.m_pszClass), 0) << Utf8(szClass);
        EXPECT_EQ(nStyle & kind.m_nMask, kind.m_nStyle);
        EXPECT_EQ(IsWindowVisible(hChild) == FALSE, def.m_bHidden);
        if (def.m_eKind != EControlKind::Date && def.m_eKind != EControlKind::Time) {  // their text is the date shown
            EXPECT_EQ(ItemText(hChild), def.m_pszCaption);
        }
        // The dialog manager converts the place and the size (not the far edges) from dialog units.
        RECT rcTable{def.m_nX, def.m_nY, def.m_nCx, def.m_nCy}, rc;
        MapDialogRect(hwnd, &rcTable);
        rcTable.right += rcTable.left;
        rcTable.bottom += rcTable.top;
        GetWindowRect(hChild, &rc);
        if (def.m_eKind == EControlKind::Combo) {
            // The template's height is the open list's; Wine reports that list short of it by an amount of
            // its own, the same for every list: each list's shortfall is the first one's.
            RECT rcOpen{};
            SendMessageW(hChild, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rcOpen));
            const LONG nShort = rcTable.bottom - rcTable.top - (rcOpen.bottom - rcOpen.top);
            if (nComboShort < 0)
                nComboShort = nShort;
            EXPECT_EQ(nShort, nComboShort);
        }
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rc), 2);
        if (def.m_eKind == EControlKind::Combo)
            rc.bottom = rcTable.bottom;  // the closed box is one line high
        EXPECT_TRUE(EqualRect(&rc, &rcTable)) << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom << " against "
                                              << rcTable.left << "," << rcTable.top << "," << rcTable.right << "," << rcTable.bottom;
        hChild = GetWindow(hChild, GW_HWNDNEXT);
    }
    EXPECT_EQ(hChild, nullptr) << "a control the table lacks";
}

// The version resource says the version project(VERSION ...) gives.
TEST(Win32Resources, VersionIsTheProjects)
{
    wchar_t szExe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    std::vector<char> buffer(GetFileVersionInfoSizeW(szExe, nullptr));
    ASSERT_TRUE(!buffer.empty() && GetFileVersionInfoW(szExe, 0, static_cast<DWORD>(buffer.size()), buffer.data()));
    VS_FIXEDFILEINFO* pFixed = nullptr;
    wchar_t* pszProduct = nullptr;
    UINT nLength = 0;
    ASSERT_TRUE(VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&pFixed), &nLength) &&
                VerQueryValueW(buffer.data(), L"\\StringFileInfo\\041904b0\\ProductVersion", reinterpret_cast<void**>(&pszProduct), &nLength));
    EXPECT_EQ(Utf8(pszProduct), TKD_VERSION);
    const std::pair<int, int> fileVersion{HIWORD(pFixed->dwFileVersionMS), LOWORD(pFixed->dwFileVersionMS)};
    EXPECT_EQ(fileVersion, std::pair(TKD_VERSION_MAJOR, TKD_VERSION_MINOR));
    EXPECT_EQ(pFixed->dwProductVersionMS, pFixed->dwFileVersionMS);
}

TEST_F(CWin32Window, SearchPollStopAndRestore)
{
    // The bars as the search moves them, read through a thread timer while the window's loop runs.
    static LRESULT s_anMax[2] = {};
    static HWND s_hDlg = m_window.Hwnd();
    const UINT_PTR nTimer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        for (int i : {0, 1})
            s_anMax[i] = std::max(s_anMax[i], SendDlgItemMessageW(s_hDlg, IDC_PROGRESS_SCAN + i, PBM_GETPOS, 0, 0));
    });
    Click(IDC_SEARCH);
    // The About box opened during the search stays open until the download bar has moved: the search
    // goes on meanwhile.
    static LRESULT s_nAtAbout = -1;
    const UINT_PTR nAboutTimer = SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND hAbout = FindOwnedBox(s_hDlg, IDOK);
        const LRESULT nPos = SendDlgItemMessageW(s_hDlg, IDC_PROGRESS_DOWNLOAD, PBM_GETPOS, 0, 0);
        if (hAbout == nullptr)
            return;
        if (s_nAtAbout < 0)
            s_nAtAbout = nPos;
        else if (nPos != s_nAtAbout)
            SendMessageW(hAbout, WM_COMMAND, IDOK, 0);
    });
    SendMessageW(m_window.Hwnd(), WM_SYSCOMMAND, 16, 0);
    KillTimer(nullptr, nAboutTimer);
    EXPECT_GE(s_nAtAbout, 0);
    EXPECT_TRUE(PumpUntil(m_window, [&] { return !m_window.Dlg().IsSearching(); }));
    KillTimer(nullptr, nTimer);
    // The scan ended at address 11 (10 was the third indicator; its last position may come in one wake
    // with the reset); 100 entries came, clamped to the range.
    EXPECT_TRUE(s_anMax[0] == 11 || s_anMax[0] == 12) << s_anMax[0];
    EXPECT_EQ(s_anMax[1], 99);
    EXPECT_EQ(Bar(IDC_PROGRESS_SCAN) + Bar(IDC_PROGRESS_DOWNLOAD), "00");
    EXPECT_EQ(EnabledStates(), "11111111");
    EXPECT_EQ(ComboItems(IDC_COMBO_INDICATOR) + " " + ComboItems(IDC_COMBO_RECIPE) + " " + ComboItems(IDC_COMBO_DOSE),
              "5,9,10@0 1,2,3@0 1,2,3@0");

    // The user picks indicator 10: the store follows the position, not the text.
    SendMessageW(Item(IDC_COMBO_INDICATOR), CB_SETCURSEL, 2, 0);
    SendMessageW(m_window.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_COMBO_INDICATOR, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(IDC_COMBO_INDICATOR)));
    EXPECT_EQ(m_store.GetCurrentIndicator(), 2);

    Click(IDC_START);
    EXPECT_EQ(EnabledStates(), "00111111");
    EXPECT_TRUE(LampLit());
    // While polling Esc and Enter end nothing, and the close box asks first: "Нет" keeps polling.
    SetFocus(m_window.Hwnd());
    for (WPARAM nKey : {VK_ESCAPE, VK_RETURN})
        PostMessageW(m_window.Hwnd(), WM_KEYDOWN, nKey, 0);
    PumpUntil(m_window, [] { return false; }, 20);
    static std::string s_strQuestion;
    const UINT_PTR nNoTimer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND hBox = FindOwnedBox(s_hDlg, IDNO);
        if (hBox == nullptr)
            return;
        s_strQuestion = ItemText(GetDlgItem(hBox, 0xFFFF)) + "|" + std::to_string(GetDlgItem(hBox, IDYES) != nullptr);
        SendMessageW(hBox, WM_COMMAND, IDNO, 0);
    });
    PostMessageW(m_window.Hwnd(), WM_CLOSE, 0, 0);
    PumpUntil(m_window, [] { return !s_strQuestion.empty(); });
    PumpUntil(m_window, [] { return false; }, 20);
    KillTimer(nullptr, nNoTimer);
    EXPECT_EQ(s_strQuestion, "Идёт опрос. Остановить сбор данных и выйти?|1");
    EXPECT_FALSE(m_window.IsEnded());
    EXPECT_TRUE(m_window.Dlg().IsPolling());
    // Totals of recipe 1, dose 1 of the indicator shown grow as its batches end.
    EXPECT_TRUE(PumpUntil(m_window, [&] { return Cell(1, 2) != "0"; }));
    EXPECT_EQ(std::tuple(Cell(1, 0), Cell(1, 1), Cell(2, 2)), std::tuple("1", "0", "0"));

    // Covered and restored, the panels come back from their models (black), the lamp with them.
    HDC hdc = GetDC(m_window.Hwnd());
    for (int y = 200; y < 210; ++y)
        SetPixel(hdc, 100, y, RGB(255, 255, 255));
    ShowWindow(m_window.Hwnd(), SW_MINIMIZE);
    ShowWindow(m_window.Hwnd(), SW_RESTORE);
    EXPECT_TRUE(PumpUntil(m_window, [&] { return GetPixel(hdc, 100, 205) == RGB(0, 0, 0) && LampLit(); }));
    ReleaseDC(m_window.Hwnd(), hdc);

    Click(IDC_STOP);
    EXPECT_EQ(EnabledStates(), "11111111");
    EXPECT_FALSE(LampLit());
}

TEST_F(CWin32Window, CloseDuringSearchStopsItAndCloses)
{
    PostMessageW(Item(IDC_SEARCH), BM_CLICK, 0, 0);
    PostMessageW(m_window.Hwnd(), WM_CLOSE, 0, 0);  // the close box, while the search runs
    EXPECT_EQ(m_window.RunModal(), IDCANCEL);
    EXPECT_EQ(m_window.Hwnd(), nullptr);
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_EQ(SimLog().find("in  HL 03"), std::string::npos);  // the scan stopped at once
}

// The end of the Windows session during a tuning download: the line stops at its safe point (the last
// frame goes to the indicator being downloaded: its state code), then the window ends.
TEST_F(CWin32Window, EndOfSessionDuringADownloadTakesTheSafePath)
{
    Click(IDC_SEARCH);
    ASSERT_TRUE(PumpUntil(m_window, [] { return SimLog().find("in  HT 05 10") != std::string::npos; }));
    EXPECT_EQ(SendMessageW(m_window.Hwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
    SendMessageW(m_window.Hwnd(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(m_window.RunModal(), IDCANCEL);
    const std::string strLog = SimLog();
    const size_t nLast = strLog.rfind("in  H");
    ASSERT_NE(nLast, std::string::npos);
    EXPECT_EQ(strLog.substr(nLast, 9), "in  HT 05");
    EXPECT_EQ(strLog.find("in  HL 06"), std::string::npos);
}

// The GDI surface on a memory bitmap: the figures the Linux canvas test checks, pixel by pixel.
// The window opens in the middle of its screen, and warnings over it, each shifted from the last.
TEST_F(CWin32Window, CentredWithWarningsCascadedOverIt)
{
    RECT rcWork{}, rcMain{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    GetWindowRect(m_window.Hwnd(), &rcMain);
    EXPECT_LE(std::abs((rcMain.left - rcWork.left) - (rcWork.right - rcMain.right)), 1);
    EXPECT_LE(std::abs((rcMain.top - rcWork.top) - (rcWork.bottom - rcMain.bottom)), 1);

    for (const char* pszText : {"первое", "второе", "третье"})
        m_window.ShowWarning(pszText);
    static std::vector<RECT> s_arc;
    s_arc.clear();
    EnumWindows([](HWND h, LPARAM lOwner) {
        if (GetWindow(h, GW_OWNER) == reinterpret_cast<HWND>(lOwner) && IsWindowVisible(h)) {
            RECT rc{};
            GetWindowRect(h, &rc);
            s_arc.push_back(rc);
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(m_window.Hwnd()));
    ASSERT_EQ(s_arc.size(), 3u);
    std::sort(s_arc.begin(), s_arc.end(), [](const RECT& a, const RECT& b) { return a.left < b.left; });
    for (size_t i = 0; i < s_arc.size(); ++i) {
        SCOPED_TRACE(i);
        RECT rcBoth{};
        EXPECT_TRUE(IntersectRect(&rcBoth, &s_arc[i], &rcMain) && EqualRect(&rcBoth, &s_arc[i])) << "inside the window";
        if (i > 0) {
            EXPECT_GE(s_arc[i].left - s_arc[i - 1].left, 10);
            EXPECT_EQ(s_arc[i].left - s_arc[i - 1].left, s_arc[i].top - s_arc[i - 1].top);
        }
    }
}

TEST(GdiSurface, ChartPanel)
{
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 780, -400, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    DWORD* pBits = nullptr;
    HDC hdc = CreateCompatibleDC(nullptr);
    HBITMAP hBitmap = CreateDIBSection(hdc, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&pBits), nullptr, 0);
    SelectObject(hdc, hBitmap);
    for (int i = 0; i < 780 * 400; ++i)
        pBits[i] = 0x808080;  // untouched ground
    auto is = [&](int x, int y, DWORD rgb) { GdiFlush(); return pBits[y * 780 + x] == rgb; };
    auto count = [&](int x0, int y0, int w, int h, DWORD rgb) {
        int n = 0;
        for (int i = 0; i < w * h; ++i)
            n += is(x0 + i % w, y0 + i / w, rgb) ? 1 : 0;
        return n;
    };
    const auto [l, t, r, b] = g_rcChartCurrent;
    CGdiSurface surface(hdc, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    const double adTen[] = {0, 0, 0, 0, 0, 2, 2, 2, 2, 2};
    CWeighChart chart;
    ASSERT_TRUE(chart.Compute(adTen, 10, 1));
    chart.Draw(surface, l, t, r, b);

    EXPECT_TRUE(is(8, 121, 0) && is(20, 140, 0) && is(332, 367, 0));  // the black panel, right and bottom edges excluded
    EXPECT_TRUE(is(333, 200, 0x808080) && is(100, 368, 0x808080) && is(100, 120, 0x808080));
    // Red sample dots of 6 px, round.
    for (auto [x, y] : {std::pair{126, 283}, {124, 283}, {128, 283}, {126, 281}, {126, 285}, {214, 283}})
        EXPECT_TRUE(is(x, y, 0xFF0000)) << x << "," << y;
    EXPECT_NEAR(count(121, 278, 11, 11, 0xFF0000), 28, 4);  // a 6-px disc covers about 28; its square 36
    // The dotted -2 sigma line at x = 82 up to y = 225, yellow with black gaps; -3 sigma dark red up to 268.
    EXPECT_TRUE(count(82, 230, 1, 80, 0xAAAA00) >= 15 && count(82, 230, 1, 80, 0) >= 15 && count(82, 200, 1, 24, 0xAAAA00) == 0);
    EXPECT_GE(count(38, 270, 1, 50, 0x820000), 10);
    // Mean marker over the axis, the green axis two pixels thick, the curve near (170, 253), the white text line.
    EXPECT_TRUE(is(170, 200, 0x0080FF));
    EXPECT_GE(count(20, 327, 300, 2, 0x008000), 300);
    EXPECT_GE(count(160, 248, 20, 10, 0x004000), 10);
    EXPECT_GE(count(12, 350, 320, 16, 0xFFFFFF), 60);
    EXPECT_EQ(count(8, 121, 325, 225, 0xFFFFFF), 0);

    // A mean far off: no marker anywhere, no dots.
    ASSERT_TRUE(chart.Compute(adTen, 10, 1000));
    chart.Draw(surface, l, t, r, b);
    EXPECT_EQ(std::tuple(count(0, 0, 780, 400, 0x0080FF), count(8, 121, 325, 247, 0xFF0000), count(8, 121, 325, 247, 0x004000)), std::tuple(0, 0, 0));
    DeleteDC(hdc);
    DeleteObject(hBitmap);
}

}  // namespace
