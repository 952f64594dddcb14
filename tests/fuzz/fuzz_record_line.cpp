// Fuzz target: one data-file line through LoadRecordLine, its value list through GetField, and the
// single-pass record reader checked against SplitKeyValue + GetField, which it stands in for.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "batch_store.h"
#include "fuzz_check.h"
#include "record_line.h"
#include "tune_settings.h"

namespace {

// Field k of a comma-separated list, written out from the rule: fields lie between commas; one longer
// than kMaxFieldChars reads 0, otherwise atoi of it; a missing one fails, except after a list that
// ends with a comma (not at position 0), where every later field reads as an empty one.
bool ExpectField(const std::string& strList, int k, int32_t* pnValue)
{
    *pnValue = 0;
    if (strList.empty())
        return false;
    std::vector<std::string> aFields(1);
    for (char c : strList) {
        if (c == ',')
            aFields.emplace_back();
        else
            aFields.back() += c;
    }
    if (k < 1)
        return false;
    if (k > static_cast<int>(aFields.size()))
        return strList.size() >= 2 && strList.back() == ',';
    const std::string& strField = aFields[static_cast<size_t>(k - 1)];
    if (static_cast<int>(strField.size()) <= kMaxFieldChars)
        *pnValue = static_cast<int32_t>(std::strtol(strField.c_str(), nullptr, 10));  // 7 characters cannot overflow
    return true;
}

CBatchStore& Store()
{
    static CBatchStore s_store;
    return s_store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // The line as LoadRecordLine sees it: up to its terminator (a data line holds no terminator).
    const std::string strLine = std::string(reinterpret_cast<const char*>(pData), nSize).c_str();
    const int nLen = static_cast<int>(strLine.size());

    // GetField over the whole text as a value list, every field number that can matter.
    for (int k = 1; k <= 12; ++k) {
        int32_t nGot = -1;
        int32_t nWant = 0;
        const bool bGot = GetField(strLine.c_str(), k, &nGot);
        FUZZ_CHECK(bGot == ExpectField(strLine, k, &nWant));
        FUZZ_CHECK(nGot == nWant);
    }

    // SplitRecord gives what SplitKeyValue(line, 128) and GetField(values, 1..10) give.
    CRecordFields fields;
    SplitRecord(strLine.c_str(), nLen, &fields);
    char szKey[129];
    char szValue[129];
    szKey[0] = szValue[0] = '\0';
    if (!SplitKeyValue(strLine.c_str(), 128, szKey, szValue))
        szKey[0] = szValue[0] = '\0';
    FUZZ_CHECK(fields.nHeaderLen == static_cast<int>(std::strlen(szKey)));
    FUZZ_CHECK(fields.nHeaderLen == 0 || std::memcmp(fields.pHeader, szKey, std::strlen(szKey)) == 0);
    for (int k = 0; k < 10; ++k) {
        int32_t nWant = 0;
        GetField(szValue, k + 1, &nWant);
        FUZZ_CHECK(fields.anValues[k] == nWant);
    }

    // LoadRecordLine: the values go to entries base..base+9 within 0..99, the line (without a
    // trailing comma) becomes one record of the text, unless it cannot be held as a record.
    CBatchStore& store = Store();
    if (store.GetRecordTextLength(0) > CBatchStore::kRecordTextBytes - 256)
        FUZZ_CHECK(store.Open(""));
    int32_t anBefore[CBatchStore::kEntries];
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        anBefore[e] = store.GetTotal(0, e);
    const int nCountBefore = store.GetRecordCount(0);
    const int nTextBefore = store.GetRecordTextLength(0);
    store.LoadRecordLine(0, strLine.c_str());

    const int nKeep = (nLen > 0 && strLine[static_cast<size_t>(nLen - 1)] == ',') ? nLen - 1 : nLen;
    const bool bHeld = nKeep + 2 <= CBatchStore::kWorkBytes;
    int32_t anAdded[CBatchStore::kEntries] = {};
    if (bHeld) {
        const int32_t nBase = fields.nHeaderLen > 20 ? ReadDecimal(fields.pHeader + 20, fields.nHeaderLen > 21 ? 2 : 1) : 0;
        for (int k = 0; k < fields.nFields && k < 10; ++k) {
            const int64_t nEntry = static_cast<int64_t>(nBase) + k;
            if (nEntry >= 0 && nEntry < CBatchStore::kEntries)
                anAdded[nEntry] += fields.anValues[k];  // at most ten values of 7 characters: no overflow
        }
    }
    for (int e = 0; e < CBatchStore::kEntries; ++e) {
        const int64_t nSum = static_cast<int64_t>(anBefore[e]) + anAdded[e];
        const int32_t nWant = nSum > INT32_MAX ? INT32_MAX : nSum < INT32_MIN ? INT32_MIN : static_cast<int32_t>(nSum);
        FUZZ_CHECK(store.GetTotal(0, e) == nWant);
    }
    FUZZ_CHECK(store.GetRecordCount(0) == nCountBefore + (bHeld ? 1 : 0));
    FUZZ_CHECK(store.GetRecordTextLength(0) == nTextBefore + (bHeld ? nKeep + 1 : 0));
    const char* pszText = store.GetRecordText(0);
    FUZZ_CHECK(static_cast<int>(std::strlen(pszText)) == store.GetRecordTextLength(0));  // no terminator inside
    if (bHeld) {
        FUZZ_CHECK(std::memcmp(pszText + nTextBefore, strLine.data(), static_cast<size_t>(nKeep)) == 0);
        FUZZ_CHECK(pszText[nTextBefore + nKeep] == '|' && pszText[nTextBefore + nKeep + 1] == '\0');
    }

    // Read back through NextRecord when the record stands alone in a text the store wrote.
    if (bHeld && nKeep > 0 && strLine.find('|') == std::string::npos &&
        static_cast<unsigned char>(pszText[0]) < 0x80) {
        int nPos = nTextBefore;
        int nRecipe = -1;
        int32_t anValues[10];
        FUZZ_CHECK(store.NextRecord(0, &nPos, &nRecipe, anValues));
        FUZZ_CHECK(nPos == nTextBefore + nKeep + 1);
        CRecordFields kept;
        SplitRecord(strLine.c_str(), nKeep, &kept);
        FUZZ_CHECK(nRecipe == (kept.nHeaderLen > 20 ? ReadDecimal(kept.pHeader + 20, 1) : 0));
        for (int d = 0; d < 10; ++d)
            FUZZ_CHECK(anValues[d] == kept.anValues[d]);
    }
    return 0;
}
