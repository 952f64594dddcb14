// Decimal numbers as text: the saturating reader of the settings and the store, and the writer.
#include "decimal_text.h"

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

