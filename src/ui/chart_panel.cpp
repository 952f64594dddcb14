// The chart panels' pure geometry and texts: derived coordinates, point mapping, value formatting.
#include "chart_panel.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr double kMaxChartValue = 90000000.0;

bool InRange(int n)
{
    return n >= -g_nMaxPanelCoord && n <= g_nMaxPanelCoord;
}

// |d| truncated toward zero when it is a usable pixel offset. NaN fails the comparison too.
bool TruncatedOffset(double d, int& n)
{
    const double a = std::fabs(d);
    if (!(a < g_dMaxPixelOffset))
        return false;
    n = static_cast<int>(a);
    return true;
}

// Copies a terminated text into the caller's buffer, or empties it when it does not fit.
bool CopyOut(const char* pszText, int nTextLen, char* pszBuffer, int nBufferSize, int& nLength)
{
    nLength = 0;
    if (pszBuffer == nullptr || nBufferSize <= 0)
        return false;
    if (nTextLen >= nBufferSize) {
        pszBuffer[0] = '\0';
        return false;
    }
    std::memcpy(pszBuffer, pszText, static_cast<size_t>(nTextLen));
    pszBuffer[nTextLen] = '\0';
    nLength = nTextLen;
    return true;
}

}  // namespace

bool ComputePanelGeometry(int left, int top, int right, int bottom, CPanelGeometry& geo)
{
    if (!InRange(left) || !InRange(top) || !InRange(right) || !InRange(bottom))
        return false;
    geo.m_nAxisY = bottom - 40;
    geo.m_nAxisTop = top + 2 * (bottom / 100);
    geo.m_nAxisX = left + (right - left) / 2;
    geo.m_nDensityStep = (geo.m_nAxisY - 4 * (bottom / 100) - top) / 10;
    geo.m_nSigmaStep = (geo.m_nAxisX - left - 30) / 3;
    return true;
}

bool ComputeMeanMarkerX(double dFinal, double dMean, double dSigma, int nM, int nJ, int& nQ)
{
    const double dDelta = dFinal - dMean;
    int nP = 0;
    // With sigma 0 the offset is 0 / 0; a mean on the final value still belongs on the axis.
    if (dDelta != 0.0 && !TruncatedOffset(dDelta * static_cast<double>(nJ) / dSigma, nP))
        return false;
    if (!InRange(nM))
        return false;
    nQ = dDelta > 0.0 ? nM - nP : nM + nP;
    return true;
}

bool ComputeChartPoint(double dE, double dF, double dSigma, int nQ, int nD, int nH, int nJ, int& nX, int& nY)
{
    int nDx = 0;
    int nDy = 0;
    if (!TruncatedOffset(dE * static_cast<double>(nJ) / dSigma, nDx))
        return false;
    if (!TruncatedOffset(static_cast<double>(nH) * dF * 10.0, nDy))
        return false;
    // Q and D come from bounded panels plus one bounded offset; the sums stay inside int64 and
    // are refused when they leave int.
    const int64_t x = dE < 0.0 ? int64_t{nQ} - nDx : int64_t{nQ} + nDx;
    const int64_t y = int64_t{nD} - nDy;
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX)
        return false;
    nX = static_cast<int>(x);
    nY = static_cast<int>(y);
    return true;
}

bool FormatChartValue(double dValue, char* pszBuffer, int nBufferSize, int& nLength)
{
    char szText[32];
    int nTextLen = 0;
    if (std::isnan(dValue) || dValue < 0.0) {
        std::memcpy(szText, "<<..", 5);
        nTextLen = 4;
    } else if (dValue > kMaxChartValue) {
        std::memcpy(szText, "..>>", 5);
        nTextLen = 4;
    } else {
        // to_chars, not printf: the decimal sign must stay a point whatever locale the toolkit set.
        // Adding 0.0 turns a negative zero into 0.00 instead of "-0.00".
        const auto res = std::to_chars(szText, szText + sizeof(szText) - 1, dValue + 0.0, std::chars_format::fixed, 2);
        if (res.ec != std::errc()) {
            CopyOut("", 0, pszBuffer, nBufferSize, nLength);
            return false;
        }
        *res.ptr = '\0';
        nTextLen = static_cast<int>(res.ptr - szText);
    }
    return CopyOut(szText, nTextLen, pszBuffer, nBufferSize, nLength);
}

bool FormatChartTextLine(double dSigma, double dMean, double dFinal, char* pszBuffer, int nBufferSize, int& nLength)
{
    const char* const apszLabels[] = {"б = ", ";    S = ", ";    Final = "};
    const double adValues[] = {dSigma, dMean, dFinal};
    char szLine[g_nChartLineSize + 16];
    int nLen = 0;
    for (int i = 0; i < 3; ++i) {
        const int nLabelLen = static_cast<int>(std::strlen(apszLabels[i]));
        std::memcpy(szLine + nLen, apszLabels[i], static_cast<size_t>(nLabelLen));
        nLen += nLabelLen;
        int nValueLen = 0;
        FormatChartValue(adValues[i], szLine + nLen, g_nChartValueSize, nValueLen);
        nLen += nValueLen;
    }
    szLine[nLen] = '\0';
    return CopyOut(szLine, nLen, pszBuffer, nBufferSize, nLength);
}
