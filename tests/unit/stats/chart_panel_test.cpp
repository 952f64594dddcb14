// Tests of the chart panels on the recording surface: geometry, pens, colours, texts and their order.
#include <gtest/gtest.h>

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

constexpr CRgb kBlack{0, 0, 0};
constexpr CRgb kGreen{0, 128, 0};
constexpr CRgb kBlue{0, 128, 255};
constexpr CRgb kWhite{255, 255, 255};
constexpr CRgb kRed{255, 0, 0};

constexpr CPen kAxis{EPenStyle::Solid, 2, kGreen};
constexpr CPen kTick{EPenStyle::Solid, 1, kGreen};
constexpr CPen kTwoSigma{EPenStyle::Dot, 1, CRgb{170, 170, 0}};
constexpr CPen kThreeSigma{EPenStyle::Dot, 1, CRgb{130, 0, 0}};
constexpr CPen kMean{EPenStyle::Solid, 1, kBlue};
constexpr CPen kCurve{EPenStyle::Solid, 4, CRgb{0, 64, 0}};
constexpr CPen kSample{EPenStyle::Solid, 6, kRed};

std::string Describe(const CDrawCall& call)
{
    const char* apszOps[] = {"Begin", "End", "FillBlack", "Line", "Dot", "Text"};
    std::string str = apszOps[static_cast<int>(call.m_eOp)];
    str += " " + std::to_string(call.m_nX1) + "," + std::to_string(call.m_nY1) + " " + std::to_string(call.m_nX2) +
           "," + std::to_string(call.m_nY2);
    if (call.m_eOp == EDrawOp::Text)
        str += " \"" + call.m_strText + "\"";
    return str;
}

CWeighChart TenWeightsChart(int nFinal)
{
    CWeighChart chart;
    EXPECT_TRUE(chart.Compute(kTenWeights.data(), static_cast<int>(kTenWeights.size()), nFinal));
    return chart;
}

CRecordingSurface DrawOn(const CWeighChart& chart, const CChartRect& rc)
{
    CRecordingSurface surface;
    chart.Draw(surface, rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom);
    return surface;
}

std::vector<CDrawCall> DotsWith(const CRecordingSurface& surface, const CPen& pen)
{
    std::vector<CDrawCall> aDots;
    for (const CDrawCall& call : surface.CallsOf(EDrawOp::Dot))
        if (call.m_pen == pen)
            aDots.push_back(call);
    return aDots;
}

std::vector<CDrawCall> LinesWith(const CRecordingSurface& surface, const CPen& pen)
{
    std::vector<CDrawCall> aLines;
    for (const CDrawCall& call : surface.CallsOf(EDrawOp::Line))
        if (call.m_pen == pen)
            aLines.push_back(call);
    return aLines;
}

void ExpectLine(const CDrawCall& call, int x1, int y1, int x2, int y2, const CPen& pen)
{
    SCOPED_TRACE(Describe(call));
    EXPECT_EQ(call.m_eOp, EDrawOp::Line);
    EXPECT_EQ(call.m_nX1, x1);
    EXPECT_EQ(call.m_nY1, y1);
    EXPECT_EQ(call.m_nX2, x2);
    EXPECT_EQ(call.m_nY2, y2);
    EXPECT_TRUE(call.m_pen == pen);
}

void ExpectText(const CRecordingSurface& surface, const std::string& strText, int x, int y, CRgb rgb)
{
    SCOPED_TRACE(strText);
    const CDrawCall* pCall = surface.FindText(strText);
    ASSERT_NE(pCall, nullptr);
    EXPECT_EQ(pCall->m_nX1, x);
    EXPECT_EQ(pCall->m_nY1, y);
    EXPECT_TRUE(pCall->m_rgbText == rgb);
    EXPECT_TRUE(pCall->m_rgbBack == kBlack);
}

// Begin, the black panel, ..., End: the frame every drawing has.
void ExpectFramed(const CRecordingSurface& surface, const CChartRect& rc)
{
    ASSERT_GE(surface.m_aCalls.size(), 3u);
    EXPECT_EQ(surface.m_aCalls.front().m_eOp, EDrawOp::Begin);
    const CDrawCall& fill = surface.m_aCalls[1];
    EXPECT_EQ(fill.m_eOp, EDrawOp::FillBlack);
    EXPECT_EQ(fill.m_nX1, rc.m_nLeft);
    EXPECT_EQ(fill.m_nY1, rc.m_nTop);
    EXPECT_EQ(fill.m_nX2, rc.m_nRight);
    EXPECT_EQ(fill.m_nY2, rc.m_nBottom);
    EXPECT_EQ(surface.m_aCalls.back().m_eOp, EDrawOp::End);
    EXPECT_EQ(surface.CallsOf(EDrawOp::Begin).size(), 1u);
    EXPECT_EQ(surface.CallsOf(EDrawOp::End).size(), 1u);
}

// ---- derived values and the inside test ----

TEST(ChartGeometry, DerivedValuesOfBothPanels)
{
    struct CCase {
        CChartRect rc;
        CPanelGeometry geo;
    };
    const CCase aCases[] = {
        {g_rcChartCurrent, {328, 127, 170, 19, 44}},
        {g_rcChartAll, {328, 127, 503, 19, 43}},
        // Integer division truncates: B / 100 = 2 here, and (M - L - 30) / 3 drops the remainder.
        {{0, 0, 101, 299}, {259, 4, 50, 25, 6}},
    };
    for (const CCase& c : aCases) {
        SCOPED_TRACE(c.rc.m_nLeft);
        CPanelGeometry geo{};
        ASSERT_TRUE(ComputePanelGeometry(c.rc.m_nLeft, c.rc.m_nTop, c.rc.m_nRight, c.rc.m_nBottom, geo));
        EXPECT_EQ(geo.m_nD, c.geo.m_nD);
        EXPECT_EQ(geo.m_nA, c.geo.m_nA);
        EXPECT_EQ(geo.m_nM, c.geo.m_nM);
        EXPECT_EQ(geo.m_nH, c.geo.m_nH);
        EXPECT_EQ(geo.m_nJ, c.geo.m_nJ);
    }
}

TEST(ChartGeometry, PanelRectangles)
{
    EXPECT_EQ(g_rcChartCurrent.m_nLeft, 8);
    EXPECT_EQ(g_rcChartCurrent.m_nTop, 121);
    EXPECT_EQ(g_rcChartCurrent.m_nRight, 333);
    EXPECT_EQ(g_rcChartCurrent.m_nBottom, 368);
    EXPECT_EQ(g_rcChartAll.m_nLeft, 344);
    EXPECT_EQ(g_rcChartAll.m_nTop, 121);
    EXPECT_EQ(g_rcChartAll.m_nRight, 663);
    EXPECT_EQ(g_rcChartAll.m_nBottom, 368);
}

TEST(ChartGeometry, FarRectanglesAreRefused)
{
    CPanelGeometry geo{};
    EXPECT_FALSE(ComputePanelGeometry(INT_MIN, 0, 10, 10, geo));
    EXPECT_FALSE(ComputePanelGeometry(0, 0, INT_MAX, 10, geo));
    EXPECT_FALSE(ComputePanelGeometry(0, 0, 10, INT_MIN, geo));
    EXPECT_TRUE(ComputePanelGeometry(-g_nMaxPanelCoord, 0, g_nMaxPanelCoord, 10, geo));
}

TEST(ChartGeometry, InsideIsStrictWithTenPixelsHorizontally)
{
    struct CCase {
        int x;
        int y;
        bool bInside;
    };
    // Current panel (8, 121, 333, 368).
    const CCase aCases[] = {
        {19, 200, true},   {18, 200, false},  {322, 200, true},    {323, 200, false},
        {170, 122, true},  {170, 121, false}, {170, 367, true},    {170, 368, false},
        {INT_MAX, 200, false}, {INT_MIN, 200, false}, {170, INT_MIN, false}, {170, INT_MAX, false},
    };
    for (const CCase& c : aCases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(CWeighChart::IsInside(8, 121, 333, 368, c.x, c.y), c.bInside);
    }
}

TEST(ChartGeometry, PointMappingRefusesWhatHasNoPixel)
{
    int x = 0;
    int y = 0;
    EXPECT_TRUE(ComputeChartPoint(-3.0, 0.004431913766647084, 1.0, 170, 328, 19, 44, x, y));
    EXPECT_EQ(x, 38);
    EXPECT_EQ(y, 328);
    EXPECT_TRUE(ComputeChartPoint(1.0, 0.24197429276535493, 1.0, 170, 328, 19, 44, x, y));
    EXPECT_EQ(x, 214);
    EXPECT_EQ(y, 283);
    const double aBad[][3] = {
        {1.0, 0.2, 0.0},         // sigma 0: e / 0
        {0.0, 0.2, 0.0},         // 0 / 0
        {NAN, 0.2, 1.0},         {1.0, NAN, 1.0}, {INFINITY, 0.2, 1.0}, {1.0, INFINITY, 1.0},
        {1.0, 0.2, 1e-300},      // far beyond any surface
        {1.0, 1e300, 1.0},
    };
    for (const auto& bad : aBad) {
        SCOPED_TRACE(std::to_string(bad[0]) + " " + std::to_string(bad[1]) + " " + std::to_string(bad[2]));
        EXPECT_FALSE(ComputeChartPoint(bad[0], bad[1], bad[2], 170, 328, 19, 44, x, y));
    }
    // Offsets that fit but would leave int from a far marker are refused, not wrapped.
    EXPECT_FALSE(ComputeChartPoint(1.0, 0.1, 1.0e-8, INT_MAX - 5, 328, 19, 44, x, y));
}

TEST(ChartGeometry, MeanMarkerPosition)
{
    struct CCase {
        double dFinal;
        double dMean;
        double dSigma;
        bool bDrawn;
        int nQ;
    };
    const CCase aCases[] = {
        {1.0, 1.0, 1.0, true, 170},    // on the axis
        {3.0, 1.0, 1.0, true, 82},     // mean below final: left of the axis
        {0.0, 1.0, 1.0, true, 214},    // mean above final: right
        {1.0, 0.5, 1.0, true, 148},    // P = 22
        {1.3, 1.0, 1.0, true, 157},    // P = 13.2 truncated to 13
        {1000.0, 1.0, 1.0, true, 170 - 43956},
        {5.0, 5.0, 0.0, true, 170},    // sigma 0, mean on final: on the axis
        {7.0, 5.0, 0.0, false, 0},     // sigma 0, mean off final: no position
        {NAN, 5.0, 1.0, false, 0},
        {1.0, 5.0, NAN, false, 0},
        {1.0e300, 5.0, 1.0e-300, false, 0},
    };
    for (const CCase& c : aCases) {
        SCOPED_TRACE(std::to_string(c.dFinal) + " " + std::to_string(c.dMean) + " " + std::to_string(c.dSigma));
        int nQ = -1;
        EXPECT_EQ(ComputeMeanMarkerX(c.dFinal, c.dMean, c.dSigma, 170, 44, nQ), c.bDrawn);
        if (c.bDrawn) {
            EXPECT_EQ(nQ, c.nQ);
        }
    }
}

// ---- value texts ----

TEST(ChartValueText, Cases)
{
    struct CCase {
        double dValue;
        const char* pszText;
    };
    const CCase aCases[] = {
        {-0.5, "<<.."},       {90000000.01, "..>>"}, {90000000.0, "90000000.00"}, {1234.5, "1234.50"},
        {0.0, "0.00"},        {-0.0, "0.00"},        {-1e-9, "<<.."},             {NAN, "<<.."},
        {INFINITY, "..>>"},   {-INFINITY, "<<.."},   {1.0, "1.00"},               {2.875, "2.88"},
        {0.004, "0.00"},      {89999999.999, "90000000.00"},
    };
    for (const CCase& c : aCases) {
        SCOPED_TRACE(c.dValue);
        char szBuffer[g_nChartValueSize] = "garbage";
        int nLength = -1;
        EXPECT_TRUE(FormatChartValue(c.dValue, szBuffer, sizeof(szBuffer), nLength));
        EXPECT_STREQ(szBuffer, c.pszText);
        EXPECT_EQ(nLength, static_cast<int>(std::string(c.pszText).size()));
    }
}

TEST(ChartValueText, BufferTooSmallGivesEmptyText)
{
    char szBuffer[16];
    int nLength = -1;
    std::memset(szBuffer, 'x', sizeof(szBuffer));
    EXPECT_FALSE(FormatChartValue(90000000.0, szBuffer, 11, nLength));
    EXPECT_EQ(szBuffer[0], '\0');
    EXPECT_EQ(szBuffer[11], 'x');  // nothing written past the given size
    EXPECT_EQ(nLength, 0);
    EXPECT_TRUE(FormatChartValue(90000000.0, szBuffer, 12, nLength));
    EXPECT_EQ(nLength, 11);
    EXPECT_FALSE(FormatChartValue(1.0, szBuffer, 0, nLength));
    EXPECT_EQ(nLength, 0);
    EXPECT_FALSE(FormatChartValue(1.0, nullptr, 12, nLength));
}

TEST(ChartValueText, TextLine)
{
    char szLine[g_nChartLineSize];
    int nLength = 0;
    ASSERT_TRUE(FormatChartTextLine(1.0, 1.0, 1.0, szLine, sizeof(szLine), nLength));
    EXPECT_STREQ(szLine, "б = 1.00;    S = 1.00;    Final = 1.00");
    // The longest line fits its buffer: three eleven-character values.
    ASSERT_TRUE(FormatChartTextLine(90000000.0, 90000000.0, 90000000.0, szLine, sizeof(szLine), nLength));
    EXPECT_STREQ(szLine, "б = 90000000.00;    S = 90000000.00;    Final = 90000000.00");
    EXPECT_EQ(nLength, 60);
    EXPECT_FALSE(FormatChartTextLine(1.0, 1.0, 1.0, szLine, 10, nLength));
    EXPECT_EQ(szLine[0], '\0');
}

// ---- the whole panel ----

// The ten weights with final 1 on the current panel, call by call. Dots are checked apart.
TEST(ChartPanelDraw, TenWeightsCallsInOrder)
{
    const CRecordingSurface surface = DrawOn(TenWeightsChart(1), g_rcChartCurrent);
    ExpectFramed(surface, g_rcChartCurrent);

    struct CExpected {
        EDrawOp eOp;
        int x1;
        int y1;
        int x2;
        int y2;
        CPen pen;
        const char* pszText;
        CRgb rgbText;
    };
    const CPen kNone{};
    std::vector<CExpected> aExpected = {
        {EDrawOp::Begin, 0, 0, 0, 0, kNone, "", kBlack},
        {EDrawOp::FillBlack, 8, 121, 333, 368, kNone, "", kBlack},
        {EDrawOp::Line, 18, 328, 323, 328, kAxis, "", kBlack},
        {EDrawOp::Line, 170, 328, 170, 127, kAxis, "", kBlack},
        {EDrawOp::Text, 176, 122, 0, 0, kNone, "Final", kGreen},
    };
    for (int j = 1; j <= 10; ++j) {
        const int y = 328 - 19 * j;
        aExpected.push_back({EDrawOp::Line, 167, y, 173, y, kTick, "", kBlack});
        if (j % 3 == 0)
            aExpected.push_back({EDrawOp::Text, 144, y - 8, 0, 0, kNone, j == 3 ? "0.3" : (j == 6 ? "0.6" : "0.9"), kGreen});
    }
    const std::vector<CExpected> aMarks = {
        {EDrawOp::Line, 126, 325, 126, 331, kTick, "", kBlack},
        {EDrawOp::Text, 118, 331, 0, 0, kNone, "-б", kGreen},
        {EDrawOp::Line, 82, 325, 82, 331, kTick, "", kBlack},
        {EDrawOp::Line, 82, 326, 82, 225, kTwoSigma, "", kBlack},
        {EDrawOp::Text, 74, 331, 0, 0, kNone, "-2б", kGreen},
        {EDrawOp::Line, 38, 325, 38, 331, kTick, "", kBlack},
        {EDrawOp::Line, 38, 326, 38, 268, kThreeSigma, "", kBlack},
        {EDrawOp::Text, 30, 331, 0, 0, kNone, "-3б", kGreen},
        {EDrawOp::Line, 214, 325, 214, 331, kTick, "", kBlack},
        {EDrawOp::Text, 209, 333, 0, 0, kNone, "б", kGreen},
        {EDrawOp::Line, 258, 325, 258, 331, kTick, "", kBlack},
        {EDrawOp::Line, 258, 326, 258, 225, kTwoSigma, "", kBlack},
        {EDrawOp::Text, 253, 333, 0, 0, kNone, "2б", kGreen},
        {EDrawOp::Line, 302, 325, 302, 331, kTick, "", kBlack},
        {EDrawOp::Line, 302, 326, 302, 268, kThreeSigma, "", kBlack},
        {EDrawOp::Text, 297, 333, 0, 0, kNone, "3б", kGreen},
        // The mean marker: Q = 170, on the axis.
        {EDrawOp::Line, 170, 326, 170, 127, kMean, "", kBlack},
        {EDrawOp::Text, 166, 331, 0, 0, kNone, "S", kBlue},
    };
    aExpected.insert(aExpected.end(), aMarks.begin(), aMarks.end());

    std::vector<CDrawCall> aCalls;
    for (const CDrawCall& call : surface.m_aCalls)
        if (call.m_eOp != EDrawOp::Dot)
            aCalls.push_back(call);
    aExpected.push_back({EDrawOp::Text, 12, 350, 0, 0, kNone, "б = 1.00;    S = 1.00;    Final = 1.00", kWhite});
    aExpected.push_back({EDrawOp::End, 0, 0, 0, 0, kNone, "", kBlack});

    ASSERT_EQ(aCalls.size(), aExpected.size());
    for (size_t i = 0; i < aCalls.size(); ++i) {
        const CDrawCall& call = aCalls[i];
        const CExpected& e = aExpected[i];
        SCOPED_TRACE("call " + std::to_string(i) + ": " + Describe(call));
        ASSERT_EQ(call.m_eOp, e.eOp);
        if (e.eOp == EDrawOp::Line || e.eOp == EDrawOp::FillBlack) {
            EXPECT_EQ(call.m_nX1, e.x1);
            EXPECT_EQ(call.m_nY1, e.y1);
            EXPECT_EQ(call.m_nX2, e.x2);
            EXPECT_EQ(call.m_nY2, e.y2);
        }
        if (e.eOp == EDrawOp::Line) {
            EXPECT_TRUE(call.m_pen == e.pen);
        }
        if (e.eOp == EDrawOp::Text) {
            EXPECT_EQ(call.m_nX1, e.x1);
            EXPECT_EQ(call.m_nY1, e.y1);
            EXPECT_EQ(call.m_strText, e.pszText);
            EXPECT_TRUE(call.m_rgbText == e.rgbText);
            EXPECT_TRUE(call.m_rgbBack == kBlack);
        }
    }
}

TEST(ChartPanelDraw, TenWeightsCurveAndSamples)
{
    const CRecordingSurface surface = DrawOn(TenWeightsChart(1), g_rcChartCurrent);
    const std::vector<CDrawCall> aCurve = DotsWith(surface, kCurve);
    ASSERT_EQ(aCurve.size(), 100u);
    EXPECT_EQ(aCurve[0].m_nX1, 38);
    EXPECT_EQ(aCurve[0].m_nY1, 328);
    EXPECT_EQ(aCurve[50].m_nX1, 170);
    EXPECT_EQ(aCurve[50].m_nY1, 253);
    EXPECT_EQ(aCurve[99].m_nX1, 299);
    EXPECT_EQ(aCurve[99].m_nY1, 327);

    const std::vector<CDrawCall> aSamples = DotsWith(surface, kSample);
    ASSERT_EQ(aSamples.size(), 10u);
    for (size_t i = 0; i < aSamples.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(aSamples[i].m_nX1, i < 5 ? 126 : 214);
        EXPECT_EQ(aSamples[i].m_nY1, 283);
    }
    // Every dot is a curve or a sample dot; the curve comes first, then the samples, before the text line.
    EXPECT_EQ(surface.CallsOf(EDrawOp::Dot).size(), 110u);
    size_t nFirstSample = 0;
    size_t nLastCurve = 0;
    size_t nTextLine = 0;
    for (size_t i = 0; i < surface.m_aCalls.size(); ++i) {
        const CDrawCall& call = surface.m_aCalls[i];
        if (call.m_eOp == EDrawOp::Dot && call.m_pen == kCurve)
            nLastCurve = i;
        if (call.m_eOp == EDrawOp::Dot && call.m_pen == kSample && nFirstSample == 0)
            nFirstSample = i;
        if (call.m_eOp == EDrawOp::Text && call.m_rgbText == kWhite)
            nTextLine = i;
    }
    EXPECT_LT(nLastCurve, nFirstSample);
    EXPECT_LT(nFirstSample, nTextLine);
}

TEST(ChartPanelDraw, FinalValueThreeMovesTheMarkerToMinusTwoSigma)
{
    const CRecordingSurface surface = DrawOn(TenWeightsChart(3), g_rcChartCurrent);
    const std::vector<CDrawCall> aMean = LinesWith(surface, kMean);
    ASSERT_EQ(aMean.size(), 1u);
    ExpectLine(aMean[0], 82, 326, 82, 127, kMean);
    ExpectText(surface, "S", 78, 331, kBlue);

    // Row 0 would be at x = -50; rows up to 25 fall left of the inside margin (x <= 18).
    const std::vector<CDrawCall> aCurve = DotsWith(surface, kCurve);
    ASSERT_EQ(aCurve.size(), 74u);
    EXPECT_EQ(aCurve.front().m_nX1, 19);
    for (const CDrawCall& dot : aCurve)
        EXPECT_TRUE(CWeighChart::IsInside(8, 121, 333, 368, dot.m_nX1, dot.m_nY1)) << Describe(dot);

    const std::vector<CDrawCall> aSamples = DotsWith(surface, kSample);
    ASSERT_EQ(aSamples.size(), 10u);
    for (size_t i = 0; i < aSamples.size(); ++i) {
        EXPECT_EQ(aSamples[i].m_nX1, i < 5 ? 38 : 126) << i;
        EXPECT_EQ(aSamples[i].m_nY1, 283) << i;
    }
    ExpectText(surface, "б = 1.00;    S = 1.00;    Final = 3.00", 12, 350, kWhite);
}

TEST(ChartPanelDraw, SigmaMarksLabelsAndLineTopsOnBothPanels)
{
    struct CCase {
        CChartRect rc;
        int aX[6];
        int nDensityX;
        int nFinalX;
    };
    const CCase aCases[] = {
        {g_rcChartCurrent, {126, 82, 38, 214, 258, 302}, 144, 176},
        {g_rcChartAll, {460, 417, 374, 546, 589, 632}, 477, 509},
    };
    const char* apszLabels[] = {"-б", "-2б", "-3б", "б", "2б", "3б"};
    for (const CCase& c : aCases) {
        SCOPED_TRACE(c.rc.m_nLeft);
        const CRecordingSurface surface = DrawOn(TenWeightsChart(1), c.rc);
        ExpectFramed(surface, c.rc);

        // Ticks 3 px either side of the axis at D = 328; the first ten short ticks are the density scale.
        std::vector<CDrawCall> aTicks = LinesWith(surface, kTick);
        ASSERT_EQ(aTicks.size(), 16u);
        for (int k = 0; k < 6; ++k)
            ExpectLine(aTicks[10 + k], c.aX[k], 325, c.aX[k], 331, kTick);

        const std::vector<CDrawCall> aTwo = LinesWith(surface, kTwoSigma);
        ASSERT_EQ(aTwo.size(), 2u);
        ExpectLine(aTwo[0], c.aX[1], 326, c.aX[1], 225, kTwoSigma);
        ExpectLine(aTwo[1], c.aX[4], 326, c.aX[4], 225, kTwoSigma);
        const std::vector<CDrawCall> aThree = LinesWith(surface, kThreeSigma);
        ASSERT_EQ(aThree.size(), 2u);
        ExpectLine(aThree[0], c.aX[2], 326, c.aX[2], 268, kThreeSigma);
        ExpectLine(aThree[1], c.aX[5], 326, c.aX[5], 268, kThreeSigma);

        for (int k = 0; k < 6; ++k) {
            if (k < 3) {
                ExpectText(surface, apszLabels[k], c.aX[k] - 8, 331, kGreen);
            } else {
                ExpectText(surface, apszLabels[k], c.aX[k] - 5, 333, kGreen);
            }
        }
        ExpectText(surface, "0.3", c.nDensityX, 263, kGreen);
        ExpectText(surface, "0.6", c.nDensityX, 206, kGreen);
        ExpectText(surface, "0.9", c.nDensityX, 149, kGreen);
        ExpectText(surface, "Final", c.nFinalX, 122, kGreen);
        ExpectText(surface, "б = 1.00;    S = 1.00;    Final = 1.00", c.rc.m_nLeft + 4, 350, kWhite);
    }
}

// A mark outside the inside test is skipped whole: tick, dotted line and label. On panels of the
// dialog's size every mark passes (3 J stays 30 px inside each half), so a narrow panel shows it:
// (0, 121, 34, 368) has M = 17 and J = (17 - 30) / 3 = -4, marks at 21, 25, 29, 13, 9, 5, and the
// inside test wants 10 < x < 24: only the two one-sigma marks pass.
TEST(ChartPanelDraw, SigmaMarksOutsideAreSkippedWhole)
{
    const CChartRect rc{0, 121, 34, 368};
    const CRecordingSurface surface = DrawOn(TenWeightsChart(1), rc);
    const std::vector<CDrawCall> aTicks = LinesWith(surface, kTick);
    ASSERT_EQ(aTicks.size(), 12u);
    ExpectLine(aTicks[10], 21, 325, 21, 331, kTick);
    ExpectLine(aTicks[11], 13, 325, 13, 331, kTick);
    EXPECT_TRUE(LinesWith(surface, kTwoSigma).empty());
    EXPECT_TRUE(LinesWith(surface, kThreeSigma).empty());
    ExpectText(surface, "-б", 13, 331, kGreen);
    ExpectText(surface, "б", 8, 333, kGreen);
    for (const char* pszLabel : {"-2б", "-3б", "2б", "3б"})
        EXPECT_EQ(surface.FindText(pszLabel), nullptr) << pszLabel;
}

TEST(ChartPanelDraw, FarMeanDrawsItsMarkerOutsideButNoPoints)
{
    const CRecordingSurface surface = DrawOn(TenWeightsChart(1000), g_rcChartCurrent);
    // P = 999 * 44 = 43956 pixels left of the axis; the marker is never clipped.
    const std::vector<CDrawCall> aMean = LinesWith(surface, kMean);
    ASSERT_EQ(aMean.size(), 1u);
    ExpectLine(aMean[0], 170 - 43956, 326, 170 - 43956, 127, kMean);
    ExpectText(surface, "S", 170 - 43956 - 4, 331, kBlue);
    EXPECT_TRUE(surface.CallsOf(EDrawOp::Dot).empty());
    ExpectText(surface, "б = 1.00;    S = 1.00;    Final = 1000.00", 12, 350, kWhite);
}

TEST(ChartPanelDraw, NothingButBlackForInvalidModelOrFinalZero)
{
    CWeighChart invalid;
    CWeighChart finalZero = TenWeightsChart(0);
    CWeighChart refusedAfterGood = TenWeightsChart(1);
    EXPECT_FALSE(refusedAfterGood.Compute(kTenWeights.data(), 9, 1));
    for (const CWeighChart* pChart : {&invalid, &finalZero, &refusedAfterGood}) {
        const CRecordingSurface surface = DrawOn(*pChart, g_rcChartAll);
        ASSERT_EQ(surface.m_aCalls.size(), 3u);
        ExpectFramed(surface, g_rcChartAll);
    }
}

TEST(ChartPanelDraw, UnavailableSurfaceDrawsNothing)
{
    CRecordingSurface surface;
    surface.m_bAvailable = false;
    TenWeightsChart(1).Draw(surface, 8, 121, 333, 368);
    CWeighChart::ClearPanel(surface, 8, 121, 333, 368);
    CWeighChart::DrawStatus(surface, 3);
    ASSERT_EQ(surface.m_aCalls.size(), 3u);
    for (const CDrawCall& call : surface.m_aCalls)
        EXPECT_EQ(call.m_eOp, EDrawOp::Begin);
}

TEST(ChartPanelDraw, SamplesStopAtFirstEmptyOrNotANumberDensity)
{
    struct CCase {
        int nRow;
        double dDensity;
        size_t nDots;
    };
    for (const CCase& c : {CCase{2, 0.0, 2}, CCase{3, NAN, 3}, CCase{0, 0.0, 0}, CCase{7, -0.0, 7}}) {
        SCOPED_TRACE(c.nRow);
        CWeighChart chart = TenWeightsChart(1);
        chart.m_aSamples[c.nRow][1] = c.dDensity;
        EXPECT_EQ(DotsWith(DrawOn(chart, g_rcChartCurrent), kSample).size(), c.nDots);
    }
    // Rows filled after the empty one are not read.
    CWeighChart chart = TenWeightsChart(1);
    chart.m_aSamples[15][0] = 0.5;
    chart.m_aSamples[15][1] = 0.3;
    EXPECT_EQ(DotsWith(DrawOn(chart, g_rcChartCurrent), kSample).size(), 10u);
    // All twenty rows filled: twenty dots at most.
    for (int i = 0; i < 20; ++i) {
        chart.m_aSamples[i][0] = 0.1 * i;
        chart.m_aSamples[i][1] = 0.2;
    }
    EXPECT_EQ(DotsWith(DrawOn(chart, g_rcChartCurrent), kSample).size(), 20u);
}

TEST(ChartPanelDraw, UnderflowedSampleEndsTheDots)
{
    std::vector<double> values(2000, 0.0);
    values[1] = 1e6;
    CWeighChart chart;
    ASSERT_TRUE(chart.Compute(values.data(), static_cast<int>(values.size()), 1));
    EXPECT_EQ(DotsWith(DrawOn(chart, g_rcChartCurrent), kSample).size(), 1u);
}

// Sigma 0: axes, density scale, the six marks and the text line as usual; the marker stands on the
// axis when the mean is the final value and is left out otherwise; no curve and no dots.
TEST(ChartPanelDraw, SigmaZero)
{
    const std::vector<double> values(10, 5.0);
    struct CCase {
        int nFinal;
        bool bMarker;
        const char* pszLine;
    };
    for (const CCase& c : {CCase{5, true, "б = 0.00;    S = 5.00;    Final = 5.00"},
                           CCase{7, false, "б = 0.00;    S = 5.00;    Final = 7.00"},
                           CCase{2, false, "б = 0.00;    S = 5.00;    Final = 2.00"}}) {
        SCOPED_TRACE(c.nFinal);
        CWeighChart chart;
        ASSERT_TRUE(chart.Compute(values.data(), 10, c.nFinal));
        const CRecordingSurface surface = DrawOn(chart, g_rcChartCurrent);
        ExpectFramed(surface, g_rcChartCurrent);
        EXPECT_EQ(LinesWith(surface, kAxis).size(), 2u);
        EXPECT_EQ(LinesWith(surface, kTick).size(), 16u);
        EXPECT_EQ(LinesWith(surface, kTwoSigma).size(), 2u);
        EXPECT_EQ(LinesWith(surface, kThreeSigma).size(), 2u);
        EXPECT_TRUE(surface.CallsOf(EDrawOp::Dot).empty());
        const std::vector<CDrawCall> aMean = LinesWith(surface, kMean);
        if (c.bMarker) {
            ASSERT_EQ(aMean.size(), 1u);
            ExpectLine(aMean[0], 170, 326, 170, 127, kMean);
            ExpectText(surface, "S", 166, 331, kBlue);
        } else {
            EXPECT_TRUE(aMean.empty());
            EXPECT_EQ(surface.FindText("S"), nullptr);
        }
        ExpectText(surface, c.pszLine, 12, 350, kWhite);
    }
}

// Whatever the public fields hold, drawing stays defined (the sanitizer build checks for it) and
// plots only inside the panel.
TEST(ChartPanelDraw, CorruptModelsDrawWithoutFault)
{
    const double aOdd[] = {NAN, INFINITY, -INFINITY, 1e300, -1e300, 1e-300, 0.0, -0.0};
    for (double dOdd : aOdd) {
        SCOPED_TRACE(dOdd);
        for (int nField = 0; nField < 5; ++nField) {
            CWeighChart chart = TenWeightsChart(1);
            switch (nField) {
            case 0: chart.m_dMean = dOdd; break;
            case 1: chart.m_dSigma = dOdd; break;
            case 2: chart.m_dFinal = dOdd; break;
            case 3:
                for (auto& row : chart.m_aCurve)
                    row[0] = dOdd;
                break;
            default:
                for (auto& row : chart.m_aSamples)
                    row[1] = dOdd;
                break;
            }
            chart.m_nCurveRows = nField == 3 ? 100000 : 100;
            chart.m_nSampleRows = nField == 4 ? 100000 : -3;
            for (const CChartRect& rc : {g_rcChartCurrent, CChartRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}}) {
                const CRecordingSurface surface = DrawOn(chart, rc);
                ExpectFramed(surface, rc);
                for (const CDrawCall& dot : surface.CallsOf(EDrawOp::Dot))
                    EXPECT_TRUE(CWeighChart::IsInside(rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom, dot.m_nX1,
                                                      dot.m_nY1));
            }
        }
    }
}

// ---- the other two operations ----

TEST(ChartPanelClear, FillsTheRectangleBlack)
{
    CRecordingSurface surface;
    CWeighChart::ClearPanel(surface, 344, 121, 663, 368);
    ASSERT_EQ(surface.m_aCalls.size(), 3u);
    ExpectFramed(surface, g_rcChartAll);
}

TEST(ChartStatus, BoxAndPollingText)
{
    for (int nPolling : {0, 3, -1}) {
        SCOPED_TRACE(nPolling);
        CRecordingSurface surface;
        CWeighChart::DrawStatus(surface, nPolling);
        ExpectFramed(surface, CChartRect{690, 64, 761, 94});
        if (nPolling == 0) {
            EXPECT_EQ(surface.m_aCalls.size(), 3u);
        } else {
            ASSERT_EQ(surface.m_aCalls.size(), 4u);
            ExpectText(surface, "Опрос", 704, 70, kRed);
        }
    }
}

}  // namespace
