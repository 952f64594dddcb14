// The settings file TK4700_TUNE.INI: the serial parameters, the data directory, and the key=value splitter.
#pragma once

#include <cstdint>

// Shows a message the operator must acknowledge: the settings file cannot be opened, a data file or
// the line failed, records were not written at exit. The window implements it as a critical message
// box with an empty title.
class IErrorReporter {
public:
    virtual ~IErrorReporter() = default;
    virtual void ShowError(const char* pszText) = 0;  // UTF-8
};

// The serial parameters handed from the settings to CComPort::Open.
struct CPortParams {
    int32_t m_nComNumber = 0;      // 1..16, from the port section header
    char m_szPortName[8] = {};     // "COM1".."COM16", or empty
    int32_t m_nBaud = 0;           // one of the accepted rates, or 0
    uint8_t m_byDataBits = 0;      // 5..8, or 0
    uint8_t m_byParity = 0;        // DCB parity code; always 0 (none)
    uint8_t m_byStopBits = 0;      // DCB stop-bits code; always 0 (one)
};

// Splits a line at its first '=' into key and value (later '=' are dropped, nothing trimmed).
// key and value must each hold maxLen + 1 bytes. A line starting with ';' or longer than maxLen
// returns false and leaves key and value untouched; a line without '=' returns false with both empty.
bool SplitKeyValue(const char* pszLine, int maxLen, char* pszKey, char* pszValue);

class CTuneSettings {
public:
    static constexpr const char* kFileName = "TK4700_TUNE.INI";

    // Reads TK4700_TUNE.INI from the current directory. Resets only the data directory and the
    // time-out; the port fields keep what the file does not set. False (after the message through
    // pReporter, when given) when the file cannot be opened.
    bool Load(IErrorReporter* pReporter);
    CPortParams GetPortParams() const;
    // The data directory with the platform's separator ('/', or a backslash on Windows) appended in place when it
    // is not empty and lacks one.
    const char* GetDataDir();

    char m_szDataDir[261] = {};
    int32_t m_nTimeoutBetweenWriteRead = 0;
    int32_t m_nComNumber = 0;
    char m_szPortName[8] = {};
    int32_t m_nBaud = 0;
    uint8_t m_byDataBits = 0;
    uint8_t m_byParity = 0;
    uint8_t m_byStopBits = 0;
};
