// The chart panels: the pure geometry as tables of the panels' figures, and the drawing calls on the recording surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
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
constexpr CRgb kGreen{0, 128, 0}, kBlue{0, 128, 255}, kWhite{255, 255, 255}, kRed{255, 0, 0};
constexpr CPen kAxis{EPenStyle::Solid, 2, kGreen}, kTick{EPenStyle::Solid, 1, kGreen}, kMean{EPenStyle::Solid, 1, kBlue};
constexpr CPen kTwoSigma{EPenStyle::Dot, 1, CRgb{170, 170, 0}}, kThreeSigma{EPenStyle::Dot, 1, CRgb{130, 0, 0}};
constexpr CPen kCurve{EPenStyle::Solid, 4, CRgb{0, 64, 0}}, kSample{EPenStyle::Solid, 6, kRed};

// One call as text: "L x1 y1 x2 y2 <pen>", "D x y <pen>", "T x y text <colour>", "F l t r b".
std::string Rgb(CRgb c) { return std::to_string(c.m_byRed) + "." + std::to_string(c.m_byGreen) + "." + std::to_string(c.m_byBlue); }
std::string Pen(const CPen& p) { return (p.m_eStyle == EPenStyle::Dot ? "dot" : "solid") + std::to_string(p.m_nWidth) + "/" + Rgb(p.m_rgb); }
std::string Xy(int x, int y) { return " " + std::to_string(x) + " " + std::to_string(y); }
std::string L(int x1, int y1, int x2, int y2, const CPen& pen) { return "L" + Xy(x1, y1) + Xy(x2, y2) + " " + Pen(pen); }
std::string D(int x, int y, const CPen& pen) { return "D" + Xy(x, y) + " " + Pen(pen); }
std::string T(int x, int y, const std::string& s, CRgb rgb) { return "T" + Xy(x, y) + " " + s + " " + Rgb(rgb); }
std::string Describe(const CDrawCall& c)
{
    const char* apszOps[] = {"Begin", "End", "F"};
    return c.m_eOp == EDrawOp::Line  ? L(c.m_nX1, c.m_nY1, c.m_nX2, c.m_nY2, c.m_pen)
         : c.m_eOp == EDrawOp::Dot   ? D(c.m_nX1, c.m_nY1, c.m_pen)
         : c.m_eOp == EDrawOp::Text  ? T(c.m_nX1, c.m_nY1, c.m_strText, c.m_rgbText) + (c.m_rgbBack == CRgb{} ? "" : " on colour")
         : c.m_eOp == EDrawOp::FillBlack ? "F" + Xy(c.m_nX1, c.m_nY1) + Xy(c.m_nX2, c.m_nY2)
                                     : apszOps[static_cast<int>(c.m_eOp)];
}
std::vector<std::string> Calls(const CRecordingSurface& s)
{
    std::vector<std::string> a;
    std::transform(s.m_aCalls.begin(), s.m_aCalls.end(), std::back_inserter(a), Describe);
    return a;
}
size_t Count(const CRecordingSurface& s, const std::string& str) { return static_cast<size_t>(std::ranges::count(Calls(s), str)); }

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

TEST(ChartGeometry, DerivedValuesOfBothPanels)
{
    const struct { CChartRect rc; CPanelGeometry geo; } aCases[] = {
        {g_rcChartCurrent, {328, 127, 170, 19, 44}},
        {g_rcChartAll, {328, 127, 503, 19, 43}},
    };
    for (const auto& c : aCases) {
        CPanelGeometry geo{};
        ASSERT_TRUE(ComputePanelGeometry(c.rc.m_nLeft, c.rc.m_nTop, c.rc.m_nRight, c.rc.m_nBottom, geo));
        EXPECT_EQ(std::vector<int>({geo.m_nAxisY, geo.m_nAxisTop, geo.m_nAxisX, geo.m_nDensityStep, geo.m_nSigmaStep}),
                  std::vector<int>({c.geo.m_nAxisY, c.geo.m_nAxisTop, c.geo.m_nAxisX, c.geo.m_nDensityStep, c.geo.m_nSigmaStep}));
    }
    CPanelGeometry geo{};
    EXPECT_FALSE(ComputePanelGeometry(0, 0, (1 << 20) + 1, 368, geo));
    const struct { int x, y; bool bInside; } aInside[] = {  // strict, ten pixels in across
        {19, 200, true}, {18, 200, false}, {322, 200, true}, {323, 200, false}, {170, 122, true}, {170, 121, false},
        {170, 367, true}, {170, 368, false}, {INT_MAX, 200, false}, {INT_MIN, 200, false}, {170, INT_MIN, false},
    };
    for (const auto& c : aInside)
        EXPECT_EQ(CWeighChart::IsInside(8, 121, 333, 368, c.x, c.y), c.bInside) << c.x << "," << c.y;
}

TEST(ChartGeometry, MeanMarkerX)
{
    const struct { double dFinal, dMean, dSigma; int nQ; } aCases[] = {  // M 170, J 44; nQ INT_MIN: no place
        {1, 1, 1, 170}, {3, 1, 1, 82}, {1, 3, 1, 258}, {1000, 1, 1, 170 - 999 * 44},
        {1, 1.49, 1, 191}, {1.49, 1, 1, 149},  // |0.49 x 44| = 21.56, truncated
        {5, 5, 0, 170}, {7, 5, 0, INT_MIN}, {1, 1.5, NAN, INT_MIN}, {1e300, 0, 1e-300, INT_MIN},
    };
    for (const auto& c : aCases) {
        int nQ = INT_MIN;
        EXPECT_EQ(ComputeMeanMarkerX(c.dFinal, c.dMean, c.dSigma, 170, 44, nQ), c.nQ != INT_MIN) << c.dFinal << " " << c.dMean;
        EXPECT_EQ(nQ, c.nQ) << c.dFinal << " " << c.dMean;
    }
}

// Rows of the ten weights' model (sigma 1) as points around the marker, on the current panel.
TEST(ChartGeometry, ChartPointsOfTheTenWeights)
{
    const CWeighChart chart = Chart(1);
    const struct { bool bCurve; int nRow, nQ, x, y; } aCases[] = {
        {true, 0, 170, 38, 328}, {true, 50, 170, 170, 253}, {true, 99, 170, 299, 327},
        {false, 0, 170, 126, 283}, {false, 5, 170, 214, 283}, {false, 0, 82, 38, 283}, {false, 9, 82, 126, 283},
        {true, 0, 82, -50, 328},
    };
    for (const auto& c : aCases) {
        const double* pRow = c.bCurve ? chart.m_aCurve[c.nRow] : chart.m_aSamples[c.nRow];
        int x = 0, y = 0;
        ASSERT_TRUE(ComputeChartPoint(pRow[0], pRow[1], 1.0, c.nQ, 328, 19, 44, x, y)) << c.nRow;
        EXPECT_EQ(std::pair(x, y), std::pair(c.x, c.y)) << (c.bCurve ? "curve " : "sample ") << c.nRow << " Q " << c.nQ;
    }
    int x = 0, y = 0;
    EXPECT_TRUE(ComputeChartPoint(-0.5, 0.1, 1.0, 170, 328, 19, 44, x, y) && x == 148 && y == 309);
    EXPECT_FALSE(ComputeChartPoint(-0.5, 0.1, 0.0, 170, 328, 19, 44, x, y));  // sigma 0
    EXPECT_FALSE(ComputeChartPoint(0.5, NAN, 1.0, 170, 328, 19, 44, x, y));
}

TEST(ChartGeometry, FormatChartValue)
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
    char sz[16] = "xxxxxxxxxxxxxxx";
    int nLength = -1;  // too small: empty, nothing past its size
    EXPECT_TRUE(!FormatChartValue(90000000.0, sz, 11, nLength) && sz[0] == '\0' && sz[11] == 'x' && nLength == 0);
}

// The ten weights with final value 1: every element at its place, with its pen or colour, each once.
TEST(ChartPanelDraw, TenWeightsOnTheCurrentPanel)
{
    const std::vector<std::string> aCurrent = {
        L(18, 328, 323, 328, kAxis), L(170, 328, 170, 127, kAxis), T(176, 122, "Final", kGreen),
        L(167, 309, 173, 309, kTick), L(167, 138, 173, 138, kTick),
        T(144, 263, "0.3", kGreen), T(144, 206, "0.6", kGreen), T(144, 149, "0.9", kGreen),
        L(126, 325, 126, 331, kTick), L(82, 325, 82, 331, kTick), L(38, 325, 38, 331, kTick),
        L(214, 325, 214, 331, kTick), L(258, 325, 258, 331, kTick), L(302, 325, 302, 331, kTick),
        L(82, 326, 82, 225, kTwoSigma), L(258, 326, 258, 225, kTwoSigma),
        L(38, 326, 38, 268, kThreeSigma), L(302, 326, 302, 268, kThreeSigma),
        T(118, 331, "-б", kGreen), T(74, 331, "-2б", kGreen), T(30, 331, "-3б", kGreen),
        T(209, 333, "б", kGreen), T(253, 333, "2б", kGreen), T(297, 333, "3б", kGreen),
        L(170, 326, 170, 127, kMean), T(166, 331, "S", kBlue),
        D(38, 328, kCurve), D(170, 253, kCurve), D(299, 327, kCurve),
    };
    const CRecordingSurface s = DrawOn(Chart(1));
    for (const std::string& str : aCurrent)
        EXPECT_EQ(Count(s, str), 1u) << str;
    EXPECT_EQ(Count(s, D(126, 283, kSample)) + Count(s, D(214, 283, kSample)), 10u);
    const std::vector<std::string> a = Calls(s);
    ASSERT_EQ(a.size(), 4u + 23 + 11 + 110);  // Begin, fill, text line, End; lines; other texts; dots
    EXPECT_EQ(std::vector<std::string>(a.begin(), a.begin() + 2), (std::vector<std::string>{"Begin", "F 8 121 333 368"}));
    EXPECT_EQ(std::vector<std::string>(a.end() - 2, a.end()),
              (std::vector<std::string>{T(12, 350, "б = 1.00;    S = 1.00;    Final = 1.00", kWhite), "End"}));
    EXPECT_EQ(a[a.size() - 13], D(299, 327, kCurve));  // the samples come after the curve
}

TEST(ChartPanelDraw, MarkerAndPointsFollowTheMean)
{
    const CRecordingSurface three = DrawOn(Chart(3));  // Q = 82: rows left of the inside margin are skipped
    EXPECT_EQ(Count(three, L(82, 326, 82, 127, kMean)) + three.CallsOf(EDrawOp::Dot, &kCurve).size(), 75u);
    const CRecordingSurface far = DrawOn(Chart(1000));  // the marker is never clipped; the points all are
    const int nQ = 170 - 999 * 44;
    EXPECT_EQ(Count(far, L(nQ, 326, nQ, 127, kMean)) + Count(far, T(nQ - 4, 331, "S", kBlue)), 2u);
    EXPECT_TRUE(far.CallsOf(EDrawOp::Dot).empty());
    EXPECT_EQ(Count(far, T(12, 350, "б = 1.00;    S = 1.00;    Final = 1000.00", kWhite)), 1u);

    // (0, 121, 34, 368): M 17, J -4; marks at 21, 25, 29, 13, 9, 5 against 10 < x < 24: only the
    // one-sigma marks pass, each whole.
    const CRecordingSurface narrow = DrawOn(Chart(1), {0, 121, 34, 368});
    EXPECT_EQ(narrow.CallsOf(EDrawOp::Line, &kTick).size(), 12u);
    EXPECT_EQ(narrow.CallsOf(EDrawOp::Line, &kTwoSigma).size() + narrow.CallsOf(EDrawOp::Line, &kThreeSigma).size(), 0u);
    EXPECT_EQ(Count(narrow, T(13, 331, "-б", kGreen)) + Count(narrow, T(8, 333, "б", kGreen)), 2u);
    EXPECT_FALSE(narrow.HasText("2б"));

    // Sigma 0: no curve and no dots; the marker stands on the axis when the mean is the final value, else it is left out.
    for (int nFinal : {5, 7}) {
        const CRecordingSurface s = DrawOn(Chart(nFinal, std::vector<double>(10, 5.0)));
        EXPECT_EQ(s.CallsOf(EDrawOp::Line).size(), nFinal == 5 ? 23u : 22u) << nFinal;
        EXPECT_EQ(Count(s, L(170, 326, 170, 127, kMean)) + Count(s, T(166, 331, "S", kBlue)) + s.CallsOf(EDrawOp::Dot).size(), nFinal == 5 ? 2u : 0u);
        EXPECT_EQ(Count(s, T(12, 350, "б = 0.00;    S = 5.00;    Final = " + std::to_string(nFinal) + ".00", kWhite)), 1u) << nFinal;
    }
}

TEST(ChartPanelDraw, BlackPanelsAndAnUnavailableSurface)
{
    CWeighChart refusedAfterGood = Chart(1);
    EXPECT_FALSE(refusedAfterGood.Compute(kTenWeights.data(), 9, 1));
    for (const CWeighChart& chart : {CWeighChart(), Chart(0), refusedAfterGood})
        EXPECT_EQ(Calls(DrawOn(chart, g_rcChartAll)), (std::vector<std::string>{"Begin", "F 344 121 663 368", "End"}));
    CRecordingSurface unavailable;
    unavailable.m_bAvailable = false;
    Chart(1).Draw(unavailable, 8, 121, 333, 368);
    CWeighChart::DrawStatus(unavailable, 3);
    EXPECT_EQ(Calls(unavailable), (std::vector<std::string>{"Begin", "Begin"}));

    CRecordingSurface s;
    CWeighChart::ClearPanel(s, 344, 121, 663, 368);
    CWeighChart::DrawStatus(s, 0);
    CWeighChart::DrawStatus(s, -1);  // any non-zero timer id lights the lamp
    EXPECT_EQ(Calls(s), (std::vector<std::string>{"Begin", "F 344 121 663 368", "End", "Begin", "F 690 64 761 94", "End",
                                                  "Begin", "F 690 64 761 94", T(704, 70, "Опрос", kRed), "End"}));
}

TEST(ChartPanelDraw, SamplesStopAtTheFirstEmptyOrNotANumberDensity)
{
    const struct { int nRow; double dDensity; size_t nDots; } aCases[] = {{2, 0.0, 2}, {3, NAN, 3}, {0, 0.0, 0}, {7, -0.0, 7}, {19, 0.2, 20}};
    for (const auto& c : aCases) {
        CWeighChart chart = Chart(1);
        chart.m_aSamples[c.nRow][1] = c.dDensity;
        for (int i = 10; i < 20 && c.nRow < 10; ++i)
            chart.m_aSamples[i][1] = 0.3;  // rows after the empty one are not read
        for (int i = 10; i < 20 && c.nRow == 19; ++i)
            chart.m_aSamples[i][1] = 0.2;  // twenty at most
        EXPECT_EQ(DrawOn(chart).CallsOf(EDrawOp::Dot, &kSample).size(), c.nDots) << c.nRow;
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
            for (const CChartRect& rc : {g_rcChartCurrent, CChartRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}})
                for (const CDrawCall& d : DrawOn(chart, rc).CallsOf(EDrawOp::Dot))
                    EXPECT_TRUE(CWeighChart::IsInside(rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom, d.m_nX1, d.m_nY1)) << dOdd << " " << nField;
        }
    }
}

}  // namespace
