// CWeighChart: one chart panel: the statistics model and its drawing onto the main dialog's client area.
#pragma once

#include "weigh_stats.h"

class IDrawSurface;

// The drawing members are defined in weigh_chart.cpp, from the pure geometry of chart_panel.h.
class CWeighChart : public CWeighStats {
public:
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
};
