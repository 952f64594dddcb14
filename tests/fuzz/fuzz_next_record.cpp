// Fuzz target: NextRecord over arbitrary record texts (records split from the input at LF and stored
// with AppendRecord), from the start and from every position.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "batch_store.h"
#include "fuzz_check.h"
#include "record_line.h"

namespace {

CBatchStore& Store()
{
    static CBatchStore s_store;
    return s_store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CBatchStore& store = Store();
    FUZZ_CHECK(store.Open(""));
    const std::string strInput(reinterpret_cast<const char*>(pData), nSize);
    std::vector<std::string> aRecords;
    size_t nStart = 0;
    for (size_t nEnd; nStart <= strInput.size(); nStart = nEnd + 1) {
        nEnd = strInput.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strInput.size();
        const std::string strRecord = strInput.substr(nStart, nEnd - nStart).c_str();
        if (store.AppendRecord(0, strRecord.c_str()))
            aRecords.push_back(strRecord);
    }
    FUZZ_CHECK(store.GetRecordCount(0) == static_cast<int>(aRecords.size()));
    const int nLen = store.GetRecordTextLength(0);
    const char* pszText = store.GetRecordText(0);
    FUZZ_CHECK(static_cast<int>(std::strlen(pszText)) == nLen);

    // One call from every position: either false with the position kept, or true with it moved on
    // to just after a "|" (or just past the end) and never backwards.
    for (int nFrom = -1; nFrom <= nLen + 1; ++nFrom) {
        int nPos = nFrom;
        int nRecipe = -1;
        int32_t anValues[10];
        if (!store.NextRecord(0, &nPos, &nRecipe, anValues)) {
            FUZZ_CHECK(nPos == nFrom);
            continue;
        }
        FUZZ_CHECK(nFrom >= 0 && nFrom + 1 < nLen);
        FUZZ_CHECK(nPos > nFrom && nPos <= nLen + 1);
        FUZZ_CHECK(nPos == nLen + 1 || pszText[nPos - 1] == '|');
        FUZZ_CHECK(nRecipe >= 0 && nRecipe <= 9);
    }

    // A walk from 0 ends, and in a text of plain records (no "|" inside one, none empty, a first byte
    // below 0x80) it visits each record once with the values the record reader gives.
    bool bPlain = !aRecords.empty() && static_cast<unsigned char>(pszText[0]) < 0x80;
    for (size_t i = 0; i < aRecords.size(); ++i) {
        std::string strKept = aRecords[i];
        if (!strKept.empty() && strKept.back() == ',')
            strKept.pop_back();
        aRecords[i] = strKept;
        bPlain = bPlain && !strKept.empty() && strKept.find('|') == std::string::npos;
    }
    int nPos = 0;
    int nRead = 0;
    int nRecipe = 0;
    int32_t anValues[10];
    while (store.NextRecord(0, &nPos, &nRecipe, anValues)) {
        FUZZ_CHECK(++nRead <= nLen);
        if (!bPlain)
            continue;
        FUZZ_CHECK(nRead <= static_cast<int>(aRecords.size()));
        const std::string& strRecord = aRecords[static_cast<size_t>(nRead - 1)];
        CRecordFields fields;
        SplitRecord(strRecord.c_str(), static_cast<int>(strRecord.size()), &fields);
        FUZZ_CHECK(nRecipe == (fields.nHeaderLen > 20 ? ReadDecimal(fields.pHeader + 20, 1) : 0));
        for (int d = 0; d < 10; ++d)
            FUZZ_CHECK(anValues[d] == fields.anValues[d]);
    }
    if (bPlain)
        FUZZ_CHECK(nRead == static_cast<int>(aRecords.size()));
    return 0;
}
