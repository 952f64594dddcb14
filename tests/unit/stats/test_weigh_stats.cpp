// CWeighStats::Compute: the statistics, both tables and the validity rules, to the last bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "weigh_stats.h"

namespace {

bool Compute(CWeighStats& chart, const std::vector<double>& values, int nFinal)
{
    return chart.Compute(values.data(), static_cast<int>(values.size()), nFinal);
}

bool TablesZero(const CWeighStats& chart)
{
    return std::ranges::all_of(chart.m_aCurve, [](auto& row) { return row[0] == 0.0 && row[1] == 0.0; }) &&
           std::ranges::all_of(chart.m_aSamples, [](auto& row) { return row[0] == 0.0 && row[1] == 0.0; });
}

// Population sigma (n - 1 would give 1.0541 and 3.0277), 6.283 in the place of 2 pi, curve rows from -3 sigma
// by repeated addition of 0.06 sigma, the first twenty samples as (weight - mean, density).
TEST(WeighStatsFigures, MeanSigmaCurveAndSamples)
{
    std::vector<double> thirty;
    for (int i = 0; i < 30; ++i)
        thirty.push_back(i);
    const struct { std::vector<double> values; int nFinal; double dMean, dVariance, dSigma, dCurve0E, dCurve0F, dCurve50F, dSample0E, dSample0F; } aCases[] = {
        {{0, 0, 0, 0, 0, 2, 2, 2, 2, 2}, 1, 1.0, 1.0, 1.0, -3.0, 0.004431913766647084, 0.3989481634448608, -1.0, 0.24197429276535493},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 6, 5.5, 8.25, 2.8722813232690143, -8.616843969807043, 0.001542994319791424, 0.13889592228062397, -4.5, 0.040709120767568316},
        {thirty, 15, 14.5, 899.0 / 12.0, std::sqrt(899.0 / 12.0), -3.0 * std::sqrt(899.0 / 12.0), 0.0005120378657828896, 0.04609217979501734, -14.5, 0.011329585538487877},
    };
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.nFinal);
        CWeighStats chart;
        ASSERT_TRUE(Compute(chart, c.values, c.nFinal));
        EXPECT_TRUE(chart.m_bValid && chart.m_dFinal == c.nFinal && chart.m_dMean == c.dMean);
        EXPECT_DOUBLE_EQ(chart.m_dVariance, c.dVariance);
        EXPECT_DOUBLE_EQ(chart.m_dSigma, c.dSigma);
        EXPECT_DOUBLE_EQ(chart.m_aCurve[0][0], c.dCurve0E);
        EXPECT_DOUBLE_EQ(chart.m_aCurve[0][1], c.dCurve0F);
        EXPECT_TRUE(std::fabs(chart.m_aCurve[50][0]) < 1e-12 && std::fabs(chart.m_aCurve[99][0] - 2.94 * c.dSigma) < 1e-9 * c.dSigma);
        EXPECT_DOUBLE_EQ(chart.m_aCurve[50][1], c.dCurve50F);
        EXPECT_EQ(chart.m_aSamples[0][0], c.dSample0E);
        EXPECT_DOUBLE_EQ(chart.m_aSamples[0][1], c.dSample0F);
        EXPECT_EQ(chart.m_aSamples[19][0], c.values.size() > 19 ? 19 - c.dMean : 0.0);
    }
    CWeighStats chart;  // 1e16 swallows each following 1.0 in index order; a compensated or pairwise sum gives 0.8
    ASSERT_TRUE(Compute(chart, {1e16, 1, 1, 1, 1, 1, 1, 1, 1, -1e16}, 1));
    EXPECT_EQ(chart.m_dMean, 0.0);
}

// Sigma 0: only curve row 0 is written, as (-0.0, not a number); the samples' densities are not numbers.
TEST(WeighStatsFigures, EqualValuesGiveSigmaZero)
{
    CWeighStats chart;
    ASSERT_TRUE(Compute(chart, std::vector<double>(10, 7.0), 7));
    EXPECT_TRUE(chart.m_bValid && chart.m_dMean == 7.0 && chart.m_dSigma == 0.0);
    EXPECT_TRUE(chart.m_aCurve[0][0] == 0.0 && std::signbit(chart.m_aCurve[0][0]) && std::isnan(chart.m_aCurve[0][1]));
    EXPECT_TRUE(chart.m_aCurve[1][0] == 0.0 && chart.m_aCurve[99][1] == 0.0);
    EXPECT_TRUE(std::isnan(chart.m_aSamples[9][1]) && chart.m_aSamples[10][1] == 0.0);
}

// Fewer than ten values, or none, are refused with the mean and tables cleared, also after a good
// computation; sigma, final and variance keep their values.
TEST(WeighStatsValidity, FewerThanTenAreRefusedWithAClearedModel)
{
    const std::vector<double> values = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (int nCount : {0, 1, 9, -5}) {
        CWeighStats chart;
        ASSERT_TRUE(Compute(chart, values, 6));
        EXPECT_FALSE(chart.Compute(values.data(), nCount, 6)) << nCount;
        EXPECT_TRUE(!chart.m_bValid && chart.m_dMean == 0.0 && TablesZero(chart)) << nCount;
        EXPECT_TRUE(chart.m_dSigma == 2.8722813232690143 && chart.m_dVariance == 8.25 && chart.m_dFinal == 6.0) << nCount;
    }
    CWeighStats chart;
    EXPECT_FALSE(chart.Compute(nullptr, 10, 1) || chart.m_bValid);
}

// The dimension fields bound every loop: fewer sample rows leave later rows alone, and corrupted larger
// ones never carry a loop past the tables (the sanitizer build checks).
TEST(WeighStatsValidity, DimensionFieldsBoundTheTables)
{
    CWeighStats chart;
    chart.m_nSampleRows = 5;
    ASSERT_TRUE(Compute(chart, {0, 0, 0, 0, 0, 2, 2, 2, 2, 2}, 1));
    EXPECT_TRUE(chart.m_aSamples[4][0] == -1.0 && chart.m_aSamples[5][0] == 0.0 && chart.m_aSamples[5][1] == 0.0);
    CWeighStats wide;
    wide.m_nCurveRows = wide.m_nSampleRows = 1000;
    ASSERT_TRUE(Compute(wide, std::vector<double>(50, 1.0), 1));
}

}  // namespace
