// A store, a port and the simulated line on a pseudo-terminal in a temporary directory, for the store's line tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "batch_store.h"
#include "com_port.h"
#include "sim_line.h"
#include "temp_dir.h"

namespace storeline {

// 5 December 2026, 14:03:27: every record header of these tests starts with this.
inline constexpr const char* kHeaderTime = "05.12.2026,14:03:27,";

inline void FixedClock(std::tm* ptm)
{
    ptm->tm_year = 2026 - 1900;
    ptm->tm_mon = 11;
    ptm->tm_mday = 5;
    ptm->tm_hour = 14;
    ptm->tm_min = 3;
    ptm->tm_sec = 27;
}

class CCountingPump : public IMessagePump {
public:
    void PumpOneMessage() override { ++m_nCalls; }
    int m_nCalls = 0;
};

class CRecordingBar : public IProgressBar {
public:
    void SetPos(int nPos) override { m_anPos.push_back(nPos); }
    std::vector<int> m_anPos;
};

// The tuning file an indicator of the simulator should get: its tuning, value by value.
inline std::string TuningFileOf(const CSimIndicator& ind)
{
    std::string str;
    for (int e = 0; e < 100; ++e) {
        for (int k = 0; k < 6; ++k)
            str += std::to_string(ind.Tune(e, k)) + ",";
        if (e % 10 == 9)
            str += "\r\n";
    }
    return str;
}

// The line runs in a temporary directory that is also the current directory (the port's COM1 link
// lies there) and the store's data directory.
class StoreOnLine : public ::testing::Test {
protected:
    explicit StoreOnLine(const CLineTiming& timing = CLineTiming::Short()) : m_port(timing) {}

    void SetUp() override
    {
        m_pChdir = std::make_unique<tkdtest::CScopedChdir>(m_dir.Path());
        ASSERT_TRUE(m_line.Start());
        ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 1));
        ASSERT_TRUE(OpenPort());
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

    bool OpenPort()
    {
        CPortParams params;
        params.m_nComNumber = 1;
        std::strcpy(params.m_szPortName, "COM1");
        params.m_nBaud = 9600;
        params.m_byDataBits = 8;
        return m_port.Open(params);
    }

    // Registers an indicator of the line in the store's next slot as a search would (its tuning
    // copied, its files opened), without the time a search takes. Returns the slot.
    int Attach(CSimIndicator& ind)
    {
        const int nSlot = m_store.RegisterIndicator(ind.Address());
        for (int e = 0; e < 100; ++e)
            for (int k = 0; k < 6; ++k)
                m_store.SetTuneValue(nSlot, e, k, ind.Tune(e, k));
        m_store.OpenIndicatorFiles(ind.Address());
        return nSlot;
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
