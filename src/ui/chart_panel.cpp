// The chart panels: CWeighChart's drawing members and the pure geometry and texts they are built from.
#include "chart_panel.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "draw_surface.h"
#include "weigh_chart.h"

namespace {

constexpr CRgb kBlack{0, 0, 0};
constexpr CRgb kGreen{0, 128, 0};
constexpr CRgb kBlue{0, 128, 255};
constexpr CRgb kWhite{255, 255, 255};
constexpr CRgb kRed{255, 0, 0};

constexpr CPen kAxisPen{EPenStyle::Solid, 2, kGreen};
constexpr CPen kTickPen{EPenStyle::Solid, 1, kGreen};
constexpr CPen kTwoSigmaPen{EPenStyle::Dot, 1, CRgb{170, 170, 0}};
constexpr CPen kThreeSigmaPen{EPenStyle::Dot, 1, CRgb{130, 0, 0}};
constexpr CPen kMeanPen{EPenStyle::Solid, 1, kBlue};
constexpr CPen kCurvePen{EPenStyle::Solid, 4, CRgb{0, 64, 0}};
constexpr CPen kSamplePen{EPenStyle::Solid, 6, kRed};

// The polling status box sits below the search button and has its width.
constexpr int kStatusLeft = 690;
constexpr int kStatusTop = 64;
constexpr int kStatusRight = 761;
constexpr int kStatusBottom = 94;
constexpr int kStatusTextX = 704;
constexpr int kStatusTextY = 70;

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

// One sigma mark: its multiple of J (negative on the left) and its label.
struct CSigmaMark {
    int m_nMultiple;
    const char* m_pszLabel;
};

// Left side first, nearest the axis first, as the panels have always been drawn.
constexpr CSigmaMark kSigmaMarks[] = {
    {-1, "-б"}, {-2, "-2б"}, {-3, "-3б"}, {1, "б"}, {2, "2б"}, {3, "3б"},
};

}  // namespace

bool ComputePanelGeometry(int left, int top, int right, int bottom, CPanelGeometry& geo)
{
    if (!InRange(left) || !InRange(top) || !InRange(right) || !InRange(bottom))
        return false;
    geo.m_nD = bottom - 40;
    geo.m_nA = top + 2 * (bottom / 100);
    geo.m_nM = left + (right - left) / 2;
    geo.m_nH = (geo.m_nD - 4 * (bottom / 100) - top) / 10;
    geo.m_nJ = (geo.m_nM - left - 30) / 3;
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

bool CWeighChart::IsInside(int left, int top, int right, int bottom, int x, int y)
{
    // In int64 so that points near the ends of int cannot overflow the margins.
    const int64_t nX = x;
    return left < nX - 10 && nX + 10 < right && top < y && y < bottom;
}

void CWeighChart::ClearPanel(IDrawSurface& surface, int left, int top, int right, int bottom)
{
    if (!surface.Begin())
        return;
    surface.FillBlack(left, top, right, bottom);
    surface.End();
}

void CWeighChart::DrawStatus(IDrawSurface& surface, int nPolling)
{
    if (!surface.Begin())
        return;
    surface.FillBlack(kStatusLeft, kStatusTop, kStatusRight, kStatusBottom);
    if (nPolling != 0)
        surface.Text(kStatusTextX, kStatusTextY, "Опрос", kRed, kBlack);
    surface.End();
}

void CWeighChart::Draw(IDrawSurface& surface, int left, int top, int right, int bottom) const
{
    if (!surface.Begin())
        return;
    surface.FillBlack(left, top, right, bottom);

    CPanelGeometry geo{};
    if (!m_bValid || m_dFinal == 0.0 || !ComputePanelGeometry(left, top, right, bottom, geo)) {
        surface.End();
        return;
    }
    const int nD = geo.m_nD;
    const int nM = geo.m_nM;
    const int nH = geo.m_nH;
    const int nJ = geo.m_nJ;

    surface.Line(left + 10, nD, right - 10, nD, kAxisPen);
    surface.Line(nM, nD, nM, geo.m_nA, kAxisPen);
    surface.Text(nM + 6, top + 1, "Final", kGreen, kBlack);

    // Density scale: one step of H pixels stands for 0.1.
    for (int j = 1; j <= 10; ++j) {
        const int y = nD - j * nH;
        surface.Line(nM - 3, y, nM + 3, y, kTickPen);
        if (j == 3 || j == 6 || j == 9) {
            const char* pszLabel = j == 3 ? "0.3" : (j == 6 ? "0.6" : "0.9");
            surface.Text(nM - 26, y - 8, pszLabel, kGreen, kBlack);
        }
    }

    for (const CSigmaMark& mark : kSigmaMarks) {
        const int x = nM + mark.m_nMultiple * nJ;
        if (!IsInside(left, top, right, bottom, x, nD))
            continue;
        surface.Line(x, nD - 3, x, nD + 3, kTickPen);
        if (mark.m_nMultiple == 2 || mark.m_nMultiple == -2)
            surface.Line(x, nD - 2, x, nD - (nD - top) / 2, kTwoSigmaPen);
        if (mark.m_nMultiple == 3 || mark.m_nMultiple == -3) {
            // Division before multiplication: the line tops have always been placed this way.
            surface.Line(x, nD - 2, x, nD - 30 * ((nD - top) / 100), kThreeSigmaPen);
        }
        if (mark.m_nMultiple < 0)
            surface.Text(x - 8, nD + 3, mark.m_pszLabel, kGreen, kBlack);
        else
            surface.Text(x - 5, nD + 5, mark.m_pszLabel, kGreen, kBlack);
    }

    // The mean marker is drawn wherever it falls, also outside the panel; the curve and the
    // samples are centred on it and kept inside. Without a finite marker position (sigma 0 with
    // the mean off the final value) none of the three is drawn.
    int nQ = 0;
    if (ComputeMeanMarkerX(m_dFinal, m_dMean, m_dSigma, nM, nJ, nQ)) {
        surface.Line(nQ, nD - 2, nQ, geo.m_nA, kMeanPen);
        surface.Text(nQ - 4, nD + 3, "S", kBlue, kBlack);

        const int nCurveRows = m_nCurveRows < kCurveRows ? m_nCurveRows : kCurveRows;
        for (int k = 0; k < nCurveRows; ++k) {
            int x = 0;
            int y = 0;
            if (ComputeChartPoint(m_aCurve[k][0], m_aCurve[k][1], m_dSigma, nQ, nD, nH, nJ, x, y) &&
                IsInside(left, top, right, bottom, x, y))
                surface.Dot(x, y, kCurvePen);
        }

        // A density of 0.0 marks an empty row (or one that underflowed); not a number comes with sigma 0.
        const int nSampleRows = m_nSampleRows < kSampleRows ? m_nSampleRows : kSampleRows;
        for (int i = 0; i < nSampleRows; ++i) {
            const double dF = m_aSamples[i][1];
            if (dF == 0.0 || std::isnan(dF))
                break;
            int x = 0;
            int y = 0;
            if (ComputeChartPoint(m_aSamples[i][0], dF, m_dSigma, nQ, nD, nH, nJ, x, y) &&
                IsInside(left, top, right, bottom, x, y))
                surface.Dot(x, y, kSamplePen);
        }
    }

    char szLine[g_nChartLineSize];
    int nLineLen = 0;
    if (FormatChartTextLine(m_dSigma, m_dMean, m_dFinal, szLine, sizeof(szLine), nLineLen))
        surface.Text(left + 4, bottom - 18, szLine, kWhite, kBlack);
    surface.End();
}
