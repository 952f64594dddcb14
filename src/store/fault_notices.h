// Failures to keep a record, and a dead line: what the store reports, and the notices the operator sees.
#pragma once

#include <functional>

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
    FAULT_KINDS
};

// Where the store reports a failure to keep records and a failure's end. nAddress is the indicator's
// bus address, -1 for the line; pszSubject the file path or port name; pszSystemText the system's
// own words (may be empty).
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

private:
    static constexpr int kAddresses = 101;  // 0..99, and the line at the last place
    bool m_abShown[kAddresses][FAULT_KINDS] = {};
    bool m_bPolling = false;
    ShowFn m_fnShow;
};
