// IDrawSurface: the few drawing operations the chart panels need, in client pixels of the main dialog.
#pragma once

#include <cstdint>

// An RGB colour, 0..255 per channel.
struct CRgb {
    uint8_t m_byRed = 0;
    uint8_t m_byGreen = 0;
    uint8_t m_byBlue = 0;
    friend bool operator==(const CRgb&, const CRgb&) = default;
};

enum class EPenStyle { Solid, Dot };

// A pen is handed with every line or dot; the surface keeps no "current pen" between calls.
struct CPen {
    EPenStyle m_eStyle = EPenStyle::Solid;
    int m_nWidth = 1;  // pixels
    CRgb m_rgb;
    friend bool operator==(const CPen&, const CPen&) = default;
};

// What the chart drawing needs of a device. Each drawing brackets its calls with Begin/End (the
// original obtained and released the window's device context for every drawing). Coordinates are
// client pixels; nothing is clipped to a panel: the surface clips only to its own extent.
class IDrawSurface {
public:
    virtual ~IDrawSurface() = default;

    // Obtains the surface for one drawing; false when it cannot be drawn on now (nothing is drawn
    // then, and End is not called).
    virtual bool Begin() = 0;
    virtual void End() = 0;

    // Fills the rectangle black with a 1-pixel black border, covering columns left..right-1 and
    // rows top..bottom-1 (the right and bottom edges are exclusive, as a GDI rectangle).
    virtual void FillBlack(int left, int top, int right, int bottom) = 0;

    // A straight line from (x1, y1) to (x2, y2); the end point itself need not be painted.
    virtual void Line(int x1, int y1, int x2, int y2, const CPen& pen) = 0;

    // A round dot of the pen's width centred on (x, y): what a zero-length line with a wide pen paints.
    virtual void Dot(int x, int y, const CPen& pen) = 0;

    // A UTF-8 text whose top-left corner is at (x, y), in rgbText on an opaque rgbBack background,
    // in the surface's default font.
    virtual void Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack) = 0;
};
