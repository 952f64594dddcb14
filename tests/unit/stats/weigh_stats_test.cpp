// CWeighStats::Compute: the statistics, both tables and the validity rules, to the last bit.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "weigh_stats.h"

namespace {

const std::vector<double> kTenWeights = {0, 0, 0, 0, 0, 2, 2, 2, 2, 2};
const std::vector<double> kOneToTen = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

bool Compute(CWeighStats& chart, const std::vector<double>& values, int nFinal)
{
    return chart.Compute(values.data(), static_cast<int>(values.size()), nFinal);
}

void ExpectTablesZero(const CWeighStats& chart)
{
    for (int k = 0; k < CWeighStats::kCurveRows; ++k)
        EXPECT_TRUE(chart.m_aCurve[k][0] == 0.0 && chart.m_aCurve[k][1] == 0.0) << "curve row " << k;
    for (int i = 0; i < CWeighStats::kSampleRows; ++i)
        EXPECT_TRUE(chart.m_aSamples[i][0] == 0.0 && chart.m_aSamples[i][1] == 0.0) << "sample row " << i;
}

TEST(WeighChartFigures, TenWeightsZeroAndTwo)
{
    CWeighStats chart;
    ASSERT_TRUE(Compute(chart, kTenWeights, 1));
    EXPECT_TRUE(chart.m_bValid);
    EXPECT_EQ(chart.m_dMean, 1.0);
    EXPECT_EQ(chart.m_dVariance, 1.0);
    EXPECT_EQ(chart.m_dSigma, 1.0);  // population sigma: n - 1 would give 1.0541
    EXPECT_EQ(chart.m_dFinal, 1.0);
    EXPECT_EQ(chart.m_aCurve[0][0], -3.0);
    EXPECT_EQ(chart.m_aCurve[0][1], 0.004431913766647084);
    // Row 50 lies on the mean; 6.283 (not 2 pi) gives this height.
    EXPECT_NEAR(chart.m_aCurve[50][0], 0.0, 1e-12);
    EXPECT_EQ(chart.m_aCurve[50][1], 0.3989481634448608);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chart.m_aSamples[i][0], i < 5 ? -1.0 : (i < 10 ? 1.0 : 0.0));
        EXPECT_EQ(chart.m_aSamples[i][1], i < 10 ? 0.24197429276535493 : 0.0);
    }
}

TEST(WeighChartFigures, OneToTen)
{
    CWeighStats chart;
    ASSERT_TRUE(Compute(chart, kOneToTen, 6));
    EXPECT_EQ(chart.m_dMean, 5.5);
    EXPECT_EQ(chart.m_dVariance, 8.25);
    EXPECT_EQ(chart.m_dSigma, 2.8722813232690143);
    EXPECT_EQ(chart.m_aCurve[0][0], -8.616843969807043);
    EXPECT_EQ(chart.m_aCurve[0][1], 0.001542994319791424);
    EXPECT_NEAR(chart.m_aCurve[99][0], 8.4445, 1e-4);  // 100 rows up to about +2.94 sigma
    EXPECT_EQ(chart.m_dFinal, 6.0);
}

// 1e16 swallows each following 1.0 in index order; a compensated or pairwise sum would give 0.8.
TEST(WeighChartFigures, SumsRunInIndexOrder)
{
    CWeighStats chart;
    ASSERT_TRUE(Compute(chart, {1e16, 1, 1, 1, 1, 1, 1, 1, 1, -1e16}, 1));
    EXPECT_EQ(chart.m_dMean, 0.0);
}

TEST(WeighChartFigures, ThirtyValuesKeepTheFirstTwentySamples)
{
    std::vector<double> values;
    for (int i = 0; i < 30; ++i)
        values.push_back(i);
    CWeighStats chart;
    ASSERT_TRUE(Compute(chart, values, 15));
    EXPECT_EQ(chart.m_dMean, 14.5);  // over all thirty
    EXPECT_DOUBLE_EQ(chart.m_dVariance, 899.0 / 12.0);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(chart.m_aSamples[i][0], i - 14.5) << i;
        EXPECT_GT(chart.m_aSamples[i][1], 0.0) << i;
    }
}

// Sigma 0: only curve row 0 is written, as (-0.0, not a number); the samples' densities are not numbers.
TEST(WeighChartFigures, EqualValuesGiveSigmaZero)
{
    CWeighStats chart;
    ASSERT_TRUE(Compute(chart, std::vector<double>(10, 7.0), 7));
    EXPECT_TRUE(chart.m_bValid);
    EXPECT_EQ(chart.m_dMean, 7.0);
    EXPECT_EQ(chart.m_dSigma, 0.0);
    EXPECT_TRUE(chart.m_aCurve[0][0] == 0.0 && std::signbit(chart.m_aCurve[0][0]));
    EXPECT_TRUE(std::isnan(chart.m_aCurve[0][1]));
    for (int k = 1; k < 100; ++k)
        EXPECT_TRUE(chart.m_aCurve[k][0] == 0.0 && chart.m_aCurve[k][1] == 0.0) << k;
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(chart.m_aSamples[i][0] == 0.0 && std::isnan(chart.m_aSamples[i][1])) << i;
    EXPECT_EQ(chart.m_aSamples[10][1], 0.0);
}

TEST(WeighChartValidity, FewerThanTenOrNoValuesAreRefusedWithAClearedModel)
{
    const std::vector<double> values(30, 5.0);
    for (int nCount : {0, 1, 9, -5, 10}) {
        SCOPED_TRACE(nCount);
        CWeighStats chart;
        EXPECT_EQ(chart.Compute(values.data(), nCount, 5), nCount == 10);
        EXPECT_EQ(chart.m_bValid, nCount == 10);
        if (nCount != 10) {
            EXPECT_EQ(chart.m_dMean, 0.0);
            ExpectTablesZero(chart);
        }
    }
    CWeighStats chart;
    EXPECT_FALSE(chart.Compute(nullptr, 10, 1));
    EXPECT_FALSE(chart.m_bValid);
}

// A refused computation after a good one clears mean and tables so the old chart is not drawn
// again; sigma, final and variance keep their values.
TEST(WeighChartValidity, FalseAfterTrueInvalidates)
{
    CWeighStats chart;
    ASSERT_TRUE(Compute(chart, kOneToTen, 6));
    EXPECT_FALSE(Compute(chart, std::vector<double>(kOneToTen.begin(), kOneToTen.begin() + 9), 6));
    EXPECT_FALSE(chart.m_bValid);
    EXPECT_EQ(chart.m_dMean, 0.0);
    ExpectTablesZero(chart);
    EXPECT_EQ(chart.m_dSigma, 2.8722813232690143);
    EXPECT_EQ(chart.m_dVariance, 8.25);
    EXPECT_EQ(chart.m_dFinal, 6.0);
}

// The dimension fields bound every loop: fewer sample rows leave later rows alone, and corrupted
// larger ones never carry a loop past the tables (the sanitizer build checks).
TEST(WeighChartValidity, DimensionFieldsBoundTheTables)
{
    CWeighStats chart;
    chart.m_nSampleRows = 5;
    ASSERT_TRUE(Compute(chart, kTenWeights, 1));
    EXPECT_EQ(chart.m_aSamples[4][0], -1.0);
    EXPECT_TRUE(chart.m_aSamples[5][0] == 0.0 && chart.m_aSamples[5][1] == 0.0);

    CWeighStats wide;
    wide.m_nCurveRows = 1000;
    wide.m_nSampleRows = 1000;
    std::vector<double> values(50, 1.0);
    values[0] = 3.0;
    ASSERT_TRUE(Compute(wide, values, 1));
    EXPECT_NE(wide.m_aSamples[19][1], 0.0);
    EXPECT_NE(wide.m_aCurve[99][1], 0.0);
}

}  // namespace
