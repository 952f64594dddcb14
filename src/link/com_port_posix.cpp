// CComPort's POSIX half: open, raw termios line, poll()-bounded reads, writes, drain. Its Windows twin is com_port_win32.cpp.
//
// The indicators' line must carry every byte value untouched: addresses and record numbers 10, 13,
// 17 and 19 are LF, CR, XON and XOFF. A tty starts in canonical mode with echo, CR/NL translation
// and often XON/XOFF, and keeps whatever the last program on it set. So Open puts the line into
// raw byte transport (no ICANON, ECHO, ISIG, IEXTEN, ICRNL, INLCR, IGNCR, ISTRIP, IXON, IXOFF, OPOST;
// CLOCAL | CREAD; VMIN = VTIME = 0) and sets rate, data bits, parity and stop bits, while hardware
// flow control (CRTSCTS) and the other control flags keep the values the port already had. The
// Windows twin sets the same raw line through its whole DCB.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "com_port.h"
#include "system_error.h"

// The open port. Every copy of a CComPort holds the same one; Close sets m_nFd to -1 so that the
// copies see no handle from then on.
struct CPortHandle {
    int m_nFd = -1;
    int m_nLastErrno = 0;  // the last OS error, for LastErrorText and a debugger
    bool m_bDead = false;  // the device is gone: nothing waits on it any more

    CPortHandle() = default;
    CPortHandle(const CPortHandle&) = delete;
    CPortHandle& operator=(const CPortHandle&) = delete;
    // A port nobody closed is released when its last copy goes, so the device does not stay locked.
    ~CPortHandle()
    {
        if (m_nFd >= 0) {
            // TIOCEXCL outlives this descriptor while others hold the device; lift it as Close does.
            (void)::ioctl(m_nFd, TIOCNXCL);
            ::close(m_nFd);
        }
    }
};

namespace {

// A write of at most 64 bytes normally goes at once. Only a line held by hardware flow control can
// stall it; rather than block the caller for ever, give up after this long.
constexpr int kWriteLimitMs = 2000;

int64_t NowNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr int64_t MsToNs(int nMs) { return static_cast<int64_t>(nMs) * 1000000; }

// What a failed call means for the port. FaultOf below is the one place that decides it; Open,
// Write and the reads only hand it the errno they got.
enum EPortCall { CALL_OPEN, CALL_WRITE, CALL_READ };
enum EPortFault {
    FAULT_FAILED,  // this call failed (no such port, refused parameters, ...); the port may go on
    FAULT_BUSY,    // the port exists but another program holds it
    FAULT_DEAD,    // the device is gone: nothing waits on it any more
};

EPortFault FaultOf(EPortCall eCall, int nErrno)
{
    switch (eCall) {
    case CALL_OPEN:
        // TIOCEXCL refuses a second open with EBUSY, the lock with EWOULDBLOCK: another program has it.
        return (nErrno == EBUSY || nErrno == EWOULDBLOCK) ? FAULT_BUSY : FAULT_FAILED;
    case CALL_WRITE:
        // The adapter was unplugged: its device answers EIO or ENXIO from now on.
        return (nErrno == EIO || nErrno == ENXIO) ? FAULT_DEAD : FAULT_FAILED;
    case CALL_READ:
        // The reads ask poll first: its error, a hang-up, or a read that fails (or finds the end of
        // file) once poll said readable all mean the other end of the line has gone.
        return FAULT_DEAD;
    }
    return FAULT_FAILED;
}

// Keeps nErrno for LastErrorText (0: no new code, as after a hang-up) and marks the port dead when
// FaultOf says so.
void RecordFault(CPortHandle& handle, EPortCall eCall, int nErrno)
{
    if (nErrno != 0)
        handle.m_nLastErrno = nErrno;
    if (FaultOf(eCall, nErrno) == FAULT_DEAD)
        handle.m_bDead = true;
}

enum EWait { WAIT_READY, WAIT_TIMEOUT, WAIT_HANGUP, WAIT_ERROR };

// Waits until fd is ready for nEvents or the monotonic deadline passes. EINTR is retried with the
// time that is left.
EWait WaitFd(int nFd, short nEvents, int64_t nDeadlineNs, int* pnErrno)
{
    for (;;) {
        const int64_t nLeftNs = nDeadlineNs - NowNs();
        if (nLeftNs <= 0)
            return WAIT_TIMEOUT;
        pollfd pfd{nFd, nEvents, 0};
#if defined(__APPLE__)
        // No ppoll here: whole milliseconds, rounded up so that a wait never ends early.
        const int nReady = ::poll(&pfd, 1, static_cast<int>((nLeftNs + 999999) / 1000000));
#else
        // ppoll waits to the nanosecond; poll's whole milliseconds would stretch each wait by up to 1 ms.
        timespec tsLeft{static_cast<time_t>(nLeftNs / 1000000000), static_cast<long>(nLeftNs % 1000000000)};
        const int nReady = ::ppoll(&pfd, 1, &tsLeft, nullptr);
#endif
        if (nReady < 0) {
            if (errno == EINTR)
                continue;
            *pnErrno = errno;
            return WAIT_ERROR;
        }
        if (nReady == 0)
            continue;  // the deadline is checked again at the top
        if (pfd.revents & nEvents)
            return WAIT_READY;  // data first, even when the line was hung up behind it
        if (pfd.revents & POLLHUP)
            return WAIT_HANGUP;
        *pnErrno = EIO;
        return WAIT_ERROR;
    }
}

enum EReadResult { READ_OK, READ_HANGUP };

// Reads into pBuf until nMax bytes have come, or nGapMs pass without a byte once one has come,
// or nTotalMs pass in all. Nothing arriving is not an error. The caller sleeps in ppoll, never spins.
EReadResult ReadBounded(CPortHandle& handle, uint8_t* pBuf, int nMax, int nTotalMs, int nGapMs, int* pnGot)
{
    const int64_t nStartNs = NowNs();
    const int64_t nTotalDeadlineNs = nStartNs + MsToNs(nTotalMs);
    int64_t nGapDeadlineNs = INT64_MAX;
    int nGot = 0;
    *pnGot = 0;
    while (nGot < nMax) {
        const int64_t nDeadlineNs = nGapDeadlineNs < nTotalDeadlineNs ? nGapDeadlineNs : nTotalDeadlineNs;
        int nErrno = 0;  // stays 0 on a hang-up
        const EWait eWait = WaitFd(handle.m_nFd, POLLIN, nDeadlineNs, &nErrno);
        if (eWait == WAIT_TIMEOUT)
            break;
        if (eWait != WAIT_READY) {
            RecordFault(handle, CALL_READ, nErrno);
            *pnGot = nGot;
            return READ_HANGUP;
        }
        const ssize_t nRead = ::read(handle.m_nFd, pBuf + nGot, static_cast<size_t>(nMax - nGot));
        if (nRead > 0) {
            nGot += static_cast<int>(nRead);
            nGapDeadlineNs = NowNs() + MsToNs(nGapMs);
            continue;
        }
        if (nRead < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;  // nothing yet after all
        // 0 after poll said readable is end of file.
        RecordFault(handle, CALL_READ, (nRead < 0) ? errno : EIO);
        *pnGot = nGot;
        return READ_HANGUP;
    }
    *pnGot = nGot;
    return READ_OK;
}

speed_t SpeedFor(int32_t nBaud)
{
    switch (nBaud) {
    case 110: return B110;
    case 300: return B300;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
    default: return B0;  // 0 and every other rate: the port refuses it
    }
}

bool DataBitsFlag(uint8_t byBits, tcflag_t* pnFlag)
{
    switch (byBits) {
    case 5: *pnFlag = CS5; return true;
    case 6: *pnFlag = CS6; return true;
    case 7: *pnFlag = CS7; return true;
    case 8: *pnFlag = CS8; return true;
    default: return false;
    }
}

// Parity in the DCB encoding: 0 none, 1 odd, 2 even, 3 mark, 4 space.
bool ApplyParity(uint8_t byParity, termios* pTio)
{
    tcflag_t nParity = 0;
    switch (byParity) {
    case 0: break;
    case 1: nParity = PARENB | PARODD; break;
    case 2: nParity = PARENB; break;
#ifdef CMSPAR
    case 3: nParity = PARENB | CMSPAR | PARODD; break;
    case 4: nParity = PARENB | CMSPAR; break;
#endif
    default: return false;
    }
    tcflag_t nMask = PARENB | PARODD;
#ifdef CMSPAR
    nMask |= CMSPAR;
#endif
    pTio->c_cflag = (pTio->c_cflag & ~nMask) | nParity;
    return true;
}

// Stop bits in the DCB encoding: 0 one, 1 one and a half (no termios equivalent), 2 two.
bool ApplyStopBits(uint8_t byStopBits, termios* pTio)
{
    if (byStopBits == 0)
        pTio->c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    else if (byStopBits == 2)
        pTio->c_cflag |= CSTOPB;
    else
        return false;
    return true;
}

// "COMn" names the entry COMn in the current directory when there is one (a link to a stable
// device name, or to the simulator's pseudo-terminal), otherwise /dev/ttyS(n-1).
bool DevicePath(const char* pszPortName, char* pszPath, size_t cbPath)
{
    const int nNumber = ComPortNumber(pszPortName);
    if (nNumber < 1)
        return false;
    struct stat st {};
    if (::lstat(pszPortName, &st) == 0)
        return std::snprintf(pszPath, cbPath, "./%s", pszPortName) < static_cast<int>(cbPath);
    return std::snprintf(pszPath, cbPath, "/dev/ttyS%d", nNumber - 1) < static_cast<int>(cbPath);
}

bool Configure(int nFd, const CPortParams& params)
{
    termios tio{};
    if (::tcgetattr(nFd, &tio) != 0)
        return false;
    const speed_t nSpeed = SpeedFor(params.m_nBaud);
    tcflag_t nSize = 0;
    if (nSpeed == B0 || !DataBitsFlag(params.m_byDataBits, &nSize))
        return false;
    if (::cfsetispeed(&tio, nSpeed) != 0 || ::cfsetospeed(&tio, nSpeed) != 0)
        return false;
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | nSize;
    if (!ApplyParity(params.m_byParity, &tio) || !ApplyStopBits(params.m_byStopBits, &tio))
        return false;

    // Raw byte transport, the line the Windows twin sets too (see the top of this file).
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                          IXON | IXOFF | IXANY);
#ifdef IUCLC
    tio.c_iflag &= ~static_cast<tcflag_t>(IUCLC);
#endif
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(nFd, TCSANOW, &tio) == 0;
}

// Opens the device exclusively. TIOCEXCL keeps other users out (but not root); the lock keeps a
// second copy of this program out whoever runs it.
int OpenExclusive(const char* pszPath, int* pnErrno)
{
    const int nFd = ::open(pszPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0) {
        *pnErrno = errno;
        return -1;
    }
    if (::ioctl(nFd, TIOCEXCL) != 0 || ::flock(nFd, LOCK_EX | LOCK_NB) != 0) {
        *pnErrno = errno;
        ::close(nFd);
        return -1;
    }
    return nFd;
}

}  // namespace

bool CComPort::Open(CPortParams params)
{
    if (!BeginOpen(params))
        return false;
    m_nOpenErrno = EINVAL;
    char szPath[32];
    if (!DevicePath(params.m_szPortName, szPath, sizeof szPath))
        return false;
    // A port that was the folder's entry COMn (an adapter's link) does not turn silently into
    // /dev/ttyS(n-1) when the entry has gone (the adapter is out): the open fails and is told.
    if (std::strcmp(m_szLastDevice, szPath) != 0 && std::strncmp(m_szLastDevice, "./", 2) == 0 &&
        std::strcmp(m_szLastDevice + 2, params.m_szPortName) == 0) {
        m_nOpenErrno = ENOENT;
        return false;
    }
    auto hComm = std::make_shared<CPortHandle>();
    hComm->m_nFd = OpenExclusive(szPath, &hComm->m_nLastErrno);
    m_nOpenErrno = hComm->m_nLastErrno;
    if (hComm->m_nFd < 0) {
        if (FaultOf(CALL_OPEN, m_nOpenErrno) == FAULT_BUSY)
            m_eOpenError = PORT_OPEN_BUSY;
        return false;
    }
    if (!Configure(hComm->m_nFd, params)) {
        m_nOpenErrno = errno;
        return false;  // the handle closes with hComm
    }
    m_eOpenError = PORT_OPEN_OK;
    m_nOpenErrno = 0;
    std::snprintf(m_szLastDevice, sizeof m_szLastDevice, "%s", szPath);
    // Bytes that waited in the driver (e.g. written to a pseudo-terminal before anyone held it)
    // are not replies to anything we will send.
    (void)::tcflush(hComm->m_nFd, TCIOFLUSH);
    m_hComm = std::move(hComm);
    return true;
}

bool CComPort::IsOsHandleOpen(const CPortHandle& handle)
{
    return handle.m_nFd >= 0;
}

bool CComPort::CloseOsHandle(CPortHandle& handle)
{
    if (handle.m_nFd < 0)
        return false;
    const int nFd = handle.m_nFd;
    handle.m_nFd = -1;
    // TIOCEXCL stays on the device while anyone else holds it open; the next program must get in.
    (void)::ioctl(nFd, TIOCNXCL);
    // On Linux the descriptor is gone even when close reports EINTR; never close it twice.
    const bool bClosed = (::close(nFd) == 0 || errno == EINTR);
    if (!bClosed)
        handle.m_nLastErrno = errno;
    return bClosed;
}

void CComPort::MarkDead()
{
    if (m_hComm)
        m_hComm->m_bDead = true;
}

bool CComPort::IsStale() const
{
    char szPath[32];
    return m_hComm && m_hComm->m_nFd >= 0 && DevicePath(m_params.m_szPortName, szPath, sizeof szPath) &&
           std::strcmp(szPath, m_szLastDevice) != 0;
}

bool CComPort::IsDead() const
{
    return m_hComm && m_hComm->m_bDead;
}

void CComPort::LastErrorText(char* pszBuf, int nSize) const
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    const int nErrno = m_hComm ? m_hComm->m_nLastErrno : m_nOpenErrno;
    OsErrorText(static_cast<unsigned long>(nErrno), pszBuf, nSize);
}

bool CComPort::Write(const uint8_t* pData, int nCount)
{
    if (!m_hComm || m_hComm->m_nFd < 0 || m_hComm->m_bDead)
        return false;
    if (pData == nullptr || nCount < 0 || nCount > kMaxBlock)
        return false;
    CPortHandle& handle = *m_hComm;
    const int64_t nDeadlineNs = NowNs() + MsToNs(kWriteLimitMs);
    int nDone = 0;
    while (nDone < nCount) {
        const ssize_t nWritten = ::write(handle.m_nFd, pData + nDone, static_cast<size_t>(nCount - nDone));
        if (nWritten > 0) {
            nDone += static_cast<int>(nWritten);
            continue;
        }
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (WaitFd(handle.m_nFd, POLLOUT, nDeadlineNs, &handle.m_nLastErrno) == WAIT_READY)
                continue;
            return false;
        }
        RecordFault(handle, CALL_WRITE, (nWritten < 0) ? errno : EIO);
        return false;
    }
    return true;
}

bool CComPort::Read(uint8_t* pBuf, int* pnCount)
{
    if (!m_hComm || m_hComm->m_nFd < 0 || m_hComm->m_bDead)
        return false;
    const CLineTiming timing = LineTiming();
    const int nTotalMs = kMaxBlock * timing.nReadPerByteMs + timing.nReadConstMs;
    return ReadBounded(*m_hComm, pBuf, kMaxBlock, nTotalMs, timing.nReadGapMs, pnCount) == READ_OK;
}

void CComPort::Drain()
{
    if (!m_hComm || m_hComm->m_nFd < 0 || m_hComm->m_bDead)
        return;
    CPortHandle& handle = *m_hComm;
    // Quiet means: nothing for one drain read. A line that never falls quiet is given up on after
    // nDrainLimitMs or nDrainLimitBytes, whichever comes first, so it cannot hold the caller.
    const CLineTiming timing = LineTiming();
    const int64_t nLimitNs = NowNs() + MsToNs(timing.nDrainLimitMs);
    int nDrained = 0;
    uint8_t abyScratch[kMaxBlock];
    while (nDrained < timing.nDrainLimitBytes && NowNs() < nLimitNs) {
        int nLeft = timing.nDrainLimitBytes - nDrained;
        int nGot = 0;
        // Several bytes per call where they are waiting: the same quiet rule as one byte at a time,
        // with fewer calls on a busy line.
        const EReadResult eResult = ReadBounded(handle, abyScratch, nLeft < kMaxBlock ? nLeft : kMaxBlock,
                                                timing.nDrainReadMs, 0, &nGot);
        if (eResult != READ_OK || nGot == 0)
            break;
        nDrained += nGot;
    }
    (void)::tcflush(handle.m_nFd, TCIOFLUSH);
}
