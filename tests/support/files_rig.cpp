// The files rig and the checks of tuning and data files against the store.
#include "files_rig.h"

#include <algorithm>
#include <functional>
#include <regex>

#include "fixed_clock.h"

namespace tkdtest {

const std::string kDataLines = "05.12.2026,14:03:27,20=0,1250,980,1530\r\n03.02.2026,08:15:00,30=0,1200,800\r\n"
                               "1250,980\r\n06.12.2026,09:00:00,no equals sign\r\n06.12.2026,09:00:01,21=5,5\r\n";

std::string TuningText(int nLines, const std::function<int(int, int)>& fnValue)
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

void CFilesRig::SetUp()
{
    m_pChdir = std::make_unique<CScopedChdir>(m_dir.Path());
    m_strDataDir = m_dir.Path() + "/";
    ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
    m_store.SetClock(FixedClock);
}

void CFilesRig::TearDown()
{
    OsFileClearFaults();
    m_store.Close();  // before the directory goes
    m_pChdir.reset();
}

int CFilesRig::RegisterWithTuning(int nAddress, const std::function<int(int, int)>& fnValue)
{
    const int nSlot = m_store.RegisterIndicator(nAddress);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        for (int k = 0; k < CBatchStore::kTuneValues; ++k)
            m_store.SetTuneValue(nSlot, e, k, fnValue(e, k));
    return nSlot;
}

int CFilesRig::Register(int nAddress, const std::optional<std::string>& tune, const std::optional<std::string>& data)
{
    const int nSlot = RegisterWithTuning(nAddress, TuneValue);
    EXPECT_TRUE(!tune || WriteBytes(File("RecipesTune_i" + std::to_string(100 + nAddress).substr(1)), *tune));
    EXPECT_TRUE(!data || WriteBytes(DataPath(nAddress), *data));
    return nSlot;
}

void CFilesRig::ExpectFilesMatchStore()
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

}  // namespace tkdtest
