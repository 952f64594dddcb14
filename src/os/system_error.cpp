// The bounded copy of a system error text, shared by both platforms' OsErrorText.
#include "system_error.h"

void OsCopyTextCut(const char* pszText, int nLen, char* pszBuf, int nSize)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    if (nLen < 0)
        nLen = 0;
    // Cut at a character boundary: never leave half of a multi-byte character.
    if (nLen > nSize - 1) {
        nLen = nSize - 1;
        while (nLen > 0 && (static_cast<unsigned char>(pszText[nLen]) & 0xC0) == 0x80)
            --nLen;
    }
    for (int i = 0; i < nLen; ++i)
        pszBuf[i] = pszText[i];
    pszBuf[nLen] = '\0';
}
