// The store's test rig: a store in a temporary current and data directory, a simulated line on COM1, and the checks of data files.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "batch_store.h"
#include "com_port.h"
#include "port_params.h"
#include "sim_line.h"
#include "temp_dir.h"

namespace tkdtest {

// Every record header of these tests starts with this (the fixed clock).
inline const std::string kHeaderTime = "05.12.2026,14:03:27,";

// The test tuning: final values only for recipe 2, doses 0..3; every other cell differs, so one wrong cell shows.
inline int TuneValue(int nEntry, int k) { return k != 0 ? nEntry * 10 + k : (nEntry / 10 == 2 && nEntry % 10 < 4 ? 1000 + nEntry : 0); }
// The tuning file of the test tuning (of an all-zero one), written by hand: line L holds entries 10L..10L+9.
std::string TuningFileText(int nLines = 10, bool bZero = false);
// The tuning file a simulated indicator should get.
std::string TuningFileOf(const CSimIndicator& ind);
// Data lines of a reload: header-less and "="-less lines are records without totals.
extern const std::string kDataLines;
std::vector<int32_t> Totals(const CBatchStore& store, int nSlot);
// The complete CR LF lines of a file, without their CR LF; *pnTail gets the bytes after the last one.
std::vector<std::string> DataLines(const std::string& strPath, size_t* pnTail = nullptr);
// A record line as the store writes it: "dd.mm.yyyy,hh:mm:ss,RD=" and integer values, or values alone.
bool IsRecordLine(const std::string& strLine);
// The data-file lines the product should write for the batches the simulator completed.
std::vector<std::string> ExpectedLines(const std::vector<CSimBatch>& aBatches);

class CStoreRig : public ::testing::Test {
protected:
    explicit CStoreRig(const CLineTiming& timing = CLineTiming::Short()) : m_port(timing) {}
    void SetUp() override;
    void TearDown() override;

    bool OpenPort() { return m_port.Open(SimPortParams(1)); }
    // A search as the window runs it: the store opened on the directory, the port's copy handed over.
    bool Search() { return m_store.Open(m_strDataDir.c_str()) && m_store.Search(m_port, nullptr, nullptr); }
    // Polling ticks; returns the number of batches completed (and checks the completed flag says so).
    int Poll(int nTicks = 1);
    // Registers an indicator in the next slot with the simulator's tuning and opens its files, as a
    // search does once the tuning is in. Returns the slot.
    int Attach(CSimIndicator& ind);
    // Registers the address with the test tuning and, when given, writes its tuning and data files first.
    int Register(int nAddress, const std::optional<std::string>& tune = {}, const std::optional<std::string>& data = {});

    std::string File(const std::string& strName) const { return m_dir.File(strName); }
    std::string DataPath(int nAddress) const { return File("Data_i" + std::to_string(100 + nAddress).substr(1)); }
    // Every data file holds only whole record lines, the store holds them all in its record text, and
    // each slot's totals equal the sums of its file worked out from the format.
    void ExpectFilesMatchStore();
    // The records of the indicator's data file are the batches the simulator completed.
    void ExpectRecordsOfBatches(CSimIndicator& ind);

    CTempDir m_dir;
    std::unique_ptr<CScopedChdir> m_pChdir;
    CSimLine m_line;
    CComPort m_port;
    CBatchStore m_store;
    std::string m_strDataDir;
};

}  // namespace tkdtest
