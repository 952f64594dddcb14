// CTuneSettings::Load over real TK4700_TUNE.INI files: line ends, sections, keys and values, limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "temp_dir.h"
#include "tune_settings.h"

namespace {

const char* const g_pszOpenError = "Не могу открыть файл настроек TK4700_TUNE.INI";

class CRecordingReporter : public IErrorReporter {
public:
    void ShowError(const char* pszText) override { m_astrShown.emplace_back(pszText); }
    std::vector<std::string> m_astrShown;
};

// Lines joined and ended with CR LF, as a settings file written on the indicators' PC.
std::string CrLf(std::initializer_list<std::string> lines)
{
    std::string strText;
    for (const std::string& strLine : lines)
        strText += strLine + "\r\n";
    return strText;
}

// What a load is expected to leave; the defaults are those of a fresh object.
struct CExpect {
    int nCom = 0;
    const char* pszPort = "";
    int nBaud = 0;
    int nData = 0;
    const char* pszDir = "";
    int nTimeout = 0;
};

struct CFileRow {
    const char* pszName;
    std::string strFile;
    CExpect expect;
};

class CSettingsFile : public ::testing::Test {
protected:
    // Writes the bytes as TK4700_TUNE.INI in a fresh directory and loads a fresh object from it.
    bool LoadFrom(const std::string& strBytes, CTuneSettings* pSettings)
    {
        EXPECT_TRUE(tkdtest::WriteBytes(m_dir.File(CTuneSettings::kFileName), strBytes));
        tkdtest::CScopedChdir chdir(m_dir.Path());
        return pSettings->Load(&m_reporter);
    }

    void CheckTable(const std::vector<CFileRow>& aRows)
    {
        for (const CFileRow& row : aRows) {
            SCOPED_TRACE(row.pszName);
            CTuneSettings settings;
            ASSERT_TRUE(LoadFrom(row.strFile, &settings));
            const CExpect& e = row.expect;
            EXPECT_EQ(settings.m_nComNumber, e.nCom);
            EXPECT_STREQ(settings.m_szPortName, e.pszPort);
            EXPECT_EQ(settings.m_nBaud, e.nBaud);
            EXPECT_EQ(settings.m_byDataBits, e.nData);
            EXPECT_EQ(settings.m_byParity, 0);
            EXPECT_EQ(settings.m_byStopBits, 0);
            EXPECT_STREQ(settings.m_szDataDir, e.pszDir);
            EXPECT_EQ(settings.m_nTimeoutBetweenWriteRead, e.nTimeout);
        }
        EXPECT_TRUE(m_reporter.m_astrShown.empty());
    }

    tkdtest::CTempDir m_dir;
    CRecordingReporter m_reporter;
};

TEST_F(CSettingsFile, LineEnds)
{
    const std::string strTypical =
        CrLf({"[COMMON]", "DATADIR=/srv/tk", "TIMEOUTBETWEENWRITEREAD=120", "[COM1]", "BAUD=9600",
              "PARITY=0", "DATA=8", "STOP=0"});
    std::string strLfOnly = strTypical;
    for (size_t i; (i = strLfOnly.find("\r\n")) != std::string::npos;)
        strLfOnly.erase(i, 1);
    std::string strCrOnly = strTypical;
    for (size_t i; (i = strCrOnly.find("\r\n")) != std::string::npos;)
        strCrOnly.erase(i + 1, 1);

    CheckTable({
        {"typical file", strTypical, {1, "COM1", 9600, 8, "/srv/tk", 120}},
        {"empty file", "", {}},
        {"LF alone never ends a line", strLfOnly, {}},
        {"CR alone never ends a line", strCrOnly, {}},
        {"LF CR is not CR LF", "[COM1]\n\rBAUD=9600\n\r", {}},
        {"last line without CR LF is ignored", "[COM1]\r\nBAUD=9600\r\nDATA=8", {1, "COM1", 9600, 0}},
        {"a lone LF stays in the line", "[COM1]\r\nBAUD=9600\nDATA=8\r\n", {1, "COM1", 9600, 0}},
        {"a lone CR stays in the line", "[COM1]\r\nDATA=7\rBAUD=9600\r\n", {1, "COM1", 0, 7}},
        {"CR CR LF keeps one CR in the line", "[COM2]\r\r\nBAUD=19200\r\r\n", {2, "COM2", 19200, 0}},
        {"zero bytes add nothing", std::string("[CO\0M1]\r\nBA\0UD=96\0\0" "00\r\n", 23), {1, "COM1", 9600, 0}},
        {"blank lines between keys", CrLf({"", "[COM1]", "", "BAUD=9600", ""}), {1, "COM1", 9600, 0}},
    });
}

TEST_F(CSettingsFile, Sections)
{
    CheckTable({
        {"lower-case headers", CrLf({"[common]", "datadir=/d", "[com3]", "baud=9600"}), {3, "COM3", 9600, 0, "/d"}},
        {"text after the bracket", CrLf({"[COMMON] ; main", "DATADIR=/d", "[COM4]x", "BAUD=9600"}),
         {4, "COM4", 9600, 0, "/d"}},
        {"blank before the bracket", CrLf({" [COMMON]", "DATADIR=/d", " [COM1]", "BAUD=9600"}), {}},
        {"keys before any section", CrLf({"DATADIR=/d", "BAUD=9600", "[COM1]"}), {1, "COM1"}},
        {"COM9", CrLf({"[COM9]", "DATA=8"}), {9, "COM9", 0, 8}},
        {"COM10", CrLf({"[COM10]", "DATA=8"}), {10, "COM10", 0, 8}},
        {"COM16", CrLf({"[COM16]", "DATA=8"}), {16, "COM16", 0, 8}},
        {"COM17 opens nothing", CrLf({"[COM17]", "DATA=8"}), {}},
        {"COM0 opens nothing", CrLf({"[COM0]", "DATA=8"}), {}},
        {"COM without number", CrLf({"[COM]", "DATA=8"}), {}},
        {"COM3 without bracket", CrLf({"[COM3", "DATA=8"}), {}},
        {"COM100", CrLf({"[COM100]", "DATA=8"}), {}},
        {"unknown header closes the section", CrLf({"[COM1]", "BAUD=9600", "[PORT]", "DATA=8"}),
         {1, "COM1", 9600, 0}},
        {"COM25 keeps the last number and name", CrLf({"[COM3]", "BAUD=9600", "[COM25]", "BAUD=19200"}),
         {3, "COM3", 19200}},
        {"COM96 alone: port keys apply, no name", CrLf({"[COM96]", "BAUD=4800", "DATA=6"}), {0, "", 4800, 6}},
        {"COM97 opens nothing", CrLf({"[COM97]", "BAUD=4800"}), {}},
        {"COM19 opens nothing", CrLf({"[COM19]", "BAUD=4800"}), {}},
        {"several port sections apply in order", CrLf({"[COM1]", "BAUD=9600", "DATA=8", "[COM2]", "DATA=7"}),
         {2, "COM2", 9600, 7}},
        {"a header never sets a key", CrLf({"[COM1]BAUD=9600", "[COMMON]DATADIR=/d"}), {1, "COM1"}},
        {"port keys in the common section", CrLf({"[COMMON]", "BAUD=9600", "DATA=8"}), {}},
        {"common keys in a port section", CrLf({"[COM1]", "DATADIR=/d", "TIMEOUTBETWEENWRITEREAD=5"}),
         {1, "COM1"}},
    });
}

TEST_F(CSettingsFile, KeysAndValues)
{
    std::vector<CFileRow> aRows;
    for (int nRate : {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
        aRows.push_back({"accepted rate", CrLf({"[COM1]", "BAUD=" + std::to_string(nRate)}), {1, "COM1", nRate}});
    for (const char* pszRate : {"9601", "600", "14400", "0", "-9600", "abc", "", "96OO"})
        aRows.push_back({"refused rate", CrLf({"[COM1]", std::string("BAUD=") + pszRate}), {1, "COM1", 0}});
    for (int nBits : {5, 6, 7, 8})
        aRows.push_back({"accepted data bits", CrLf({"[COM1]", "DATA=" + std::to_string(nBits)}), {1, "COM1", 0, nBits}});
    for (const char* pszBits : {"4", "9", "0", "-8", "256"})
        aRows.push_back({"refused data bits", CrLf({"[COM1]", std::string("DATA=") + pszBits}), {1, "COM1"}});

    const std::vector<CFileRow> aMore = {
        {"DATA keeps its low 8 bits", CrLf({"[COM1]", "DATA=264"}), {1, "COM1", 0, 8}},
        {"DATA of -248 is 8 in its low 8 bits", CrLf({"[COM1]", "DATA=-248"}), {1, "COM1", 0, 8}},
        {"atoi: blanks, sign, digits up to the first non-digit", CrLf({"[COM1]", "BAUD= \t+9600 ; fast"}),
         {1, "COM1", 9600}},
        {"atoi: digits then letters", CrLf({"[COM1]", "DATA=7bits"}), {1, "COM1", 0, 7}},
        // As the Windows C library's atoi: saturates rather than wrapping to 2^32 + 110 -> 110.
        {"atoi saturates on overflow", CrLf({"[COM1]", "BAUD=4294967406"}), {1, "COM1", 0}},
        {"sixty digits", CrLf({"[COM1]", "BAUD=" + std::string(59, '9')}), {1, "COM1", 0}},
        {"blank before = is another key", CrLf({"[COM1]", "BAUD =110"}), {1, "COM1"}},
        {"comment line", CrLf({"[COM1]", ";BAUD=110"}), {1, "COM1"}},
        {"unknown key", CrLf({"[COM1]", "BAUDRATE=9600", "SPEED=9600"}), {1, "COM1"}},
        {"key without =", CrLf({"[COM1]", "BAUD"}), {1, "COM1"}},
        {"a later key replaces an earlier one", CrLf({"[COM1]", "BAUD=9600", "BAUD=9601"}), {1, "COM1", 0}},
        {"parity and stop bits are always 0", CrLf({"[COM1]", "PARITY=2", "STOP=1", "DATA=8"}), {1, "COM1", 0, 8}},
        {"time-out", CrLf({"[COMMON]", "TIMEOUTBETWEENWRITEREAD=-35"}), {0, "", 0, 0, "", -35}},
        {"data directory keeps its case and blanks", CrLf({"[COMMON]", "DataDir=/srv/Weigh Data "}),
         {0, "", 0, 0, "/srv/Weigh Data "}},
        {"data directory with =", CrLf({"[COMMON]", "DATADIR=/a=b"}), {0, "", 0, 0, "/ab"}},
        {"data directory emptied", CrLf({"[COMMON]", "DATADIR=/a", "DATADIR="}), {}},
        {"data directory in code page 1251 bytes", CrLf({"[COMMON]", "DATADIR=/\xE4\xE0\xED\xED\xFB\xE5"}),
         {0, "", 0, 0, "/\xE4\xE0\xED\xED\xFB\xE5"}},
        {"data directory in UTF-8", CrLf({"[COMMON]", "DATADIR=/данные"}), {0, "", 0, 0, "/данные"}},
    };
    aRows.insert(aRows.end(), aMore.begin(), aMore.end());
    CheckTable(aRows);
}

TEST_F(CSettingsFile, LineLengthLimits)
{
    const std::string strBaud64 = "BAUD=9600" + std::string(55, ' ');
    const std::string strDir56(56, 'd');
    ASSERT_EQ(strBaud64.size(), 64u);
    CheckTable({
        {"key line of 64 characters", CrLf({"[COM1]", strBaud64}), {1, "COM1", 9600}},
        {"key line of 65 characters", CrLf({"[COM1]", strBaud64 + " "}), {1, "COM1"}},
        {"data directory of 56 characters", CrLf({"[COMMON]", "DATADIR=" + strDir56}), {0, "", 0, 0, strDir56.c_str()}},
        {"data directory of 57 characters", CrLf({"[COMMON]", "DATADIR=" + strDir56 + "d"}), {}},
        // Beyond the 128-byte line buffer: the first 127 characters count, so a long header still
        // opens its section and a long key line is ignored; the next line starts clean.
        {"long header", CrLf({"[COM4]" + std::string(200, 'y'), "BAUD=9600"}), {4, "COM4", 9600}},
        {"long common header", CrLf({"[COMMON]" + std::string(300, ' '), "DATADIR=/d"}), {0, "", 0, 0, "/d"}},
        {"long key line", CrLf({"[COM1]", "BAUD=9600" + std::string(300, ' '), "DATA=8"}), {1, "COM1", 0, 8}},
        {"long key line ending in a short key",
         CrLf({"[COM1]", std::string(130, ' ') + "\rBAUD=9600", "DATA=8"}), {1, "COM1", 0, 8}},
        {"lines of 126, 127, 128 and 129 characters",
         CrLf({"[COM1]", std::string(126, 'a'), "BAUD=110", std::string(127, 'b'), "DATA=5",
               std::string(128, 'c'), "DATA=6", std::string(129, 'd'), "BAUD=300"}),
         {1, "COM1", 300, 6}},
        {"a line of 100000 bytes", CrLf({"[COM2]", std::string(100000, 'x'), "BAUD=1200"}), {2, "COM2", 1200}},
    });
}

TEST_F(CSettingsFile, LoadResetsOnlyDataDirectoryAndTimeout)
{
    CTuneSettings settings;
    ASSERT_TRUE(LoadFrom(CrLf({"[COMMON]", "DATADIR=/d", "TIMEOUTBETWEENWRITEREAD=9", "[COM5]", "BAUD=2400",
                               "DATA=7"}),
                         &settings));
    ASSERT_STREQ(settings.m_szDataDir, "/d");
    ASSERT_TRUE(LoadFrom(CrLf({"[COMMON]"}), &settings));
    EXPECT_STREQ(settings.m_szDataDir, "");
    EXPECT_EQ(settings.m_nTimeoutBetweenWriteRead, 0);
    EXPECT_EQ(settings.m_nComNumber, 5);
    EXPECT_STREQ(settings.m_szPortName, "COM5");
    EXPECT_EQ(settings.m_nBaud, 2400);
    EXPECT_EQ(settings.m_byDataBits, 7);

    const CPortParams params = settings.GetPortParams();
    EXPECT_EQ(params.m_nComNumber, 5);
    EXPECT_STREQ(params.m_szPortName, "COM5");
    EXPECT_EQ(params.m_nBaud, 2400);
    EXPECT_EQ(params.m_byDataBits, 7);
    EXPECT_EQ(params.m_byParity, 0);
    EXPECT_EQ(params.m_byStopBits, 0);
}

TEST_F(CSettingsFile, MissingFileShowsTheMessageOnce)
{
    CTuneSettings settings;
    ASSERT_TRUE(LoadFrom(CrLf({"[COMMON]", "DATADIR=/d", "TIMEOUTBETWEENWRITEREAD=9", "[COM2]", "BAUD=9600"}),
                         &settings));
    std::remove(m_dir.File(CTuneSettings::kFileName).c_str());

    tkdtest::CScopedChdir chdir(m_dir.Path());
    EXPECT_FALSE(settings.Load(&m_reporter));
    ASSERT_EQ(m_reporter.m_astrShown.size(), 1u);
    EXPECT_EQ(m_reporter.m_astrShown[0], g_pszOpenError);
    EXPECT_STREQ(settings.m_szDataDir, "");
    EXPECT_EQ(settings.m_nTimeoutBetweenWriteRead, 0);
    EXPECT_STREQ(settings.m_szPortName, "COM2") << "port fields keep their values";
    EXPECT_EQ(settings.m_nBaud, 9600);

    EXPECT_FALSE(settings.Load(nullptr)) << "no reporter: fails quietly";
    EXPECT_EQ(m_reporter.m_astrShown.size(), 1u);
}

TEST_F(CSettingsFile, DirectoryInPlaceOfTheFileCannotBeOpened)
{
    ASSERT_EQ(::mkdir(m_dir.File(CTuneSettings::kFileName).c_str(), 0700), 0);
    tkdtest::CScopedChdir chdir(m_dir.Path());
    CTuneSettings settings;
    EXPECT_FALSE(settings.Load(&m_reporter));
    ASSERT_EQ(m_reporter.m_astrShown.size(), 1u);
    EXPECT_EQ(m_reporter.m_astrShown[0], g_pszOpenError);
}

TEST_F(CSettingsFile, FileNameIsExactAndInTheCurrentDirectory)
{
    ASSERT_TRUE(tkdtest::WriteBytes(m_dir.File("tk4700_tune.ini"), CrLf({"[COM1]", "BAUD=9600"})));
    tkdtest::CScopedChdir chdir(m_dir.Path());
    CTuneSettings settings;
    EXPECT_FALSE(settings.Load(&m_reporter)) << "POSIX names are case-sensitive";
    EXPECT_EQ(m_reporter.m_astrShown.size(), 1u);
}

TEST(TuneSettingsDataDir, AppendsOneSeparator)
{
    struct CRow {
        std::string strStored;
        std::string strReturned;
    };
    const CRow aRows[] = {
        {"", ""},
        {"/srv/tk", "/srv/tk/"},
        {"/srv/tk/", "/srv/tk/"},
        {"data", "data/"},
        {std::string(259, 'p'), std::string(259, 'p') + "/"},  // 259 + 1 fits the 260 characters
        {std::string(260, 'p'), std::string(260, 'p')},        // full: nothing appended
    };
    for (const CRow& row : aRows) {
        SCOPED_TRACE("stored length " + std::to_string(row.strStored.size()));
        CTuneSettings settings;
        std::memcpy(settings.m_szDataDir, row.strStored.c_str(), row.strStored.size() + 1);
        EXPECT_EQ(std::string(settings.GetDataDir()), row.strReturned);
        EXPECT_EQ(std::string(settings.GetDataDir()), row.strReturned) << "second call";
        EXPECT_STREQ(settings.m_szDataDir, row.strReturned.c_str()) << "appended in place";
    }
}

}  // namespace
