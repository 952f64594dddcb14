// CCanvasSurface: paints the chart drawing calls with QPainter onto an image of the dialog's client area.
#include "canvas_surface.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPen>
#include <QString>

#include <algorithm>
#include <cstdint>

namespace {

QColor ToColor(CRgb rgb)
{
    return QColor(rgb.m_byRed, rgb.m_byGreen, rgb.m_byBlue);
}

QPen ToPen(const CPen& pen, Qt::PenCapStyle eCap)
{
    QPen qpen(ToColor(pen.m_rgb));
    qpen.setWidth(std::max(1, pen.m_nWidth));
    qpen.setStyle(pen.m_eStyle == EPenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
    qpen.setCapStyle(eCap);
    return qpen;
}

}  // namespace

CCanvasSurface::CCanvasSurface(const QSize& size) : m_image(size, QImage::Format_ARGB32_Premultiplied)
{
    m_image.fill(Qt::transparent);
}

CCanvasSurface::~CCanvasSurface()
{
    if (m_painter.isActive())
        m_painter.end();
}

bool CCanvasSurface::Begin()
{
    if (m_painter.isActive() || m_image.isNull())
        return false;
    if (!m_painter.begin(&m_image))
        return false;
    // Hard pixels, as the panels were always drawn: no smoothing of lines, dots or letters.
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setRenderHint(QPainter::TextAntialiasing, false);
    QFont font = m_painter.font();
    font.setStyleStrategy(QFont::NoAntialias);
    m_painter.setFont(font);
    return true;
}

void CCanvasSurface::End()
{
    if (m_painter.isActive())
        m_painter.end();
}

void CCanvasSurface::FillBlack(int left, int top, int right, int bottom)
{
    if (!m_painter.isActive())
        return;
    // Clamped to the image in 64 bits: a caller's far rectangle must not overflow a width.
    const int64_t x0 = std::max<int64_t>(left, 0);
    const int64_t y0 = std::max<int64_t>(top, 0);
    const int64_t x1 = std::min<int64_t>(right, m_image.width());
    const int64_t y1 = std::min<int64_t>(bottom, m_image.height());
    if (x1 <= x0 || y1 <= y0)
        return;
    m_painter.fillRect(QRect(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                             static_cast<int>(y1 - y0)),
                       Qt::black);
}

void CCanvasSurface::Line(int x1, int y1, int x2, int y2, const CPen& pen)
{
    if (!m_painter.isActive())
        return;
    // A line wholly off the image (a mean marker far outside) is not handed to the rasteriser.
    const int64_t nMargin = std::max(1, pen.m_nWidth);
    if (std::max<int64_t>(x1, x2) < -nMargin || std::min<int64_t>(x1, x2) > m_image.width() + nMargin ||
        std::max<int64_t>(y1, y2) < -nMargin || std::min<int64_t>(y1, y2) > m_image.height() + nMargin)
        return;
    m_painter.setPen(ToPen(pen, Qt::FlatCap));
    m_painter.drawLine(QLineF(x1, y1, x2, y2));
}

void CCanvasSurface::Dot(int x, int y, const CPen& pen)
{
    if (!m_painter.isActive())
        return;
    const int64_t nMargin = std::max(1, pen.m_nWidth);
    if (x < -nMargin || x > m_image.width() + nMargin || y < -nMargin || y > m_image.height() + nMargin)
        return;
    // Qt paints nothing for a zero-length line; a point with a round cap is the round dot.
    QPen qpen = ToPen(pen, Qt::RoundCap);
    qpen.setStyle(Qt::SolidLine);
    m_painter.setPen(qpen);
    m_painter.drawPoint(x, y);
}

void CCanvasSurface::Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack)
{
    if (!m_painter.isActive() || pszText == nullptr)
        return;
    const int64_t nLimit = 1 << 24;
    if (x < -nLimit || x > nLimit || y < -nLimit || y > nLimit)
        return;
    const QString strText = QString::fromUtf8(pszText);
    const QFontMetrics fm = m_painter.fontMetrics();
    // The opaque background is the text's cell: its advance by the font's full height.
    m_painter.setBackgroundMode(Qt::OpaqueMode);
    m_painter.setBackground(QBrush(ToColor(rgbBack)));
    m_painter.fillRect(QRect(x, y, fm.horizontalAdvance(strText), fm.height()), ToColor(rgbBack));
    m_painter.setPen(ToColor(rgbText));
    m_painter.drawText(QPoint(x, y + fm.ascent()), strText);
}
