// The chart panels on the recording surface: geometry, pens, colours, texts and their order.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "chart_panel.h"
#include "chart_rects.h"
#include "recording_surface.h"
#include "weigh_chart.h"

namespace {

const std::vector<double> kTenWeights = {0, 0, 0, 0, 0, 2, 2, 2, 2, 2};

constexpr CRgb kBlack{0, 0, 0}, kGreen{0, 128, 0}, kBlue{0, 128, 255}, kWhite{255, 255, 255}, kRed{255, 0, 0};
constexpr CPen kAxis{EPenStyle::Solid, 2, kGreen}, kTick{EPenStyle::Solid, 1, kGreen}, kMean{EPenStyle::Solid, 1, kBlue};
constexpr CPen kTwoSigma{EPenStyle::Dot, 1, CRgb{170, 170, 0}}, kThreeSigma{EPenStyle::Dot, 1, CRgb{130, 0, 0}};
constexpr CPen kCurve{EPenStyle::Solid, 4, CRgb{0, 64, 0}}, kSample{EPenStyle::Solid, 6, kRed};
const char* const kTextLineOne = "б = 1.00;    S = 1.00;    Final = 1.00";

std::string Xy(int x, int y) { return " " + std::to_string(x) + "," + std::to_string(y); }
std::string Rgb(CRgb c) { return " #" + std::to_string(c.m_byRed) + "." + std::to_string(c.m_byGreen) + "." + std::to_string(c.m_byBlue); }
std::string PenText(const CPen& p) { return (p.m_eStyle == EPenStyle::Dot ? " dot" : " solid") + std::to_string(p.m_nWidth) + Rgb(p.m_rgb); }
std::string L(int x1, int y1, int x2, int y2, const CPen& pen) { return "Line" + Xy(x1, y1) + Xy(x2, y2) + PenText(pen); }
std::string D(int x, int y, const CPen& pen) { return "Dot" + Xy(x, y) + PenText(pen); }
std::string T(int x, int y, const std::string& s, CRgb rgb) { return "Text" + Xy(x, y) + " \"" + s + "\"" + Rgb(rgb) + " on" + Rgb(kBlack); }
std::string Fill(const CChartRect& rc) { return "Fill" + Xy(rc.m_nLeft, rc.m_nTop) + Xy(rc.m_nRight, rc.m_nBottom); }

std::string Describe(const CDrawCall& c)
{
    switch (c.m_eOp) {
    case EDrawOp::Begin: return "Begin";
    case EDrawOp::End: return "End";
    case EDrawOp::FillBlack: return Fill({c.m_nX1, c.m_nY1, c.m_nX2, c.m_nY2});
    case EDrawOp::Line: return L(c.m_nX1, c.m_nY1, c.m_nX2, c.m_nY2, c.m_pen);
    case EDrawOp::Dot: return D(c.m_nX1, c.m_nY1, c.m_pen);
    case EDrawOp::Text: return "Text" + Xy(c.m_nX1, c.m_nY1) + " \"" + c.m_strText + "\"" + Rgb(c.m_rgbText) + " on" + Rgb(c.m_rgbBack);
    }
    return "?";
}

// The calls as text, dots apart (bDots) or everything but dots.
std::vector<std::string> Calls(const CRecordingSurface& s, bool bDots = false)
{
    std::vector<std::string> a;
    for (const CDrawCall& c : s.m_aCalls)
        if ((c.m_eOp == EDrawOp::Dot) == bDots)
            a.push_back(Describe(c));
    return a;
}

bool Has(const CRecordingSurface& s, const std::string& str)
{
    const std::vector<std::string> a = Calls(s, str.rfind("Dot", 0) == 0);
    return std::find(a.begin(), a.end(), str) != a.end();
}

std::vector<CDrawCall> With(const CRecordingSurface& s, EDrawOp eOp, const CPen& pen)
{
    std::vector<CDrawCall> a;
    for (const CDrawCall& c : s.CallsOf(eOp))
        if (c.m_pen == pen)
            a.push_back(c);
    return a;
}

CWeighChart Chart(int nFinal, const std::vector<double>& values = kTenWeights)
{
    CWeighChart chart;
    EXPECT_TRUE(chart.Compute(values.data(), static_cast<int>(values.size()), nFinal));
    return chart;
}

CRecordingSurface DrawOn(const CWeighChart& chart, const CChartRect& rc = g_rcChartCurrent)
{
    CRecordingSurface s;
    chart.Draw(s, rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom);
    return s;
}

TEST(ChartGeometry, PanelRectanglesAndTheInsideTest)
{
    const auto Rect = [](const CChartRect& rc) { return std::vector<int>{rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom}; };
    EXPECT_EQ(Rect(g_rcChartCurrent), (std::vector<int>{8, 121, 333, 368}));
    EXPECT_EQ(Rect(g_rcChartAll), (std::vector<int>{344, 121, 663, 368}));
    // Strict, with ten pixels horizontally.
    const struct { int x, y; bool bInside; } aCases[] = {
        {19, 200, true}, {18, 200, false}, {322, 200, true}, {323, 200, false}, {170, 122, true}, {170, 121, false},
        {170, 367, true}, {170, 368, false}, {INT_MAX, 200, false}, {INT_MIN, 200, false}, {170, INT_MIN, false},
    };
    for (const auto& c : aCases)
        EXPECT_EQ(CWeighChart::IsInside(8, 121, 333, 368, c.x, c.y), c.bInside) << c.x << "," << c.y;
}

TEST(ChartValueText, FormatChartValue)
{
    const struct { double dValue; const char* pszText; } aCases[] = {
        {-0.5, "<<.."}, {90000000.01, "..>>"}, {90000000.0, "90000000.00"}, {1234.5, "1234.50"}, {0.0, "0.00"},
        {-0.0, "0.00"}, {-1e-9, "<<.."}, {NAN, "<<.."}, {INFINITY, "..>>"}, {2.875, "2.88"}, {89999999.999, "90000000.00"},
    };
    for (const auto& c : aCases) {
        char sz[g_nChartValueSize] = "garbage";
        int nLength = -1;
        EXPECT_TRUE(FormatChartValue(c.dValue, sz, sizeof(sz), nLength)) << c.dValue;
        EXPECT_STREQ(sz, c.pszText) << c.dValue;
        EXPECT_EQ(nLength, static_cast<int>(std::strlen(c.pszText))) << c.dValue;
    }
    // Too small a buffer: empty text, nothing written past its size.
    char sz[16];
    std::memset(sz, 'x', sizeof(sz));
    int nLength = -1;
    EXPECT_FALSE(FormatChartValue(90000000.0, sz, 11, nLength));
    EXPECT_TRUE(sz[0] == '\0' && sz[11] == 'x' && nLength == 0);
    EXPECT_FALSE(FormatChartValue(1.0, nullptr, 12, nLength));
}

// The ten weights with final 1, call by call on both panels; the dots are checked apart.
TEST(ChartPanelDraw, TenWeightsCallByCallOnBothPanels)
{
    const struct { CChartRect rc; int nM, nDensityX, nFinalX; int aX[6]; } aCases[] = {
        {g_rcChartCurrent, 170, 144, 176, {126, 82, 38, 214, 258, 302}},
        {g_rcChartAll, 503, 477, 509, {460, 417, 374, 546, 589, 632}},
    };
    const char* apszMarks[] = {"-б", "-2б", "-3б", "б", "2б", "3б"};
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.rc.m_nLeft);
        const int M = c.nM;
        std::vector<std::string> a = {"Begin", Fill(c.rc), L(c.rc.m_nLeft + 10, 328, c.rc.m_nRight - 10, 328, kAxis),
                                      L(M, 328, M, 127, kAxis), T(c.nFinalX, 122, "Final", kGreen)};
        for (int j = 1; j <= 10; ++j) {
            a.push_back(L(M - 3, 328 - 19 * j, M + 3, 328 - 19 * j, kTick));
            if (j % 3 == 0)
                a.push_back(T(c.nDensityX, 320 - 19 * j, "0." + std::to_string(j), kGreen));
        }
        for (int k = 0; k < 6; ++k) {
            const int x = c.aX[k];
            a.push_back(L(x, 325, x, 331, kTick));
            if (k % 3 == 1)
                a.push_back(L(x, 326, x, 225, kTwoSigma));
            if (k % 3 == 2)
                a.push_back(L(x, 326, x, 268, kThreeSigma));
            a.push_back(k < 3 ? T(x - 8, 331, apszMarks[k], kGreen) : T(x - 5, 333, apszMarks[k], kGreen));
        }
        a.insert(a.end(), {L(M, 326, M, 127, kMean), T(M - 4, 331, "S", kBlue), T(c.rc.m_nLeft + 4, 350, kTextLineOne, kWhite), "End"});
        const CRecordingSurface s = DrawOn(Chart(1), c.rc);
        EXPECT_EQ(Calls(s), a);
        // The dots come after the marker and before the text line.
        const auto itS = std::find_if(s.m_aCalls.begin(), s.m_aCalls.end(), [](const CDrawCall& d) { return d.m_strText == "S"; });
        const auto nDots = std::count_if(s.m_aCalls.begin(), s.m_aCalls.end(), [](const CDrawCall& d) { return d.m_eOp == EDrawOp::Dot; });
        ASSERT_EQ(nDots, 110);
        ASSERT_GE(s.m_aCalls.end() - itS, 112);
        EXPECT_TRUE(std::all_of(itS + 1, itS + 111, [](const CDrawCall& d) { return d.m_eOp == EDrawOp::Dot; }));
    }
    // The current panel's curve (Q = 170) and samples.
    const std::vector<std::string> aDots = Calls(DrawOn(Chart(1)), true);
    ASSERT_EQ(aDots.size(), 110u);
    EXPECT_EQ(aDots[0], D(38, 328, kCurve));
    EXPECT_EQ(aDots[50], D(170, 253, kCurve));
    EXPECT_EQ(aDots[99], D(299, 327, kCurve));
    for (size_t i = 100; i < 110; ++i)
        EXPECT_EQ(aDots[i], D(i < 105 ? 126 : 214, 283, kSample)) << i;
}

TEST(ChartPanelDraw, FinalValueThreeMovesTheMarkerToMinusTwoSigma)
{
    const CRecordingSurface s = DrawOn(Chart(3));
    ASSERT_EQ(With(s, EDrawOp::Line, kMean).size(), 1u);
    EXPECT_TRUE(Has(s, L(82, 326, 82, 127, kMean)));
    EXPECT_TRUE(Has(s, T(78, 331, "S", kBlue)));
    // Q = 82: row 0 would be at x = -50; rows up to 25 fall left of the inside margin.
    const std::vector<CDrawCall> aCurve = With(s, EDrawOp::Dot, kCurve);
    ASSERT_EQ(aCurve.size(), 74u);
    EXPECT_EQ(aCurve.front().m_nX1, 19);
    for (const CDrawCall& c : aCurve)
        EXPECT_TRUE(CWeighChart::IsInside(8, 121, 333, 368, c.m_nX1, c.m_nY1)) << Describe(c);
    const std::vector<CDrawCall> aSamples = With(s, EDrawOp::Dot, kSample);
    ASSERT_EQ(aSamples.size(), 10u);
    for (size_t i = 0; i < aSamples.size(); ++i)
        EXPECT_EQ(Describe(aSamples[i]), D(i < 5 ? 38 : 126, 283, kSample)) << i;
    EXPECT_TRUE(Has(s, T(12, 350, "б = 1.00;    S = 1.00;    Final = 3.00", kWhite)));
}

// A mark failing the inside test is skipped whole. (0, 121, 34, 368) has M = 17 and J = -4: marks
// at 21, 25, 29, 13, 9, 5 against 10 < x < 24, so only the two one-sigma marks pass.
TEST(ChartPanelDraw, SigmaMarksOutsideAreSkippedWhole)
{
    const CRecordingSurface s = DrawOn(Chart(1), {0, 121, 34, 368});
    const std::vector<CDrawCall> aTicks = With(s, EDrawOp::Line, kTick);
    ASSERT_EQ(aTicks.size(), 12u);
    EXPECT_EQ(Describe(aTicks[10]), L(21, 325, 21, 331, kTick));
    EXPECT_EQ(Describe(aTicks[11]), L(13, 325, 13, 331, kTick));
    EXPECT_TRUE(With(s, EDrawOp::Line, kTwoSigma).empty() && With(s, EDrawOp::Line, kThreeSigma).empty());
    EXPECT_TRUE(Has(s, T(13, 331, "-б", kGreen)) && Has(s, T(8, 333, "б", kGreen)));
    for (const char* pszLabel : {"-2б", "-3б", "2б", "3б"})
        EXPECT_EQ(s.FindText(pszLabel), nullptr) << pszLabel;
}

TEST(ChartPanelDraw, FarMeanDrawsItsMarkerOutsideButNoPoints)
{
    const CRecordingSurface s = DrawOn(Chart(1000));
    const int nQ = 170 - 999 * 44;  // never clipped
    ASSERT_EQ(With(s, EDrawOp::Line, kMean).size(), 1u);
    EXPECT_TRUE(Has(s, L(nQ, 326, nQ, 127, kMean)));
    EXPECT_TRUE(Has(s, T(nQ - 4, 331, "S", kBlue)));
    EXPECT_TRUE(s.CallsOf(EDrawOp::Dot).empty());
    EXPECT_TRUE(Has(s, T(12, 350, "б = 1.00;    S = 1.00;    Final = 1000.00", kWhite)));
}

TEST(ChartPanelDraw, InvalidModelOrFinalZeroGiveABlackPanel)
{
    CWeighChart refusedAfterGood = Chart(1);
    EXPECT_FALSE(refusedAfterGood.Compute(kTenWeights.data(), 9, 1));
    for (const CWeighChart& chart : {CWeighChart(), Chart(0), refusedAfterGood})
        EXPECT_EQ(Calls(DrawOn(chart, g_rcChartAll)), (std::vector<std::string>{"Begin", Fill(g_rcChartAll), "End"}));
    CRecordingSurface unavailable;
    unavailable.m_bAvailable = false;
    Chart(1).Draw(unavailable, 8, 121, 333, 368);
    EXPECT_EQ(Calls(unavailable), std::vector<std::string>{"Begin"});
}

TEST(ChartPanelDraw, SamplesStopAtTheFirstEmptyOrNotANumberDensity)
{
    const struct { int nRow; double dDensity; size_t nDots; } aCases[] = {{2, 0.0, 2}, {3, NAN, 3}, {0, 0.0, 0}, {7, -0.0, 7}};
    for (const auto& c : aCases) {
        CWeighChart chart = Chart(1);
        chart.m_aSamples[c.nRow][1] = c.dDensity;
        EXPECT_EQ(With(DrawOn(chart), EDrawOp::Dot, kSample).size(), c.nDots) << c.nRow;
    }
    CWeighChart chart = Chart(1);
    chart.m_aSamples[15][0] = 0.5;  // rows after the empty one are not read
    chart.m_aSamples[15][1] = 0.3;
    EXPECT_EQ(With(DrawOn(chart), EDrawOp::Dot, kSample).size(), 10u);
    for (auto& row : chart.m_aSamples)
        row[1] = 0.2;
    EXPECT_EQ(With(DrawOn(chart), EDrawOp::Dot, kSample).size(), 20u);
    // A weighing far from the mean underflows to a density of 0.0 in row 1: one dot.
    std::vector<double> values(2000, 0.0);
    values[1] = 1e6;
    EXPECT_EQ(With(DrawOn(Chart(1, values)), EDrawOp::Dot, kSample).size(), 1u);
}

// Sigma 0: axes, scale, the six marks and the text line as usual, no curve and no dots; the marker
// stands on the axis when the mean is the final value and is left out otherwise.
TEST(ChartPanelDraw, SigmaZero)
{
    for (int nFinal : {5, 7, 2}) {
        SCOPED_TRACE(nFinal);
        const CRecordingSurface s = DrawOn(Chart(nFinal, std::vector<double>(10, 5.0)));
        EXPECT_EQ(With(s, EDrawOp::Line, kAxis).size(), 2u);
        EXPECT_EQ(With(s, EDrawOp::Line, kTick).size(), 16u);
        EXPECT_EQ(With(s, EDrawOp::Line, kTwoSigma).size() + With(s, EDrawOp::Line, kThreeSigma).size(), 4u);
        EXPECT_TRUE(s.CallsOf(EDrawOp::Dot).empty());
        EXPECT_EQ(With(s, EDrawOp::Line, kMean).size(), nFinal == 5 ? 1u : 0u);
        EXPECT_EQ(Has(s, L(170, 326, 170, 127, kMean)) && Has(s, T(166, 331, "S", kBlue)), nFinal == 5);
        EXPECT_TRUE(Has(s, T(12, 350, "б = 0.00;    S = 5.00;    Final = " + std::to_string(nFinal) + ".00", kWhite)));
    }
}

// Whatever the public fields hold, drawing stays defined (the sanitizer build checks) and plots inside.
TEST(ChartPanelDraw, CorruptModelsDrawWithoutFault)
{
    for (double dOdd : {double(NAN), double(INFINITY), -double(INFINITY), 1e300, -1e300, 1e-300, 0.0, -0.0}) {
        for (int nField = 0; nField < 5; ++nField) {
            CWeighChart chart = Chart(1);
            double* apField[] = {&chart.m_dMean, &chart.m_dSigma, &chart.m_dFinal};
            if (nField < 3)
                *apField[nField] = dOdd;
            for (int k = 0; k < 100 && nField >= 3; ++k)
                (nField == 3 ? chart.m_aCurve[k][0] : chart.m_aSamples[k % 20][1]) = dOdd;
            chart.m_nCurveRows = nField == 3 ? 100000 : 100;
            chart.m_nSampleRows = nField == 4 ? 100000 : -3;
            for (const CChartRect& rc : {g_rcChartCurrent, CChartRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}}) {
                const CRecordingSurface s = DrawOn(chart, rc);
                ASSERT_GE(s.m_aCalls.size(), 3u);
                EXPECT_EQ(Describe(s.m_aCalls[1]), Fill(rc));
                for (const CDrawCall& d : s.CallsOf(EDrawOp::Dot))
                    EXPECT_TRUE(CWeighChart::IsInside(rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom, d.m_nX1, d.m_nY1))
                        << dOdd << " field " << nField;
            }
        }
    }
}

TEST(ChartPanelOther, ClearPanelAndStatus)
{
    CRecordingSurface s;
    CWeighChart::ClearPanel(s, 344, 121, 663, 368);
    EXPECT_EQ(Calls(s), (std::vector<std::string>{"Begin", Fill(g_rcChartAll), "End"}));
    for (int nPolling : {0, 3, -1}) {
        CRecordingSurface status;
        CWeighChart::DrawStatus(status, nPolling);
        std::vector<std::string> a = {"Begin", Fill({690, 64, 761, 94})};
        if (nPolling != 0)
            a.push_back(T(704, 70, "Опрос", kRed));
        a.push_back("End");
        EXPECT_EQ(Calls(status), a) << nPolling;
    }
}

}  // namespace
