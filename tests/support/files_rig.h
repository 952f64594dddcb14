// The files rig: a store in a temporary current and data directory with the fixed clock, and the checks
// of its tuning and data files. No line and no pseudo-terminal: it builds and runs on Windows too.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch_store.h"
#include "temp_dir.h"

namespace tkdtest {

// Every record header of these tests starts with this (the fixed clock).
inline const std::string kHeaderTime = "05.12.2026,14:03:27,";

// The test tuning: final values only for recipe 2, doses 0..3; every other cell differs, so one wrong cell shows.
inline int TuneValue(int nEntry, int k) { return k != 0 ? nEntry * 10 + k : (nEntry / 10 == 2 && nEntry % 10 < 4 ? 1000 + nEntry : 0); }
// The tuning file of the test tuning (of an all-zero one), written by hand: line L holds entries 10L..10L+9.
std::string TuningFileText(int nLines = 10, bool bZero = false);
// The same text for any tuning: fnValue(entry, k) for entries 0..10 * nLines - 1.
std::string TuningText(int nLines, const std::function<int(int, int)>& fnValue);
// Data lines of a reload: header-less and "="-less lines are records without totals.
extern const std::string kDataLines;
std::vector<int32_t> Totals(const CBatchStore& store, int nSlot);
// The complete CR LF lines of a file, without their CR LF; *pnTail gets the bytes after the last one.
std::vector<std::string> DataLines(const std::string& strPath, size_t* pnTail = nullptr);
// A record line as the store writes it: "dd.mm.yyyy,hh:mm:ss,RD=" and integer values, or values alone.
bool IsRecordLine(const std::string& strLine);

class CFilesRig : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Registers the address with the test tuning and, when given, writes its tuning and data files first.
    int Register(int nAddress, const std::optional<std::string>& tune = {}, const std::optional<std::string>& data = {});
    // Registers the address in the next slot with the tuning fnValue(entry, k). Returns the slot.
    int RegisterWithTuning(int nAddress, const std::function<int(int, int)>& fnValue);

    std::string File(const std::string& strName) const { return m_dir.File(strName); }
    std::string DataPath(int nAddress) const { return File("Data_i" + std::to_string(100 + nAddress).substr(1)); }
    // Every data file holds only whole record lines, the store holds them all in its record text, and
    // each slot's totals equal the sums of its file worked out from the format.
    void ExpectFilesMatchStore();

    CTempDir m_dir;
    std::unique_ptr<CScopedChdir> m_pChdir;
    CBatchStore m_store;
    std::string m_strDataDir;
};

}  // namespace tkdtest
