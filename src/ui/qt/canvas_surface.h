// CCanvasSurface: the chart drawing surface, painting with QPainter onto an image of the dialog's client area.
#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>

#include "draw_surface.h"

// The window shows Image() in its paint event at (0, 0) of the client area. Pixels never drawn stay
// transparent, so the dialog's own background shows through (a mean marker that falls outside its
// panel paints over the rest of the dialog, as the charts always did). Antialiasing is off.
class CCanvasSurface : public IDrawSurface {
public:
    // Owns a transparent image of this size.
    explicit CCanvasSurface(const QSize& size);
    // Paints onto the caller's image, which must outlive this surface and not be painted on by
    // anyone else between Begin and End.
    explicit CCanvasSurface(QImage* pImage);
    ~CCanvasSurface() override;
    CCanvasSurface(const CCanvasSurface&) = delete;
    CCanvasSurface& operator=(const CCanvasSurface&) = delete;

    QImage& Image();
    // Gives the image a new size (after the client area changed), keeping what was drawn at its
    // place; new pixels are transparent. Ignored between Begin and End.
    void Resize(const QSize& size);

    bool Begin() override;
    void End() override;
    void FillBlack(int left, int top, int right, int bottom) override;
    void Line(int x1, int y1, int x2, int y2, const CPen& pen) override;
    void Dot(int x, int y, const CPen& pen) override;
    void Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack) override;

private:
    QImage m_image;     // the owned image, unused when attached
    QImage* m_pImage;   // the image painted on: &m_image or the caller's
    QPainter m_painter;
};
