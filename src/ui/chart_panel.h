// Pure geometry and texts of the chart panels: derived values, point mapping and value formatting.
#pragma once

// Values derived from a panel rectangle (L, T, R, B); divisions truncate.
// The letters are the names the formulas below use.
struct CPanelGeometry {
    int m_nAxisY;        // D = B - 40: y of the horizontal axis
    int m_nAxisTop;      // A = T + 2 * (B / 100): top of the vertical axis and of the mean marker
    int m_nAxisX;        // M = L + (R - L) / 2: x of the final value (the vertical axis)
    int m_nDensityStep;  // H = (D - 4 * (B / 100) - T) / 10: pixels per density step of 0.1
    int m_nSigmaStep;    // J = (M - L - 30) / 3: pixels per standard deviation
};

// Panel coordinates beyond this magnitude are refused, so that every derived coordinate fits an int.
inline constexpr int g_nMaxPanelCoord = 1 << 20;
// Offsets in pixels computed in floating point are used only below this; larger or non-finite
// ones have no place on any surface and their element is skipped (never converted to int).
inline constexpr double g_dMaxPixelOffset = 1.0e9;

// Fills geo from the rectangle; false when a coordinate lies beyond g_nMaxPanelCoord.
bool ComputePanelGeometry(int left, int top, int right, int bottom, CPanelGeometry& geo);

// x of the mean marker: Q = M - P when final > mean, else M + P, with P = |(final - mean) * J / sigma|
// truncated. A mean equal to the final value stands on the axis (Q = M) even when sigma is 0.
// False when P is not finite or too large: the marker has no position then.
bool ComputeMeanMarkerX(double dFinal, double dMean, double dSigma, int nM, int nJ, int& nQ);

// A table row (e, f) as a pixel around the marker x nQ: dx = |e * J / sigma|, dy = |H * f * 10|,
// both truncated; x = Q - dx when e < 0, else Q + dx; y = D - dy. False when dx or dy is not
// finite or too large (sigma 0, not-a-number densities).
bool ComputeChartPoint(double dE, double dF, double dSigma, int nQ, int nD, int nH, int nJ, int& nX, int& nY);

// Room for the longest value text, "90000000.00", and its terminator.
inline constexpr int g_nChartValueSize = 12;

// The text of a chart value: "<<.." below 0 or not a number, "..>>" above 90000000, else "%.2f"
// (negative zero prints as 0.00). Writes it terminated into pszBuffer (nBufferSize bytes) and its
// length into nLength. A buffer too small gets an empty text, length 0, and false.
bool FormatChartValue(double dValue, char* pszBuffer, int nBufferSize, int& nLength);

// Room for the panel's bottom text line: at most 60 bytes of UTF-8 ("б" takes two) and a terminator.
inline constexpr int g_nChartLineSize = 64;

// "б = <sigma>;    S = <mean>;    Final = <final>" as UTF-8; same buffer rules as FormatChartValue.
bool FormatChartTextLine(double dSigma, double dMean, double dFinal, char* pszBuffer, int nBufferSize, int& nLength);
