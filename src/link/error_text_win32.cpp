// The system's own text for a Windows error code: FormatMessageW, then UTF-8 for the core's messages.
#include "error_text_win32.h"

#include <windows.h>

void Win32ErrorText(unsigned long dwError, char* pszBuf, int nSize)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    pszBuf[0] = '\0';
    if (dwError == 0)
        return;
    // The wide call: the ANSI one would give the system's code page (1251 on a Russian PC), not UTF-8.
    wchar_t szWide[512];
    DWORD nWide = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                                   szWide, sizeof szWide / sizeof szWide[0], nullptr);
    while (nWide > 0 && (szWide[nWide - 1] == L'\r' || szWide[nWide - 1] == L'\n' || szWide[nWide - 1] == L' '))
        --nWide;
    char szUtf8[1024];
    int nLen = nWide == 0 ? 0
                          : ::WideCharToMultiByte(CP_UTF8, 0, szWide, static_cast<int>(nWide), szUtf8,
                                                  sizeof szUtf8, nullptr, nullptr);
    if (nLen <= 0)
        nLen = ::wsprintfA(szUtf8, "error %lu", dwError);
    // Cut at a character boundary: never leave half of a multi-byte character.
    if (nLen > nSize - 1) {
        nLen = nSize - 1;
        while (nLen > 0 && (static_cast<unsigned char>(szUtf8[nLen]) & 0xC0) == 0x80)
            --nLen;
    }
    for (int i = 0; i < nLen; ++i)
        pszBuf[i] = szUtf8[i];
    pszBuf[nLen] = '\0';
}
