// CWeighChart: one chart's model (mean, sigma, final value, curve and sample tables) and its drawing entry points.
#pragma once

class IDrawSurface;

// The model is plain data read directly by the panel drawing; the drawing members are defined
// in src/ui (chart_panel.cpp), so this library has no drawing dependency.
class CWeighChart {
public:
    CWeighChart();

    // Computes the statistics of count weights (read only, not kept) for a dose whose final value
    // is nFinal. Every call clears the mean and both tables first. Fewer than 10 values (or a null
    // pointer) return false and leave the model invalid; otherwise true and a valid model.
    // All values equal give a valid model with sigma 0.0 and not-a-number densities.
    bool Compute(const double* pValues, int count, int nFinal);

    // Draws the whole panel (left, top, right, bottom in client pixels) from this model. An invalid
    // model or a final value of 0.0 leaves the panel black, and so does a rectangle with a coordinate
    // beyond 2^20 (too far for any screen; refused so the derived pixels cannot overflow). With
    // sigma 0 the mean marker stands on the axis when the mean is the final value and is left out
    // otherwise (it has no finite place); the curve and the sample dots are not drawn.
    void Draw(IDrawSurface& surface, int left, int top, int right, int bottom) const;
    // Fills the panel black. Uses no model field.
    static void ClearPanel(IDrawSurface& surface, int left, int top, int right, int bottom);
    // The polling status box (690, 64, 761, 94); "Опрос" in red while nPolling is non-zero.
    static void DrawStatus(IDrawSurface& surface, int nPolling);
    // True when left < x - 10, x + 10 < right, top < y and y < bottom (all strict).
    static bool IsInside(int left, int top, int right, int bottom, int x, int y);

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
