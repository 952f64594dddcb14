// Fuzz target: the comparison of a tuning file of arbitrary bytes with the downloaded tuning
// (OpenIndicatorFiles), and what each outcome does to the data file.
#include <cstdint>
#include <cstdio>
#include <string>

#include "batch_store.h"
#include "fixed_clock.h"
#include "fuzz_check.h"
#include "temp_dir.h"

namespace {

const std::string kDataText = "05.12.2026,14:03:27,20=0,1250,980,1530\r\n05.12.2026,14:04:01,10=15,2000\r\n";

// A tuning with configured doses, zeros and values of every width, as an indicator reports it.
int32_t TuneValue(int nEntry, int k)
{
    return k == 0 ? (nEntry % 7 == 3 ? 1000 + nEntry * 37 : 0) : (nEntry * 13 + k * 101) % (k < 2 ? 100000 : 1000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static tkdtest::CTempDir s_dir;
    static CBatchStore s_store;
    static const std::string s_strExpected = [] {  // the tuning file the store writes: ten lines of ten entries
        std::string str;
        for (int i = 0; i < CBatchStore::kEntries * CBatchStore::kTuneValues; ++i)
            str += std::to_string(TuneValue(i / 6, i % 6)) + "," + (i % 60 == 59 ? "\r\n" : "");
        return str;
    }();
    const std::string strTunePath = s_dir.File("RecipesTune_i05"), strDataPath = s_dir.File("Data_i05");
    const std::string strAsidePath = strDataPath + ".20261205-140327";
    const std::string strFile(reinterpret_cast<const char*>(pData), nSize);
    FUZZ_CHECK(tkdtest::WriteBytes(strTunePath, strFile) && tkdtest::WriteBytes(strDataPath, kDataText));
    FUZZ_CHECK(s_store.Open((s_dir.Path() + "/").c_str()));
    s_store.SetClock(tkdtest::FixedClock);
    FUZZ_CHECK(s_store.RegisterIndicator(5) == 0);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        for (int k = 0; k < CBatchStore::kTuneValues; ++k)
            s_store.SetTuneValue(0, e, k, TuneValue(e, k));
    FUZZ_CHECK(s_store.OpenIndicatorFiles(5));

    // The rule: the complete lines (up to the last CR LF) are at least one and each equals the line of the
    // tuning at its place; what follows the last CR LF is not read.
    const size_t nLastLf = strFile.rfind("\r\n");
    const size_t nComplete = nLastLf == std::string::npos ? 0 : nLastLf + 2;
    if (nComplete > 0 && nComplete <= s_strExpected.size() && s_strExpected.compare(0, nComplete, strFile, 0, nComplete) == 0) {
        FUZZ_CHECK(s_store.GetRecordCount(0) == 2 && s_store.GetTotal(0, 21) == 1250 && s_store.GetTotal(0, 10) == 15);
        FUZZ_CHECK(tkdtest::ReadBytes(strDataPath) == kDataText && tkdtest::ReadBytes(strTunePath) == strFile);
        FUZZ_CHECK(!tkdtest::FileExists(strAsidePath));
    } else {
        // A fresh data file for the new tuning; the old records moved aside, not lost.
        bool bFound = false;
        FUZZ_CHECK(s_store.GetRecordCount(0) == 0 && tkdtest::ReadBytes(strTunePath) == s_strExpected);
        FUZZ_CHECK(tkdtest::ReadBytes(strDataPath, &bFound).empty() && bFound);
        FUZZ_CHECK(tkdtest::ReadBytes(strAsidePath) == kDataText && std::remove(strAsidePath.c_str()) == 0);
    }
    return 0;
}
