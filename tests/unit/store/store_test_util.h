// Helpers of the store's unit tests: a fixed clock, tuning-file texts built independently of the store.
#pragma once

#include <ctime>
#include <string>

#include "batch_store.h"

namespace storetest {

// 5 December 2026, 14:03:27.
inline void FixedClock(std::tm* ptm)
{
    ptm->tm_year = 2026 - 1900;
    ptm->tm_mon = 11;
    ptm->tm_mday = 5;
    ptm->tm_hour = 14;
    ptm->tm_min = 3;
    ptm->tm_sec = 27;
}

// Test tuning of an entry: the final value and five more, all different, so one wrong cell shows.
inline int TuneValue(int nEntry, int k)
{
    if (k == 0)
        return (nEntry % 10 < 4 && nEntry / 10 == 2) ? 1000 + nEntry : 0;  // recipe 2, doses 0..3
    return nEntry * 10 + k;
}

inline void FillTuning(CBatchStore& store, int nSlot)
{
    for (int e = 0; e < 100; ++e)
        for (int k = 0; k < 6; ++k)
            store.SetTuneValue(nSlot, e, k, TuneValue(e, k));
}

// The tuning file of FillTuning, written out here by hand: line L holds entries 10L..10L+9.
inline std::string TuningFileText(int nLines = 10)
{
    std::string str;
    for (int nLine = 0; nLine < nLines; ++nLine) {
        for (int e = nLine * 10; e < nLine * 10 + 10; ++e)
            for (int k = 0; k < 6; ++k)
                str += std::to_string(TuneValue(e, k)) + ",";
        str += "\r\n";
    }
    return str;
}

inline std::string ZeroTuningFileText()
{
    std::string strLine;
    for (int i = 0; i < 60; ++i)
        strLine += "0,";
    std::string str;
    for (int n = 0; n < 10; ++n)
        str += strLine + "\r\n";
    return str;
}

}  // namespace storetest
