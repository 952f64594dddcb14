// CTuneSettings::Load over real TK4700_TUNE.INI files (line ends, sections, keys and values, limits), the
// missing file, GetDataDir, and the key=value splitter at the settings' and the store's line limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/stat.h>  // mkfifo on POSIX

#include "temp_dir.h"
#include "text_decode.h"
#include "tune_settings.h"

namespace {

class CRecordingReporter : public IErrorReporter {
public:
    void ShowError(const char* pszText) override { m_astrShown.emplace_back(pszText); }
    std::vector<std::string> m_astrShown;
};

// The data directory as the platform keeps it. Windows paths ignore case: there the value is
// upper-cased (Latin letters only) and GetDataDir appends a backslash; POSIX keeps the case and uses '/'.
// Windows reads a DATADIR in code page 1251 as such (folder names are Unicode there); POSIX keeps the bytes.
#ifdef _WIN32
constexpr bool kDecodeDir = true;
constexpr bool kUpperCaseDir = true;
const std::string kSep = "\\";
bool MakeFifo(const std::string&) { return false; }
#else
constexpr bool kDecodeDir = false;
constexpr bool kUpperCaseDir = false;
const std::string kSep = "/";
bool MakeFifo(const std::string& str) { return ::mkfifo(str.c_str(), 0600) == 0; }
#endif

std::string KeptDir(std::string str)
{
    for (char& ch : str)
        if (kUpperCaseDir && ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    return str;
}

// Lines each ended with CR LF, as a settings file written on the indicators' PC (or with another ending).
std::string CrLf(const std::vector<std::string>& astrLines, const std::string& strEnd = "\r\n")
{
    std::string strText;
    for (const std::string& strLine : astrLines)
        strText += strLine + strEnd;
    return strText;
}

// A file and what loading it into a fresh object leaves (parity and stop bits are always 0).
struct CFileRow {
    const char* pszName;
    std::string strFile;
    int nCom = 0;
    const char* pszPort = "";
    int nBaud = 0, nData = 0;
    std::string strDir{};
    int nTimeout = 0;
};

class CSettingsFile : public ::testing::Test {
protected:
    void CheckTable(const std::vector<CFileRow>& aRows)
    {
        for (const CFileRow& row : aRows) {
            SCOPED_TRACE(row.pszName);
            ASSERT_TRUE(tkdtest::WriteBytes(m_dir.File(CTuneSettings::kFileName), row.strFile));
            CTuneSettings s;
            ASSERT_TRUE(s.Load(&m_reporter));
            EXPECT_EQ(std::to_string(s.m_nComNumber) + s.m_szPortName + "," + std::to_string(s.m_nBaud) + "," + std::to_string(s.m_byDataBits),
                      std::to_string(row.nCom) + row.pszPort + "," + std::to_string(row.nBaud) + "," + std::to_string(row.nData));
            EXPECT_EQ((std::pair<int, int>(s.m_byParity, s.m_byStopBits)), std::pair(0, 0));
            EXPECT_EQ(s.m_szDataDir + std::string("|") + std::to_string(s.m_nTimeoutBetweenWriteRead),
                      KeptDir(row.strDir) + "|" + std::to_string(row.nTimeout));
        }
        EXPECT_TRUE(m_reporter.m_astrShown.empty());
    }

    tkdtest::CTempDir m_dir;
    tkdtest::CScopedChdir m_chdir{m_dir.Path()};
    CRecordingReporter m_reporter;
};

TEST_F(CSettingsFile, LineEnds)
{
    const std::vector<std::string> astrTypical = {"[COMMON]", "DATADIR=/srv/tk", "TIMEOUTBETWEENWRITEREAD=120",
                                                  "[COM1]", "BAUD=9600", "PARITY=0", "DATA=8", "STOP=0"};
    CheckTable({
        {"typical file", CrLf(astrTypical), 1, "COM1", 9600, 8, "/srv/tk", 120}, {"empty file", ""},
        {"LF alone never ends a line", CrLf(astrTypical, "\n")}, {"CR alone never ends a line", CrLf(astrTypical, "\r")},
        {"LF CR is not CR LF", "[COM1]\n\rBAUD=9600\n\r"}, {"last line without CR LF is ignored", "[COM1]\r\nBAUD=9600\r\nDATA=8", 1, "COM1", 9600},
        {"a lone LF stays in the line", "[COM1]\r\nBAUD=9600\nDATA=8\r\n", 1, "COM1", 9600},
        {"a lone CR stays in the line", "[COM1]\r\nDATA=7\rBAUD=9600\r\n", 1, "COM1", 0, 7},
        {"CR CR LF keeps one CR in the line", "[COM2]\r\r\nBAUD=19200\r\r\n", 2, "COM2", 19200},
        {"zero bytes add nothing", std::string("[CO\0M1]\r\nBA\0UD=96\0\0" "00\r\n", 23), 1, "COM1", 9600},
        {"blank lines between keys", CrLf({"", "[COM1]", "", "BAUD=9600", ""}), 1, "COM1", 9600},
    });
}

TEST_F(CSettingsFile, Sections)
{
    CheckTable({
        {"lower-case headers", CrLf({"[common]", "datadir=/d", "[com3]", "baud=9600"}), 3, "COM3", 9600, 0, "/d"},
        {"text after ]", CrLf({"[COMMON] ; main", "DATADIR=/d", "[COM4]x", "BAUD=9600"}), 4, "COM4", 9600, 0, "/d"},
        {"blank before the bracket", CrLf({" [COMMON]", "DATADIR=/d", " [COM1]", "BAUD=9600"})},
        {"keys before any section", CrLf({"DATADIR=/d", "BAUD=9600", "[COM1]"}), 1, "COM1"},
        {"COM10", CrLf({"[COM10]", "DATA=8"}), 10, "COM10", 0, 8}, {"COM16", CrLf({"[COM16]", "DATA=8"}), 16, "COM16", 0, 8},
        {"COM17 opens nothing", CrLf({"[COM17]", "DATA=8"})}, {"COM without number", CrLf({"[COM]", "DATA=8"})},
        {"COM3 without bracket", CrLf({"[COM3", "DATA=8"})}, {"COM100", CrLf({"[COM100]", "DATA=8"})},
        {"unknown header closes the section", CrLf({"[COM1]", "BAUD=9600", "[PORT]", "DATA=8"}), 1, "COM1", 9600},
        {"COM25: last number and name kept", CrLf({"[COM3]", "BAUD=9600", "[COM25]", "BAUD=19200"}), 3, "COM3", 19200},
        {"COM96 alone: port keys apply, no name", CrLf({"[COM96]", "BAUD=4800", "DATA=6"}), 0, "", 4800, 6},
        {"COM97 opens nothing", CrLf({"[COM97]", "BAUD=4800"})},
        {"sections apply in order", CrLf({"[COM1]", "BAUD=9600", "DATA=8", "[COM2]", "DATA=7"}), 2, "COM2", 9600, 7},
        {"a header never sets a key", CrLf({"[COM1]BAUD=9600", "[COMMON]DATADIR=/d"}), 1, "COM1"},
        {"port keys in the common section", CrLf({"[COMMON]", "BAUD=9600", "DATA=8"})},
        {"common keys in a port section", CrLf({"[COM1]", "DATADIR=/d", "TIMEOUTBETWEENWRITEREAD=5"}), 1, "COM1"},
        {"a UTF-8 byte-order mark opens the file", "\xEF\xBB\xBF" + CrLf({"[COMMON]", "DATADIR=/d"}), 0, "", 0, 0, "/d"},
        {"half a byte-order mark is text", "\xEF\xBB" + CrLf({"[COMMON]", "DATADIR=/d"})},
        {"a byte-order mark later is text", CrLf({"\xEF\xBB\xBF[COMMON]", "[COMMON]", "\xEF\xBB\xBF[COM1]", "DATADIR=/d"}), 0, "", 0, 0, "/d"},
    });
}

TEST_F(CSettingsFile, KeysAndValues)
{
    std::vector<CFileRow> aRows = {
        {"DATA keeps its low 8 bits", CrLf({"[COM1]", "DATA=264"}), 1, "COM1", 0, 8},
        {"DATA of -248 is 8 in its low 8 bits", CrLf({"[COM1]", "DATA=-248"}), 1, "COM1", 0, 8},
        {"atoi: blanks, sign, digits to a non-digit", CrLf({"[COM1]", "BAUD= \t+9600 ; fast"}), 1, "COM1", 9600},
        {"atoi: digits then letters", CrLf({"[COM1]", "DATA=7bits"}), 1, "COM1", 0, 7},
        // As the Windows C library's atoi: saturates rather than wrapping to 2^32 + 110 -> 110.
        {"atoi saturates on overflow", CrLf({"[COM1]", "BAUD=4294967406"}), 1, "COM1"},
        {"sixty digits", CrLf({"[COM1]", "BAUD=" + std::string(59, '9')}), 1, "COM1"},
        {"blank before = is another key", CrLf({"[COM1]", "BAUD =110"}), 1, "COM1"}, {"comment line", CrLf({"[COM1]", ";BAUD=110"}), 1, "COM1"},
        {"unknown keys", CrLf({"[COM1]", "BAUDRATE=9600", "SPEED=9600"}), 1, "COM1"},
        {"a later key replaces an earlier one", CrLf({"[COM1]", "BAUD=9600", "BAUD=9601"}), 1, "COM1"},
        {"parity and stop bits are always 0", CrLf({"[COM1]", "PARITY=2", "STOP=1", "DATA=8"}), 1, "COM1", 0, 8},
        {"time-out", CrLf({"[COMMON]", "TIMEOUTBETWEENWRITEREAD=-35"}), 0, "", 0, 0, "", -35},
        {"directory: case, blanks", CrLf({"[COMMON]", "DataDir=/srv/Weigh Data "}), 0, "", 0, 0, "/srv/Weigh Data "},
        {"data directory: a later = is dropped", CrLf({"[COMMON]", "DATADIR=/a=b"}), 0, "", 0, 0, "/ab"},
        {"data directory emptied", CrLf({"[COMMON]", "DATADIR=/a", "DATADIR="})},
        {"data directory in UTF-8", CrLf({"[COMMON]", "DATADIR=/данные"}), 0, "", 0, 0, "/данные"},
        {"data directory in code page 1251", CrLf({"[COMMON]", "DATADIR=/\xE4\xE0\xED\xED\xFB\xE5"}), 0, "", 0, 0,
         kDecodeDir ? "/данные" : "/\xE4\xE0\xED\xED\xFB\xE5"},
    };
    for (int nRate : {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
        aRows.push_back({"accepted rate", CrLf({"[COM1]", "BAUD=" + std::to_string(nRate)}), 1, "COM1", nRate});
    for (const char* pszRate : {"9601", "600", "14400", "0", "-9600", "abc", "", "96OO"})
        aRows.push_back({"refused rate", CrLf({"[COM1]", std::string("BAUD=") + pszRate}), 1, "COM1"});
    for (int nBits : {5, 6, 7, 8})
        aRows.push_back({"accepted data bits", CrLf({"[COM1]", "DATA=" + std::to_string(nBits)}), 1, "COM1", 0, nBits});
    for (const char* pszBits : {"4", "9", "0", "-8", "256"})
        aRows.push_back({"refused data bits", CrLf({"[COM1]", std::string("DATA=") + pszBits}), 1, "COM1"});
    CheckTable(aRows);
}

TEST_F(CSettingsFile, LineLengthLimits)
{
    const std::string strBaud64 = "BAUD=9600" + std::string(55, ' ');
    const std::string strDir56(56, 'd');
    CheckTable({
        {"key line of 64 characters", CrLf({"[COM1]", strBaud64}), 1, "COM1", 9600},
        {"key line of 65 characters", CrLf({"[COM1]", strBaud64 + " "}), 1, "COM1"},
        {"data directory of 56 characters", CrLf({"[COMMON]", "DATADIR=" + strDir56}), 0, "", 0, 0, strDir56},
        {"data directory of 57 characters", CrLf({"[COMMON]", "DATADIR=" + strDir56 + "d"})},
        // Beyond the 128-byte line buffer the first 127 characters count; the next line starts clean.
        {"long header", CrLf({"[COM4]" + std::string(200, 'y'), "BAUD=9600"}), 4, "COM4", 9600},
        {"long common header", CrLf({"[COMMON]" + std::string(300, ' '), "DATADIR=/d"}), 0, "", 0, 0, "/d"},
        {"long key line", CrLf({"[COM1]", "BAUD=9600" + std::string(300, ' '), "DATA=8"}), 1, "COM1", 0, 8},
        {"long line, then a key", CrLf({"[COM1]", std::string(130, ' ') + "\rBAUD=9600", "DATA=8"}), 1, "COM1", 0, 8},
        {"lines of 126, 127, 128 and 129 characters",
         CrLf({"[COM1]", std::string(126, 'a'), "BAUD=110", std::string(127, 'b'), "DATA=5", std::string(128, 'c'),
               "DATA=6", std::string(129, 'd'), "BAUD=300"}), 1, "COM1", 300, 6},
        {"a line of 100000 bytes", CrLf({"[COM2]", std::string(100000, 'x'), "BAUD=1200"}), 2, "COM2", 1200},
    });
}

// A later load resets the data directory and the time-out only, whether or not the file can be opened.
TEST_F(CSettingsFile, LaterLoadKeepsPortFieldsAndAnUnopenableFileShowsTheMessage)
{
    const std::string strFile = m_dir.File(CTuneSettings::kFileName);
    const char* const apszCases[] = {"a file without port sections", "missing", "a directory in its place",
                                     "only tk4700_tune.ini (names are case-sensitive)", "a FIFO in its place (no hang)"};
    // Windows names ignore case (there tk4700_tune.ini is the settings file), and it has no FIFOs.
    for (int nCase = 0; nCase < (kUpperCaseDir ? 3 : 5); ++nCase) {
        SCOPED_TRACE(apszCases[nCase]);
        CTuneSettings s;
        ASSERT_TRUE(tkdtest::WriteBytes(strFile, CrLf({"[COMMON]", "DATADIR=/d", "TIMEOUTBETWEENWRITEREAD=9", "[COM5]",
                                                       "BAUD=2400", "DATA=7"})));
        ASSERT_TRUE(s.Load(&m_reporter));
        ASSERT_EQ(std::remove(strFile.c_str()), 0);
        ASSERT_TRUE(nCase != 0 || tkdtest::WriteBytes(strFile, CrLf({"[COMMON]"})));
        ASSERT_TRUE(nCase != 2 || std::filesystem::create_directory(strFile));
        ASSERT_TRUE(nCase != 4 || MakeFifo(strFile));
        ASSERT_TRUE(nCase != 3 || tkdtest::WriteBytes(m_dir.File("tk4700_tune.ini"), CrLf({"[COM1]", "BAUD=9600"})));
        m_reporter.m_astrShown.clear();
        EXPECT_EQ(s.Load(&m_reporter), nCase == 0);
        EXPECT_EQ(m_reporter.m_astrShown, std::vector<std::string>(nCase == 0 ? 0 : 1, "Не могу открыть файл настроек TK4700_TUNE.INI"));
        EXPECT_EQ(s.m_szDataDir + std::to_string(s.m_nTimeoutBetweenWriteRead), "0");
        const CPortParams params = s.GetPortParams();
        EXPECT_STREQ(params.m_szPortName, "COM5");
        EXPECT_EQ((std::tuple<int, int, int, int, int>(params.m_nComNumber, params.m_nBaud, params.m_byDataBits, params.m_byParity,
                                                       params.m_byStopBits)), std::tuple(5, 2400, 7, 0, 0));
        EXPECT_EQ(s.Load(nullptr), nCase == 0) << "no reporter: fails quietly";
        EXPECT_EQ(m_reporter.m_astrShown.size(), nCase == 0 ? 0u : 1u);
        std::error_code ec;
        std::filesystem::remove(strFile, ec);
    }
}

// The settings file may be a symbolic link (to a shared copy, say); the data files never are.
TEST_F(CSettingsFile, ASymbolicLinkIsReadThrough)
{
    ASSERT_TRUE(tkdtest::WriteBytes(m_dir.File("shared.ini"), CrLf({"[COM3]", "BAUD=4800"})));
    std::error_code ec;
    std::filesystem::create_symlink("shared.ini", m_dir.File(CTuneSettings::kFileName), ec);
    if (ec)
        GTEST_SKIP() << "no symbolic links here: " << ec.message();
    CTuneSettings s;
    ASSERT_TRUE(s.Load(&m_reporter));
    EXPECT_EQ(std::string(s.m_szPortName) + "," + std::to_string(s.m_nBaud), "COM3,4800");
}

TEST(TuneSettingsDataDir, AppendsOneSeparator)
{
    const std::pair<std::string, std::string> aRows[] = {
        {"", ""}, {"/srv/tk", "/srv/tk" + kSep}, {"/srv/tk" + kSep, "/srv/tk" + kSep}, {"data", "data" + kSep},
        {std::string(259, 'p'), std::string(259, 'p') + kSep},  // 259 + 1 fits the 260 characters
        {std::string(260, 'p'), std::string(260, 'p')},        // full: nothing appended
    };
    for (const auto& [strStored, strReturned] : aRows) {
        SCOPED_TRACE("stored length " + std::to_string(strStored.size()));
        CTuneSettings s;
        std::memcpy(s.m_szDataDir, strStored.c_str(), strStored.size() + 1);
        EXPECT_EQ(s.GetDataDir(), strReturned);
        EXPECT_EQ(s.GetDataDir(), strReturned) << "second call";
        EXPECT_EQ(s.m_szDataDir, strReturned) << "appended in place";
    }
}

// A text is UTF-8 when it is well-formed UTF-8, otherwise code page 1251 (never the PC's own code page).
TEST(TextToUtf8, KeepsUtf8AndReadsAnythingElseAsCodePage1251)
{
    const struct { std::string strIn; int nSize; std::string strOut; } aRows[] = {
        {"data", 16, "data"},
        {"данные №5", 32, "данные №5"},
        {"\xE4\xE0\xED\xED\xFB\xE5 \xB9\xA8\xB8\x88", 32, "данные №Ёё€"},
        {"\xC0\xAF", 16, "АЇ"},              // an overlong '/' is no UTF-8
        {"\xED\xA0\x80", 16, "н\xC2\xA0Ђ"}, // nor is a surrogate
        {"\xF0\x9F\x98\x80", 16, "\xF0\x9F\x98\x80"},  // beyond U+FFFF it is
        {"\xC4\xE0\xED", 6, "Да"},          // cut to the buffer at a character boundary
        {"\xC4\xE0\xED", 4, "Д"},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.strIn);
        char sz[32] = {};
        std::memcpy(sz, row.strIn.c_str(), row.strIn.size() + 1);
        TextToUtf8(sz, row.nSize);
        EXPECT_EQ(std::string(sz), row.strOut);
    }
}

// Key and value buffers of exactly maxLen + 1 bytes, as the callers give: the sanitizer build sees any overrun.
TEST(SplitKeyValue, SplitsAtTheFirstEqualsSignWithinTheLimit)
{
    struct CRow { std::string strLine; int nMax; bool bOk; const char* pszKey; const char* pszValue; };
    const CRow aRows[] = {
        {"BAUD=9600", 64, true, "BAUD", "9600"},   {"a=b=c", 64, true, "a", "bc"},  // later "=" dropped
        {" K = v ", 64, true, " K ", " v "},        {"=v", 64, true, "", "v"},    {"k=", 64, true, "k", ""},
        {"no equals", 64, false, "", ""},           {";k=v", 64, false, "old", "old"},  // comment: untouched
        {std::string(62, 'k') + "=v", 64, true, "", ""},  {std::string(63, 'k') + "=v", 64, false, "old", "old"},
        {std::string(125, 'k') + "=vv", 128, true, "", ""}, {std::string(126, 'k') + "=vv", 128, false, "old", "old"},
    };
    for (const CRow& row : aRows) {
        SCOPED_TRACE(row.strLine.substr(0, 16) + " at " + std::to_string(row.nMax));
        std::vector<char> key(static_cast<size_t>(row.nMax) + 1), value(key.size());
        std::strcpy(key.data(), "old");
        std::strcpy(value.data(), "old");
        ASSERT_EQ(SplitKeyValue(row.strLine.c_str(), row.nMax, key.data(), value.data()), row.bOk);
        const size_t nEq = row.strLine.find('=');
        const bool bLong = row.bOk && row.strLine.size() > 20;
        EXPECT_EQ(key.data(), bLong ? row.strLine.substr(0, nEq) : std::string(row.pszKey));
        EXPECT_EQ(value.data(), bLong ? row.strLine.substr(nEq + 1) : std::string(row.pszValue));
    }
}

}  // namespace
