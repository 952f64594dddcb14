// The reliability tests' rig and the checks of data files against the store and the simulator.
#include "reliability_rig.h"
#include "fixed_clock.h"
#include "port_params.h"

#include <algorithm>
#include <cstring>
#include <regex>

namespace reliability {

double MsSince(std::chrono::steady_clock::time_point tStart)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tStart).count();
}

std::vector<std::string> DataLines(const std::string& strPath, size_t* pnTail)
{
    const std::string strFile = tkdtest::ReadBytes(strPath);
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

std::vector<int64_t> SumsOfLines(const std::vector<std::string>& aLines)
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

std::string ExpectedLine(const CSimBatch& batch)
{
    std::string str;
    if (batch.bHeader)
        str = std::string(kHeaderTime) + std::to_string(batch.nRecipe) + std::to_string(batch.nFirstDose) + "=";
    return str + batch.ValuesText();
}

std::vector<std::string> ExpectedLines(const std::vector<CSimBatch>& aBatches)
{
    std::vector<std::string> aLines;
    for (const CSimBatch& batch : aBatches)
        aLines.push_back(ExpectedLine(batch));
    return aLines;
}

void CReliabilityRig::SetUp()
{
    m_pChdir = std::make_unique<tkdtest::CScopedChdir>(m_dir.Path());
    ASSERT_TRUE(m_line.Start());
    ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 1));
    ASSERT_TRUE(OpenPort());
    m_strDataDir = m_dir.Path() + "/";
    ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
    m_store.SetClock(tkdtest::FixedClock);
}

void CReliabilityRig::TearDown()
{
    m_store.Close();
    m_port.Close();
    m_line.Stop();
    m_pChdir.reset();
}

bool CReliabilityRig::OpenPort()
{
    return m_port.Open(tkdtest::SimPortParams(1));
}

void CReliabilityRig::RestoreLine()
{
    m_port.Close();
    m_line.Stop();
    ASSERT_TRUE(m_line.Start());
    ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 1));
    ASSERT_TRUE(OpenPort());
}

bool CReliabilityRig::Search()
{
    if (!m_store.Open(m_strDataDir.c_str()))
        return false;
    return m_store.Search(nullptr, m_port, nullptr, nullptr);
}

int CReliabilityRig::Poll(int nTicks)
{
    int nCompleted = 0;
    for (int i = 0; i < nTicks; ++i) {
        const int nBefore = m_store.GetRunCount(0) + m_store.GetRunCount(1) + m_store.GetRunCount(2);
        int nRow = -1;
        bool bCompleted = false;
        m_store.Poll(m_port, &nRow, &bCompleted);
        const int nAfter = m_store.GetRunCount(0) + m_store.GetRunCount(1) + m_store.GetRunCount(2);
        EXPECT_EQ(bCompleted, nAfter > nBefore);
        nCompleted += nAfter - nBefore;
    }
    return nCompleted;
}

int CReliabilityRig::Attach(CSimIndicator& ind)
{
    const int nSlot = m_store.RegisterIndicator(ind.Address());
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        for (int k = 0; k < CBatchStore::kTuneValues; ++k)
            m_store.SetTuneValue(nSlot, e, k, ind.Tune(e, k));
    EXPECT_TRUE(m_store.OpenIndicatorFiles(ind.Address()));
    return nSlot;
}

std::string CReliabilityRig::DataPath(int nAddress) const
{
    char szPath[512];
    EXPECT_TRUE(m_store.MakeDataPath(nAddress, szPath, sizeof szPath));
    return szPath;
}

void CReliabilityRig::ExpectFilesMatchStore(const std::set<std::string>& setTorn)
{
    for (int nSlot = 0; nSlot < m_store.GetIndicatorCount(); ++nSlot) {
        const int nAddress = m_store.GetIndicatorAddress(nSlot);
        SCOPED_TRACE("indicator " + std::to_string(nAddress));
        size_t nTail = 0;
        const std::vector<std::string> aLines = DataLines(DataPath(nAddress), &nTail);
        const std::string strFile = tkdtest::ReadBytes(DataPath(nAddress));
        EXPECT_TRUE(nTail == 0 || setTorn.count(strFile.substr(strFile.size() - nTail)) != 0) << "a torn last line";
        std::string strText;
        for (const std::string& strLine : aLines) {
            EXPECT_TRUE(IsRecordLine(strLine) || setTorn.count(strLine) != 0) << "corrupted record line: " << strLine;
            strText += strLine + "|";
        }
        const std::string strHeld = m_store.GetRecordText(nSlot);
        if (strText.size() < static_cast<size_t>(CBatchStore::kRecordTextBytes)) {
            EXPECT_EQ(m_store.GetRecordCount(nSlot), static_cast<int>(aLines.size()));
            EXPECT_EQ(strHeld, strText);
        } else {
            // A full record text holds the oldest records without a gap; the file and totals hold all.
            EXPECT_GT(strHeld.size() + CBatchStore::kWorkBytes, static_cast<size_t>(CBatchStore::kRecordTextBytes));
            EXPECT_EQ(strText.compare(0, strHeld.size(), strHeld), 0);
            EXPECT_EQ(strHeld.back(), '|');
            EXPECT_EQ(m_store.GetRecordCount(nSlot), static_cast<int>(std::count(strHeld.begin(), strHeld.end(), '|')));
        }
        const std::vector<int64_t> anSums = SumsOfLines(aLines);
        for (int e = 0; e < CBatchStore::kEntries; ++e)
            EXPECT_EQ(m_store.GetTotal(nSlot, e), anSums[static_cast<size_t>(e)]) << "entry " << e;
    }
}

void CReliabilityRig::ExpectRecordsOfBatches(CSimIndicator& ind, size_t nFirstLine)
{
    SCOPED_TRACE("indicator " + std::to_string(ind.Address()));
    std::vector<std::string> aLines = DataLines(DataPath(ind.Address()));
    ASSERT_GE(aLines.size(), nFirstLine);
    aLines.erase(aLines.begin(), aLines.begin() + static_cast<std::ptrdiff_t>(nFirstLine));
    EXPECT_EQ(aLines, ExpectedLines(ind.Batches()));
}

}  // namespace reliability
