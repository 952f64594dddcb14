// The store's files byte for byte in a temporary directory, and every capacity at and past its limit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "store_rig.h"

namespace tkdtest {
namespace {

class StoreFiles : public CStoreRig {};

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
}

// A tuning file that does not match is replaced, the old data moved aside under a dated name, a fresh
// data file started and nothing loaded.
TEST_F(StoreFiles, AMismatchMovesTheOldDataAsideAndStartsAfresh)
{
    std::string strOneValueOff = TuningFileText();
    strOneValueOff.replace(strOneValueOff.find("1020,"), 5, "1021,");
    const struct { const char* pszWhat; std::optional<std::string> tune; } aRows[] = {
        {"one value differs", strOneValueOff}, {"eleven lines", TuningFileText() + TuningFileText(1)},
        {"three lines", TuningFileText(3)}, {"a torn eleventh line", TuningFileText() + "1,"}, {"empty", ""},
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
        EXPECT_EQ(m_store.GetRecordCount(0) + m_store.GetTotal(0, 21) + m_store.GetRunStart(0), 0);
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

TEST_F(StoreFiles, LoadingAddsOnlyToEntriesZeroToNinetyNine)
{
    const struct { const char* pszLine; int nFirstEntry; std::vector<int32_t> anValues; } aRows[] = {
        {"01.01.2026,00:00:00,95=1,2,3,4,5,6,7,8,9,10", 95, {1, 2, 3, 4, 5}},  // 100..104 would be outside
        {"01.01.2026,00:00:00,-5=1,2,3,4,5,6,7,8,9,10", 0, {6, 7, 8, 9, 10}},  // -5..-1 would be outside
        {"01.01.2026,00:00:00,99=7,8", 99, {7}}, {"01.01.2026,00:00:00,x9=7,8", 0, {7, 8}},
        {"01.01.2026,00:00:00,2=7,8", 2, {7, 8}}, {"01.01.2026,00:00:0=7,8", 0, {7, 8}},
        {";01.01.2026,00:00:00,20=7,8", 0, {}},  // the splitter refuses a ';' line: no values
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszLine);
        ASSERT_TRUE(m_store.Open(""));
        EXPECT_FALSE(m_store.LoadRecordLine(0, row.pszLine));
        std::vector<int32_t> an(100, 0);
        for (size_t k = 0; k < row.anValues.size(); ++k)
            an[static_cast<size_t>(row.nFirstEntry) + k] = row.anValues[k];
        EXPECT_EQ(Totals(m_store, 0), an);
        EXPECT_EQ(Totals(m_store, 1), std::vector<int32_t>(100, 0));  // the next slot's table, right after entry 99
        EXPECT_EQ(m_store.GetRecordCount(0), 1);
    }
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
        EXPECT_EQ(m_store.GetTotal(0, 21) * 10 + m_store.GetTotal(0, 20), 90);
        EXPECT_EQ(ReadBytes(File("Data_i03")), strData);
    }
}

// A full record text keeps the data file and the totals complete and holds no further records.
TEST_F(StoreFiles, AFullRecordTextKeepsTotalsAndFileComplete)
{
    std::string strLine = "01.01.2026,00:00:00,20=1";  // 126 characters: 127 bytes of record text
    while (strLine.size() < 126)
        strLine += ",1";
    std::string strData;
    for (int i = 0; i < 11500; ++i)
        strData += strLine + "\r\n";
    Register(3, TuningFileText(), strData);
    ASSERT_TRUE(m_store.OpenIndicatorFiles(3));
    constexpr int kHeld = (CBatchStore::kRecordTextBytes - 1) / 127;  // 11,477
    EXPECT_EQ(m_store.GetRecordCount(0), kHeld);
    EXPECT_EQ(m_store.GetRecordTextLength(0), kHeld * 127);
    for (int e = 20; e < 30; ++e)
        EXPECT_EQ(m_store.GetTotal(0, e), 11500) << e;
    // Not even a short record that would fit the 85 bytes left is held (no gap), but the file gets it.
    EXPECT_FALSE(m_store.AppendRecord(0, "01.01.2026,00:00:01,20=5,"));
    EXPECT_TRUE(m_store.AppendDataLine(0, "01.01.2026,00:00:01,20=5,"));
    EXPECT_EQ(ReadBytes(File("Data_i03")), strData + "01.01.2026,00:00:01,20=5\r\n");
    int nPos = 0, nRecipe = 0, nSeen = 0;
    int32_t anValues[10];
    while (m_store.NextRecord(0, &nPos, &nRecipe, anValues))
        ++nSeen;
    EXPECT_EQ(nSeen, kHeld);
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

}  // namespace
}  // namespace tkdtest
