// The store's files byte for byte in a temporary directory, and every capacity at and past its limit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <regex>
#include <tuple>

#include "files_rig.h"

namespace tkdtest {
namespace {

class StoreFiles : public CFilesRig {};

// The test tuning's file with nCut characters taken out before the line end of line nLine.
std::string CutLine(int nLine, int nCut)
{
    std::string str = TuningFileText();
    size_t nEnd = 0;
    for (int i = 0; i <= nLine; ++i)
        nEnd = str.find("\r\n", nEnd + (i > 0 ? 2 : 0));
    return str.erase(nEnd - static_cast<size_t>(nCut), static_cast<size_t>(nCut));
}

TEST_F(StoreFiles, TuningFilesRecordHeadersAndLines)
{
    m_store.RegisterIndicator(7);  // no tuning downloaded: all zero
    Register(42);
    EXPECT_TRUE(m_store.OpenIndicatorFiles(7) && m_store.OpenIndicatorFiles(42));
    EXPECT_EQ(ReadBytes(File("RecipesTune_i07")), TuningFileText(10, true));
    EXPECT_EQ(ReadBytes(File("RecipesTune_i42")), TuningFileText());
    EXPECT_FALSE(FileExists(File("RecipesTune_i42.tmp")));
    bool bFound = false;
    EXPECT_EQ(ReadBytes(File("Data_i07"), &bFound), "");
    EXPECT_TRUE(bFound);

    char achHeader[32];
    std::memset(achHeader, '#', sizeof achHeader);
    EXPECT_EQ(m_store.FormatRecordHeader("20", achHeader), 23);
    EXPECT_EQ(std::string(achHeader, 24), "05.12.2026,14:03:27,20=#");  // not terminated
    // A broken clock cannot make a header of another length.
    m_store.SetClock([](std::tm* ptm) { ptm->tm_year = 2000000, ptm->tm_mon = -7, ptm->tm_mday = 1234, ptm->tm_hour = INT32_MAX; });
    EXPECT_EQ(m_store.FormatRecordHeader("11", achHeader), 23);
    EXPECT_EQ(std::string(achHeader, 23), "99.00.9999,99:00:00,11=");
    // Written lines lose one trailing comma; no pending record is 256 characters long.
    EXPECT_TRUE(m_store.AppendDataLine(0, "700,") && m_store.AppendDataLine(0, ""));
    EXPECT_FALSE(CBatchStore::WriteRecordLine(m_store.GetDataFile(0), std::string(256, '1').c_str()));
    EXPECT_EQ(ReadBytes(File("Data_i07")), "700\r\n\r\n");
}

TEST_F(StoreFiles, AMatchingTuningReloadsTheDataFile)
{
    Register(5, TuningFileText(), kDataLines);
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
    EXPECT_EQ(ReadBytes(File("RecipesTune_i05")), TuningFileText());  // not rewritten
    // Only entries 0..99 take values: a code of 95 with ten values fills 95..99, one of -5 (slot 1) fills 0..4.
    m_store.LoadRecordLine(0, "01.01.2026,00:00:00,95=1,2,3,4,5,6,7,8,9,10");
    m_store.LoadRecordLine(1, "01.01.2026,00:00:00,-5=1,2,3,4,5,6,7,8,9,10");
    EXPECT_EQ(std::tuple(m_store.GetTotal(0, 95), m_store.GetTotal(0, 99), m_store.GetTotal(1, 0)), std::tuple(1, 5, 6));
}

// A tuning file that does not match is replaced, the old data moved aside under a dated name, a fresh
// data file started and nothing loaded.
TEST_F(StoreFiles, AMismatchMovesTheOldDataAsideAndStartsAfresh)
{
    std::string strOneValueOff = TuningFileText();
    strOneValueOff.replace(strOneValueOff.find("1020,"), 5, "1021,");
    const struct { const char* pszWhat; std::optional<std::string> tune; } aRows[] = {
        {"one value differs", strOneValueOff}, {"eleven lines", TuningFileText() + TuningFileText(1)},
        {"nine lines", TuningFileText(9)}, {"a torn eleventh line", TuningFileText() + "1,"}, {"empty", ""},
        // Each line a prefix of the one expected: cut inside a value, and at a comma.
        {"a line cut inside a value", CutLine(4, 5)}, {"a line cut at a comma", CutLine(9, 4)},
        {"lone LF line ends", "1,2\n"}, {"overlong line", std::string(3000, '0') + "\r\n"}, {"missing", std::nullopt},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszWhat);
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        for (const char* pszName : {"RecipesTune_i09", "Data_i09.20261205-140327"})
            std::remove(File(pszName).c_str());
        Register(9, row.tune, kDataLines);
        EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
        EXPECT_EQ(ReadBytes(File("RecipesTune_i09")), TuningFileText());
        EXPECT_EQ(ReadBytes(File("Data_i09")), "");
        EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327")), kDataLines);
        EXPECT_EQ(std::tuple(m_store.GetRecordCount(0), m_store.GetTotal(0, 21), m_store.GetRunStart(0)), std::tuple(0, 0, 0));
    }
}

TEST_F(StoreFiles, MovedAsideNamesNeverOverwriteAndEmptyFilesStay)
{
    Register(9, std::nullopt, "third\r\n");
    ASSERT_TRUE(WriteBytes(File("Data_i09.20261205-140327"), "first\r\n"));
    ASSERT_TRUE(WriteBytes(File("Data_i09.20261205-140327-2"), "second\r\n"));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327")) + ReadBytes(File("Data_i09.20261205-140327-2")) +
              ReadBytes(File("Data_i09.20261205-140327-3")), "first\r\nsecond\r\nthird\r\n");
    // Opening again with the tuning changed moves the slot's own (open, locked) file aside; an empty one stays.
    ASSERT_TRUE(m_store.AppendDataLine(0, "x=1,"));
    m_store.SetTuneValue(0, 20, 0, 4321);
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_EQ(ReadBytes(File("Data_i09.20261205-140327-4")), "x=1\r\n");
    m_store.SetTuneValue(0, 20, 0, 1234);
    EXPECT_TRUE(m_store.OpenIndicatorFiles(9));
    EXPECT_FALSE(FileExists(File("Data_i09.20261205-140327-5")));
    EXPECT_TRUE(m_store.AppendDataLine(0, "x=2,"));
    EXPECT_EQ(ReadBytes(File("Data_i09")), "x=2\r\n");
}

// Data lines too long to be records (up to and past the 1,023-character line buffer) are neither held
// nor totalled, the line after them is whole, and nothing is removed from the file.
TEST_F(StoreFiles, DataLinesThatCannotBeRecords)
{
    for (int nLen : {126, 127, 1022, 1023, 1024, 5000}) {
        SCOPED_TRACE(nLen);
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        std::string strLong = "01.01.2026,00:00:00,20=5";
        strLong.resize(static_cast<size_t>(nLen), '0');  // 5000... is an over-long field: 0
        const std::string strData = "a=1\r\n" + strLong + "\r\n01.01.2026,00:00:00,21=9\r\n";
        Register(3, TuningFileText(), strData);
        ASSERT_TRUE(m_store.OpenIndicatorFiles(3));
        EXPECT_EQ(m_store.GetRecordCount(0), nLen <= 126 ? 3 : 2);
        EXPECT_EQ(std::tuple(m_store.GetTotal(0, 20), m_store.GetTotal(0, 21)), std::tuple(0, 9));
        EXPECT_EQ(ReadBytes(File("Data_i03")), strData);
    }
}

TEST_F(StoreFiles, WorkingBufferAndPendingRecordLimits)
{
    const struct { int nLen; bool bComma; bool bStored; } aRows[] = {
        {126, false, true}, {127, false, false}, {127, true, true} /* the comma goes */, {128, true, false}, {5000, true, false},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.nLen);
        ASSERT_TRUE(m_store.Open(""));
        std::string strText(static_cast<size_t>(row.nLen), '7');
        if (row.bComma)
            strText.back() = ',';
        EXPECT_EQ(m_store.AppendRecord(0, strText.c_str()), row.bStored);
        EXPECT_EQ(m_store.GetRecordTextLength(0), row.bStored ? 127 : 0);
    }
    EXPECT_TRUE(m_store.AppendPending(0, "05.12.2026,14:03:27,20="));  // 23
    for (int i = 0; i < 17; ++i)
        EXPECT_TRUE(m_store.AppendPending(0, "12345,"));  // 23 + 17 * 6 = 125
    EXPECT_FALSE(m_store.AppendPending(0, "12345,"));     // 131 > 127: dropped
    EXPECT_FALSE(m_store.AppendPending(0, "0,"));         // would fit, but a value before it is missing
    EXPECT_EQ(std::string(m_store.GetPending(0)).size(), 125u);
    EXPECT_TRUE(m_store.AppendRecord(0, m_store.GetPending(0)));  // the result fits every later stage
    m_store.ResetPending(0);
    EXPECT_TRUE(m_store.AppendPending(0, "0,"));
    EXPECT_STREQ(m_store.GetPending(0), "0,");
    EXPECT_FALSE(m_store.AppendPending(2, std::string(400, '1').c_str()));
}

// The event log: stamped lines with the UTC offset, one older generation past the limit, and a log
// that cannot be written told once while the lines still reach standard error.
TEST_F(StoreFiles, EventLogLinesGenerationsAndFailure)
{
    CEventLog log(File("ev.log"), 200);
    for (const char* psz : {"один", "два", "три"})
        log.Write((std::string(psz) + std::string(40, '.')).c_str());
    const std::regex reLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d{4} tk-dedi: [^\n]+\.{40}\n)");
    const std::string strOld = ReadBytes(File("ev.log.1"));
    const std::string strNew = ReadBytes(File("ev.log"));
    EXPECT_TRUE(std::regex_match(strOld.substr(0, strOld.find('\n') + 1), reLine)) << strOld;
    EXPECT_NE(strOld.find("один"), std::string::npos);
    EXPECT_NE(strOld.find("два"), std::string::npos);
    EXPECT_TRUE(std::regex_match(strNew, reLine) && strNew.find("три") != std::string::npos) << strNew;

    ASSERT_TRUE(std::filesystem::create_directory(File("dir.log")));
    CEventLog logDir(File("dir.log"));
    testing::internal::CaptureStderr();
    logDir.Write("первое");
    logDir.Write("второе");
    const std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_NE(strErr.find("второе"), std::string::npos);
    EXPECT_EQ(strErr.find("журнал"), strErr.rfind("журнал")) << strErr;
    EXPECT_NE(strErr.find("журнал"), std::string::npos) << strErr;
}

}  // namespace
}  // namespace tkdtest
