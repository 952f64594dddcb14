// Text helpers of the record lines and replies: field reading, two-digit padding, bounded number reading and writing.
#include "record_line.h"

#include <cstring>

namespace {

bool IsBlank(char c)
{
    // The blanks that atoi skips in the "C" locale.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t ReadDecimal(const char* p, int nLen)
{
    int i = 0;
    while (i < nLen && p[i] != '\0' && IsBlank(p[i]))
        ++i;
    bool bNegative = false;
    if (i < nLen && (p[i] == '+' || p[i] == '-')) {
        bNegative = p[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing once past the int32 range, so no input can overflow.
    int64_t nValue = 0;
    for (; i < nLen && p[i] >= '0' && p[i] <= '9'; ++i) {
        if (nValue <= INT32_MAX)
            nValue = nValue * 10 + (p[i] - '0');
    }
    if (bNegative)
        nValue = -nValue;
    if (nValue > INT32_MAX)
        return INT32_MAX;
    if (nValue < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(nValue);
}

int FormatDecimal(int32_t n, char* pszOut)
{
    char szDigits[12];
    int nDigits = 0;
    // Work on the unsigned magnitude: -INT32_MIN does not exist as an int32.
    uint32_t uMagnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    do {
        szDigits[nDigits++] = static_cast<char>('0' + uMagnitude % 10);
        uMagnitude /= 10;
    } while (uMagnitude != 0);
    int nOut = 0;
    if (n < 0)
        pszOut[nOut++] = '-';
    while (nDigits > 0)
        pszOut[nOut++] = szDigits[--nDigits];
    pszOut[nOut] = '\0';
    return nOut;
}

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
