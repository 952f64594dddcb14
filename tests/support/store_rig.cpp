// The store's test rig and the checks of data files against the store and the simulator.
#include "store_rig.h"

#include <algorithm>
#include <functional>
#include <regex>

#include "fixed_clock.h"

namespace tkdtest {

const std::string kDataLines = "05.12.2026,14:03:27,20=0,1250,980,1530\r\n03.02.2026,08:15:00,30=0,1200,800\r\n"
                               "1250,980\r\n06.12.2026,09:00:00,no equals sign\r\n06.12.2026,09:00:01,21=5,5\r\n";

static std::string TuningText(int nLines, const std::function<int(int, int)>& fnValue)
{
    std::string str;
    for (int e = 0; e < nLines * 10; ++e)
        for (int k = 0; k < 6; ++k)
            str += std::to_string(fnValue(e, k)) + (k == 5 && e % 10 == 9 ? ",\r\n" : ",");
    return str;
}

std::string TuningFileText(int nLines, bool bZero)
{
    return TuningText(nLines, [bZero](int e, int k) { return bZero ? 0 : TuneValue(e, k); });
}

std::string TuningFileOf(const CSimIndicator& ind)
{
    return TuningText(10, [&ind](int e, int k) { return ind.Tune(e, k); });
}

std::vector<int32_t> Totals(const CBatchStore& store, int nSlot)
{
    std::vector<int32_t> an;
    for (int e = 0; e < 100; ++e)
        an.push_back(store.GetTotal(nSlot, e));
    return an;
}

std::vector<std::string> DataLines(const std::string& strPath, size_t* pnTail)
{
    const std::string strFile = ReadBytes(strPath);
    std::vector<std::string> aLines;
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strFile.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2)
        aLines.push_back(strFile.substr(nStart, nEnd - nStart));
    if (pnTail != nullptr)
        *pnTail = strFile.size() - nStart;
    return aLines;
}

bool IsRecordLine(const std::string& strLine)
{
    static const std::regex reLine(R"(((\d\d\.\d\d\.\d{4},\d\d:\d\d:\d\d,\d\d=)?-?\d+(,-?\d+)*)?)");
    return strLine.size() <= 126 && std::regex_match(strLine, reLine);
}

// The totals that loading these lines gives, from the file format: the header's two digits are the
// entry of the first value, each next value goes to the next entry (up to ten, entries 0..99 only).
static std::vector<int64_t> SumsOfLines(const std::vector<std::string>& aLines)
{
    std::vector<int64_t> anSums(CBatchStore::kEntries, 0);
    for (const std::string& strLine : aLines) {
        const size_t nEq = strLine.find('=');
        if (nEq == std::string::npos || nEq < 22)
            continue;
        int nEntry = std::stoi(strLine.substr(20, 2));
        size_t nPos = nEq + 1;
        for (int k = 0; k < 10 && nPos <= strLine.size() && nEntry < CBatchStore::kEntries; ++k, ++nEntry) {
            const size_t nComma = strLine.find(',', nPos);
            anSums[static_cast<size_t>(nEntry)] += std::stoll(strLine.substr(nPos, nComma - nPos));
            if (nComma == std::string::npos)
                break;
            nPos = nComma + 1;
        }
    }
    return anSums;
}

std::vector<std::string> ExpectedLines(const std::vector<CSimBatch>& aBatches)
{
    std::vector<std::string> aLines;
    for (const CSimBatch& batch : aBatches) {
        const std::string strHeader = kHeaderTime + std::to_string(batch.nRecipe) + std::to_string(batch.nFirstDose) + "=";
        aLines.push_back((batch.bHeader ? strHeader : "") + batch.ValuesText());
    }
    return aLines;
}

void CStoreRig::SetUp()
{
    m_pChdir = std::make_unique<CScopedChdir>(m_dir.Path());
    ASSERT_TRUE(m_line.Start());
    ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 1));
    ASSERT_TRUE(OpenPort());
    m_strDataDir = m_dir.Path() + "/";
    ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
    m_store.SetClock(FixedClock);
}

void CStoreRig::TearDown()
{
    OsFileClearFaults();
    m_store.Close();  // before the directory goes
    m_pChdir.reset();
}

int CStoreRig::Poll(int nTicks)
{
    int nCompleted = 0;
    const auto Runs = [this] { return m_store.GetRunCount(0) + m_store.GetRunCount(1) + m_store.GetRunCount(2); };
    for (int i = 0; i < nTicks; ++i) {
        const int nBefore = Runs();
        int nRow = -1;
        bool bCompleted = false;
        m_store.Poll(m_port, &nRow, &bCompleted);
        EXPECT_EQ(bCompleted, Runs() > nBefore);
        nCompleted += Runs() - nBefore;
    }
    return nCompleted;
}

static int RegisterWith(CBatchStore& store, int nAddress, const std::function<int(int, int)>& fnValue)
{
    const int nSlot = store.RegisterIndicator(nAddress);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        for (int k = 0; k < CBatchStore::kTuneValues; ++k)
            store.SetTuneValue(nSlot, e, k, fnValue(e, k));
    return nSlot;
}

int CStoreRig::Attach(CSimIndicator& ind)
{
    const int nSlot = RegisterWith(m_store, ind.Address(), [&ind](int e, int k) { return ind.Tune(e, k); });
    EXPECT_TRUE(m_store.OpenIndicatorFiles(ind.Address()));
    return nSlot;
}

int CStoreRig::Register(int nAddress, const std::optional<std::string>& tune, const std::optional<std::string>& data)
{
    const int nSlot = RegisterWith(m_store, nAddress, TuneValue);
    EXPECT_TRUE(!tune || WriteBytes(File("RecipesTune_i" + std::to_string(100 + nAddress).substr(1)), *tune));
    EXPECT_TRUE(!data || WriteBytes(DataPath(nAddress), *data));
    return nSlot;
}

void CStoreRig::ExpectFilesMatchStore()
{
    for (int nSlot = 0; nSlot < m_store.GetIndicatorCount(); ++nSlot) {
        const int nAddress = m_store.GetIndicatorAddress(nSlot);
        SCOPED_TRACE("indicator " + std::to_string(nAddress));
        size_t nTail = 0;
        const std::vector<std::string> aLines = DataLines(DataPath(nAddress), &nTail);
        EXPECT_EQ(nTail, 0u) << "a torn last line";
        std::string strText;
        for (const std::string& strLine : aLines) {
            EXPECT_TRUE(IsRecordLine(strLine)) << "corrupted record line: " << strLine;
            strText += strLine + "|";
        }
        EXPECT_EQ(m_store.GetRecordCount(nSlot), static_cast<int>(aLines.size()));
        EXPECT_EQ(m_store.GetRecordText(nSlot), strText);
        const std::vector<int64_t> anSums = SumsOfLines(aLines);
        for (int e = 0; e < CBatchStore::kEntries; ++e)
            EXPECT_EQ(m_store.GetTotal(nSlot, e), anSums[static_cast<size_t>(e)]) << "entry " << e;
    }
}

void CStoreRig::ExpectRecordsOfBatches(CSimIndicator& ind)
{
    EXPECT_EQ(DataLines(DataPath(ind.Address())), ExpectedLines(ind.Batches())) << "indicator " << ind.Address();
}

}  // namespace tkdtest
