// The reliability tests' rig: the store on a simulated line in a temporary directory, and the checks
// every fault case ends with (data files well formed and complete, totals equal to their sums).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "batch_store.h"
#include "com_port.h"
#include "sim_line.h"
#include "temp_dir.h"

namespace reliability {

// Every record header of these tests: 5 December 2026, 14:03:27.
inline constexpr const char* kHeaderTime = "05.12.2026,14:03:27,";

// Milliseconds since nStart on the monotonic clock.
double MsSince(std::chrono::steady_clock::time_point tStart);

// The complete CR LF lines of a file, without their CR LF; *pnTail gets the bytes after the last one.
std::vector<std::string> DataLines(const std::string& strPath, size_t* pnTail = nullptr);
// A record line as the store writes it: "dd.mm.yyyy,hh:mm:ss,RD=" and values, or values alone, every
// value a decimal integer. Anything else in a data file is a torn or corrupted record.
bool IsRecordLine(const std::string& strLine);
// The totals that loading these lines gives, worked out here from the file format: the header's two
// digits RD are the entry of the first value, each next value goes to the next entry (up to ten,
// entries 0..99 only); a line without header adds nothing.
std::vector<int64_t> SumsOfLines(const std::vector<std::string>& aLines);
// The data-file line the product should write for a batch the simulator completed.
std::string ExpectedLine(const CSimBatch& batch);
std::vector<std::string> ExpectedLines(const std::vector<CSimBatch>& aBatches);

// The line runs in a temporary directory that is also the current directory (COM1 lies there) and the
// store's data directory.
class CReliabilityRig : public ::testing::Test {
protected:
    explicit CReliabilityRig(const CLineTiming& timing = CLineTiming::Short()) : m_port(timing) {}
    void SetUp() override;
    void TearDown() override;

    bool OpenPort();
    // The line hung up: a new pseudo-terminal under the same COM1, the port opened again.
    void RestoreLine();
    // A search as the window runs it: the store opened on the directory, the port's copy handed over.
    bool Search();
    // Polling ticks; returns the number of batches the store reported complete.
    int Poll(int nTicks);
    // Registers an indicator as a search does once its tuning is downloaded (copy of its tuning, files
    // opened), without the seconds a search takes. Returns the slot.
    int Attach(CSimIndicator& ind);

    std::string DataPath(int nAddress) const;
    // After a fresh search: every data file holds only whole record lines (besides the torn lines
    // given, which a crash left and the store ended), the store holds them all, and each slot's totals
    // equal the sums of its file.
    void ExpectFilesMatchStore(const std::set<std::string>& setTorn = {});
    // The records of each indicator's data file since it was started are exactly the batches the
    // simulator completed (its model of what the product must record when it reads every reply).
    void ExpectRecordsOfBatches(CSimIndicator& ind, size_t nFirstLine = 0);

    tkdtest::CTempDir m_dir;
    std::unique_ptr<tkdtest::CScopedChdir> m_pChdir;
    CSimLine m_line;
    CComPort m_port;
    CBatchStore m_store;
    std::string m_strDataDir;
};

}  // namespace reliability
