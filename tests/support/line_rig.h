// The line rig: the files rig with a simulated line on COM1 and the store's port open on it; the store's
// search and polls over that line, and the checks of data files against the batches the simulator ran.
#pragma once

#include <string>
#include <vector>

#include "com_port.h"
#include "files_rig.h"
#include "port_params.h"
#include "sim_line.h"

namespace tkdtest {

// The tuning file a simulated indicator should get.
std::string TuningFileOf(const CSimIndicator& ind);
// The data-file lines the product should write for the batches the simulator completed.
std::vector<std::string> ExpectedLines(const std::vector<CSimBatch>& aBatches);

class CLineRig : public CFilesRig {
protected:
    explicit CLineRig(const CLineTiming& timing = CLineTiming::Short()) : m_port(timing) {}
    void SetUp() override;

    bool OpenPort() { return m_port.Open(SimPortParams(1)); }
    // A search as the window runs it: the store opened on the directory, the port's copy handed over.
    bool Search() { return m_store.Open(m_strDataDir.c_str()) && m_store.Search(m_port, nullptr, nullptr); }
    // Polling ticks; returns the number of batches completed (and checks the completed flag says so).
    int Poll(int nTicks = 1);
    // Registers an indicator in the next slot with the simulator's tuning and opens its files, as a
    // search does once the tuning is in. Returns the slot.
    int Attach(CSimIndicator& ind);
    // The records of the indicator's data file are the batches the simulator completed.
    void ExpectRecordsOfBatches(CSimIndicator& ind);

    CSimLine m_line;
    CComPort m_port;
};

}  // namespace tkdtest
