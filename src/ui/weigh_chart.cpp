// CWeighChart's drawing: one chart panel painted onto a drawing surface from the geometry in chart_panel.h.
#include "weigh_chart.h"

#include <cmath>
#include <cstdint>

#include "chart_panel.h"
#include "draw_surface.h"

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

// One sigma mark: its multiple of the sigma step (negative on the left) and its label.
struct CSigmaMark {
    int m_nMultiple;
    const char* m_pszLabel;
};

// Left side first, nearest the axis first, as the panels have always been drawn.
constexpr CSigmaMark kSigmaMarks[] = {
    {-1, "-б"}, {-2, "-2б"}, {-3, "-3б"}, {1, "б"}, {2, "2б"}, {3, "3б"},
};

}  // namespace

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
    const int nAxisY = geo.m_nAxisY;
    const int nAxisX = geo.m_nAxisX;
    const int nDensityStep = geo.m_nDensityStep;
    const int nSigmaStep = geo.m_nSigmaStep;

    surface.Line(left + 10, nAxisY, right - 10, nAxisY, kAxisPen);
    surface.Line(nAxisX, nAxisY, nAxisX, geo.m_nAxisTop, kAxisPen);
    surface.Text(nAxisX + 6, top + 1, "Final", kGreen, kBlack);

    // Density scale: one step stands for 0.1.
    for (int j = 1; j <= 10; ++j) {
        const int y = nAxisY - j * nDensityStep;
        surface.Line(nAxisX - 3, y, nAxisX + 3, y, kTickPen);
        if (j == 3 || j == 6 || j == 9) {
            const char* pszLabel = j == 3 ? "0.3" : (j == 6 ? "0.6" : "0.9");
            surface.Text(nAxisX - 26, y - 8, pszLabel, kGreen, kBlack);
        }
    }

    for (const CSigmaMark& mark : kSigmaMarks) {
        const int x = nAxisX + mark.m_nMultiple * nSigmaStep;
        if (!IsInside(left, top, right, bottom, x, nAxisY))
            continue;
        surface.Line(x, nAxisY - 3, x, nAxisY + 3, kTickPen);
        if (mark.m_nMultiple == 2 || mark.m_nMultiple == -2)
            surface.Line(x, nAxisY - 2, x, nAxisY - (nAxisY - top) / 2, kTwoSigmaPen);
        if (mark.m_nMultiple == 3 || mark.m_nMultiple == -3) {
            // Division before multiplication: the line tops have always been placed this way.
            surface.Line(x, nAxisY - 2, x, nAxisY - 30 * ((nAxisY - top) / 100), kThreeSigmaPen);
        }
        if (mark.m_nMultiple < 0)
            surface.Text(x - 8, nAxisY + 3, mark.m_pszLabel, kGreen, kBlack);
        else
            surface.Text(x - 5, nAxisY + 5, mark.m_pszLabel, kGreen, kBlack);
    }

    // The mean marker is drawn wherever it falls, also outside the panel; the curve and the
    // samples are centred on it and kept inside. Without a finite marker position (sigma 0 with
    // the mean off the final value) none of the three is drawn.
    int nQ = 0;
    if (ComputeMeanMarkerX(m_dFinal, m_dMean, m_dSigma, nAxisX, nSigmaStep, nQ)) {
        surface.Line(nQ, nAxisY - 2, nQ, geo.m_nAxisTop, kMeanPen);
        surface.Text(nQ - 4, nAxisY + 3, "S", kBlue, kBlack);

        const int nCurveRows = m_nCurveRows < kCurveRows ? m_nCurveRows : kCurveRows;
        for (int k = 0; k < nCurveRows; ++k) {
            int x = 0;
            int y = 0;
            if (ComputeChartPoint(m_aCurve[k][0], m_aCurve[k][1], m_dSigma, nQ, nAxisY, nDensityStep, nSigmaStep, x, y) &&
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
            if (ComputeChartPoint(m_aSamples[i][0], dF, m_dSigma, nQ, nAxisY, nDensityStep, nSigmaStep, x, y) &&
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
