// Shared helpers of the store's unit tests: a fixed clock, a test tuning and its file text, a store on a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "batch_store.h"
#include "fixed_clock.h"
#include "temp_dir.h"

namespace storetest {

using tkdtest::ReadBytes;
using tkdtest::WriteBytes;

using tkdtest::FixedClock;

// Final values only for recipe 2, doses 0..3; every other cell different, so one wrong cell shows.
inline int TuneValue(int nEntry, int k)
{
    return k != 0 ? nEntry * 10 + k : (nEntry / 10 == 2 && nEntry % 10 < 4 ? 1000 + nEntry : 0);
}

inline void FillTuning(CBatchStore& store, int nSlot)
{
    for (int e = 0; e < 100; ++e)
        for (int k = 0; k < 6; ++k)
            store.SetTuneValue(nSlot, e, k, TuneValue(e, k));
}

// The tuning file of FillTuning (or of an all-zero tuning), written by hand: line L holds entries 10L..10L+9.
inline std::string TuningFileText(int nLines = 10, bool bZero = false)
{
    std::string str;
    for (int e = 0; e < nLines * 10; ++e) {
        for (int k = 0; k < 6; ++k)
            str += (bZero ? std::string("0") : std::to_string(TuneValue(e, k))) + ",";
        if (e % 10 == 9)
            str += "\r\n";
    }
    return str;
}

// Data lines of a reload: header-less and "="-less lines are records without totals.
inline const std::string kDataLines = "05.12.2026,14:03:27,20=0,1250,980,1530\r\n03.02.2026,08:15:00,30=0,1200,800\r\n"
                                      "1250,980\r\n06.12.2026,09:00:00,no equals sign\r\n06.12.2026,09:00:01,21=5,5\r\n";

inline std::vector<int32_t> Totals(const CBatchStore& store, int nSlot)
{
    std::vector<int32_t> an;
    for (int e = 0; e < 100; ++e)
        an.push_back(store.GetTotal(nSlot, e));
    return an;
}

// A 126-character record line (the longest that fits the 128-byte working buffer with its "|").
inline std::string LongRecordLine()
{
    std::string str = "01.01.2026,00:00:00,20=1";
    while (str.size() < 126)
        str += ",1";
    return str;
}

// A store opened on a temporary directory with the fixed clock.
class StoreDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strDir = m_dir.Path() + "/";
        ASSERT_TRUE(m_store.Open(m_strDir.c_str()));
        m_store.SetClock(FixedClock);
    }
    // Registers the address with the test tuning and, when given, writes its tuning and data files.
    int Register(int nAddress, const std::optional<std::string>& tune = {}, const std::optional<std::string>& data = {})
    {
        const int nSlot = m_store.RegisterIndicator(nAddress);
        FillTuning(m_store, nSlot);
        const std::string strNN = (nAddress < 10 ? "0" : "") + std::to_string(nAddress);
        EXPECT_TRUE(!tune || WriteBytes(File("RecipesTune_i" + strNN), *tune));
        EXPECT_TRUE(!data || WriteBytes(File("Data_i" + strNN), *data));
        return nSlot;
    }
    std::string File(const std::string& strName) const { return m_dir.File(strName); }

    tkdtest::CTempDir m_dir;
    std::string m_strDir;
    CBatchStore m_store;
};

}  // namespace storetest
