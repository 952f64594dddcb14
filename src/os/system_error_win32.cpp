// The system's error text on Windows: FormatMessageW of the GetLastError code, made UTF-8 for the core's messages.
#include "system_error.h"

#include <windows.h>

int OsSystemErrorText(unsigned long nCode, char* pszOut, int nOut)
{
    // The wide call: the ANSI one would give the system's code page (1251 on a Russian PC), not UTF-8.
    wchar_t szWide[512];
    DWORD nWide = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, nCode, 0,
                                   szWide, sizeof szWide / sizeof szWide[0], nullptr);
    while (nWide > 0 && (szWide[nWide - 1] == L'\r' || szWide[nWide - 1] == L'\n' || szWide[nWide - 1] == L' '))
        --nWide;
    const int nLen = nWide == 0 ? 0
                                : ::WideCharToMultiByte(CP_UTF8, 0, szWide, static_cast<int>(nWide), pszOut, nOut,
                                                        nullptr, nullptr);
    if (nLen > 0)
        return nLen;
    char szNumber[32];
    const int nNumber = ::wsprintfA(szNumber, "error %lu", nCode);
    int i = 0;
    for (; i < nNumber && i < nOut; ++i)
        pszOut[i] = szNumber[i];
    return i;
}
