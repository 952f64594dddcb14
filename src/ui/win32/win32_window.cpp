// CWin32BatchWindow: template 102 as a window, the view operations on its controls, and the message forwarding.
#include "win32_window.h"

#include <commctrl.h>

#include <cstring>

#include "resource_ids.h"
#include "win32_text.h"

namespace {

// Posted to the dialog once its first show has settled (activation and the dialog manager's focus).
constexpr UINT kMsgAfterShow = WM_APP + 1;
// Posted by the line thread and the disk writer: their events wait in the dialog's queue.
constexpr UINT kMsgLineEvents = WM_APP + 2;

// The warning boxes: OK, Esc and the close box close them; they belong to no modal loop.
INT_PTR CALLBACK WarningProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM)
{
    if (nMsg == WM_INITDIALOG) {
        SendDlgItemMessageW(hwnd, IDC_WARNING_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconW(nullptr, MAKEINTRESOURCEW(32513))), 0);  // IDI_ERROR
        return FALSE;  // no focus: the operator's keys stay with the main window
    }
    if (nMsg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        DestroyWindow(hwnd);
        return TRUE;
    }
    return FALSE;
}

// The work area (the screen without the taskbar) of the monitor that holds most of hwnd.
RECT WorkArea(HWND hwnd)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    return info.rcWork;
}

// Moves hwnd so that its centre is that of rcAround, shifted by nShift pixels right and down, and
// keeps it inside the work area with its caption reachable.
void PlaceCentred(HWND hwnd, const RECT& rcAround, int nShift)
{
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    const RECT rcWork = WorkArea(hwnd);
    const int nWidth = rc.right - rc.left;
    const int nHeight = rc.bottom - rc.top;
    int x = (rcAround.left + rcAround.right - nWidth) / 2 + nShift;
    int y = (rcAround.top + rcAround.bottom - nHeight) / 2 + nShift;
    x = x + nWidth > rcWork.right ? rcWork.right - nWidth : x;
    y = y + nHeight > rcWork.bottom ? rcWork.bottom - nHeight : y;
    x = x < rcWork.left ? rcWork.left : x;
    y = y < rcWork.top ? rcWork.top : y;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM)
{
    if (nMsg == WM_INITDIALOG)
        return TRUE;
    if (nMsg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

CWin32BatchWindow::CWin32BatchWindow(const CBatchContext& context, HINSTANCE hInstance, IErrorReporter* pReporter)
    : m_hInstance(hInstance), m_pReporter(pReporter != nullptr ? pReporter : &m_reporter), m_dlg(*this, context)
{
    m_hIcon = LoadIconW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    m_hIconSmall = static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

CWin32BatchWindow::~CWin32BatchWindow()
{
    Destroy();
    for (HWND hWarning : m_ahWarnings) {
        if (hWarning != nullptr && IsWindow(hWarning))
            DestroyWindow(hWarning);
    }
    if (m_hIconSmall != nullptr)
        DestroyIcon(m_hIconSmall);
}

bool CWin32BatchWindow::Create()
{
    if (m_hwnd != nullptr)
        return false;
    const INITCOMMONCONTROLSEX icc = {sizeof(INITCOMMONCONTROLSEX),
                                      ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    // Modeless creation with a loop of our own (RunModal), as a framework's modal dialog does it:
    // the window exists, and can be driven, before its loop runs.
    return CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(IDD_TKDEDI_DIALOG), nullptr, DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

int CWin32BatchWindow::RunModal()
{
    MSG msg;
    while (m_hwnd != nullptr && !m_bEnded) {
        const BOOL bGot = GetMessageW(&msg, nullptr, 0, 0);
        if (bGot == -1)
            break;
        if (bGot == 0) {  // WM_QUIT: end as the close box would, and leave the quit for the caller
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (PreTranslate(msg))
            continue;
        bool bDialogMessage = IsDialogMessageW(m_hwnd, &msg) != FALSE;
        for (HWND hWarning : m_ahWarnings) {
            if (!bDialogMessage && hWarning != nullptr && IsWindow(hWarning))
                bDialogMessage = IsDialogMessageW(hWarning, &msg) != FALSE;
        }
        if (!bDialogMessage) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    Destroy();
    return m_nResult;
}

bool CWin32BatchWindow::PreTranslate(const MSG& msg)
{
    if (m_hwnd == nullptr || msg.message != WM_KEYDOWN)
        return false;
    if (msg.hwnd != m_hwnd && !IsChild(m_hwnd, msg.hwnd))
        return false;
    if (msg.wParam == VK_F1) {
        m_dlg.OnSysCommand(g_nIdmAbout);
        return true;
    }
    if (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) {
        // Enter on a focused button clicks it. Otherwise the dialog manager would turn the key into
        // IDOK or IDCANCEL, which end the dialog: while polling the dialog swallows it instead.
        wchar_t szClass[16] = {};
        const HWND hFocus = GetFocus();
        const bool bOnButton = msg.wParam == VK_RETURN && hFocus != nullptr &&
                               GetClassNameW(hFocus, szClass, 16) > 0 && lstrcmpiW(szClass, L"Button") == 0;
        return !bOnButton && m_dlg.IsPolling();
    }
    return false;
}

void CWin32BatchWindow::Destroy()
{
    if (m_hwnd != nullptr)
        DestroyWindow(m_hwnd);  // WM_DESTROY runs the destroy handler and forgets the window
}

INT_PTR CALLBACK CWin32BatchWindow::DialogProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CWin32BatchWindow* pThis = nullptr;
    if (nMsg == WM_INITDIALOG) {
        pThis = reinterpret_cast<CWin32BatchWindow*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        pThis->m_hwnd = hwnd;
        // Centred on its screen before it is first shown; the template alone opens it in the corner.
        PlaceCentred(hwnd, WorkArea(hwnd), 0);
    } else {
        pThis = reinterpret_cast<CWin32BatchWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    return pThis != nullptr ? pThis->OnMessage(nMsg, wParam, lParam) : FALSE;
}

INT_PTR CWin32BatchWindow::OnMessage(UINT nMsg, WPARAM wParam, LPARAM)
{
    switch (nMsg) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;  // the dialog manager puts the focus on the first control
    case WM_SHOWWINDOW:
        if (wParam != FALSE && !m_bShown)
            OnFirstShow();
        return FALSE;
    case kMsgAfterShow: {
        // Disabling the first control (the indicator list) took the focus away; no control may
        // have it now, or Enter would click "Поиск". The dialog keeps it: Enter ends the dialog.
        HWND hFocus = GetFocus();
        if (hFocus == nullptr || hFocus == Item(IDC_SEARCH) || !IsWindowEnabled(hFocus))
            SetFocus(m_hwnd);
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(m_hwnd, &ps);  // validates and erases; the panels go on top of the erased ground
        EndPaint(m_hwnd, &ps);
        m_dlg.OnPaint();
        return TRUE;
    }
    case WM_QUERYDRAGICON:
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(m_hIcon));
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == static_cast<WPARAM>(g_nIdmAbout)) {
            m_dlg.OnSysCommand(static_cast<int>(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        m_dlg.OnSysCommand(g_nIdmAbout);
        return TRUE;
    case kMsgLineEvents:
        m_dlg.OnLineEvents();
        return TRUE;
    case WM_QUERYENDSESSION:
        // Windows may end the session: the records are written at WM_ENDSESSION.
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_ENDSESSION:
        // The process ends once this returns: the safe stop and the writer's queue happen now.
        if (wParam != FALSE)
            m_dlg.OnEndSession();
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        m_dlg.OnDestroy();
        m_hwndWake = nullptr;
        SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        m_hwnd = nullptr;
        m_surface.SetWindow(nullptr);
        m_scanBar.SetDialog(nullptr);
        m_downloadBar.SetDialog(nullptr);
        for (HWND& hWarning : m_ahWarnings)
            hWarning = nullptr;  // owned by the dialog: gone with it
        m_bEnded = true;
        return TRUE;
    default:
        return FALSE;
    }
}

void CWin32BatchWindow::OnInitDialog()
{
    m_hwndWake = m_hwnd;
    m_surface.SetWindow(m_hwnd);
    m_reporter.SetOwner(m_hwnd);
    m_scanBar.SetDialog(m_hwnd);
    m_downloadBar.SetDialog(m_hwnd);
    if (HMENU hMenu = GetSystemMenu(m_hwnd, FALSE)) {
        wchar_t szAbout[64];
        if (LoadStringW(m_hInstance, IDS_ABOUTBOX, szAbout, 64) > 0) {
            AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(hMenu, MF_STRING, static_cast<UINT_PTR>(g_nIdmAbout), szAbout);
        }
    }
    SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(m_hIconSmall != nullptr ? m_hIconSmall : m_hIcon));
}

void CWin32BatchWindow::OnFirstShow()
{
    m_bShown = true;
    m_dlg.OnShowWindow();
    if (m_hwnd != nullptr)
        PostMessageW(m_hwnd, kMsgAfterShow, 0, 0);
}

void CWin32BatchWindow::OnCommand(int nId, int nCode)
{
    switch (nId) {
    case IDOK:      // Enter
    case IDCANCEL:  // "Выход", Esc, the close box
        if (m_bEnded || !m_dlg.OnCloseRequest())
            return;  // the line is busy: it is stopped, and CloseWindow follows when it has
        m_nResult = nId;
        m_bEnded = true;
        return;
    case IDC_SEARCH:
        if (nCode == BN_CLICKED)
            m_dlg.OnSearch();
        return;
    case IDC_START:
        if (nCode == BN_CLICKED)
            m_dlg.OnStart();
        return;
    case IDC_STOP:
        if (nCode == BN_CLICKED)
            m_dlg.OnStop();
        return;
    case IDC_COMBO_INDICATOR:
        if (nCode == CBN_SELCHANGE)
            m_dlg.OnSelchangeIndicator();
        return;
    case IDC_COMBO_RECIPE:
        if (nCode == CBN_SELCHANGE)
            m_dlg.OnSelchangeRecipe();
        return;
    case IDC_COMBO_DOSE:
        if (nCode == CBN_SELCHANGE)
            m_dlg.OnSelchangeDose();
        return;
    default:
        return;
    }
}

void CWin32BatchWindow::EnableControl(int nId, bool bEnable)
{
    if (HWND hItem = Item(nId))
        EnableWindow(hItem, bEnable ? TRUE : FALSE);
}

void CWin32BatchWindow::ComboAdd(int nId, const char* pszText)
{
    wchar_t szText[64];
    Utf8ToWide(pszText, szText, 64);
    SendDlgItemMessageW(m_hwnd, nId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(szText));
}

bool CWin32BatchWindow::ComboDeleteLast(int nId)
{
    const LRESULT nCount = SendDlgItemMessageW(m_hwnd, nId, CB_GETCOUNT, 0, 0);
    if (nCount <= 0)
        return false;
    return SendDlgItemMessageW(m_hwnd, nId, CB_DELETESTRING, static_cast<WPARAM>(nCount - 1), 0) != CB_ERR;
}

void CWin32BatchWindow::ComboSelect(int nId, int nIndex)
{
    SendDlgItemMessageW(m_hwnd, nId, CB_SETCURSEL, static_cast<WPARAM>(nIndex), 0);
}

int CWin32BatchWindow::ComboCount(int nId) const
{
    const LRESULT n = SendDlgItemMessageW(m_hwnd, nId, CB_GETCOUNT, 0, 0);
    return n > 0 ? static_cast<int>(n) : 0;
}

int CWin32BatchWindow::ComboCurSel(int nId) const
{
    if (Item(nId) == nullptr)
        return -1;
    const LRESULT n = SendDlgItemMessageW(m_hwnd, nId, CB_GETCURSEL, 0, 0);
    return n >= 0 ? static_cast<int>(n) : -1;
}

void CWin32BatchWindow::ComboText(int nId, int nIndex, char* pszBuffer, int nSize) const
{
    if (nSize <= 0)
        return;
    pszBuffer[0] = 0;
    if (nIndex < 0 || nIndex >= ComboCount(nId))
        return;
    wchar_t szText[64];
    const LRESULT nLength = SendDlgItemMessageW(m_hwnd, nId, CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex), 0);
    if (nLength < 0 || nLength >= 64)
        return;
    if (SendDlgItemMessageW(m_hwnd, nId, CB_GETLBTEXT, static_cast<WPARAM>(nIndex),
                            reinterpret_cast<LPARAM>(szText)) == CB_ERR)
        return;
    WideToUtf8(szText, pszBuffer, nSize);
}

void CWin32BatchWindow::ListInsertColumn(int nCol, const char* pszHeading, int nWidth)
{
    wchar_t szHeading[64];
    Utf8ToWide(pszHeading, szHeading, 64);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;  // no sub-item index, as the columns were always made
    column.fmt = LVCFMT_RIGHT;
    column.cx = nWidth;
    column.pszText = szHeading;
    SendDlgItemMessageW(m_hwnd, IDC_LIST_TOTALS, LVM_INSERTCOLUMNW, static_cast<WPARAM>(nCol),
                        reinterpret_cast<LPARAM>(&column));
}

int CWin32BatchWindow::ListInsertRow(const char* pszLabel)
{
    wchar_t szLabel[64];
    Utf8ToWide(pszLabel, szLabel, 64);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendDlgItemMessageW(m_hwnd, IDC_LIST_TOTALS, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = szLabel;
    return static_cast<int>(
        SendDlgItemMessageW(m_hwnd, IDC_LIST_TOTALS, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CWin32BatchWindow::ListSetCell(int nRow, int nCol, const char* pszText)
{
    HWND hList = Item(IDC_LIST_TOTALS);
    if (hList == nullptr || nRow < 0 || nCol < 0)
        return;
    // A cell of a column that does not exist would be kept by the list and shown once one is added.
    HWND hHeader = reinterpret_cast<HWND>(SendMessageW(hList, LVM_GETHEADER, 0, 0));
    if (hHeader == nullptr || nCol >= static_cast<int>(SendMessageW(hHeader, HDM_GETITEMCOUNT, 0, 0)))
        return;
    wchar_t szText[64];
    Utf8ToWide(pszText, szText, 64);
    LVITEMW item = {};
    item.iSubItem = nCol;
    item.pszText = szText;
    SendMessageW(hList, LVM_SETITEMTEXTW, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item));
}

void CWin32BatchWindow::ListSetFullRowSelect()
{
    // A mask of 0 replaces every extended style: full-row select alone.
    SendDlgItemMessageW(m_hwnd, IDC_LIST_TOTALS, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

void CWin32BatchWindow::ProgressSetRange(int nId, int nMin, int nMax)
{
    SendDlgItemMessageW(m_hwnd, nId, PBM_SETRANGE, 0, MAKELPARAM(nMin, nMax));
}

IProgressBar& CWin32BatchWindow::Progress(int nId)
{
    return nId == IDC_PROGRESS_SCAN ? m_scanBar : m_downloadBar;
}

void CWin32BatchWindow::PostWake()
{
    // Any modal loop of the thread (the About box's included) dispatches it to the dialog.
    if (HWND hwnd = m_hwndWake.load())
        PostMessageW(hwnd, kMsgLineEvents, 0, 0);
}

void CWin32BatchWindow::Repaint()
{
    // The panels were drawn straight onto the window; only GDI's batch is left to hand over.
    GdiFlush();
}

bool CWin32BatchWindow::IsMinimized() const
{
    return m_hwnd != nullptr && IsIconic(m_hwnd) != FALSE;
}

void CWin32BatchWindow::ShowWarning(const char* pszText)
{
    wchar_t szText[512];
    Utf8ToWide(pszText, szText, 512);
    HWND& hSlot = m_ahWarnings[m_nNextWarning];
    if (hSlot == nullptr || !IsWindow(hSlot)) {
        hSlot = CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(IDD_WARNING), m_hwnd, WarningProc, 0);
        if (hSlot == nullptr)
            return;
        // Over the operator's window (its screen, when it is minimised), each slot a caption's height
        // down and right of the one before: several warnings never hide one another exactly.
        RECT rcOwner{};
        if (m_hwnd == nullptr || IsIconic(m_hwnd) || !GetWindowRect(m_hwnd, &rcOwner))
            rcOwner = WorkArea(hSlot);
        PlaceCentred(hSlot, rcOwner, m_nNextWarning * (GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME)));
    }
    SetDlgItemTextW(hSlot, IDC_WARNING_TEXT, szText);
    // Shown without taking the focus from the operator's window; a reused one comes to the top again.
    SetWindowPos(hSlot, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(hSlot, SW_SHOWNOACTIVATE);
    m_nNextWarning = (m_nNextWarning + 1) % kMaxWarnings;
}

void CWin32BatchWindow::ShowAbout()
{
    DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), m_hwnd, AboutProc, 0);
}

bool CWin32BatchWindow::AskYesNo(const char* pszText)
{
    wchar_t szText[512];
    Utf8ToWide(pszText, szText, 512);
    return MessageBoxW(m_hwnd, szText, L"", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void CWin32BatchWindow::CloseWindow()
{
    // Queued, so that the handler that asks for it returns first.
    if (m_hwnd != nullptr)
        PostMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}
