// CRecordingSurface: a drawing surface that records every call with its arguments, for tests.
#pragma once

#include <string>
#include <vector>

#include "draw_surface.h"

enum class EDrawOp { Begin, End, FillBlack, Line, Dot, Text };

// One recorded call. FillBlack: (m_nX1, m_nY1, m_nX2, m_nY2) = (left, top, right, bottom);
// Line: from (m_nX1, m_nY1) to (m_nX2, m_nY2) with m_pen; Dot: (m_nX1, m_nY1) with m_pen;
// Text: top-left (m_nX1, m_nY1), m_strText in m_rgbText on m_rgbBack.
struct CDrawCall {
    EDrawOp m_eOp = EDrawOp::Begin;
    int m_nX1 = 0;
    int m_nY1 = 0;
    int m_nX2 = 0;
    int m_nY2 = 0;
    CPen m_pen;
    CRgb m_rgbText;
    CRgb m_rgbBack;
    std::string m_strText;
};

class CRecordingSurface : public IDrawSurface {
public:
    bool Begin() override;
    void End() override;
    void FillBlack(int left, int top, int right, int bottom) override;
    void Line(int x1, int y1, int x2, int y2, const CPen& pen) override;
    void Dot(int x, int y, const CPen& pen) override;
    void Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack) override;

    // The calls of one op, in their order.
    std::vector<CDrawCall> CallsOf(EDrawOp eOp) const;
    // The first text call with exactly this text, or null.
    const CDrawCall* FindText(const std::string& strText) const;

    bool m_bAvailable = true;  // what Begin answers; false stands for a surface that cannot be had
    std::vector<CDrawCall> m_aCalls;
};
