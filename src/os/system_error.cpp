// OsErrorText's portable part: the empty cases and the cut at a character boundary, for both platforms' texts.
#include "system_error.h"

void OsErrorText(unsigned long nCode, char* pszBuf, int nSize)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    pszBuf[0] = '\0';
    if (nCode == 0)
        return;
    char szText[1024];
    int nLen = OsSystemErrorText(nCode, szText, static_cast<int>(sizeof szText));
    if (nLen < 0)
        nLen = 0;
    if (nLen > static_cast<int>(sizeof szText))
        nLen = static_cast<int>(sizeof szText);
    // Cut at a character boundary: never leave half of a multi-byte character.
    if (nLen > nSize - 1) {
        nLen = nSize - 1;
        while (nLen > 0 && (static_cast<unsigned char>(szText[nLen]) & 0xC0) == 0x80)
            --nLen;
    }
    for (int i = 0; i < nLen; ++i)
        pszBuf[i] = szText[i];
    pszBuf[nLen] = '\0';
}
