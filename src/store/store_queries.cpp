// CBatchStore's questions from the window: recipes and doses present, and the records one by one.
#include "batch_store.h"

#include <cstring>

#include "record_line.h"

bool CBatchStore::HasRecipe(int nSlot, int nRecipe) const
{
    for (int d = 0; d < kDoses; ++d) {
        if (m_aTune[nSlot][nRecipe * 10 + d][0] != 0)
            return true;
    }
    return false;
}

bool CBatchStore::HasDose(int nSlot, int nRecipe, int nDose) const
{
    return m_aTune[nSlot][nRecipe * 10 + nDose][0] != 0;
}

bool CBatchStore::NextRecord(int nSlot, int* pnPos, int* pnRecipe, int32_t anValues[10]) const
{
    const char* pszText = m_apszRecords[nSlot];
    if (pszText == nullptr)
        return false;
    const int nLen = m_anRecordLength[nSlot];
    int nPos = *pnPos;
    // A text starting with a byte of 0x80 or above is not one the store wrote.
    if (static_cast<unsigned char>(pszText[0]) >= 0x80 || nPos < 0 || nPos + 1 >= nLen)
        return false;
    if (pszText[nPos] == '|')
        ++nPos;
    const char* pBar = static_cast<const char*>(std::memchr(pszText + nPos, '|', static_cast<size_t>(nLen - nPos)));
    const int nEnd = pBar != nullptr ? static_cast<int>(pBar - pszText) : nLen;

    CRecordFields fields;
    // A record of the store never exceeds 126 characters; anything longer reads as an empty record.
    SplitRecord(pszText + nPos, nEnd - nPos, &fields);
    *pnRecipe = fields.nHeaderLen > 20 ? ReadDecimal(fields.pHeader + 20, 1) : 0;
    for (int d = 0; d < 10; ++d)
        anValues[d] = fields.anValues[d];
    *pnPos = nEnd + 1;
    return true;
}
