// The serial channel to the indicators and the request/reply protocol spoken over it.
#pragma once

#include <cstdint>
#include <memory>

#include "line_timing.h"
#include "tune_settings.h"

// Request kinds of CComPort::Exchange.
enum { REQ_HL = 0, REQ_HT = 1 };

struct CPortHandle;  // the OS handle, shared by every copy of one opened port (platform file)

// How the last Open of a port failed.
enum EPortOpenError {
    PORT_OPEN_OK = 0,
    PORT_OPEN_BUSY = 1,     // another program holds the port (EBUSY, EWOULDBLOCK from the lock;
                            // ERROR_ACCESS_DENIED / ERROR_SHARING_VIOLATION in the twin)
    PORT_OPEN_FAILED = 2,   // anything else: no such port, refused parameters, ...
};

class CComPort {
public:
    static constexpr int kMaxBlock = 64;  // one read returns at most this many bytes; replies fit in it

    CComPort() = default;
    explicit CComPort(const CLineTiming& timing) : m_timing(timing) {}

    // Copies share the one OS handle. Only the object that is closed closes it, once; a copy then sees no handle.
    CComPort(const CComPort&) = default;
    CComPort& operator=(const CComPort&) = default;

    // Opens the named port exclusively and sets a raw 8-bit line (no XON/XOFF, no byte translated or
    // dropped) at the rate, data bits, parity and stop bits given, whatever the last program on the
    // port left; only hardware flow control keeps what the port had. On POSIX "COMn" is the entry COMn
    // in the current directory when there is one (a link to a device or to the simulator's
    // pseudo-terminal), otherwise /dev/ttyS(n-1); a port last opened as the entry fails while the
    // entry is gone rather than turn into /dev/ttyS(n-1).
    // A baud rate or data-bit count of 0 fails, and the handle is closed again.
    bool Open(CPortParams params);
    // False once any copy closed the shared handle.
    bool IsOpen() const { return m_hComm && IsOsHandleOpen(*m_hComm); }
    // True when a handle was closed successfully; false when there was none. Always leaves the object closed.
    bool Close();
    // Closes the port (dead or not) and opens it again with the parameters of the last Open, which
    // the object keeps. False, with the reason in OpenError and LastErrorText, when that open fails.
    bool Reopen();
    // Why the last Open or Reopen failed; PORT_OPEN_OK after one that succeeded.
    EPortOpenError OpenError() const { return m_eOpenError; }
    // The port name of the last Open ("COM1"), empty before any.
    const char* Name() const { return m_params.m_szPortName; }

    // The device is gone: a hang-up, EIO or ENXIO on a read or write (an unplugged USB adapter;
    // ERROR_BAD_COMMAND, ERROR_DEVICE_REMOVED, ERROR_OPERATION_ABORTED in the twin). Seen by every
    // copy. A dead port fails every Write, Read and Exchange at once, without waiting; only Close
    // or Reopen clears it.
    bool IsDead() const;
    // Treats the port as dead from now on, as a hang-up would (after the system slept).
    void MarkDead();
    // The port's name now resolves to another device than the one held open: on POSIX, an entry
    // COMn that appeared in the folder (or went) since the open; never on Windows. Reopen follows it.
    bool IsStale() const;
    // The system's text for the last failure of this port (open, read, write), terminated and cut to
    // nSize bytes; empty when none failed. strerror here, FormatMessage of GetLastError in the twin.
    void LastErrorText(char* pszBuf, int nSize) const;

    // Writes exactly nCount bytes (at most 64). False when closed, refused or short.
    bool Write(const uint8_t* pData, int nCount);
    // One read of up to 64 bytes into pBuf. A read that times out is not an error: it succeeds with
    // the bytes it got, possibly none. It returns once 64 bytes have come, once the line has been
    // quiet for the read gap (40 ms) after the first byte, and in any case within 64 x 1 + 10 = 74 ms
    // (at 9600 baud and above; slower lines stretch both to their character time, see LineTiming).
    // False only when the object is closed or the OS read fails (e.g. the line was hung up).
    bool Read(uint8_t* pBuf, int* pnCount);
    // Discards arriving bytes until the line has been quiet for one drain read (11 ms), for at most
    // nDrainLimitMs / nDrainLimitBytes, then purges both directions.
    void Drain();

    // One conversation: the request frame, the fixed reply pause, one read, recognition by shape.
    // True with the reply's bytes (the first *pnLen of pReply, at most 64) when a recognised reply came;
    // otherwise pReply[0] = 0 and *pnLen = 0. Bytes of pReply beyond the length are left as they were.
    bool Exchange(int nKind, int nAddress, int nParam, uint8_t* pReply, int* pnLen);
    // Reads one reply and accepts it when it has the HL or the HT shape; otherwise drains the line,
    // sets pReply[0] = 0 and *pnLen = 0 and returns false.
    bool ReadReply(uint8_t* pReply, int* pnLen);

    const CLineTiming& Timing() const { return m_timing; }
    // The read times for the line of the last Open: Timing() stretched to its character time below
    // 9600 baud (CLineTiming::ForRate). Read and Drain run with these.
    CLineTiming LineTiming() const;
    void SetTiming(const CLineTiming& timing) { m_timing = timing; }

private:
    // Close's platform part: closes the shared OS handle when it still has one, so that every copy
    // sees none from then on. True when it was closed successfully.
    static bool CloseOsHandle(CPortHandle& handle);
    static bool IsOsHandleOpen(const CPortHandle& handle);
    // Open's portable start: false for an object that holds an open port; otherwise terminates the
    // name, keeps the parameters for Reopen and marks the open failed until the platform part ends.
    bool BeginOpen(CPortParams& params);

    std::shared_ptr<CPortHandle> m_hComm;  // no handle when empty
    CLineTiming m_timing;
    CPortParams m_params;                        // those of the last Open, for Reopen
    EPortOpenError m_eOpenError = PORT_OPEN_OK;
    int m_nOpenErrno = 0;                        // the system's code of a failed open (platform value)
    char m_szLastDevice[32] = {};                // what the name resolved to at the last open that worked
};

// The n of a port name "COMn" (one to three decimal digits, leading zeros allowed); 0 for any other
// name and for "COM0". Each platform file turns it into its own device path.
int ComPortNumber(const char* pszPortName);

