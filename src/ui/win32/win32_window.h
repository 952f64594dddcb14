// CWin32BatchWindow: the main dialog from template 102, implementing IBatchView and forwarding its messages to CBatchDlg.
#pragma once

#include <windows.h>

#include <atomic>

#include "batch_dlg.h"
#include "batch_view.h"
#include "gdi_surface.h"
#include "win32_adapters.h"

class CWin32BatchWindow : public IBatchView {
public:
    // The resources (templates, icon, strings) come from hInstance. pReporter replaces the message
    // box (tests); null shows the real one.
    CWin32BatchWindow(const CBatchContext& context, HINSTANCE hInstance, IErrorReporter* pReporter = nullptr);
    CWin32BatchWindow(const CWin32BatchWindow&) = delete;
    CWin32BatchWindow& operator=(const CWin32BatchWindow&) = delete;
    ~CWin32BatchWindow() override;

    // Creates and shows the dialog; its start-up work runs on the first show. False when the
    // template cannot be made into a window.
    bool Create();
    // The dialog's own message loop, as a modal dialog has, until the dialog ends; then destroys it.
    // Returns IDOK (Enter) or IDCANCEL (Выход, Esc, the close box).
    int RunModal();
    // Keys the dialog takes before the dialog manager: F1 opens the About box. True when used.
    bool PreTranslate(const MSG& msg);
    // Destroys the window (its destroy handler runs once) if it still exists.
    void Destroy();

    HWND Hwnd() const { return m_hwnd; }
    CBatchDlg& Dlg() { return m_dlg; }
    bool IsEnded() const { return m_bEnded; }
    int Result() const { return m_nResult; }

    // IBatchView
    void EnableControl(int nId, bool bEnable) override;
    void ComboAdd(int nId, const char* pszText) override;
    bool ComboDeleteLast(int nId) override;
    void ComboSelect(int nId, int nIndex) override;
    int ComboCount(int nId) const override;
    int ComboCurSel(int nId) const override;
    void ComboText(int nId, int nIndex, char* pszBuffer, int nSize) const override;
    void ListInsertColumn(int nCol, const char* pszHeading, int nWidth) override;
    int ListInsertRow(const char* pszLabel) override;
    void ListSetCell(int nRow, int nCol, const char* pszText) override;
    void ListSetFullRowSelect() override;
    void ProgressSetRange(int nId, int nMin, int nMax) override;
    IProgressBar& Progress(int nId) override;
    void PostWake() override;
    IDrawSurface& Surface() override { return m_surface; }
    void Repaint() override;
    bool IsMinimized() const override;
    IErrorReporter& ErrorReporter() override { return *m_pReporter; }
    void ShowWarning(const char* pszText) override;
    void ShowAbout() override;
    bool AskYesNo(const char* pszText) override;
    void CloseWindow() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnFirstShow();
    void OnCommand(int nId, int nCode);
    HWND Item(int nId) const { return m_hwnd != nullptr ? GetDlgItem(m_hwnd, nId) : nullptr; }

    HINSTANCE m_hInstance;
    HWND m_hwnd = nullptr;
    // The window PostWake posts to, read by the line thread and the disk writer: set once the
    // window exists, cleared when it goes (after the line thread has ended).
    std::atomic<HWND> m_hwndWake{nullptr};
    HICON m_hIcon = nullptr;
    HICON m_hIconSmall = nullptr;
    CGdiSurface m_surface;
    CWin32ErrorReporter m_reporter;
    IErrorReporter* m_pReporter;
    CWin32ProgressBar m_scanBar{IDC_PROGRESS_SCAN};
    CWin32ProgressBar m_downloadBar{IDC_PROGRESS_DOWNLOAD};
    static constexpr int kMaxWarnings = 8;  // open warning boxes; a further warning reuses the oldest
    HWND m_ahWarnings[kMaxWarnings] = {};
    int m_nNextWarning = 0;
    bool m_bShown = false;
    bool m_bEnded = false;
    int m_nResult = IDCANCEL;

    CBatchDlg m_dlg;  // last: its handlers may run while the members above exist
};
