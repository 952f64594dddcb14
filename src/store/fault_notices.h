// Failures to keep a record, and a dead line: what the store reports, the notices the operator sees, and the event log.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// The kinds of failure. Each is shown once per indicator until that thing works again.
enum EStoreFault {
    FAULT_DATA_OPEN = 0,    // the data file exists but cannot be opened (or created)
    FAULT_TUNE_READ,        // the tuning file exists but cannot be read
    FAULT_TUNE_WRITE,       // the changed tuning cannot be written
    FAULT_MOVE_ASIDE,       // the old data file cannot be moved aside for a changed tuning
    FAULT_DATA_READ,        // the data file cannot be read back at a search
    FAULT_TORN_TAIL,        // a torn last line cannot be moved to its side file
    FAULT_RECORD_WRITE,     // a record cannot be written or flushed to the data file
    FAULT_NO_DATA_FILE,     // a record completed on an indicator that has no data file
    FAULT_LINE_DEAD,        // the line's device is gone
    FAULT_PORT_OPEN,        // the port cannot be opened
    FAULT_PORT_BUSY,        // the port cannot be opened: another program holds it
    FAULT_FLUSH_SLOW,       // a write to the data file has not returned within a second
    FAULT_FLUSH_RESUMED,    // ...and has now returned
    FAULT_QUEUE_FULL,       // too many records wait for the disk: this one is not kept in the file
    FAULT_RECORD_TORN,      // a record went in part and could not be cut off: later ones wait for a search
    FAULT_DATA_REPLACED,    // the data file was replaced or removed under the program: its name is written again
    FAULT_DATA_CLOSE,       // the data file reported an error as it was closed for a search
    FAULT_TORN_MOVED,       // not a failure: a torn last line was moved to its side file (told each time)
    FAULT_KINDS
};

// Where the store reports a failure to keep records and a failure's end. nAddress is the indicator's
// bus address, -1 for the line; pszSubject the file path or port name; pszSystemText the system's
// own words (may be empty). Two kinds carry something else there: FAULT_TORN_MOVED the number of bytes
// moved, FAULT_NO_DATA_FILE why the data file was given up (FormatGivenUp's text, may be empty).
class IStoreFaults {
public:
    virtual ~IStoreFaults() = default;
    virtual void Report(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText) = 0;
    // That thing works again: the next failure of the kind is shown anew.
    virtual void Cleared(EStoreFault eKind, int nAddress) = 0;
};

// Builds the operator's Russian text, writes a timestamped line to standard error for every report,
// and shows the text (through fnShow, the window's non-modal warning) once per indicator and kind
// until Cleared. Toolkit-free.
class CFaultNotices : public IStoreFaults {
public:
    using ShowFn = std::function<void(const char* pszText)>;
    explicit CFaultNotices(ShowFn fnShow) : m_fnShow(std::move(fnShow)) {}
    void Report(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText) override;
    void Cleared(EStoreFault eKind, int nAddress) override;
    // Forgets what was shown for every indicator (a new search starts over); the line's state stays.
    void ClearIndicators();
    // While polling, "Поиск" is disabled: the dead line's notice says to press "Стоп" first.
    void SetPolling(bool bPolling) { m_bPolling = bPolling; }

    // The operator's text of a failure (UTF-8), into pszBuf of nSize bytes.
    static void FormatText(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText,
                           char* pszBuf, int nSize, bool bPolling = false);
    // Why a data file was given up at a search, from the failure that gave it up and the system's
    // words: the reason that later FAULT_NO_DATA_FILE notices of that indicator repeat.
    static void FormatGivenUp(EStoreFault eCause, const char* pszSystemText, char* pszBuf, int nSize);

private:
    static constexpr int kAddresses = 101;  // 0..99, and the line at the last place
    bool m_abShown[kAddresses][FAULT_KINDS] = {};
    bool m_bPolling = false;
    ShowFn m_fnShow;
};

// The event log: each line that goes to standard error also goes to a file, since a GUI program on
// Windows has no standard error. Lines are appended and flushed, each with the local time and its
// UTC offset ("2026-12-07 15:00:00 +0300 tk-dedi: ..."). The file never grows past its limit: a
// line that would carry it further first renames it to "<name>.1" (replacing the one before) and
// starts it anew. A file that cannot be written stops nothing and is told once on standard error.
// Safe to call from any thread.
class CEventLog {
public:
    static constexpr int64_t kLimitBytes = 1024 * 1024;
    explicit CEventLog(std::string strPath, int64_t nLimitBytes = kLimitBytes)
        : m_strPath(std::move(strPath)), m_nLimitBytes(nLimitBytes) {}
    // The program's own: tk-dedi.log in the current folder.
    static CEventLog& Program();
    void Write(const char* pszText);

private:
    bool WriteFile(const char* pszLine, int nLen);
    std::mutex m_mutex;
    const std::string m_strPath;
    const int64_t m_nLimitBytes;
    bool m_bFailureTold = false;
};
