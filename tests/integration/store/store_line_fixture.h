// Shared helpers of the store's line tests (with those of the unit tests): file texts and a store on a simulated line in a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "batch_store.h"
#include "com_port.h"
#include "sim_line.h"
#include "store_test_util.h"
#include "temp_dir.h"
#include "port_params.h"

namespace storeline {

using tkdtest::ReadBytes;

using storetest::FixedClock;

// Every record header of these tests starts with this (the fixed clock).
inline const std::string kHeaderTime = "05.12.2026,14:03:27,";

inline std::string NN(int nAddress) { return (nAddress < 10 ? "0" : "") + std::to_string(nAddress); }

// The tuning file an indicator of the simulator should get: its tuning, value by value.
inline std::string TuningFileOf(const CSimIndicator& ind)
{
    std::string str;
    for (int e = 0; e < 100; ++e) {
        for (int k = 0; k < 6; ++k)
            str += std::to_string(ind.Tune(e, k)) + ",";
        str += e % 10 == 9 ? "\r\n" : "";
    }
    return str;
}

// The line (the simulator unless Link is replaced) on COM1 in a temporary current and data directory.
class StoreOnLine : public ::testing::Test {
protected:
    explicit StoreOnLine(const CLineTiming& timing = CLineTiming::Short()) : m_port(timing) {}
    virtual bool Link() { return m_line.Start() && m_line.LinkAs(m_dir.Path(), 1); }

    void SetUp() override
    {
        m_pChdir = std::make_unique<tkdtest::CScopedChdir>(m_dir.Path());
        ASSERT_TRUE(Link());
        ASSERT_TRUE(m_port.Open(tkdtest::SimPortParams(1)));
        m_strDataDir = m_dir.Path() + "/";
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        m_store.SetClock(FixedClock);
    }

    void TearDown() override
    {
        m_store.Close();
        m_port.Close();
        m_line.Stop();
        m_pChdir.reset();
    }

    // Registers an indicator in the next slot as a search would, without its time. Returns the slot.
    int Attach(CSimIndicator& ind)
    {
        const int nSlot = m_store.RegisterIndicator(ind.Address());
        for (int e = 0; e < 100; ++e)
            for (int k = 0; k < 6; ++k)
                m_store.SetTuneValue(nSlot, e, k, ind.Tune(e, k));
        m_store.OpenIndicatorFiles(ind.Address());
        return nSlot;
    }

    // Polls n times; returns the row and completed flag of the last poll.
    std::pair<int, bool> Poll(int n = 1)
    {
        int nRow = -1;
        bool bCompleted = false;
        for (int i = 0; i < n; ++i)
            m_store.Poll(m_port, &nRow, &bCompleted);
        return {nRow, bCompleted};
    }

    std::string File(const std::string& strName) const { return m_dir.File(strName); }

    tkdtest::CTempDir m_dir;
    std::unique_ptr<tkdtest::CScopedChdir> m_pChdir;
    CSimLine m_line;
    CComPort m_port;
    CBatchStore m_store;
    std::string m_strDataDir;
};

}  // namespace storeline
