// CComPort's portable half: the port name, Close and Reopen, the line's read times, the request/reply conversation.
#include <cstring>

#include "com_port.h"
#include "reply_shape.h"
#include "sleep.h"

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;

}  // namespace

int ComPortNumber(const char* pszPortName)
{
    if (pszPortName == nullptr || std::strncmp(pszPortName, "COM", 3) != 0)
        return 0;
    int nNumber = 0;
    int nDigits = 0;
    for (const char* p = pszPortName + 3; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || ++nDigits > 3)
            return 0;
        nNumber = nNumber * 10 + (*p - '0');
    }
    return nDigits == 0 ? 0 : nNumber;
}

bool CComPort::BeginOpen(CPortParams& params)
{
    // Meant for a closed object: a port already held stays held and usable.
    if (IsOpen())
        return false;
    params.m_szPortName[sizeof params.m_szPortName - 1] = '\0';
    m_params = params;
    m_eOpenError = PORT_OPEN_FAILED;
    return true;
}

// The same on every platform: closing first lets the device come back under its old name.
bool CComPort::Reopen()
{
    Close();
    return Open(m_params);
}

bool CComPort::Close()
{
    const bool bClosed = m_hComm && CloseOsHandle(*m_hComm);
    m_hComm.reset();
    return bClosed;
}

CLineTiming CComPort::LineTiming() const
{
    // A start bit, the data bits, a parity bit when there is one, and the stop bits (1.5 counted as 2).
    const int nBits = 1 + m_params.m_byDataBits + (m_params.m_byParity != 0 ? 1 : 0) + (m_params.m_byStopBits != 0 ? 2 : 1);
    return m_timing.ForRate(m_params.m_nBaud, nBits);
}

bool CComPort::ReadReply(uint8_t* pReply, int* pnLen)
{
    uint8_t abyBlock[kMaxBlock];
    int nCount = 0;
    // One read: a reply is framed by the read's time-outs, then judged by its shape.
    const bool bRead = Read(abyBlock, &nCount);  // false at once without a handle
    if (bRead && nCount > 0 && nCount <= kMaxBlock && IsReplyShape(abyBlock, nCount)) {
        std::memcpy(pReply, abyBlock, static_cast<size_t>(nCount));
        *pnLen = nCount;
        return true;
    }
    // Whatever is still arriving belongs to this refused reply; the next conversation must not see it.
    Drain();
    pReply[0] = 0;
    *pnLen = 0;
    return false;
}

bool CComPort::Exchange(int nKind, int nAddress, int nParam, uint8_t* pReply, int* pnLen)
{
    // The address and the record number travel as raw bytes; 0x0A and 0x0D are not escaped.
    const uint8_t byAddress = static_cast<uint8_t>(static_cast<unsigned>(nAddress) & 0xFFu);
    uint8_t abyFrame[6];
    int nFrame = 0;
    if (nKind == REQ_HL) {
        const uint8_t abyHl[5] = {byAddress, 'H', 'L', kCr, kLf};
        std::memcpy(abyFrame, abyHl, sizeof abyHl);
        nFrame = 5;
    } else if (nKind == REQ_HT) {
        const uint8_t byParam = static_cast<uint8_t>(static_cast<unsigned>(nParam) & 0xFFu);
        const uint8_t abyHt[6] = {byAddress, 'H', 'T', byParam, kCr, kLf};
        std::memcpy(abyFrame, abyHt, sizeof abyHt);
        nFrame = 6;
    }

    uint8_t abyReply[kMaxBlock];
    int nLen = 0;
    if (nFrame > 0 && Write(abyFrame, nFrame)) {
        // The indicator answers within this pause; the one read after it takes what has come.
        OsSleepMs(m_timing.nReplyPauseMs);
        if (ReadReply(abyReply, &nLen) && nLen > 0) {
            std::memcpy(pReply, abyReply, static_cast<size_t>(nLen));
            *pnLen = nLen;
            return true;
        }
    }
    pReply[0] = 0;
    *pnLen = 0;
    return false;
}
