// OsErrorText on Windows: FormatMessageW of the GetLastError code, then UTF-8 for the core's messages.
#include "system_error.h"

#include <windows.h>

void OsErrorText(unsigned long nCode, char* pszBuf, int nSize)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    pszBuf[0] = '\0';
    if (nCode == 0)
        return;
    // The wide call: the ANSI one would give the system's code page (1251 on a Russian PC), not UTF-8.
    wchar_t szWide[512];
    DWORD nWide = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, nCode, 0,
                                   szWide, sizeof szWide / sizeof szWide[0], nullptr);
    while (nWide > 0 && (szWide[nWide - 1] == L'\r' || szWide[nWide - 1] == L'\n' || szWide[nWide - 1] == L' '))
        --nWide;
    char szUtf8[1024];
    int nLen = nWide == 0 ? 0
                          : ::WideCharToMultiByte(CP_UTF8, 0, szWide, static_cast<int>(nWide), szUtf8,
                                                  sizeof szUtf8, nullptr, nullptr);
    if (nLen <= 0)
        nLen = ::wsprintfA(szUtf8, "error %lu", nCode);
    OsCopyTextCut(szUtf8, nLen, pszBuf, nSize);
}
