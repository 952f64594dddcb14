// Tests of CWeighChart::Compute: the statistics, both tables and the validity rules, to the last bit.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "weigh_chart.h"

namespace {

const std::vector<double> kTenWeights = {0, 0, 0, 0, 0, 2, 2, 2, 2, 2};
const std::vector<double> kOneToTen = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

bool Compute(CWeighChart& chart, const std::vector<double>& values, int nFinal)
{
    return chart.Compute(values.data(), static_cast<int>(values.size()), nFinal);
}

void ExpectTablesZero(const CWeighChart& chart)
{
    for (int k = 0; k < CWeighChart::kCurveRows; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(chart.m_aCurve[k][0], 0.0);
        EXPECT_EQ(chart.m_aCurve[k][1], 0.0);
    }
    for (int i = 0; i < CWeighChart::kSampleRows; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chart.m_aSamples[i][0], 0.0);
        EXPECT_EQ(chart.m_aSamples[i][1], 0.0);
    }
}

TEST(WeighChartModel, ConstructionIsInvalidAndEmpty)
{
    const CWeighChart chart;
    EXPECT_FALSE(chart.m_bValid);
    EXPECT_EQ(chart.m_dMean, 0.0);
    EXPECT_EQ(chart.m_dVariance, 0.0);
    EXPECT_EQ(chart.m_dSigma, 0.0);
    EXPECT_EQ(chart.m_dFinal, 0.0);
    EXPECT_EQ(chart.m_nCurveRows, 100);
    EXPECT_EQ(chart.m_nCurveCols, 2);
    EXPECT_EQ(chart.m_nSampleRows, 20);
    EXPECT_EQ(chart.m_nSampleCols, 2);
    ExpectTablesZero(chart);
}

TEST(WeighChartFigures, TenWeightsZeroAndTwo)
{
    CWeighChart chart;
    ASSERT_TRUE(Compute(chart, kTenWeights, 1));
    EXPECT_TRUE(chart.m_bValid);
    EXPECT_EQ(chart.m_dMean, 1.0);
    EXPECT_EQ(chart.m_dVariance, 1.0);
    // Population sigma: the n - 1 divisor would give 1.0541.
    EXPECT_EQ(chart.m_dSigma, 1.0);
    EXPECT_EQ(chart.m_dFinal, 1.0);

    EXPECT_EQ(chart.m_aCurve[0][0], -3.0);
    EXPECT_EQ(chart.m_aCurve[0][1], 0.004431913766647084);
    // Row 50 lies on the mean up to rounding; 6.283 (not 2 pi) gives this height.
    EXPECT_NEAR(chart.m_aCurve[50][0], 0.0, 1e-12);
    EXPECT_EQ(chart.m_aCurve[50][1], 0.3989481634448608);
    EXPECT_NE(chart.m_aCurve[50][1], 0.3989422804014327);

    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chart.m_aSamples[i][0], i < 5 ? -1.0 : 1.0);
        EXPECT_EQ(chart.m_aSamples[i][1], 0.24197429276535493);
    }
    for (int i = 10; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chart.m_aSamples[i][0], 0.0);
        EXPECT_EQ(chart.m_aSamples[i][1], 0.0);
    }
}

TEST(WeighChartFigures, OneToTen)
{
    CWeighChart chart;
    ASSERT_TRUE(Compute(chart, kOneToTen, 6));
    EXPECT_EQ(chart.m_dMean, 5.5);
    EXPECT_EQ(chart.m_dVariance, 8.25);
    EXPECT_EQ(chart.m_dSigma, 2.8722813232690143);
    EXPECT_EQ(chart.m_aCurve[0][0], -8.616843969807043);
    EXPECT_EQ(chart.m_aCurve[0][1], 0.001542994319791424);
    EXPECT_NEAR(chart.m_aCurve[99][0], 8.4445, 1e-4);
    EXPECT_EQ(chart.m_dFinal, 6.0);
}

// The curve is built by adding the step again and again, not as k * step, and fills all 100 rows
// from -3 sigma to about +2.94 sigma without touching the sample table.
TEST(WeighChartFigures, CurveByRepeatedAdditionFillsHundredRows)
{
    for (const std::vector<double>* pValues : {&kTenWeights, &kOneToTen}) {
        CWeighChart chart;
        ASSERT_TRUE(Compute(chart, *pValues, 1));
        const double dStep = std::fabs(chart.m_aCurve[0][0] * 0.02);
        EXPECT_EQ(chart.m_aCurve[0][0], -3.0 * chart.m_dSigma);
        for (int k = 1; k < 100; ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(chart.m_aCurve[k][0], chart.m_aCurve[k - 1][0] + dStep);
            EXPECT_GT(chart.m_aCurve[k][1], 0.0);
        }
        EXPECT_NEAR(chart.m_aCurve[99][0] / chart.m_dSigma, 2.94, 1e-9);
        for (int i = 10; i < 20; ++i)
            EXPECT_EQ(chart.m_aSamples[i][1], 0.0) << i;
    }
}

// The sums run in index order: 1e16 swallows each following 1.0, so the mean is exactly 0.
// A compensated or pairwise sum would give 0.8.
TEST(WeighChartFigures, SumsRunInIndexOrder)
{
    const std::vector<double> values = {1e16, 1, 1, 1, 1, 1, 1, 1, 1, -1e16};
    CWeighChart chart;
    ASSERT_TRUE(Compute(chart, values, 1));
    EXPECT_EQ(chart.m_dMean, 0.0);
}

TEST(WeighChartValidity, CountBelowTenIsRefused)
{
    const std::vector<double> values(30, 5.0);
    struct CCase {
        int count;
        bool bResult;
    };
    for (const CCase& c : {CCase{0, false}, CCase{1, false}, CCase{9, false}, CCase{-5, false}, CCase{10, true}}) {
        SCOPED_TRACE(c.count);
        CWeighChart chart;
        EXPECT_EQ(chart.Compute(values.data(), c.count, 5), c.bResult);
        EXPECT_EQ(chart.m_bValid, c.bResult);
    }
}

TEST(WeighChartValidity, NineValuesLeaveAClearedInvalidModel)
{
    CWeighChart chart;
    const std::vector<double> nine(kOneToTen.begin(), kOneToTen.begin() + 9);
    EXPECT_FALSE(Compute(chart, nine, 3));
    EXPECT_FALSE(chart.m_bValid);
    EXPECT_EQ(chart.m_dMean, 0.0);
    ExpectTablesZero(chart);
}

TEST(WeighChartValidity, NullValuesAreRefused)
{
    CWeighChart chart;
    EXPECT_FALSE(chart.Compute(nullptr, 10, 1));
    EXPECT_FALSE(chart.m_bValid);
}

// A refused computation after a good one clears the mean and both tables, so the old chart is
// not drawn again; sigma, final and variance keep their values (nothing reads them meanwhile).
TEST(WeighChartValidity, FalseAfterTrueInvalidates)
{
    CWeighChart chart;
    ASSERT_TRUE(Compute(chart, kOneToTen, 6));
    EXPECT_FALSE(chart.Compute(kOneToTen.data(), 0, 6));
    EXPECT_FALSE(chart.m_bValid);
    EXPECT_EQ(chart.m_dMean, 0.0);
    ExpectTablesZero(chart);
    EXPECT_EQ(chart.m_dSigma, 2.8722813232690143);
    EXPECT_EQ(chart.m_dVariance, 8.25);
    EXPECT_EQ(chart.m_dFinal, 6.0);
}

TEST(WeighChartValidity, ComputationReplacesTheWholeResult)
{
    CWeighChart reused;
    ASSERT_TRUE(Compute(reused, kOneToTen, 6));
    ASSERT_TRUE(Compute(reused, kTenWeights, 1));
    CWeighChart fresh;
    ASSERT_TRUE(Compute(fresh, kTenWeights, 1));
    EXPECT_EQ(reused.m_dMean, fresh.m_dMean);
    EXPECT_EQ(reused.m_dSigma, fresh.m_dSigma);
    EXPECT_EQ(reused.m_dFinal, fresh.m_dFinal);
    for (int k = 0; k < 100; ++k) {
        EXPECT_EQ(reused.m_aCurve[k][0], fresh.m_aCurve[k][0]) << k;
        EXPECT_EQ(reused.m_aCurve[k][1], fresh.m_aCurve[k][1]) << k;
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(reused.m_aSamples[i][0], fresh.m_aSamples[i][0]) << i;
        EXPECT_EQ(reused.m_aSamples[i][1], fresh.m_aSamples[i][1]) << i;
    }
}

TEST(WeighChartEdges, ThirtyValuesKeepTheFirstTwentySamples)
{
    std::vector<double> values;
    for (int i = 0; i < 30; ++i)
        values.push_back(i);
    CWeighChart chart;
    ASSERT_TRUE(Compute(chart, values, 15));
    // Mean and variance of 0..29 over all thirty: 14.5 and (30 * 30 - 1) / 12.
    EXPECT_EQ(chart.m_dMean, 14.5);
    EXPECT_DOUBLE_EQ(chart.m_dVariance, 899.0 / 12.0);
    EXPECT_DOUBLE_EQ(chart.m_dSigma, std::sqrt(899.0 / 12.0));
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chart.m_aSamples[i][0], i - 14.5);
        const double d = i - 14.5;
        const double v = chart.m_dVariance;
        EXPECT_DOUBLE_EQ(chart.m_aSamples[i][1], std::exp(-d * d / (2 * v)) / std::sqrt(v * 6.283));
    }
}

TEST(WeighChartEdges, EqualValuesGiveSigmaZeroAndNotANumber)
{
    const std::vector<double> values(10, 7.0);
    CWeighChart chart;
    ASSERT_TRUE(Compute(chart, values, 7));
    EXPECT_TRUE(chart.m_bValid);
    EXPECT_EQ(chart.m_dMean, 7.0);
    EXPECT_EQ(chart.m_dSigma, 0.0);
    EXPECT_EQ(chart.m_dVariance, 0.0);
    // Only row 0 of the curve is written: (-0.0, not a number).
    EXPECT_EQ(chart.m_aCurve[0][0], 0.0);
    EXPECT_TRUE(std::signbit(chart.m_aCurve[0][0]));
    EXPECT_TRUE(std::isnan(chart.m_aCurve[0][1]));
    for (int k = 1; k < 100; ++k) {
        EXPECT_EQ(chart.m_aCurve[k][0], 0.0) << k;
        EXPECT_EQ(chart.m_aCurve[k][1], 0.0) << k;
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(chart.m_aSamples[i][0], 0.0) << i;
        EXPECT_TRUE(std::isnan(chart.m_aSamples[i][1])) << i;
    }
    EXPECT_EQ(chart.m_aSamples[10][1], 0.0);
}

// A weighing far from the mean has a density that underflows to exactly 0.0: its row reads as
// empty (the drawing stops there) while the rows after it are still filled.
TEST(WeighChartEdges, FarWeighingUnderflowsToZeroDensity)
{
    std::vector<double> values(2000, 0.0);
    values[1] = 1e6;
    CWeighChart chart;
    ASSERT_TRUE(Compute(chart, values, 1));
    EXPECT_GT(chart.m_aSamples[0][1], 0.0);
    EXPECT_EQ(chart.m_aSamples[1][1], 0.0);
    EXPECT_GT(chart.m_aSamples[2][1], 0.0);
}

TEST(WeighChartEdges, NonFiniteWeightsComputeWithoutFault)
{
    for (double dBad : {INFINITY, -INFINITY, NAN}) {
        std::vector<double> values(12, 1.0);
        values[3] = dBad;
        CWeighChart chart;
        EXPECT_TRUE(Compute(chart, values, 1));
        EXPECT_FALSE(std::isfinite(chart.m_dMean));
    }
}

// The dimension fields bound every loop: a smaller sample row count leaves later rows alone, and a
// corrupted larger one never carries a loop past the table.
TEST(WeighChartEdges, DimensionFieldsBoundTheTables)
{
    CWeighChart chart;
    chart.m_nSampleRows = 5;
    ASSERT_TRUE(Compute(chart, kTenWeights, 1));
    EXPECT_EQ(chart.m_aSamples[4][0], -1.0);
    EXPECT_EQ(chart.m_aSamples[5][0], 0.0);
    EXPECT_EQ(chart.m_aSamples[5][1], 0.0);

    CWeighChart wide;
    wide.m_nCurveRows = 1000;
    wide.m_nSampleRows = 1000;
    std::vector<double> values(50, 1.0);
    values[0] = 3.0;
    ASSERT_TRUE(Compute(wide, values, 1));
    EXPECT_NE(wide.m_aSamples[19][1], 0.0);
    EXPECT_NE(wide.m_aCurve[99][1], 0.0);
}

}  // namespace
