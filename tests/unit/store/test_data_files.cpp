// The store's files, byte for byte in a temporary directory: tuning files, reloads, fresh starts, appends.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <vector>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include "store_test_util.h"

namespace {

using namespace storetest;
using tkdtest::FileExists;

class StoreFiles : public StoreDir {};

TEST_F(StoreFiles, TuningFilesAllZeroAndReal)
{
    m_store.RegisterIndicator(7);  // no tuning downloaded: all zero
    Register(42);
    EXPECT_TRUE(m_store.OpenIndicatorFiles(7));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(42));
    EXPECT_EQ(ReadBytes(File("RecipesTune_i07")), TuningFileText(10, true));
    EXPECT_EQ(ReadBytes(File("RecipesTune_i42")), TuningFileText());
    bool bFound = false;
    EXPECT_EQ(ReadBytes(File("Data_i07"), &bFound), "");
    EXPECT_TRUE(bFound);
    EXPECT_NE(m_store.GetDataFile(0), kInvalidFile);
}

TEST_F(StoreFiles, RecordHeaderAndLineWithAFixedClock)
{
    char achHeader[32];
    std::memset(achHeader, '#', sizeof achHeader);
    EXPECT_EQ(m_store.FormatRecordHeader("20", achHeader), 23);
    EXPECT_EQ(std::string(achHeader, 24), "05.12.2026,14:03:27,20=#");  // not terminated
    // A broken clock cannot make a header of another length.
    m_store.SetClock([](std::tm* ptm) { ptm->tm_year = 2000000, ptm->tm_mon = -7, ptm->tm_mday = 1234, ptm->tm_hour = INT32_MAX; });
    EXPECT_EQ(m_store.FormatRecordHeader("11", achHeader), 23);
    EXPECT_EQ(std::string(achHeader, 23), "99.00.9999,99:00:00,11=");

    // Written lines lose one trailing comma; no pending record is 256 characters long.
    StoreFile hFile = StoreFileOpen(File("Data_i05").c_str(), DISP_CREATE_ALWAYS);
    EXPECT_TRUE(CBatchStore::WriteRecordLine(hFile, "700,") && CBatchStore::WriteRecordLine(hFile, ""));
    EXPECT_FALSE(CBatchStore::WriteRecordLine(hFile, std::string(256, '1').c_str()));
    StoreFileClose(hFile);
    EXPECT_EQ(ReadBytes(File("Data_i05")), "700\r\n\r\n");
}

// A matching tuning file, also a short one whose lines all match, reloads the data file untouched.
TEST_F(StoreFiles, MatchingTuningReloadsAndAppendsAtTheEnd)
{
    for (int nLines : {10, 3}) {
        SCOPED_TRACE(nLines);
        ASSERT_TRUE(m_store.Open(m_strDir.c_str()));
        Register(5, TuningFileText(nLines), kDataLines);
        EXPECT_TRUE(m_store.OpenIndicatorFiles(5));
        const std::string strText = "05.12.2026,14:03:27,20=0,1250,980,1530|03.02.2026,08:15:00,30=0,1200,800|"
                                    "1250,980|06.12.2026,09:00:00,no equals sign|06.12.2026,09:00:01,21=5,5|";
        EXPECT_EQ(std::string(m_store.GetRecordText(0)), strText);
        EXPECT_EQ(m_store.GetRecordCount(0), 5);
        EXPECT_EQ(m_store.GetRunStart(0), static_cast<int>(strText.size()));
        std::vector<int32_t> an(100, 0);
        an[21] = 1250 + 5, an[22] = 980 + 5, an[23] = 1530, an[31] = 1200, an[32] = 800;
        EXPECT_EQ(Totals(m_store, 0), an);
        EXPECT_EQ(ReadBytes(File("Data_i05")), kDataLines);
        EXPECT_EQ(ReadBytes(File("RecipesTune_i05")), TuningFileText(nLines));  // not rewritten
        EXPECT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:03:27,20=1,2,3,"));
        EXPECT_EQ(ReadBytes(File("Data_i05")), kDataLines + "05.12.2026,14:03:27,20=1,2,3\r\n");
    }
}

// A tuning file that does not match is rewritten, the old data moved aside under a dated name,
// a fresh data file started and nothing loaded.
TEST_F(StoreFiles, MismatchMovesTheOldDataAsideAndStartsAfresh)
{
    std::string strOneValueOff = TuningFileText();
    strOneValueOff.replace(strOneValueOff.find("1020,"), 5, "1021,");
    std::string strNoCompleteLine = TuningFileText(1);
    strNoCompleteLine.resize(strNoCompleteLine.size() - 2);
    const struct { const char* pszWhat; std::optional<std::string> tune; } aRows[] = {
        {"one value differs", strOneValueOff}, {"eleven lines", TuningFileText() + TuningFileText(1)},
        {"no complete line", strNoCompleteLine}, {"empty tuning file", ""}, {"lone LF line ends", "1,2\n"},
        {"overlong line", std::string(3000, '0') + "\r\n"}, {"tuning file missing", std::nullopt},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszWhat);
        ASSERT_TRUE(m_store.Open(m_strDir.c_str()));
        for (const char* pszName : {"RecipesTune_i09", "Data_i09.20261205-140327"})
            std::remove(File(pszName).c_str());
        Register(9, row.tune, kDataLines);
        EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
        EXPECT_EQ(ReadBytes(File("RecipesTune_i09")), TuningFileText());
        EXPECT_EQ(ReadBytes(File("Data_i09")), "");
        EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327")), kDataLines);
        EXPECT_EQ(m_store.GetRecordCount(0) + m_store.GetTotal(0, 21) + m_store.GetRunStart(0), 0);
        EXPECT_NE(m_store.GetDataFile(0), kInvalidFile);
    }
}

TEST_F(StoreFiles, MovedAsideNamesNeverOverwriteAndEmptyFilesStay)
{
    Register(9, std::nullopt, "third\r\n");
    ASSERT_TRUE(WriteBytes(File("Data_i09.20261205-140327"), "first\r\n"));
    ASSERT_TRUE(WriteBytes(File("Data_i09.20261205-140327-2"), "second\r\n"));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327")), "first\r\n");
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327-2")), "second\r\n");
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327-3")), "third\r\n");
    EXPECT_EQ(ReadBytes(File("Data_i09")), "");
    // Opening again with the tuning changed moves the slot's own (open, locked) file aside; an
    // empty one is not moved.
    ASSERT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:03:27,20=1,"));
    m_store.SetTuneValue(0, 20, 0, 4321);
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327-4")), "05.12.2026,14:03:27,20=1\r\n");
    m_store.SetTuneValue(0, 20, 0, 1234);
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_FALSE(FileExists(File("Data_i09.20261205-140327-5")));
    EXPECT_TRUE(m_store.AppendDataLine(0, "x=2,"));
    EXPECT_EQ(ReadBytes(File("Data_i09")), "x=2\r\n");
}

TEST_F(StoreFiles, TheDataFileIsLockedAgainstOtherWriters)
{
    Register(5);
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
    int fd = ::open(File("Data_i05").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);  // refused while the store holds it
    m_store.Close();
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);

    // Held by another writer: on a mismatch (no tuning file) neither moved aside nor paired with
    // a tuning file; on a match not opened, and not cut by create-always.
    ASSERT_TRUE(m_store.Open(m_strDir.c_str()));
    Register(5, std::nullopt, kDataLines);
    std::remove(File("RecipesTune_i05").c_str());
    fd = ::open(File("Data_i05").c_str(), O_RDWR);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(ReadBytes(File("Data_i05")), kDataLines);
    EXPECT_FALSE(FileExists(File("RecipesTune_i05")));
    EXPECT_EQ(m_store.GetDataFile(0), kInvalidFile);
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05"), TuningFileText()));
    EXPECT_FALSE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(ReadBytes(File("Data_i05")), kDataLines);
    ::close(fd);
}

// A torn last line (no CR LF, or a lone CR) is not a record and is ended before the first append.
TEST_F(StoreFiles, TornLastLineIsEndedBeforeTheNextRecord)
{
    const struct { std::string strData; int nRecords; int32_t nTotal21; } aRows[] = {
        {kDataLines + "05.12.2026,14:03:27,20=0,12", 5, 1255},
        {"a=1\r\nb=2\r", 1, 0},
    };
    for (const auto& row : aRows) {
        ASSERT_TRUE(m_store.Open(m_strDir.c_str()));
        Register(5, TuningFileText(), row.strData);
        ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
        EXPECT_EQ(m_store.GetRecordCount(0), row.nRecords);
        EXPECT_EQ(m_store.GetTotal(0, 21), row.nTotal21);
        EXPECT_EQ(ReadBytes(File("Data_i05")), row.strData);  // nothing written until a record comes
        EXPECT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:05:00,20=1,2,"));
        EXPECT_TRUE(m_store.AppendDataLine(0, "c=3,"));
        EXPECT_EQ(ReadBytes(File("Data_i05")), row.strData + "\r\n05.12.2026,14:05:00,20=1,2\r\nc=3\r\n");
    }
}

// A file-size limit makes the device take only part of a record: the store cuts the part off
// again, so the file holds whole lines only.
TEST_F(StoreFiles, ARecordWrittenOnlyInPartIsCutOffAgain)
{
    Register(5, TuningFileText(), kDataLines);
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
    struct rlimit limOld;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limOld), 0);
    void (*pfnOld)(int) = std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing us
    struct rlimit limShort = limOld;
    limShort.rlim_cur = static_cast<rlim_t>(kDataLines.size() + 10);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limShort), 0);
    const bool bWritten = m_store.AppendDataLine(0, "05.12.2026,14:05:00,20=11111,22222,33333,");
    ::setrlimit(RLIMIT_FSIZE, &limOld);
    std::signal(SIGXFSZ, pfnOld);
    EXPECT_FALSE(bWritten);
    EXPECT_EQ(ReadBytes(File("Data_i05")), kDataLines);
    EXPECT_TRUE(m_store.AppendDataLine(0, "05.12.2026,14:06:00,20=4,"));
    EXPECT_EQ(ReadBytes(File("Data_i05")), kDataLines + "05.12.2026,14:06:00,20=4\r\n");
}

}  // namespace
