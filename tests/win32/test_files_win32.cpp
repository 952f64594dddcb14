// The store's Windows file layer on real files: appends, the share rule, files held for a moment, links, Cyrillic folders, flushes, replacement, move-aside, torn tails.
#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "batch_store.h"
#include "fixed_clock.h"
#include "file_access.h"
#include "local_clock.h"
#include "temp_dir.h"
#include "tune_settings.h"
#include "win32_text.h"

namespace {

using namespace tkdtest;

class CWin32Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_store.SetClock(FixedClock);
        ASSERT_TRUE(m_store.Open((m_dir.Path() + "/").c_str()));
        ASSERT_EQ(m_store.RegisterIndicator(5), 0);
        ASSERT_TRUE(m_store.OpenIndicatorFiles(5)) << "an empty directory: both files created";
    }
    std::string File(const char* pszName) const { return m_dir.File(pszName); }
    // Another program's open of a file, as CreateFileA gives it.
    DWORD OtherOpen(DWORD dwAccess, DWORD dwShare, const char* pszName = "Data_i05") const
    {
        const HANDLE h = ::CreateFileA(File(pszName).c_str(), dwAccess, dwShare, nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD dwError = h == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
        return dwError;
    }

    CTempDir m_dir;
    CBatchStore m_store;
};

TEST_F(CWin32Files, AppendsLandAtTheEndAndOthersMayOnlyRead)
{
    ASSERT_TRUE(m_store.AppendDataLine(0, "a=1,"));
    char ach[4];
    int nRead = 0;
    ASSERT_TRUE(OsFileReadAt(m_store.GetDataFile(0), 0, ach, 2, &nRead));  // moves the file position to 2
    ASSERT_TRUE(m_store.AppendDataLine(0, "b=2,"));
    EXPECT_EQ(ReadBytes(File("Data_i05")), "a=1\r\nb=2\r\n");

    // A reader is allowed; a writer, and Explorer's rename, recycle or delete (DELETE access), are not.
    constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    EXPECT_EQ(OtherOpen(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE), 0u);
    EXPECT_EQ(OtherOpen(GENERIC_WRITE, kAll), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(OtherOpen(DELETE, kAll), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_FALSE(::MoveFileA(File("Data_i05").c_str(), File("Pulled").c_str()));
    EXPECT_FALSE(::DeleteFileA(File("Data_i05").c_str()));
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
        {"Data_i05", OPEN_FAILED},  // held by the store: refused, not missing, so never created anew
        {"NUL", OPEN_FAILED},       // a device, whatever the directory

    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszName);
        EOpenResult eResult = OPEN_OK;
        EXPECT_EQ(OsFileOpen(File(row.pszName).c_str(), ACCESS_APPEND, &eResult), kInvalidFile);
        EXPECT_EQ(eResult, row.eResult);
        char szText[256];
        OsFileLastError(szText, sizeof szText);
        EXPECT_GT(std::string(szText).size(), 5u) << szText;
    }
    EXPECT_EQ(OsFileCreate(File("Data_i05").c_str()), kInvalidFile) << "never over an existing file";
    OsFileInjectFault(FILEOP_FLUSH, ENOSPC);
    EXPECT_FALSE(m_store.AppendDataLine(0, "c=3,")) << "a record not on the disk is not kept";
    OsFileClearFaults();
    char szText[8];
    OsFileLastError(szText, sizeof szText);
    EXPECT_EQ(std::string(szText).size(), 7u) << "the disk-full text, cut to the buffer";
    EXPECT_TRUE(OsFileFlush(m_store.GetDataFile(0)));
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
    EXPECT_FALSE(OsFileMove(File("Data_i05").c_str(), File("Data_i05.20261205-140327").c_str()));
    EXPECT_EQ(ReadBytes(File("Data_i05.20261205-140327")), "a=1\r\n");
    // A replacement that cannot happen leaves the old file and no temporary one.
    ::CreateDirectoryA(File("Busy").c_str(), nullptr);
    EXPECT_FALSE(OsFileReplace(File("Busy").c_str(), "x", 1));
    EXPECT_FALSE(FileExists(File("Busy.tmp")));
    const std::string strTune = ReadBytes(File("RecipesTune_i05"));
    OsFileInjectFault(FILEOP_FLUSH, EIO);  // the temporary file's flush
    EXPECT_FALSE(OsFileReplace(File("RecipesTune_i05").c_str(), "x", 1));
    OsFileClearFaults();
    EXPECT_EQ(ReadBytes(File("RecipesTune_i05")), strTune);
    EXPECT_FALSE(FileExists(File("RecipesTune_i05.tmp")));
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

// Another program holding a file for a moment (a virus scan, a viewer) is waited for, about a second in all.
TEST_F(CWin32Files, AFileHeldForAMomentIsWaitedFor)
{
    enum EOp { OPEN_TUNE, REPLACE_TUNE, MOVE_DATA };
    const struct { const char* pszName; EOp eOp; const char* pszHeld; DWORD dwShare; int nHoldMs; bool bDone; } aRows[] = {
        {"open, held 300 ms", OPEN_TUNE, "RecipesTune_i05", 0, 300, true},
        {"open, held 2 s", OPEN_TUNE, "RecipesTune_i05", 0, 2000, false},
        {"replace, held 300 ms", REPLACE_TUNE, "RecipesTune_i05", FILE_SHARE_READ, 300, true},
        {"replace, held 2 s", REPLACE_TUNE, "RecipesTune_i05", FILE_SHARE_READ, 2000, false},
        {"move, held 2 s", MOVE_DATA, "Data_i05", FILE_SHARE_READ | FILE_SHARE_WRITE, 2000, false},
        {"move, held 300 ms", MOVE_DATA, "Data_i05", FILE_SHARE_READ | FILE_SHARE_WRITE, 300, true},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszName);
        const HANDLE h = ::CreateFileA(File(row.pszHeld).c_str(), GENERIC_READ, row.dwShare, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        std::thread holder([&] { ::Sleep(static_cast<DWORD>(row.nHoldMs)); ::CloseHandle(h); });
        bool bDone = false;
        if (row.eOp == OPEN_TUNE) {
            const OsFile hTune = OsFileOpen(File("RecipesTune_i05").c_str(), ACCESS_READ, nullptr);
            bDone = OsFileClose(hTune);
        } else if (row.eOp == REPLACE_TUNE) {
            bDone = OsFileReplace(File("RecipesTune_i05").c_str(), "x", 1);
        } else {
            bDone = OsFileMove(File("Data_i05").c_str(), File("Data_i05.aside").c_str());
        }
        char szText[256];
        OsFileLastError(szText, sizeof szText);
        holder.join();
        EXPECT_EQ(bDone, row.bDone) << szText;
    }
    EXPECT_EQ(ReadBytes(File("RecipesTune_i05")), "x");
    // The store's own handle followed its file through the move, and stayed with it through the refused one.
    ASSERT_TRUE(m_store.AppendDataLine(0, "a=1,"));
    EXPECT_EQ(ReadBytes(File("Data_i05.aside")), "a=1\r\n");
}

// A data folder named in Cyrillic, in both encodings a settings file comes in: the files land in
// that folder, and a text that is not UTF-8 still shows as a warning.
TEST(CWin32Names, ACyrillicDataDirectoryInEitherEncoding)
{
    const struct { const char* pszName; std::string strSettings; } aRows[] = {
        {"UTF-8 with a byte-order mark, as Notepad saves it", "\xEF\xBB\xBF[COMMON]\r\nDATADIR=Данные\r\n"},
        {"code page 1251", "[COMMON]\r\nDATADIR=\xC4\xE0\xED\xED\xFB\xE5\r\n"},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszName);
        CTempDir dir;
        const std::wstring strDir(dir.Path().begin(), dir.Path().end());  // ASCII
        ASSERT_TRUE(::CreateDirectoryW((strDir + L"\\Данные").c_str(), nullptr));
        ASSERT_TRUE(WriteBytes(dir.File(CTuneSettings::kFileName), row.strSettings));
        CScopedChdir cd(dir.Path());
        CTuneSettings settings;
        ASSERT_TRUE(settings.Load(nullptr));
        CBatchStore store;
        store.SetClock(FixedClock);
        ASSERT_TRUE(store.Open(settings.GetDataDir()));
        ASSERT_EQ(store.RegisterIndicator(5), 0);
        ASSERT_TRUE(store.OpenIndicatorFiles(5));
        ASSERT_TRUE(store.AppendDataLine(0, "a=1,"));
        EXPECT_NE(::GetFileAttributesW((strDir + L"\\Данные\\Data_i05").c_str()), INVALID_FILE_ATTRIBUTES);
        store.Close();
        // The listing (a move aside finished after a kill) and the removal work in that folder too.
        std::vector<std::string> astrNames;
        EXPECT_TRUE(OsFileListNames(settings.GetDataDir(), "Data_i", [&](const char* psz) { astrNames.emplace_back(psz); }));
        EXPECT_EQ(astrNames, std::vector<std::string>{"Data_i05"});
        EXPECT_TRUE(OsFileRemove((std::string(settings.GetDataDir()) + "Data_i05").c_str()));
        EXPECT_EQ(::GetFileAttributesW((strDir + L"\\Данные\\Data_i05").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    const struct { const char* pszText; int nSize; std::wstring strShown; } aTexts[] = {
        {"Data_i05 \xC4\xE0", 64, L"Data_i05 \xFFFD\xFFFD"},  // not UTF-8: replaced, never empty
        {"Данные", 4, L"Дан"},                                     // cut to the buffer, whole characters
        {"abcД", 4, L"abc"},
    };
    for (const auto& row : aTexts) {
        wchar_t szOut[64];
        Utf8ToWide(row.pszText, szOut, row.nSize);
        EXPECT_EQ(std::wstring(szOut), row.strShown) << row.pszText;
    }
}

// Record headers and moved-aside names take the PC's calendar (GetLocalTime: months from 1, years from 1601).
TEST(CWin32Clock, LocalTimeIsTheCalendarOfTheCRuntime)
{
    const std::time_t tNow = std::time(nullptr);
    std::tm tmNow{};
    OsLocalTimeNow(&tmNow);
    EXPECT_LE(std::fabs(std::difftime(std::mktime(&tmNow), tNow)), 2.0);
}

}  // namespace
