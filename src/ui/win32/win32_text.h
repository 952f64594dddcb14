// UTF-8 texts of the core turned into the UTF-16 of the W calls and back, into bounded buffers.
#pragma once

#include <windows.h>

// Converts pszText into pszOut (nSize wide characters, always terminated). A text that does not fit,
// or is not UTF-8, gives an empty text. Returns the length without the terminator.
inline int Utf8ToWide(const char* pszText, wchar_t* pszOut, int nSize)
{
    if (nSize <= 0)
        return 0;
    pszOut[0] = 0;
    if (pszText == nullptr)
        return 0;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pszText, -1, pszOut, nSize);
    if (n <= 0) {
        pszOut[0] = 0;
        return 0;
    }
    return n - 1;
}

// Converts a UTF-16 text into pszOut (nSize bytes, always terminated); empty when it does not fit.
inline int WideToUtf8(const wchar_t* pszText, char* pszOut, int nSize)
{
    if (nSize <= 0)
        return 0;
    pszOut[0] = 0;
    const int n = WideCharToMultiByte(CP_UTF8, 0, pszText, -1, pszOut, nSize, nullptr, nullptr);
    if (n <= 0) {
        pszOut[0] = 0;
        return 0;
    }
    return n - 1;
}
