// The store's Windows file layer on real files: appends, the share rule, flushes, the tuning file's replacement, move-aside, torn tails.
#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <string>

#include "batch_store.h"
#include "fixed_clock.h"
#include "store_file.h"
#include "temp_dir.h"

namespace {

using tkdtest::FileExists;
using tkdtest::ReadBytes;
using tkdtest::WriteBytes;

class CWin32Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_store.SetClock(tkdtest::FixedClock);
        ASSERT_TRUE(m_store.Open((m_dir.Path() + "/").c_str()));
        ASSERT_EQ(m_store.RegisterIndicator(5), 0);
        ASSERT_TRUE(m_store.OpenIndicatorFiles(5)) << "an empty directory: both files created";
    }
    std::string File(const char* pszName) const { return m_dir.File(pszName); }
    // Another program's open of the data file, as CreateFileA gives it.
    DWORD OtherOpen(DWORD dwAccess, DWORD dwShare) const
    {
        const HANDLE h = ::CreateFileA(File("Data_i05").c_str(), dwAccess, dwShare, nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD dwError = h == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
        return dwError;
    }

    tkdtest::CTempDir m_dir;
    CBatchStore m_store;
};

TEST_F(CWin32Files, AppendsLandAtTheEndAndOthersMayOnlyRead)
{
    ASSERT_TRUE(m_store.AppendDataLine(0, "a=1,"));
    char ach[4];
    int nRead = 0;
    ASSERT_TRUE(StoreFileReadAt(m_store.GetDataFile(0), 0, ach, 2, &nRead));  // moves the file position to 2
    ASSERT_TRUE(m_store.AppendDataLine(0, "b=2,"));
    EXPECT_EQ(ReadBytes(File("Data_i05")), "a=1\r\nb=2\r\n");

    EXPECT_EQ(OtherOpen(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE), 0u) << "a reader is allowed";
    EXPECT_EQ(OtherOpen(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE), DWORD{ERROR_SHARING_VIOLATION});
    EOpenResult eResult = OPEN_OK;
    EXPECT_EQ(StoreFileOpen(File("Data_i05").c_str(), ACCESS_APPEND, &eResult), kInvalidFile) << "a second writer";
    EXPECT_EQ(eResult, OPEN_FAILED) << "refused, not missing: nothing may be created over it";
    CBatchStore other;
    ASSERT_TRUE(other.Open((m_dir.Path() + "/").c_str()));
    ASSERT_EQ(other.RegisterIndicator(5), 0);
    other.SetTuneValue(0, 11, 0, 500);  // a mismatch would move the file aside if it could be had
    EXPECT_FALSE(other.OpenIndicatorFiles(5));
    EXPECT_EQ(ReadBytes(File("Data_i05")), "a=1\r\nb=2\r\n");

    m_store.Close();
    EXPECT_EQ(OtherOpen(GENERIC_WRITE, FILE_SHARE_READ), 0u) << "free again once closed";
}

// Which failures leave a file alone, and that the system's own words come with them.
TEST_F(CWin32Files, OnlyAMissingFileIsReportedAsMissing)
{
    ::CreateDirectoryA(File("Dir").c_str(), nullptr);
    const struct { const char* pszName; EOpenResult eResult; } aRows[] = {
        {"Absent", OPEN_NOT_FOUND}, {"NoDir/Data_i05", OPEN_FAILED}, {"Dir", OPEN_FAILED},
        {"Data_i05", OPEN_FAILED},  // held by the store
        {"NUL", OPEN_FAILED},       // a device, whatever the directory

    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszName);
        EOpenResult eResult = OPEN_OK;
        EXPECT_EQ(StoreFileOpen(File(row.pszName).c_str(), ACCESS_APPEND, &eResult), kInvalidFile);
        EXPECT_EQ(eResult, row.eResult);
        char szText[256];
        StoreFileLastError(szText, sizeof szText);
        EXPECT_GT(std::string(szText).size(), 5u) << szText;
    }
    EXPECT_EQ(StoreFileCreate(File("Data_i05").c_str()), kInvalidFile) << "never over an existing file";
    StoreFileInjectFault(SFOP_FLUSH, ENOSPC);
    EXPECT_FALSE(m_store.AppendDataLine(0, "c=3,")) << "a record not on the disk is not kept";
    StoreFileClearFaults();
    char szText[8];
    StoreFileLastError(szText, sizeof szText);
    EXPECT_EQ(std::string(szText).size(), 7u) << "the disk-full text, cut to the buffer";
    EXPECT_TRUE(StoreFileFlush(m_store.GetDataFile(0)));
}

TEST_F(CWin32Files, NewTuningReplacesItsFileAndMovesTheDataAside)
{
    ASSERT_TRUE(m_store.AppendDataLine(0, "a=1,"));
    ASSERT_TRUE(WriteBytes(File("RecipesTune_i05.tmp"), "left by a killed run"));
    m_store.SetTuneValue(0, 11, 0, 500);
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5)) << "the store moves aside the file it holds";
    EXPECT_NE(ReadBytes(File("RecipesTune_i05")).find("500"), std::string::npos);
    EXPECT_FALSE(FileExists(File("RecipesTune_i05.tmp")));
    EXPECT_EQ(ReadBytes(File("Data_i05.20261205-140327")), "a=1\r\n");
    EXPECT_EQ(ReadBytes(File("Data_i05")), "");

    // A moved-aside name that is taken is never written over.
    ASSERT_TRUE(m_store.AppendDataLine(0, "b=2,"));
    EXPECT_FALSE(StoreFileMove(File("Data_i05").c_str(), File("Data_i05.20261205-140327").c_str()));
    EXPECT_EQ(ReadBytes(File("Data_i05.20261205-140327")), "a=1\r\n");
    // A replacement that cannot happen leaves the old file and no temporary one.
    ::CreateDirectoryA(File("Busy").c_str(), nullptr);
    EXPECT_FALSE(StoreFileReplace(File("Busy").c_str(), "x", 1));
    EXPECT_FALSE(FileExists(File("Busy.tmp")));
}

TEST_F(CWin32Files, ATornTailIsCutOffAndKeptBeside)
{
    m_store.Close();
    ASSERT_TRUE(WriteBytes(File("Data_i05"), "05.12.2026,14:03:27,20=1\r\n05.12.2026,14:04"));
    ASSERT_TRUE(m_store.Open((m_dir.Path() + "/").c_str()));
    ASSERT_EQ(m_store.RegisterIndicator(5), 0);
    ASSERT_TRUE(m_store.OpenIndicatorFiles(5));
    EXPECT_EQ(m_store.GetRecordCount(0), 1);
    EXPECT_EQ(ReadBytes(File("Data_i05.torn")), "05.12.2026,14:04\r\n");
    ASSERT_TRUE(m_store.AppendDataLine(0, "b=2,"));
    EXPECT_EQ(ReadBytes(File("Data_i05")), "05.12.2026,14:03:27,20=1\r\nb=2\r\n");
}

}  // namespace
