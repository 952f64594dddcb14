// The store's files, byte for byte in a temporary directory: tuning files, reloads, fresh starts, appends.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "batch_store.h"
#include "record_line.h"
#include "store_test_util.h"
#include "temp_dir.h"

namespace {

using storetest::FixedClock;
using tkdtest::CTempDir;
using tkdtest::FileExists;
using tkdtest::ReadBytes;
using tkdtest::WriteBytes;

// A store opened on a temporary directory with one indicator registered at the address.
class StoreFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strDir = m_dir.Path() + "/";
        ASSERT_TRUE(m_store.Open(m_strDir.c_str()));
        m_store.SetClock(FixedClock);
    }
    int Register(int nAddress, bool bFill = true)
    {
        const int nSlot = m_store.RegisterIndicator(nAddress);
        if (bFill)
            storetest::FillTuning(m_store, nSlot);
        return nSlot;
    }
    std::string File(const std::string& strName) const { return m_dir.File(strName); }

    CTempDir m_dir;
    std::string m_strDir;
    CBatchStore m_store;
};

TEST_F(StoreFiles, NamesCarryTheTwoDigitAddress)
{
    char sz[400];
    ASSERT_TRUE(m_store.MakeTunePath(7, sz, sizeof sz));
    EXPECT_EQ(std::string(sz), m_strDir + "RecipesTune_i07");
    ASSERT_TRUE(m_store.MakeDataPath(42, sz, sizeof sz));
    EXPECT_EQ(std::string(sz), m_strDir + "Data_i42");
    EXPECT_FALSE(m_store.MakeDataPath(42, sz, 10));  // does not fit: refused, not cut
}

TEST_F(StoreFiles, AllZeroTuningWritesTenLinesOfSixtyZeros)
{
    Register(7, false);
    EXPECT_TRUE(m_store.OpenIndicatorFiles(7));
    EXPECT_EQ(ReadBytes(File("RecipesTune_i07")), storetest::ZeroTuningFileText());
    bool bFound = false;
    EXPECT_EQ(ReadBytes(File("Data_i07"), &bFound), "");
    EXPECT_TRUE(bFound);
    EXPECT_NE(m_store.GetDataFile(0), kInvalidFile);
}

TEST_F(StoreFiles, RealTuningIsWrittenValueByValue)
{
    Register(42);
    EXPECT_TRUE(m_store.OpenIndicatorFiles(42));
    EXPECT_EQ(ReadBytes(File("RecipesTune_i42")), storetest::TuningFileText());
    // Negative values keep their sign.
    m_store.SetTuneValue(0, 0, 0, -15);
    StoreFile hFile = StoreFileOpen(File("neg").c_str(), DISP_CREATE_ALWAYS);
    ASSERT_NE(hFile, kInvalidFile);
    EXPECT_TRUE(m_store.WriteTuneFile(42, hFile));
    StoreFileClose(hFile);
    EXPECT_EQ(ReadBytes(File("neg")).substr(0, 6), "-15,1,");
    EXPECT_FALSE(m_store.WriteTuneFile(42, kInvalidFile));
}

TEST_F(StoreFiles, RecordHeaderFromTheClock)
{
    char achHeader[32];
    std::memset(achHeader, '#', sizeof achHeader);
    EXPECT_EQ(m_store.FormatRecordHeader("20", achHeader), 23);
    EXPECT_EQ(std::string(achHeader, 24), "05.12.2026,14:03:27,20=#");  // not terminated

    m_store.SetClock([](std::tm* ptm) {
        ptm->tm_year = 2027 - 1900;
        ptm->tm_mon = 0;
        ptm->tm_mday = 31;
        ptm->tm_hour = 0;
        ptm->tm_min = 0;
        ptm->tm_sec = 9;
    });
    m_store.FormatRecordHeader("37", achHeader);
    EXPECT_EQ(std::string(achHeader, 23), "31.01.2027,00:00:09,37=");

    // A broken clock cannot make a header of another length.
    m_store.SetClock([](std::tm* ptm) {
        ptm->tm_year = 2000000;
        ptm->tm_mon = -7;
        ptm->tm_mday = 1234;
        ptm->tm_hour = INT32_MAX;
    });
    EXPECT_EQ(m_store.FormatRecordHeader("11", achHeader), 23);
    EXPECT_EQ(std::string(achHeader, 23), "99.00.9999,99:00:00,11=");
}

TEST_F(StoreFiles, WriteRecordLineDropsTheTrailingCommaAndEndsWithCrLf)
{
    StoreFile hFile = StoreFileOpen(File("Data_i05").c_str(), DISP_CREATE_ALWAYS);
    ASSERT_NE(hFile, kInvalidFile);
    EXPECT_TRUE(CBatchStore::WriteRecordLine(hFile, "05.12.2026,14:03:27,20=0,1250,980,1530,"));
    EXPECT_TRUE(CBatchStore::WriteRecordLine(hFile, "700,"));
    EXPECT_TRUE(CBatchStore::WriteRecordLine(hFile, ""));
    EXPECT_FALSE(CBatchStore::WriteRecordLine(hFile, std::string(256, '1').c_str()));  // no pending record is that long
    StoreFileClose(hFile);
    EXPECT_EQ(ReadBytes(File("Data_i05")), "05.12.2026,14:03:27,20=0,1250,980,1530\r\n700\r\n\r\n");
    EXPECT_FALSE(CBatchStore::WriteRecordLine(kInvalidFile, "1,"));
}

const char* const g_pszDataLines =
    "05.12.2026,14:03:27,20=0,1250,980,1530\r\n"
    "03.02.2026,08:15:00,30=0,1200,800\r\n"
    "1250,980\r\n"                              // header-less: a record, no totals
    "06.12.2026,09:00:00,no equals sign\r\n"    // a record, no totals
    "06.12.2026,09:00:01,21=5,5\r\n";

TEST_F(StoreFiles, MatchingTuningReloadsRecordsTotalsAndRunStart)
{
    Register(5);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText()));
    ASSERT_TRUE(WriteBytes(File("Data_i05"), g_pszDataLines));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(5));

    const std::string strText = "05.12.2026,14:03:27,20=0,1250,980,1530|03.02.2026,08:15:00,30=0,1200,800|"
                                "1250,980|06.12.2026,09:00:00,no equals sign|06.12.2026,09:00:01,21=5,5|";
    EXPECT_EQ(std::string(m_store.GetRecordText(0)), strText);
    EXPECT_EQ(m_store.GetRecordCount(0), 5);
    EXPECT_EQ(m_store.GetRunStart(0), static_cast<int>(strText.size()));
    const struct { int nEntry; int32_t nTotal; } aTotals[] = {
        {20, 0}, {21, 1250 + 5}, {22, 980 + 5}, {23, 1530}, {24, 0}, {30, 0}, {31, 1200}, {32, 800}, {33, 0}, {0, 0},
    };
    for (const auto& row : aTotals)
        EXPECT_EQ(m_store.GetTotal(0, row.nEntry), row.nTotal) << "entry " << row.nEntry;
    // The files stay as they were.
    EXPECT_EQ(ReadBytes(File("Data_i05")), g_pszDataLines);
    EXPECT_EQ(ReadBytes(File("RecipesTune_i05")), storetest::TuningFileText());
}

TEST_F(StoreFiles, AnAppendAfterAReloadGoesToTheEnd)
{
    Register(5);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText()));
    ASSERT_TRUE(WriteBytes(File("Data_i05"), g_pszDataLines));
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
    EXPECT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:03:27,20=1,2,3,"));
    EXPECT_EQ(ReadBytes(File("Data_i05")), std::string(g_pszDataLines) + "05.12.2026,14:03:27,20=1,2,3\r\n");
}

TEST_F(StoreFiles, ShortTuningFileWhoseLinesAllMatchStillMatches)
{
    Register(5);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText(3)));
    ASSERT_TRUE(WriteBytes(File("Data_i05"), g_pszDataLines));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(m_store.GetRecordCount(0), 5);
    EXPECT_EQ(ReadBytes(File("RecipesTune_i05")), storetest::TuningFileText(3));  // not rewritten
}

// Tuning files that do not match: the tuning file is rewritten, the old data moved aside, a fresh
// data file started and nothing loaded.
struct CMismatchRow {
    const char* pszWhat;
    std::string strTuneFile;
    bool bTuneFilePresent;
};

TEST_F(StoreFiles, MismatchMovesTheOldDataAsideAndStartsAfresh)
{
    std::string strOneValueOff = storetest::TuningFileText();
    strOneValueOff.replace(strOneValueOff.find("1020,"), 5, "1021,");
    std::string strEleven = storetest::TuningFileText() + storetest::TuningFileText(1);
    std::string strNoCompleteLine = storetest::TuningFileText(1);
    strNoCompleteLine.resize(strNoCompleteLine.size() - 2);
    const CMismatchRow aRows[] = {
        {"one value differs", strOneValueOff, true},
        {"eleven lines", strEleven, true},
        {"no complete line", strNoCompleteLine, true},
        {"empty tuning file", "", true},
        {"lone LF line ends", "1,2\n", true},
        {"overlong line", std::string(3000, '0') + "\r\n", true},
        {"tuning file missing", "", false},
    };
    for (const CMismatchRow& row : aRows) {
        SCOPED_TRACE(row.pszWhat);
        CTempDir dir;
        const std::string strDir = dir.Path() + "/";
        CBatchStore store;
        ASSERT_TRUE(store.Open(strDir.c_str()));
        store.SetClock(FixedClock);
        storetest::FillTuning(store, store.RegisterIndicator(9));
        if (row.bTuneFilePresent) {
            ASSERT_TRUE(WriteBytes(dir.File("RecipesTune_i09"), row.strTuneFile));
        }
        ASSERT_TRUE(WriteBytes(dir.File("Data_i09"), g_pszDataLines));

        EXPECT_TRUE(store.OpenIndicatorFiles(9));
        EXPECT_EQ(ReadBytes(dir.File("RecipesTune_i09")), storetest::TuningFileText());
        EXPECT_EQ(ReadBytes(dir.File("Data_i09")), "");
        EXPECT_EQ(ReadBytes(dir.File("Data_i09.20261205-140327")), g_pszDataLines);
        EXPECT_EQ(store.GetRecordCount(0), 0);
        EXPECT_EQ(store.GetTotal(0, 21), 0);
        EXPECT_EQ(store.GetRunStart(0), 0);
        EXPECT_NE(store.GetDataFile(0), kInvalidFile);
    }
}

TEST_F(StoreFiles, MovedAsideNamesNeverOverwrite)
{
    Register(9);
    ASSERT_TRUE(WriteBytes(File("Data_i09.20261205-140327"), "first\r\n"));
    ASSERT_TRUE(WriteBytes(File("Data_i09.20261205-140327-2"), "second\r\n"));
    ASSERT_TRUE(WriteBytes(File("Data_i09"), "third\r\n"));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327")), "first\r\n");
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327-2")), "second\r\n");
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327-3")), "third\r\n");
    EXPECT_EQ(ReadBytes(File("Data_i09")), "");
}

TEST_F(StoreFiles, OpeningTwiceWithChangedTuningMovesTheSlotsOwnFileAside)
{
    Register(9);
    ASSERT_TRUE(m_store.OpenIndicatorFiles(9));
    ASSERT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:03:27,20=1,"));
    m_store.SetTuneValue(0, 20, 0, 4321);  // the indicator's tuning changed
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327")), "05.12.2026,14:03:27,20=1\r\n");
    EXPECT_EQ(ReadBytes(File("Data_i09")), "");
    EXPECT_TRUE(m_store.AppendDataLine(0, "x=2,"));
    EXPECT_EQ(ReadBytes(File("Data_i09")), "x=2\r\n");
}

TEST_F(StoreFiles, AnEmptyOrMissingOldDataFileIsNotMovedAside)
{
    Register(9);
    ASSERT_TRUE(WriteBytes(File("Data_i09"), ""));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_FALSE(FileExists(File("Data_i09.20261205-140327")));
    EXPECT_TRUE(FileExists(File("Data_i09")));
}

TEST_F(StoreFiles, MissingDataFileWithMatchingTuningIsCreatedEmpty)
{
    Register(5);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText()));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(5));
    bool bFound = false;
    EXPECT_EQ(ReadBytes(File("Data_i05"), &bFound), "");
    EXPECT_TRUE(bFound);
    EXPECT_EQ(m_store.GetRecordCount(0), 0);
}

TEST_F(StoreFiles, TheOpenDataFileIsLockedAgainstOtherWriters)
{
    Register(5);
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
    const int fd = ::open(File("Data_i05").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);  // refused while the store holds it
    m_store.Close();
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST_F(StoreFiles, ADataFileThatAnotherWriterHoldsIsNeitherMovedNorTruncated)
{
    Register(5);
    ASSERT_TRUE(WriteBytes(File("Data_i05"), g_pszDataLines));
    const int fd = ::open(File("Data_i05").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);

    // Mismatch (no tuning file): the old data cannot be moved aside while another program writes it.
    EXPECT_FALSE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(ReadBytes(File("Data_i05")), g_pszDataLines);
    EXPECT_FALSE(FileExists(File("RecipesTune_i05")));  // not paired with data it does not describe
    EXPECT_EQ(m_store.GetDataFile(0), kInvalidFile);

    // Match: the data file cannot be opened, and create-always must not cut it either.
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText()));
    EXPECT_FALSE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(ReadBytes(File("Data_i05")), g_pszDataLines);
    ::close(fd);
}

TEST_F(StoreFiles, TornLastLineIsEndedBeforeTheNextRecord)
{
    Register(5);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText()));
    const std::string strTorn = "05.12.2026,14:03:27,20=0,12";
    ASSERT_TRUE(WriteBytes(File("Data_i05"), std::string(g_pszDataLines) + strTorn));
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(m_store.GetRecordCount(0), 5);  // the torn line is not a record
    EXPECT_EQ(m_store.GetTotal(0, 21), 1255);
    // Nothing is written until a record comes.
    EXPECT_EQ(ReadBytes(File("Data_i05")), std::string(g_pszDataLines) + strTorn);

    EXPECT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:05:00,20=1,2,"));
    EXPECT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:06:00,20=3,"));
    EXPECT_EQ(ReadBytes(File("Data_i05")), std::string(g_pszDataLines) + strTorn
                                               + "\r\n05.12.2026,14:05:00,20=1,2\r\n05.12.2026,14:06:00,20=3\r\n");
}

TEST_F(StoreFiles, ALoneCrAtTheEndIsATornLineToo)
{
    Register(5);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText()));
    ASSERT_TRUE(WriteBytes(File("Data_i05"), "a=1\r\nb=2\r"));
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(m_store.GetRecordCount(0), 1);
    EXPECT_TRUE(m_store.AppendDataLine(0, "c=3,"));
    EXPECT_EQ(ReadBytes(File("Data_i05")), "a=1\r\nb=2\r\r\nc=3\r\n");
}

TEST_F(StoreFiles, ReloadedAfterATornLineTheFileReadsLineByLine)
{
    // What the previous test leaves behind reads back as three lines: the ended torn line is a line
    // of its own, and the record after it is whole.
    Register(5);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText()));
    ASSERT_TRUE(WriteBytes(File("Data_i05"), "x=1\r\n20=0,12\r\n05.12.2026,14:05:00,20=1,2\r\n"));
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(m_store.GetRecordCount(0), 3);
    EXPECT_EQ(std::string(m_store.GetRecordText(0)), "x=1|20=0,12|05.12.2026,14:05:00,20=1,2|");
}

// A file-size limit makes the device take only part of a record: the store cuts the part off again,
// so the file holds whole lines only and the next record stands on its own line.
TEST_F(StoreFiles, ARecordWrittenOnlyInPartIsCutOffAgain)
{
    Register(5);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), storetest::TuningFileText()));
    ASSERT_TRUE(WriteBytes(File("Data_i05"), g_pszDataLines));
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));

    const off_t nSize = static_cast<off_t>(std::strlen(g_pszDataLines));
    struct rlimit limOld;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limOld), 0);
    void (*pfnOld)(int) = std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing us
    struct rlimit limShort = limOld;
    limShort.rlim_cur = static_cast<rlim_t>(nSize + 10);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limShort), 0);
    const bool bWritten = m_store.AppendDataLine(0, "05.12.2026,14:05:00,20=11111,22222,33333,");
    ::setrlimit(RLIMIT_FSIZE, &limOld);
    std::signal(SIGXFSZ, pfnOld);

    EXPECT_FALSE(bWritten);
    EXPECT_EQ(ReadBytes(File("Data_i05")), g_pszDataLines);
    EXPECT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:06:00,20=4,"));
    EXPECT_EQ(ReadBytes(File("Data_i05")), std::string(g_pszDataLines) + "05.12.2026,14:06:00,20=4\r\n");
}

TEST_F(StoreFiles, AppendWithoutADataFileFails)
{
    Register(5);
    EXPECT_FALSE(m_store.AppendDataLine(0, "a=1,"));
}

}  // namespace
