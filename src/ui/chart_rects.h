// The two chart panel rectangles in client pixels of the main dialog, fixed to fit its group boxes.
#pragma once

struct CChartRect {
    int m_nLeft;
    int m_nTop;
    int m_nRight;
    int m_nBottom;
};

// "Текущие отвесы": the indicator's current weighings.
inline constexpr CChartRect g_rcChartCurrent = {8, 121, 333, 368};
// "Все отвесы": all stored weighings of the indicator.
inline constexpr CChartRect g_rcChartAll = {344, 121, 663, 368};
