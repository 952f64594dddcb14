// CWeighStats: construction and the statistics of a series of weighings.
#include "weigh_stats.h"

#include <cmath>

namespace {

// The charts have always used 6.283 in the place of 2 pi; the plotted heights depend on it.
constexpr double kTwoPi = 6.283;
// Fewer weighings than this give no chart.
constexpr int kMinValues = 10;

// Normal density at offset d for variance v, written as the charts have always computed it.
double Density(double d, double v)
{
    return std::exp(-(d * d) / (v + v)) * (1.0 / std::sqrt(v * kTwoPi));
}

int Rows(int nRows, int nMax)
{
    return nRows < 0 ? 0 : (nRows > nMax ? nMax : nRows);
}

}  // namespace

CWeighStats::CWeighStats()
    : m_bValid(false),
      m_dMean(0.0),
      m_dVariance(0.0),
      m_dSigma(0.0),
      m_dFinal(0.0),
      m_aCurve{},
      m_aSamples{},
      m_nCurveRows(kCurveRows),
      m_nCurveCols(kCols),
      m_nSampleRows(kSampleRows),
      m_nSampleCols(kCols)
{
}

bool CWeighStats::Compute(const double* pValues, int count, int nFinal)
{
    // The dimension fields are public; never let them carry a loop past the tables.
    const int nCurveRows = Rows(m_nCurveRows, kCurveRows);
    const int nSampleRows = Rows(m_nSampleRows, kSampleRows);
    const int nCurveCols = Rows(m_nCurveCols, kCols);
    const int nSampleCols = Rows(m_nSampleCols, kCols);

    // Sigma, final and variance keep their values: nothing reads them while the model is invalid.
    m_bValid = false;
    m_dMean = 0.0;
    for (int r = 0; r < nCurveRows; ++r)
        for (int c = 0; c < nCurveCols; ++c)
            m_aCurve[r][c] = 0.0;
    for (int r = 0; r < nSampleRows; ++r)
        for (int c = 0; c < nSampleCols; ++c)
            m_aSamples[r][c] = 0.0;

    if (count < kMinValues || pValues == nullptr)
        return false;

    const double n = static_cast<double>(count);
    double dSum = 0.0;
    for (int i = 0; i < count; ++i)
        dSum += pValues[i];
    const double dMean = dSum / n;

    double dSquares = 0.0;
    for (int i = 0; i < count; ++i) {
        const double d = pValues[i] - dMean;
        dSquares += d * d;
    }
    // Population variance: the series is every weighing there is, not a sample of them.
    const double v = dSquares / n;
    m_dVariance = v;
    const double dSigma = std::sqrt(v);

    if (nSampleCols == kCols) {
        for (int i = 0; i < count && i < nSampleRows; ++i) {
            const double d = pValues[i] - dMean;
            m_aSamples[i][0] = d;
            m_aSamples[i][1] = Density(d, v);
        }
    }

    // From -3 sigma by repeated addition of 0.06 sigma (not k * step): the plotted points depend on
    // the rounding of the sums. With sigma 0 only row 0 is written.
    if (nCurveCols == kCols) {
        double e = -3.0 * dSigma;
        const double dStep = std::fabs(e * 0.02);
        const double dLimit = std::fabs(e);
        for (int k = 0; k < nCurveRows; ++k) {
            m_aCurve[k][0] = e;
            m_aCurve[k][1] = Density(e, v);
            if (!(e < dLimit))
                break;
            e = e + dStep;
        }
    }

    m_dMean = dMean;
    m_dSigma = dSigma;
    m_dFinal = static_cast<double>(nFinal);
    m_bValid = true;
    return true;
}
