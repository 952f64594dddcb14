// UTF-8 texts of the core turned into the UTF-16 of the W calls and back, into bounded buffers.
#pragma once

#include <windows.h>

// Converts pszText into pszOut (nSize wide characters, always terminated). Never an empty text for a
// text that is not: a byte that is not UTF-8 (a path in another code page) shows as U+FFFD, and a
// text that does not fit is cut at a character boundary. Returns the length without the terminator.
inline int Utf8ToWide(const char* pszText, wchar_t* pszOut, int nSize)
{
    if (nSize <= 0)
        return 0;
    pszOut[0] = 0;
    if (pszText == nullptr)
        return 0;
    int nBytes = 0;
    while (pszText[nBytes] != '\0' && nBytes < 65536)
        ++nBytes;
    // Without MB_ERR_INVALID_CHARS, invalid bytes become U+FFFD instead of failing the whole text.
    // A text too long for the buffer loses whole characters from its end until it fits.
    while (nBytes > 0 && MultiByteToWideChar(CP_UTF8, 0, pszText, nBytes, nullptr, 0) > nSize - 1) {
        --nBytes;
        while (nBytes > 0 && (static_cast<unsigned char>(pszText[nBytes]) & 0xC0) == 0x80)
            --nBytes;  // not into the middle of a character
    }
    const int n = nBytes > 0 ? MultiByteToWideChar(CP_UTF8, 0, pszText, nBytes, pszOut, nSize - 1) : 0;
    pszOut[n > 0 ? n : 0] = 0;
    return n > 0 ? n : 0;
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
