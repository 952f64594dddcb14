// Reading TK4700_TUNE.INI: byte scan, sections, keys and accepted values; the key=value splitter.
#include "tune_settings.h"

#include <cstdio>
#include <cstring>

#include "decimal_text.h"
#include "file_access.h"
#include "path_rules.h"
#include "text_decode.h"

namespace {

constexpr int kKeyLineMax = 64;     // a key line longer than this is ignored
constexpr int kLineBufSize = 128;   // the current line: at most 127 characters are kept
constexpr int kDataDirMax = 260;    // m_szDataDir holds this many characters plus the terminator

constexpr const char* kOpenErrorText = "Не могу открыть файл настроек TK4700_TUNE.INI";

enum ESection { SECTION_NONE, SECTION_COMMON, SECTION_PORT };

// The rates the indicators' line may run at; anything else (600, 14400, ...) reads as 0.
constexpr int32_t g_anAcceptedBauds[] = {110,   300,   1200,   2400,   4800,   9600,  19200,
                                         38400, 57600, 115200, 230400, 460800, 921600};

// Only a..z change: the file may hold Cyrillic text in code page 1251, which must stay as it is.
inline char UpperLatin(char ch)
{
    return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
}

// DATA, PARITY and STOP keep only the low 8 bits of the number, so DATA=264 reads as 8.
inline uint8_t LowByte(int32_t n) { return static_cast<uint8_t>(static_cast<uint32_t>(n) & 0xFFu); }

int32_t AcceptedBaud(int32_t nBaud)
{
    for (int32_t nRate : g_anAcceptedBauds)
        if (nRate == nBaud)
            return nBaud;
    return 0;
}

// Parses one line of the file. pszUpper is the line upper-cased (sections and keys are matched on
// it); pszAsWritten is the same line as it stands in the file, from which DATADIR takes its value
// where the platform keeps its case (POSIX: an upper-cased directory would not be found).
class CLineParser {
public:
    explicit CLineParser(CTuneSettings& settings) : m_settings(settings) {}
    void HandleLine(const char* pszUpper, const char* pszAsWritten);

private:
    void HandleHeader(const char* psz);
    void HandleCommonKey(const char* pszKey, const char* pszValue, const char* pszAsWritten);
    void HandlePortKey(const char* pszKey, const char* pszValue);
    void SetPort(int nNumber);

    CTuneSettings& m_settings;
    ESection m_eSection = SECTION_NONE;
};

void CLineParser::SetPort(int nNumber)
{
    m_settings.m_nComNumber = nNumber;
    std::snprintf(m_settings.m_szPortName, sizeof m_settings.m_szPortName, "COM%d", nNumber);
}

// Headers are recognised by their first characters; whatever follows the ']' is ignored.
void CLineParser::HandleHeader(const char* psz)
{
    if (std::strncmp(psz, "[COMMON]", 8) == 0) {
        m_eSection = SECTION_COMMON;
        return;
    }
    m_eSection = SECTION_NONE;
    if (std::strncmp(psz, "[COM", 4) != 0)
        return;
    const char c1 = psz[4];
    const char c2 = (c1 != '\0') ? psz[5] : '\0';
    const char c3 = (c2 != '\0') ? psz[6] : '\0';
    if (c1 >= '1' && c1 <= '9' && c2 == ']') {
        m_eSection = SECTION_PORT;
        SetPort(c1 - '0');
    } else if (c1 == '1' && c2 >= '0' && c2 <= '6' && c3 == ']') {
        m_eSection = SECTION_PORT;
        SetPort(10 + (c2 - '0'));
    } else if (c1 >= '2' && c1 <= '9' && c2 >= '0' && c2 <= '6' && c3 == ']') {
        // [COM20]..[COM96]: a port section, but the number and name of the last port stay.
        m_eSection = SECTION_PORT;
    }
}

void CLineParser::HandleCommonKey(const char* pszKey, const char* pszValue, const char* pszAsWritten)
{
    if (std::strcmp(pszKey, "DATADIR") == 0) {
        // The line as written splits exactly as the upper-cased one did: upper-casing moves no '='.
        char szKey[kKeyLineMax + 1];
        char szValue[kKeyLineMax + 1];
        if (!SplitKeyValue(pszAsWritten, kKeyLineMax, szKey, szValue))
            szValue[0] = '\0';
        std::snprintf(m_settings.m_szDataDir, sizeof m_settings.m_szDataDir, "%s",
                      OsPathsIgnoreCase() ? pszValue : szValue);
        if (OsPathsAreUnicode())
            TextToUtf8(m_settings.m_szDataDir, sizeof m_settings.m_szDataDir);
    } else if (std::strcmp(pszKey, "TIMEOUTBETWEENWRITEREAD") == 0) {
        m_settings.m_nTimeoutBetweenWriteRead = ReadDecimal(pszValue);
    }
}

void CLineParser::HandlePortKey(const char* pszKey, const char* pszValue)
{
    if (std::strcmp(pszKey, "BAUD") == 0) {
        m_settings.m_nBaud = AcceptedBaud(ReadDecimal(pszValue));
    } else if (std::strcmp(pszKey, "DATA") == 0) {
        const uint8_t byBits = LowByte(ReadDecimal(pszValue));
        m_settings.m_byDataBits = (byBits >= 5 && byBits <= 8) ? byBits : 0;
    } else if (std::strcmp(pszKey, "PARITY") == 0) {
        // Only "no parity" (0) is accepted and anything else is stored as 0: always 0.
        m_settings.m_byParity = 0;
    } else if (std::strcmp(pszKey, "STOP") == 0) {
        // Only "one stop bit" (0) is accepted and anything else is stored as 0: always 0.
        m_settings.m_byStopBits = 0;
    }
}

void CLineParser::HandleLine(const char* pszUpper, const char* pszAsWritten)
{
    if (pszUpper[0] == '[') {
        HandleHeader(pszUpper);
        return;
    }
    if (m_eSection == SECTION_NONE)
        return;
    char szKey[kKeyLineMax + 1];
    char szValue[kKeyLineMax + 1];
    if (!SplitKeyValue(pszUpper, kKeyLineMax, szKey, szValue))
        return;
    if (m_eSection == SECTION_COMMON)
        HandleCommonKey(szKey, szValue, pszAsWritten);
    else
        HandlePortKey(szKey, szValue);
}

// The current line of the scan. Holds at most kLineBufSize - 1 characters; the rest of a longer
// line is dropped. That changes nothing a longer buffer would give: such a line is either a key
// line (over 64 characters, ignored anyway) or a header (recognised by its first characters).
struct CLineBuffer {
    char m_szUpper[kLineBufSize] = {};
    char m_szAsWritten[kLineBufSize] = {};
    int m_nLen = 0;
    bool m_bCut = false;  // characters beyond the buffer were dropped

    void Append(char ch)
    {
        if (m_nLen >= kLineBufSize - 1) {
            m_bCut = true;
            return;
        }
        m_szUpper[m_nLen] = UpperLatin(ch);
        m_szAsWritten[m_nLen] = ch;
        ++m_nLen;
        m_szUpper[m_nLen] = '\0';
        m_szAsWritten[m_nLen] = '\0';
    }
    // Removes the CR of the line's CR LF (the LF is never stored). A cut line lost its CR with
    // the other dropped characters.
    void DropTrailingCr()
    {
        if (!m_bCut && m_nLen > 0 && m_szAsWritten[m_nLen - 1] == '\r') {
            --m_nLen;
            m_szUpper[m_nLen] = '\0';
            m_szAsWritten[m_nLen] = '\0';
        }
    }
    void Clear()
    {
        m_nLen = 0;
        m_bCut = false;
        m_szUpper[0] = '\0';
        m_szAsWritten[0] = '\0';
    }
};

// Closes the settings file however Load returns.
struct CSettingsFileGuard {
    OsFile m_hFile;
    ~CSettingsFileGuard() { (void)OsFileClose(m_hFile); }
};

}  // namespace

bool SplitKeyValue(const char* pszLine, int maxLen, char* pszKey, char* pszValue)
{
    if (pszLine[0] == ';')
        return false;
    // Measure no further than maxLen + 1: the line need not be short for the test to be.
    int nLen = 0;
    while (pszLine[nLen] != '\0' && nLen <= maxLen)
        ++nLen;
    if (nLen > maxLen)
        return false;

    int nKey = 0;
    int nValue = 0;
    bool bSeenEquals = false;
    for (int i = 0; i < nLen; ++i) {
        const char ch = pszLine[i];
        if (ch == '=')
            bSeenEquals = true;
        else if (bSeenEquals)
            pszValue[nValue++] = ch;
        else
            pszKey[nKey++] = ch;
    }
    pszKey[nKey] = '\0';
    pszValue[nValue] = '\0';
    if (!bSeenEquals) {
        pszKey[0] = '\0';
        pszValue[0] = '\0';
        return false;
    }
    return true;
}

bool CTuneSettings::Load(IErrorReporter* pReporter)
{
    m_szDataDir[0] = '\0';
    m_szDataDir[sizeof m_szDataDir - 1] = '\0';
    m_nTimeoutBetweenWriteRead = 0;

    // A regular file only, opened without blocking: a FIFO, a device or a directory of that name would
    // hang the start-up or read as nothing. The file may be a symbolic link.
    const CSettingsFileGuard file{OsFileOpen(kFileName, ACCESS_READ, nullptr, LINK_FOLLOWED)};
    if (file.m_hFile == kInvalidFile) {
        if (pReporter != nullptr)
            pReporter->ShowError(kOpenErrorText);
        return false;
    }
    int64_t nSize = 0;
    if (!OsFileSize(file.m_hFile, &nSize))
        return false;
    CLineBuffer line;

    CLineParser parser(*this);
    unsigned char byPrevious = 0;
    // A UTF-8 byte-order mark (Notepad writes one) opens the file, not its first line: it would hide
    // a [COMMON] there. Bytes that only begin like one are text.
    constexpr unsigned char kBom[3] = {0xEF, 0xBB, 0xBF};
    int nBomSeen = 0;
    bool bAtStart = true;
    // The file is scanned in chunks rather than buffered whole, so that its size never decides how
    // much memory is taken. Exactly the measured size is scanned; a short read counts as zero bytes,
    // and zero bytes add nothing to a line.
    unsigned char abyChunk[4096];
    int64_t cbLeft = nSize;
    while (cbLeft > 0) {
        const int cbWant = cbLeft < static_cast<int64_t>(sizeof abyChunk) ? static_cast<int>(cbLeft) : static_cast<int>(sizeof abyChunk);
        int cbGot = 0;
        if (!OsFileReadAt(file.m_hFile, nSize - cbLeft, reinterpret_cast<char*>(abyChunk), cbWant, &cbGot) || cbGot <= 0)
            break;
        cbLeft -= cbGot;
        for (int i = 0; i < cbGot; ++i) {
            const unsigned char by = abyChunk[i];
            if (bAtStart) {
                if (by == kBom[nBomSeen]) {
                    bAtStart = ++nBomSeen < 3;
                    continue;
                }
                bAtStart = false;
                for (int k = 0; k < nBomSeen; ++k)
                    line.Append(static_cast<char>(kBom[k]));
                if (nBomSeen > 0)
                    byPrevious = kBom[nBomSeen - 1];
            }
            if (by == '\n' && byPrevious == '\r') {
                // Only CR LF ends a line; a lone CR or LF stays in the text. What follows the last
                // CR LF never reaches the parser.
                line.DropTrailingCr();
                parser.HandleLine(line.m_szUpper, line.m_szAsWritten);
                line.Clear();
            } else if (by != 0) {
                line.Append(static_cast<char>(by));
            }
            byPrevious = by;
        }
    }
    return true;
}

CPortParams CTuneSettings::GetPortParams() const
{
    CPortParams params;
    params.m_nComNumber = m_nComNumber;
    std::memcpy(params.m_szPortName, m_szPortName, sizeof params.m_szPortName);
    params.m_szPortName[sizeof params.m_szPortName - 1] = '\0';
    params.m_nBaud = m_nBaud;
    params.m_byDataBits = m_byDataBits;
    params.m_byParity = m_byParity;
    params.m_byStopBits = m_byStopBits;
    return params;
}

const char* CTuneSettings::GetDataDir()
{
    m_szDataDir[sizeof m_szDataDir - 1] = '\0';
    const size_t nLen = std::strlen(m_szDataDir);
    const char cSeparator = OsPathSeparator();
    if (nLen > 0 && m_szDataDir[nLen - 1] != cSeparator && nLen + 1 <= static_cast<size_t>(kDataDirMax)) {
        m_szDataDir[nLen] = cSeparator;
        m_szDataDir[nLen + 1] = '\0';
    }
    return m_szDataDir;
}
