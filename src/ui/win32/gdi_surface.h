// CGdiSurface: the chart drawing calls done with GDI, on the dialog's client area or on a given device context.
#pragma once

#include <windows.h>

#include "draw_surface.h"

class CGdiSurface : public IDrawSurface {
public:
    // Draws on the window's client area: each drawing takes its device context with GetDC and gives it
    // back with ReleaseDC. The window may be set later (the dialog exists only after its creation).
    explicit CGdiSurface(HWND hwnd = nullptr) : m_hwnd(hwnd) {}
    // Draws on a device context the caller owns, e.g. a memory bitmap; texts in hFont.
    CGdiSurface(HDC hdc, HFONT hFont) : m_hdcOwn(hdc), m_hFont(hFont) {}
    CGdiSurface(const CGdiSurface&) = delete;
    CGdiSurface& operator=(const CGdiSurface&) = delete;
    ~CGdiSurface() override { End(); }

    void SetWindow(HWND hwnd) { m_hwnd = hwnd; }

    bool Begin() override;
    void End() override;
    void FillBlack(int left, int top, int right, int bottom) override;
    void Line(int x1, int y1, int x2, int y2, const CPen& pen) override;
    void Dot(int x, int y, const CPen& pen) override;
    void Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack) override;

private:
    HWND m_hwnd = nullptr;
    HDC m_hdcOwn = nullptr;
    HFONT m_hFont = nullptr;
    HDC m_hdc = nullptr;  // the context of the drawing under way
    HFONT m_hTextFont = nullptr;  // made for the drawing under way
    int m_nSaved = 0;     // SaveDC level, restored by End
};
