// CWeighStats: one chart's model: mean, sigma, final value, curve and sample tables of a series of weighings.
#pragma once

// Plain data read directly by the panel drawing (CWeighChart in src/ui adds the drawing).
class CWeighStats {
public:
    CWeighStats();

    // Computes the statistics of count weights (read only, not kept) for a dose whose final value
    // is nFinal. Every call clears the mean and both tables first. Fewer than 10 values (or a null
    // pointer) return false and leave the model invalid; otherwise true and a valid model.
    // All values equal give a valid model with sigma 0.0 and not-a-number densities.
    bool Compute(const double* pValues, int count, int nFinal);

    static constexpr int kCurveRows = 100;
    static constexpr int kSampleRows = 20;
    static constexpr int kCols = 2;

    bool m_bValid;                          // the fields below hold a successful computation
    double m_dMean;                         // arithmetic mean of the series
    double m_dVariance;                     // population variance (divided by n); working value
    double m_dSigma;                        // population standard deviation
    double m_dFinal;                        // the dose's final value
    double m_aCurve[kCurveRows][kCols];     // row k = (offset from the mean, density there)
    double m_aSamples[kSampleRows][kCols];  // row i = (weight i - mean, density there)
    int m_nCurveRows;                       // 100
    int m_nCurveCols;                       // 2
    int m_nSampleRows;                      // 20
    int m_nSampleCols;                      // 2
};
