// CCanvasSurface: the chart drawing surface, painting with QPainter onto an image of the dialog's client area.
#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>

#include "draw_surface.h"

// The window shows Image() at (0, 0) of the client area, above its controls. Pixels never drawn stay
// transparent, so the dialog's own background shows through (a mean marker that falls outside its
// panel paints over the rest of the dialog, as the charts always did). Antialiasing is off.
class CCanvasSurface : public IDrawSurface {
public:
    // Owns a transparent image of this size.
    explicit CCanvasSurface(const QSize& size);
    ~CCanvasSurface() override;
    CCanvasSurface(const CCanvasSurface&) = delete;
    CCanvasSurface& operator=(const CCanvasSurface&) = delete;

    QImage& Image() { return m_image; }

    bool Begin() override;
    void End() override;
    void FillBlack(int left, int top, int right, int bottom) override;
    void Line(int x1, int y1, int x2, int y2, const CPen& pen) override;
    void Dot(int x, int y, const CPen& pen) override;
    void Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack) override;

private:
    QImage m_image;
    QPainter m_painter;
};
