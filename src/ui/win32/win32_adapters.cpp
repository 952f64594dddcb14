// Win32 progress bar and error message box.
#include "win32_adapters.h"

#include <commctrl.h>

#include "win32_text.h"

void CWin32ProgressBar::SetPos(int nPos)
{
    HWND hBar = m_hDlg != nullptr ? GetDlgItem(m_hDlg, m_nId) : nullptr;
    if (hBar == nullptr)
        return;
    SendMessageW(hBar, PBM_SETPOS, static_cast<WPARAM>(nPos), 0);
}

void CWin32ErrorReporter::ShowError(const char* pszText)
{
    wchar_t szText[512];
    Utf8ToWide(pszText, szText, 512);
    MessageBoxW(m_hOwner, szText, L"", MB_OK | MB_ICONERROR);
}
