// CRecordingSurface: keeps every drawing call with its arguments so tests can assert on them.
#include "recording_surface.h"

bool CRecordingSurface::Begin()
{
    CDrawCall call;
    call.m_eOp = EDrawOp::Begin;
    m_aCalls.push_back(call);
    return m_bAvailable;
}

void CRecordingSurface::End()
{
    CDrawCall call;
    call.m_eOp = EDrawOp::End;
    m_aCalls.push_back(call);
}

void CRecordingSurface::FillBlack(int left, int top, int right, int bottom)
{
    CDrawCall call;
    call.m_eOp = EDrawOp::FillBlack;
    call.m_nX1 = left;
    call.m_nY1 = top;
    call.m_nX2 = right;
    call.m_nY2 = bottom;
    m_aCalls.push_back(call);
}

void CRecordingSurface::Line(int x1, int y1, int x2, int y2, const CPen& pen)
{
    CDrawCall call;
    call.m_eOp = EDrawOp::Line;
    call.m_nX1 = x1;
    call.m_nY1 = y1;
    call.m_nX2 = x2;
    call.m_nY2 = y2;
    call.m_pen = pen;
    m_aCalls.push_back(call);
}

void CRecordingSurface::Dot(int x, int y, const CPen& pen)
{
    CDrawCall call;
    call.m_eOp = EDrawOp::Dot;
    call.m_nX1 = x;
    call.m_nY1 = y;
    call.m_nX2 = x;
    call.m_nY2 = y;
    call.m_pen = pen;
    m_aCalls.push_back(call);
}

void CRecordingSurface::Text(int x, int y, const char* pszText, CRgb rgbText, CRgb rgbBack)
{
    CDrawCall call;
    call.m_eOp = EDrawOp::Text;
    call.m_nX1 = x;
    call.m_nY1 = y;
    call.m_rgbText = rgbText;
    call.m_rgbBack = rgbBack;
    call.m_strText = pszText != nullptr ? pszText : "";
    m_aCalls.push_back(call);
}

std::vector<CDrawCall> CRecordingSurface::CallsOf(EDrawOp eOp) const
{
    std::vector<CDrawCall> aCalls;
    for (const CDrawCall& call : m_aCalls)
        if (call.m_eOp == eOp)
            aCalls.push_back(call);
    return aCalls;
}

const CDrawCall* CRecordingSurface::FindText(const std::string& strText) const
{
    for (const CDrawCall& call : m_aCalls)
        if (call.m_eOp == EDrawOp::Text && call.m_strText == strText)
            return &call;
    return nullptr;
}
