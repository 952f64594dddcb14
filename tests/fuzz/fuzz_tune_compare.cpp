// Fuzz target: the comparison of a tuning file with the downloaded tuning (OpenIndicatorFiles over a
// tuning file of arbitrary bytes), and what each outcome does to the data file.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "batch_store.h"
#include "fixed_clock.h"
#include "fuzz_check.h"
#include "temp_dir.h"

namespace {

constexpr int kAddress = 5;
const std::string kDataText = "05.12.2026,14:03:27,20=0,1250,980,1530\r\n05.12.2026,14:04:01,10=15,2000\r\n";

// A tuning with configured doses, zeros and values of every width, as an indicator reports it.
int32_t TuneValue(int nEntry, int k)
{
    if (k == 0)
        return (nEntry % 7 == 3) ? 1000 + nEntry * 37 : 0;
    return (nEntry * 13 + k * 101) % (k < 2 ? 100000 : 1000);
}

std::string ExpectedTuneFile()
{
    std::string str;
    for (int e = 0; e < CBatchStore::kEntries; ++e) {
        for (int k = 0; k < CBatchStore::kTuneValues; ++k)
            str += std::to_string(TuneValue(e, k)) + ",";
        if (e % 10 == 9)
            str += "\r\n";
    }
    return str;
}

tkdtest::CTempDir& Dir()
{
    static tkdtest::CTempDir s_dir;
    return s_dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static CBatchStore s_store;
    static const std::string s_strExpected = ExpectedTuneFile();
    static const std::string s_strDir = Dir().Path() + "/";
    const std::string strTunePath = Dir().File("RecipesTune_i05");
    const std::string strDataPath = Dir().File("Data_i05");
    const std::string strAsidePath = strDataPath + ".20261205-140327";

    const std::string strFile(reinterpret_cast<const char*>(pData), nSize);
    FUZZ_CHECK(tkdtest::WriteBytes(strTunePath, strFile));
    FUZZ_CHECK(tkdtest::WriteBytes(strDataPath, kDataText));
    FUZZ_CHECK(s_store.Open(s_strDir.c_str()));
    s_store.SetClock(tkdtest::FixedClock);
    FUZZ_CHECK(s_store.RegisterIndicator(kAddress) == 0);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        for (int k = 0; k < CBatchStore::kTuneValues; ++k)
            s_store.SetTuneValue(0, e, k, TuneValue(e, k));

    FUZZ_CHECK(s_store.OpenIndicatorFiles(kAddress));

    // The rule: the file is exactly the ten lines of the tuning (a file cut short never matches).
    const bool bMatch = strFile == s_strExpected;
    if (bMatch) {
        FUZZ_CHECK(s_store.GetRecordCount(0) == 2);
        FUZZ_CHECK(s_store.GetTotal(0, 21) == 1250 && s_store.GetTotal(0, 10) == 15);
        FUZZ_CHECK(tkdtest::ReadBytes(strDataPath) == kDataText);
        FUZZ_CHECK(tkdtest::ReadBytes(strTunePath) == strFile);
        FUZZ_CHECK(!tkdtest::FileExists(strAsidePath));
    } else {
        // A fresh data file for the new tuning; the old records moved aside, not lost.
        FUZZ_CHECK(s_store.GetRecordCount(0) == 0);
        FUZZ_CHECK(tkdtest::ReadBytes(strTunePath) == s_strExpected);
        bool bFound = false;
        FUZZ_CHECK(tkdtest::ReadBytes(strDataPath, &bFound).empty() && bFound);
        FUZZ_CHECK(tkdtest::ReadBytes(strAsidePath) == kDataText);
        FUZZ_CHECK(std::remove(strAsidePath.c_str()) == 0);
    }
    return 0;
}
