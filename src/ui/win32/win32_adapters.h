// Win32 stand-ins for the core's small interfaces: a progress bar and the error message box.
#pragma once

#include <windows.h>

#include "store_seams.h"
#include "tune_settings.h"

// A common progress control of the dialog, addressed by its id.
class CWin32ProgressBar : public IProgressBar {
public:
    explicit CWin32ProgressBar(int nId) : m_nId(nId) {}
    void SetDialog(HWND hDlg) { m_hDlg = hDlg; }
    void SetPos(int nPos) override;

private:
    HWND m_hDlg = nullptr;
    int m_nId;
};

// The settings loader's message: a message box with the error icon and an empty title.
class CWin32ErrorReporter : public IErrorReporter {
public:
    void SetOwner(HWND hOwner) { m_hOwner = hOwner; }
    void ShowError(const char* pszText) override;

private:
    HWND m_hOwner = nullptr;
};
