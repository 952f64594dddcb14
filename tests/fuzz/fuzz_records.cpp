// Fuzz target: data-file lines (the input split at LF) through the single-pass record reader and
// LoadRecordLine, then NextRecord over the record text they built, from every position.
#include <algorithm>
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

// Field k of a comma-separated list, from the rule: fields lie between commas; one longer than
// kMaxFieldChars reads 0, otherwise atoi of it; a missing one fails, except after a list that ends with
// a comma (not at position 0), where every later field reads as an empty one.
bool ExpectField(const std::string& strList, int k, int32_t* pnValue)
{
    *pnValue = 0;
    std::vector<std::string> aFields(1);
    for (char c : strList)
        c == ',' ? aFields.emplace_back() : aFields.back() += c;
    if (strList.empty() || k < 1)
        return false;
    if (k > static_cast<int>(aFields.size()))
        return strList.size() >= 2 && strList.back() == ',';
    const std::string& strField = aFields[static_cast<size_t>(k - 1)];
    if (static_cast<int>(strField.size()) <= kMaxFieldChars)
        *pnValue = static_cast<int32_t>(std::strtol(strField.c_str(), nullptr, 10));  // 7 characters cannot overflow
    return true;
}

// One line: its fields, its split, and what LoadRecordLine adds to the totals and the record text.
void CheckLine(CBatchStore& store, const std::string& strLine, std::vector<std::string>* paHeld)
{
    const int nLen = static_cast<int>(strLine.size());
    CRecordFields fields;  // the header as SplitKeyValue(line, 128) gives it, the values by the field rule
    SplitRecord(strLine.c_str(), nLen, &fields);
    char szKey[129] = "", szValue[129] = "";
    if (!SplitKeyValue(strLine.c_str(), 128, szKey, szValue))
        szKey[0] = szValue[0] = '\0';
    FUZZ_CHECK(fields.nHeaderLen == static_cast<int>(std::strlen(szKey)));
    FUZZ_CHECK(std::memcmp(fields.nHeaderLen ? fields.pHeader : "", szKey, std::strlen(szKey)) == 0);
    for (int k = 0; k < 10; ++k) {
        int32_t nWant = 0;
        ExpectField(szValue, k + 1, &nWant);
        FUZZ_CHECK(fields.anValues[k] == nWant);
    }

    // Values go to entries base..base+9 within 0..99, saturating; the line without a trailing comma becomes
    // one record, unless it is too long to be held as one.
    int32_t anBefore[CBatchStore::kEntries];
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        anBefore[e] = store.GetTotal(0, e);
    const int nCountBefore = store.GetRecordCount(0);
    const int nTextBefore = store.GetRecordTextLength(0);
    store.LoadRecordLine(0, strLine.c_str());
    const int nKeep = (nLen > 0 && strLine.back() == ',') ? nLen - 1 : nLen;
    const bool bHeld = nKeep + 2 <= CBatchStore::kWorkBytes;
    int64_t anAdded[CBatchStore::kEntries] = {};
    const int32_t nBase = fields.nHeaderLen > 20 ? ReadDecimal(fields.pHeader + 20, fields.nHeaderLen > 21 ? 2 : 1) : 0;
    for (int k = 0; bHeld && k < fields.nFields && k < 10; ++k)
        if (static_cast<int64_t>(nBase) + k >= 0 && nBase + k < CBatchStore::kEntries)
            anAdded[nBase + k] += fields.anValues[k];
    for (int e = 0; e < CBatchStore::kEntries; ++e) {
        const int64_t nSum = anBefore[e] + anAdded[e];
        FUZZ_CHECK(store.GetTotal(0, e) == (nSum > INT32_MAX ? INT32_MAX : nSum < INT32_MIN ? INT32_MIN : nSum));
    }
    FUZZ_CHECK(store.GetRecordCount(0) == nCountBefore + (bHeld ? 1 : 0));
    FUZZ_CHECK(store.GetRecordTextLength(0) == nTextBefore + (bHeld ? nKeep + 1 : 0));
    const char* pszText = store.GetRecordText(0);
    FUZZ_CHECK(static_cast<int>(std::strlen(pszText)) == store.GetRecordTextLength(0));  // no terminator inside
    if (bHeld) {
        FUZZ_CHECK(std::memcmp(pszText + nTextBefore, strLine.data(), static_cast<size_t>(nKeep)) == 0);
        FUZZ_CHECK(pszText[nTextBefore + nKeep] == '|');
        paHeld->push_back(strLine.substr(0, static_cast<size_t>(nKeep)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static CBatchStore s_store;
    FUZZ_CHECK(s_store.Open(""));
    for (int e = 0; e < CBatchStore::kEntries; ++e)  // totals near both limits, so that one value crosses them
        s_store.AddTotal(0, e, e % 2 ? INT32_MAX - 1000 : INT32_MIN + 1000);
    const std::string strInput(reinterpret_cast<const char*>(pData), nSize);
    std::vector<std::string> aHeld;
    for (size_t nStart = 0, nEnd; nStart <= strInput.size(); nStart = nEnd + 1) {
        nEnd = std::min(strInput.find('\n', nStart), strInput.size());
        CheckLine(s_store, strInput.substr(nStart, nEnd - nStart).c_str(), &aHeld);  // a line holds no terminator
    }
    const int nLen = s_store.GetRecordTextLength(0);
    const char* pszText = s_store.GetRecordText(0);

    // One call from every position: false with the position kept, or true with it moved on to just after a
    // "|" (or just past the end), never backwards.
    for (int nFrom = -1; nFrom <= nLen + 1; ++nFrom) {
        int nPos = nFrom, nRecipe = -1;
        int32_t anValues[10];
        if (!s_store.NextRecord(0, &nPos, &nRecipe, anValues)) {
            FUZZ_CHECK(nPos == nFrom);
            continue;
        }
        FUZZ_CHECK(nFrom >= 0 && nFrom + 1 < nLen && nPos > nFrom && nPos <= nLen + 1);
        FUZZ_CHECK((nPos == nLen + 1 || pszText[nPos - 1] == '|') && nRecipe >= 0 && nRecipe <= 9);
    }

    // A walk from 0 ends, and over plain records (none empty, no "|" inside one, a first byte below 0x80)
    // visits each once with the values the record reader gives.
    bool bPlain = !aHeld.empty() && static_cast<unsigned char>(pszText[0]) < 0x80;
    for (const std::string& str : aHeld)
        bPlain = bPlain && !str.empty() && str.find('|') == std::string::npos;
    int nPos = 0, nRead = 0, nRecipe = 0;
    int32_t anValues[10];
    while (s_store.NextRecord(0, &nPos, &nRecipe, anValues)) {
        FUZZ_CHECK(++nRead <= nLen);
        if (!bPlain)
            continue;
        FUZZ_CHECK(nRead <= static_cast<int>(aHeld.size()));
        const std::string& strRecord = aHeld[static_cast<size_t>(nRead - 1)];
        CRecordFields fields;
        SplitRecord(strRecord.c_str(), static_cast<int>(strRecord.size()), &fields);
        FUZZ_CHECK(nRecipe == (fields.nHeaderLen > 20 ? ReadDecimal(fields.pHeader + 20, 1) : 0) &&
                   std::memcmp(anValues, fields.anValues, sizeof anValues) == 0);
    }
    FUZZ_CHECK(!bPlain || nRead == static_cast<int>(aHeld.size()));
    return 0;
}
