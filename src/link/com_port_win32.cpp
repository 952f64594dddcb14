// CComPort's Windows half: CreateFileA on \\.\COMn, the DCB, COMMTIMEOUTS, reads, writes, drain. Its POSIX twin is com_port_posix.cpp.
//
// The indicators' line must carry every byte value untouched: addresses and entries 10, 13, 17 and 19
// are LF, CR, XON and XOFF. A port keeps the DCB that the last program on it set (a terminal program
// leaves XON/XOFF on, which swallows 17 and 19 and lets an indicator's 19 stop the transmitter), so
// Open sets the whole line every time, the same raw 8-bit line as the POSIX twin: binary, no XON/XOFF
// either way, no NUL stripping, no error character, no abort on error, DSR ignored, DTR and RTS on.
// Hardware flow control (CTS with RTS handshake) keeps what the port had, as CRTSCTS does there.
// The read contract of CComPort::Read is the driver's own: ReadIntervalTimeout is the read gap,
// ReadTotalTimeoutMultiplier and ReadTotalTimeoutConstant the per-byte and fixed bounds.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>

#include "com_port.h"
#include "system_error.h"

// The open port. Every copy of a CComPort holds the same one; Close sets m_hComm to
// INVALID_HANDLE_VALUE so that the copies see no handle from then on.
struct CPortHandle {
    HANDLE m_hComm = INVALID_HANDLE_VALUE;
    DWORD m_dwLastError = 0;     // the last OS error, kept for the error text and for a debugger
    COMMTIMEOUTS m_timeouts{};   // what the port runs with now: Read and Drain set them only on change
    bool m_bDead = false;        // the device went away (an unplugged adapter, a hung-up line)
    bool m_bTimerRaised = false; // this handle holds a timeBeginPeriod(1)

    CPortHandle() = default;
    CPortHandle(const CPortHandle&) = delete;
    CPortHandle& operator=(const CPortHandle&) = delete;
    // A port nobody closed is released when its last copy goes, so the device does not stay taken.
    ~CPortHandle()
    {
        if (m_hComm != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_hComm);
        LowerTimer();
    }
    // The default tick of 15.6 ms would stretch the 120 ms reply pause to 125 ms and make the
    // 11 ms drain read last 16 ms; with 1 ms the waits keep their meaning. Held while a port is open.
    void RaiseTimer() { m_bTimerRaised = (::timeBeginPeriod(1) == TIMERR_NOERROR); }
    void LowerTimer()
    {
        if (m_bTimerRaised)
            ::timeEndPeriod(1);
        m_bTimerRaised = false;
    }
    bool Usable() const { return m_hComm != INVALID_HANDLE_VALUE && !m_bDead; }
};

namespace {

// A write of at most 64 bytes normally goes at once. Only a line held by hardware flow control can
// stall it; rather than block the caller for ever, the driver gives up after this long.
constexpr DWORD kWriteLimitMs = 2000;

// "COMn" becomes "\\.\COMn": without the device prefix COM10 and above do not open.
bool DevicePath(const char* pszPortName, char* pszPath, size_t cbPath)
{
    const int nNumber = ComPortNumber(pszPortName);
    if (nNumber < 1 || nNumber > 255)
        return false;
    return std::snprintf(pszPath, cbPath, "\\\\.\\COM%d", nNumber) < static_cast<int>(cbPath);
}

// The whole line, whatever the previous program left (see the top of this file). Only the hardware
// flow control is taken from what *pDcb held: CTS watched on output with RTS as its handshake, or neither.
void RawLine(const CPortParams& params, DCB* pDcb)
{
    const bool bHardwareFlow = pDcb->fOutxCtsFlow != 0;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(params.m_nBaud);
    dcb.ByteSize = params.m_byDataBits;
    dcb.Parity = params.m_byParity;
    dcb.StopBits = params.m_byStopBits;
    dcb.fBinary = TRUE;
    dcb.fParity = params.m_byParity != NOPARITY;
    dcb.fOutxCtsFlow = bHardwareFlow;
    dcb.fRtsControl = bHardwareFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // Unused without XON/XOFF, but drivers refuse equal XON and XOFF characters and limits beyond the buffer.
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = pDcb->XonLim;
    dcb.XoffLim = pDcb->XoffLim;
    *pDcb = dcb;
}

bool SetTimeouts(CPortHandle& handle, DWORD dwInterval, DWORD dwPerByte, DWORD dwConst)
{
    COMMTIMEOUTS timeouts = handle.m_timeouts;
    timeouts.ReadIntervalTimeout = dwInterval;
    timeouts.ReadTotalTimeoutMultiplier = dwPerByte;
    timeouts.ReadTotalTimeoutConstant = dwConst;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteLimitMs;
    if (std::memcmp(&timeouts, &handle.m_timeouts, sizeof timeouts) == 0)
        return true;
    if (!::SetCommTimeouts(handle.m_hComm, &timeouts)) {
        handle.m_dwLastError = ::GetLastError();
        return false;
    }
    handle.m_timeouts = timeouts;
    return true;
}

bool SetReadTimeouts(CPortHandle& handle, const CLineTiming& timing)
{
    return SetTimeouts(handle, static_cast<DWORD>(timing.nReadGapMs), static_cast<DWORD>(timing.nReadPerByteMs),
                       static_cast<DWORD>(timing.nReadConstMs));
}

// What a failed call means for the port. FaultOf below is the one place that decides it; Open,
// Write and the reads only hand it the error they got (through RecordFault, for the last three).
enum EPortCall { CALL_OPEN, CALL_IO, CALL_CLEAR_COMM_ERROR };
enum EPortFault {
    FAULT_FAILED,  // this call failed (no such port, refused parameters, a line error, ...); the port may go on
    FAULT_BUSY,    // the port exists but another program holds it
    FAULT_DEAD,    // the device went away (an unplugged adapter, a hung-up line)
};

EPortFault FaultOf(EPortCall eCall, DWORD dwError)
{
    switch (eCall) {
    case CALL_OPEN:
        // Share mode 0 refuses a second open: another program holds the port.
        return (dwError == ERROR_ACCESS_DENIED || dwError == ERROR_SHARING_VIOLATION) ? FAULT_BUSY : FAULT_FAILED;
    case CALL_IO:
        // A read or write error alone does not tell a gone device from a driver stopped by a line error.
        return FAULT_FAILED;
    case CALL_CLEAR_COMM_ERROR:
        // ClearCommError fails only when the device itself went away, whatever code it gives.
        return FAULT_DEAD;
    }
    return FAULT_FAILED;
}

// After a failed call (dwCallError), or a read that brought nothing (0): is the device still there?
// Open turns fAbortOnError off, but a driver that stops the port on a framing or overrun error anyway
// is set going again by ClearCommError. When the device itself went away, ClearCommError fails too;
// a hung-up pseudo-terminal under Wine reads as empty rather than failing, so an empty read is
// checked the same way. Keeps the code for LastErrorText and marks the port dead when FaultOf says so.
void RecordFault(CPortHandle& handle, DWORD dwCallError)
{
    DWORD dwErrors = 0;
    COMSTAT stat{};
    EPortFault eFault = FAULT_FAILED;
    if (::ClearCommError(handle.m_hComm, &dwErrors, &stat)) {
        if (dwCallError != 0)
            handle.m_dwLastError = dwCallError;
        eFault = FaultOf(CALL_IO, dwCallError);
    } else {
        handle.m_dwLastError = ::GetLastError();
        eFault = FaultOf(CALL_CLEAR_COMM_ERROR, handle.m_dwLastError);
    }
    if (eFault == FAULT_DEAD)
        handle.m_bDead = true;
}

}  // namespace

bool CComPort::Open(CPortParams params)
{
    if (!BeginOpen(params))
        return false;
    m_nOpenErrno = ERROR_INVALID_NAME;
    char szPath[16];
    if (!DevicePath(params.m_szPortName, szPath, sizeof szPath))
        return false;
    // A driver may take a rate of 0 (Wine's does, and then hangs the line up): refuse it here.
    m_nOpenErrno = ERROR_INVALID_PARAMETER;
    if (params.m_nBaud <= 0 || params.m_byDataBits < 5 || params.m_byDataBits > 8)
        return false;
    auto hComm = std::make_shared<CPortHandle>();
    // Share mode 0: nobody else may open the port while we hold it.
    hComm->m_hComm = ::CreateFileA(szPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hComm->m_hComm == INVALID_HANDLE_VALUE) {
        const DWORD dwError = ::GetLastError();
        m_nOpenErrno = static_cast<int>(dwError);
        if (FaultOf(CALL_OPEN, dwError) == FAULT_BUSY)
            m_eOpenError = PORT_OPEN_BUSY;
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool bConfigured = ::GetCommState(hComm->m_hComm, &dcb) != 0;
    RawLine(params, &dcb);
    bConfigured = bConfigured && ::SetCommState(hComm->m_hComm, &dcb) &&
                  ::GetCommTimeouts(hComm->m_hComm, &hComm->m_timeouts);
    if (!bConfigured || !SetReadTimeouts(*hComm, LineTiming())) {
        m_nOpenErrno = static_cast<int>(bConfigured ? hComm->m_dwLastError : ::GetLastError());
        return false;  // the handle closes with hComm
    }
    m_eOpenError = PORT_OPEN_OK;
    m_nOpenErrno = 0;
    // Bytes that waited in the driver are not replies to anything we will send.
    (void)::PurgeComm(hComm->m_hComm, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    hComm->RaiseTimer();
    m_hComm = std::move(hComm);
    return true;
}

bool CComPort::IsOsHandleOpen(const CPortHandle& handle)
{
    return handle.m_hComm != INVALID_HANDLE_VALUE;
}

bool CComPort::CloseOsHandle(CPortHandle& handle)
{
    if (handle.m_hComm == INVALID_HANDLE_VALUE)
        return false;
    const HANDLE hComm = handle.m_hComm;
    handle.m_hComm = INVALID_HANDLE_VALUE;
    const bool bClosed = ::CloseHandle(hComm) != 0;
    if (!bClosed)
        handle.m_dwLastError = ::GetLastError();
    handle.LowerTimer();
    return bClosed;
}

void CComPort::MarkDead()
{
    if (m_hComm)
        m_hComm->m_bDead = true;
}

bool CComPort::IsStale() const
{
    return false;  // \\.\COMn names one device for as long as it is open
}

bool CComPort::IsDead() const
{
    return m_hComm && m_hComm->m_bDead;
}

void CComPort::LastErrorText(char* pszBuf, int nSize) const
{
    OsErrorText(m_hComm ? m_hComm->m_dwLastError : static_cast<DWORD>(m_nOpenErrno), pszBuf, nSize);
}

bool CComPort::Write(const uint8_t* pData, int nCount)
{
    if (!m_hComm || !m_hComm->Usable())
        return false;
    if (pData == nullptr || nCount < 0 || nCount > kMaxBlock)
        return false;
    CPortHandle& handle = *m_hComm;
    // The write limit is part of the timeouts, set again when a drain changed the read ones.
    if (!SetReadTimeouts(handle, LineTiming()))
        return false;
    DWORD dwWritten = 0;
    if (!::WriteFile(handle.m_hComm, pData, static_cast<DWORD>(nCount), &dwWritten, nullptr)) {
        RecordFault(handle, ::GetLastError());
        return false;
    }
    if (dwWritten == static_cast<DWORD>(nCount))
        return true;
    RecordFault(handle, ERROR_TIMEOUT);  // the driver did not take the bytes within the write limit
    return false;
}

bool CComPort::Read(uint8_t* pBuf, int* pnCount)
{
    if (!m_hComm || !m_hComm->Usable())
        return false;
    CPortHandle& handle = *m_hComm;
    *pnCount = 0;
    if (!SetReadTimeouts(handle, LineTiming()))
        return false;
    DWORD dwGot = 0;
    if (!::ReadFile(handle.m_hComm, pBuf, kMaxBlock, &dwGot, nullptr)) {
        RecordFault(handle, ::GetLastError());
        return false;
    }
    *pnCount = static_cast<int>(dwGot <= static_cast<DWORD>(kMaxBlock) ? dwGot : kMaxBlock);
    if (dwGot == 0) {
        RecordFault(handle, 0);
        return !handle.m_bDead;
    }
    return true;
}

void CComPort::Drain()
{
    if (!m_hComm || !m_hComm->Usable())
        return;
    CPortHandle& handle = *m_hComm;
    const CLineTiming timing = LineTiming();
    // Each read returns what is waiting, or the first bytes to come, or nothing after one drain read
    // time: quiet means nothing for that long. A line that never falls quiet is given up on after
    // nDrainLimitMs or nDrainLimitBytes, whichever comes first, so it cannot hold the caller.
    if (SetTimeouts(handle, MAXDWORD, MAXDWORD, static_cast<DWORD>(timing.nDrainReadMs))) {
        const ULONGLONG nLimit = ::GetTickCount64() + static_cast<ULONGLONG>(timing.nDrainLimitMs);
        int nDrained = 0;
        uint8_t abyScratch[kMaxBlock];
        while (nDrained < timing.nDrainLimitBytes && ::GetTickCount64() < nLimit) {
            const int nLeft = timing.nDrainLimitBytes - nDrained;
            DWORD dwGot = 0;
            if (!::ReadFile(handle.m_hComm, abyScratch, static_cast<DWORD>(nLeft < kMaxBlock ? nLeft : kMaxBlock),
                            &dwGot, nullptr)) {
                RecordFault(handle, ::GetLastError());
                break;
            }
            if (dwGot == 0)
                break;
            nDrained += static_cast<int>(dwGot);
        }
    }
    (void)::PurgeComm(handle.m_hComm, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}
