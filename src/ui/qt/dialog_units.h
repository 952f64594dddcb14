// Dialog units of the Windows dialog templates turned into pixels (base units of its 8-point font: 6/4 px across, 13/8 down).
#pragma once

#include <QRect>

// Rounds as MulDiv does on Windows (half away from zero, for the non-negative values used here).
inline int DluToPixelX(int nUnits)
{
    return (nUnits * 6 + 2) / 4;
}

inline int DluToPixelY(int nUnits)
{
    return (nUnits * 13 + 4) / 8;
}

// A template rectangle (x, y, width, height in dialog units) in client pixels; both edges are
// converted, so that neighbouring controls keep their shared edges.
inline QRect DluRect(int x, int y, int cx, int cy)
{
    const int nLeft = DluToPixelX(x);
    const int nTop = DluToPixelY(y);
    return QRect(nLeft, nTop, DluToPixelX(x + cx) - nLeft, DluToPixelY(y + cy) - nTop);
}
