// CGdiSurface: black panels, pens with their styles, zero-length lines as dots and opaque texts in GDI.
#include "gdi_surface.h"

#include <algorithm>
#include <cstdint>

#include "win32_text.h"

namespace {

// GDI coordinates are 27-bit in practice; anything beyond this lies off every screen and is skipped
// (a mean marker far from its panel), so that no call sees a coordinate it would reject or wrap.
constexpr int64_t kFar = 1 << 16;

bool IsFar(int64_t v)
{
    return v < -kFar || v > kFar;
}

COLORREF ToColorRef(CRgb rgb)
{
    return RGB(rgb.m_byRed, rgb.m_byGreen, rgb.m_byBlue);
}

HPEN CreateGdiPen(const CPen& pen)
{
    return CreatePen(pen.m_eStyle == EPenStyle::Dot ? PS_DOT : PS_SOLID, std::max(1, pen.m_nWidth),
                     ToColorRef(pen.m_rgb));
}

}  // namespace

bool CGdiSurface::Begin()
{
    if (m_hdc != nullptr)
        return false;
    HDC hdc = m_hdcOwn;
    if (hdc == nullptr) {
        if (m_hwnd == nullptr || !IsWindow(m_hwnd))
            return false;
        hdc = GetDC(m_hwnd);
        if (hdc == nullptr)
            return false;
    }
    m_hdc = hdc;
    m_nSaved = SaveDC(m_hdc);
    // The dialog's own font has Cyrillic on a Windows of any language; the context's default
    // (the bitmap System font) has it only where the ANSI code page is Cyrillic. Its letters are
    // drawn without smoothing, in the exact text colour, as the bitmap font's were.
    HFONT hFont = m_hFont;
    if (hFont == nullptr && m_hwnd != nullptr)
        hFont = reinterpret_cast<HFONT>(SendMessageW(m_hwnd, WM_GETFONT, 0, 0));
    LOGFONTW lf;
    if (hFont != nullptr && GetObjectW(hFont, sizeof lf, &lf) == sizeof lf) {
        lf.lfQuality = NONANTIALIASED_QUALITY;
        m_hTextFont = CreateFontIndirectW(&lf);
        if (m_hTextFont != nullptr)
            SelectObject(m_hdc, m_hTextFont);
    }
    return true;
}

void CGdiSurface::End()
{
    if (m_hdc == nullptr)
        return;
    if (m_nSaved != 0)
        RestoreDC(m_hdc, m_nSaved);
    if (m_hdcOwn == nullptr)
        ReleaseDC(m_hwnd, m_hdc);
    if (m_hTextFont != nullptr)
        DeleteObject(m_hTextFont);
    m_hTextFont = nullptr;
    m_hdc = nullptr;
    m_nSaved = 0;
}

void CGdiSurface::FillBlack(int left, int top, int right, int bottom)
{
    if (m_hdc == nullptr)
        return;
    // A far rectangle is cut to what any screen can show; its visible part is the same.
    const int l = static_cast<int>(std::clamp<int64_t>(left, -1, kFar));
    const int t = static_cast<int>(std::clamp<int64_t>(top, -1, kFar));
    const int r = static_cast<int>(std::clamp<int64_t>(right, -1, kFar));
    const int b = static_cast<int>(std::clamp<int64_t>(bottom, -1, kFar));
    if (r <= l || b <= t)
        return;
    HBRUSH hBrush = CreateSolidBrush(RGB(0, 0, 0));
    if (hBrush == nullptr)
        return;
    HGDIOBJ hOldBrush = SelectObject(m_hdc, hBrush);
    HGDIOBJ hOldPen = SelectObject(m_hdc, GetStockObject(BLACK_PEN));
    Rectangle(m_hdc, l, t, r, b);  // border and inside; right and bottom edges excluded
    SelectObject(m_hdc, hOldPen);
    SelectObject(m_hdc, hOldBrush);
    DeleteObject(hBrush);
}

void CGdiSurface::Line(int x1, int y1, int x2, int y2, const CPen& pen)
{
    if (m_hdc == nullptr || IsFar(x1) || IsFar(y1) || IsFar(x2) || IsFar(y2))
        return;
    HPEN hPen = CreateGdiPen(pen);
    if (hPen == nullptr)
        return;
    HGDIOBJ hOld = SelectObject(m_hdc, hPen);
    // The gaps of a dotted line leave what lies below, as on the Linux canvas.
    const int nOldMode = SetBkMode(m_hdc, TRANSPARENT);
    MoveToEx(m_hdc, x1, y1, nullptr);
    LineTo(m_hdc, x2, y2);
    SetBkMode(m_hdc, nOldMode);
    SelectObject(m_hdc, hOld);
    DeleteObject(hPen);
}

void CGdiSurface::Dot(int x, int y, const CPen& pen)
{
    if (m_hdc == nullptr || IsFar(x) || IsFar(y))
        return;
    CPen solid = pen;
    solid.m_eStyle = EPenStyle::Solid;
    HPEN hPen = CreateGdiPen(solid);
    if (hPen == nullptr)
        return;
    HGDIOBJ hOld = SelectObject(m_hdc, hPen);
    // A wide pen's round caps make a zero-length line a disc of the pen's width.
    MoveToEx(m_hdc, x, y, nullptr);
    LineTo(m_hdc, x, y);
    SelectObject(m_hdc, hOld);
    DeleteObject(hPen);
}

void CGdiSurface::Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack)
{
    if (m_hdc == nullptr || pszText == nullptr || IsFar(x) || IsFar(y))
        return;
    wchar_t szText[128];
    const int nLength = Utf8ToWide(pszText, szText, 128);
    if (nLength == 0)
        return;
    SetBkMode(m_hdc, OPAQUE);
    SetBkColor(m_hdc, ToColorRef(rgbBack));
    SetTextColor(m_hdc, ToColorRef(rgbText));
    SetTextAlign(m_hdc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    TextOutW(m_hdc, x, y, szText, nLength);
}
