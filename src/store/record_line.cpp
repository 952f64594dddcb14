// Text helpers of the record lines and replies: field reading, two-digit padding, the tuning row.
#include "record_line.h"

#include <cstring>

void PadTwoDigits(const char* pszNumber, char* pszOut)
{
    if (pszNumber[0] == '\0') {
        pszOut[0] = '0';
        pszOut[1] = '0';
    } else if (pszNumber[1] == '\0') {
        pszOut[0] = '0';
        pszOut[1] = pszNumber[0];
    } else {
        pszOut[0] = pszNumber[0];
        pszOut[1] = pszNumber[1];
    }
    pszOut[2] = '\0';
}

bool GetField(const char* pszList, int nField, int32_t* pnValue)
{
    *pnValue = 0;
    if (pszList[0] == '\0')
        return false;
    int nCurrent = 1;
    int nCommasPassed = 0;
    int nLastComma = 0;  // position of the last comma passed; 0 when none
    bool bPassedAny = false;
    int nEnd = 0;
    for (;; ++nEnd) {
        const char c = pszList[nEnd];
        if (c == '\0')
            break;
        if (c != ',')
            continue;
        if (nCurrent == nField)
            break;
        ++nCommasPassed;
        nLastComma = nEnd;
        bPassedAny = true;
        ++nCurrent;
    }
    if (nLastComma > 0 && nEnd == nLastComma + 1)
        return true;  // an empty field between two commas
    if (nField > nCommasPassed + 1)
        return false;
    const int nStart = bPassedAny ? nLastComma + 1 : 0;
    const int nChars = nEnd - nStart;
    if (nChars > kMaxFieldChars)
        return true;  // too long to be a weight: counts as a field that holds 0
    *pnValue = ReadDecimal(pszList + nStart, nChars);
    return true;
}

void ParseTuneRow(const uint8_t* pDigits, int32_t anValues[6])
{
    static constexpr int kWidths[6] = {5, 5, 4, 3, 2, 2};
    int nPos = 0;
    for (int k = 0; k < 6; ++k) {
        char szField[6] = {};
        for (int i = 0; i < kWidths[k]; ++i)
            szField[i] = static_cast<char>(pDigits[nPos + i]);
        anValues[k] = ReadDecimal(szField, kWidths[k]);
        nPos += kWidths[k];
    }
}

void SplitRecord(const char* pLine, int nLen, CRecordFields* pOut)
{
    pOut->pHeader = pLine;
    pOut->nHeaderLen = 0;
    pOut->nFields = 0;
    for (int32_t& nValue : pOut->anValues)
        nValue = 0;
    if (nLen <= 0 || pLine[0] == ';' || nLen > 128)
        return;
    const char* pEnd = pLine + nLen;
    const char* pEquals = static_cast<const char*>(std::memchr(pLine, '=', static_cast<size_t>(nLen)));
    if (pEquals == nullptr)
        return;
    pOut->nHeaderLen = static_cast<int>(pEquals - pLine);
    const char* p = pEquals + 1;
    if (p == pEnd)
        return;  // an empty value list has no fields

    if (std::memchr(p, '=', static_cast<size_t>(pEnd - p)) == nullptr) {
        // The usual record: no further "=", so each field is read where it stands.
        for (;;) {
            const char* pField = p;
            // A sign and at most seven characters of digits up to the comma: read in the same pass.
            const char* q = p;
            const bool bNegative = q < pEnd && *q == '-';
            if (q < pEnd && (*q == '-' || *q == '+'))
                ++q;
            int32_t nDigits = 0;  // at most seven digits: below 10^7, no overflow
            while (q < pEnd && static_cast<unsigned>(*q - '0') < 10u && q - pField < kMaxFieldChars) {
                nDigits = nDigits * 10 + (*q - '0');
                ++q;
            }
            int32_t nValue;
            if (q == pEnd || *q == ',') {
                nValue = bNegative ? -nDigits : nDigits;
                p = q;
            } else {
                // Anything else (blanks, letters, a field too long) goes the way atoi would read it.
                while (p < pEnd && *p != ',')
                    ++p;
                const int nChars = static_cast<int>(p - pField);
                nValue = nChars > kMaxFieldChars ? 0 : ReadDecimal(pField, nChars);
            }
            pOut->anValues[pOut->nFields++] = nValue;
            if (p == pEnd || pOut->nFields == 10)
                return;
            ++p;  // past the comma; a comma at the very end leaves one more, empty field
        }
    }

    // Later "=" are dropped from the value list: gather each field's other characters first.
    char szField[kMaxFieldChars + 1];
    int nFieldChars = 0;
    bool bAnyChar = false;  // the value list, "=" dropped, is not empty
    auto finishField = [&]() {
        pOut->anValues[pOut->nFields++] = nFieldChars > kMaxFieldChars ? 0 : ReadDecimal(szField, nFieldChars);
        nFieldChars = 0;
    };
    for (; p < pEnd; ++p) {
        const char c = *p;
        if (c == '=')
            continue;
        bAnyChar = true;
        if (c == ',') {
            finishField();
            if (pOut->nFields == 10)
                return;
            continue;
        }
        if (nFieldChars < kMaxFieldChars)
            szField[nFieldChars] = c;
        ++nFieldChars;
    }
    if (bAnyChar)
        finishField();
}
