// CRecordingSurface: a drawing surface that keeps every call with its arguments, for tests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "draw_surface.h"

enum class EDrawOp { Begin, End, FillBlack, Line, Dot, Text };

// FillBlack: (m_nX1, m_nY1, m_nX2, m_nY2) = (left, top, right, bottom); Line: from (m_nX1, m_nY1)
// to (m_nX2, m_nY2); Dot: (m_nX1, m_nY1); Text: top-left (m_nX1, m_nY1), m_strText in m_rgbText on m_rgbBack.
struct CDrawCall {
    EDrawOp m_eOp = EDrawOp::Begin;
    int m_nX1 = 0, m_nY1 = 0, m_nX2 = 0, m_nY2 = 0;
    CPen m_pen;
    CRgb m_rgbText, m_rgbBack;
    std::string m_strText;
};

class CRecordingSurface : public IDrawSurface {
public:
    bool Begin() override { return Add(EDrawOp::Begin), m_bAvailable; }
    void End() override { Add(EDrawOp::End); }
    void FillBlack(int left, int top, int right, int bottom) override { Add(EDrawOp::FillBlack, left, top, right, bottom); }
    void Line(int x1, int y1, int x2, int y2, const CPen& pen) override { Add(EDrawOp::Line, x1, y1, x2, y2).m_pen = pen; }
    void Dot(int x, int y, const CPen& pen) override { Add(EDrawOp::Dot, x, y, x, y).m_pen = pen; }
    void Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack) override
    {
        m_aCalls.push_back(CDrawCall{EDrawOp::Text, x, y, 0, 0, CPen{}, rgbText, rgbBack, pszText != nullptr ? pszText : ""});
    }
    // The calls of one op (with one pen, when given), in their order.
    std::vector<CDrawCall> CallsOf(EDrawOp eOp, const CPen* pPen = nullptr) const
    {
        std::vector<CDrawCall> aCalls;
        for (const CDrawCall& call : m_aCalls)
            if (call.m_eOp == eOp && (pPen == nullptr || call.m_pen == *pPen))
                aCalls.push_back(call);
        return aCalls;
    }
    bool HasText(const std::string& strText) const
    {
        return std::ranges::any_of(m_aCalls, [&](const CDrawCall& call) { return call.m_eOp == EDrawOp::Text && call.m_strText == strText; });
    }

    bool m_bAvailable = true;  // what Begin answers; false stands for a surface that cannot be had
    std::vector<CDrawCall> m_aCalls;

private:
    CDrawCall& Add(EDrawOp eOp, int x1 = 0, int y1 = 0, int x2 = 0, int y2 = 0)
    {
        return m_aCalls.emplace_back(CDrawCall{eOp, x1, y1, x2, y2, CPen{}, CRgb{}, CRgb{}, std::string()});
    }
};
