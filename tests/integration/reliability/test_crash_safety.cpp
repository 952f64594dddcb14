// Crash safety of the data files: the acquiring process (a forked copy of this one that searches or attaches,
// then polls three simulated indicators) is killed with SIGKILL at random moments; after each kill every
// record it reported complete is in its file, whole, nothing before it changed, and a torn tail (left by the
// kill, or written here as a power cut would) is moved to the side file at the next start, never read as a
// record. TKD_CRASH_KILLS sets the number of kills (100), TKD_CRASH_SEED the random moments.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <sstream>
#include <thread>

#include "fixed_clock.h"
#include "port_params.h"
#include "store_rig.h"

namespace tkdtest {
namespace {

constexpr int kIndicators = 3;  // at addresses 0, 1, 2: slot = address
const std::string kTornLine = "05.12.2026,14:0";

int EnvInt(const char* pszName, int nDefault)
{
    const char* psz = std::getenv(pszName);
    return psz != nullptr && *psz != '\0' ? std::atoi(psz) : nDefault;
}

// The child: "ready" once its files are open, then the three run counts after every tick that completed a batch.
[[noreturn]] void RunChild(int nOut, const std::string& strDir, CSimLine& line, bool bSearch)
{
    CComPort port(CLineTiming::Short());
    auto* pStore = new CBatchStore;  // never freed: the process ends by SIGKILL
    if (!port.Open(SimPortParams(1)) || !pStore->Open(strDir.c_str()))
        ::_exit(4);
    pStore->SetClock(FixedClock);
    if (bSearch && !pStore->Search(nullptr, port, nullptr, nullptr))
        ::_exit(6);
    for (int a = 0; !bSearch && a < kIndicators; ++a) {
        pStore->RegisterIndicator(a);
        for (int e = 0; e < CBatchStore::kEntries; ++e)
            for (int k = 0; k < CBatchStore::kTuneValues; ++k)
                pStore->SetTuneValue(a, e, k, line.Find(a)->Tune(e, k));
        pStore->OpenIndicatorFiles(a);
    }
    if (::write(nOut, "ready\n", 6) != 6)
        ::_exit(7);
    for (;;) {
        int nRow = -1;
        bool bCompleted = false;
        pStore->Poll(port, &nRow, &bCompleted);
        const std::string str = std::to_string(pStore->GetRunCount(0)) + " " + std::to_string(pStore->GetRunCount(1)) +
                                " " + std::to_string(pStore->GetRunCount(2)) + "\n";
        if (bCompleted && ::write(nOut, str.data(), str.size()) != static_cast<ssize_t>(str.size()))
            ::_exit(7);
    }
}

class CrashSafety : public CStoreRig {};

TEST_F(CrashSafety, KilledAtRandomMomentsLosesAndCorruptsNoCompletedRecord)
{
    const int nKills = EnvInt("TKD_CRASH_KILLS", 100);
    const unsigned nSeed = static_cast<unsigned>(EnvInt("TKD_CRASH_SEED", static_cast<int>(std::random_device{}())));
    std::mt19937 rng(nSeed);
    for (int a = 0; a < kIndicators; ++a) {
        m_line.AddIndicator(a).ApplyDemoTuning();
        ASSERT_TRUE(m_line.Find(a)->StartAuto({.anRecipes = {1, 2, 3}, .nDosePolls = 1, .nIdlePolls = 1, .nSeed = 11u + a}));
    }
    m_port.Close();  // the child holds the port
    m_store.Close();

    std::vector<std::string> aaLines[kIndicators];  // complete lines after the last kill
    std::string astrTorn[kIndicators];              // what each side file holds
    std::string astrPending[kIndicators];           // a torn tail still in the data file
    int nRecordsChecked = 0;
    for (int nRound = 0; nRound < nKills && !HasFailure(); ++nRound) {
        SCOPED_TRACE("round " + std::to_string(nRound) + ", seed " + std::to_string(nSeed));
        // One round in a hundred runs a whole search first and is killed anywhere in it; a quarter of the
        // others in the first 3 ms (opening and loading the files), the rest while polling.
        const bool bSearch = nRound % 100 == (nKills < 100 ? nKills / 2 : 25);
        const int nKillUs = bSearch ? std::uniform_int_distribution<int>(0, 11000000)(rng)
                            : std::uniform_int_distribution<int>(0, 3)(rng) == 0
                                ? std::uniform_int_distribution<int>(0, 3000)(rng)
                                : std::uniform_int_distribution<int>(30000, 700000)(rng);
        int anPipe[2];
        ASSERT_EQ(::pipe(anPipe), 0);
        const pid_t pid = ::fork();
        if (pid == 0)
            RunChild(anPipe[1], m_strDataDir, m_line, bSearch);
        ::close(anPipe[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(nKillUs));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        int nStatus = 0;
        ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(nStatus)) << "the child ended by itself with " << WEXITSTATUS(nStatus);
        std::string strOut;
        char ach[4096];
        for (ssize_t n; (n = ::read(anPipe[0], ach, sizeof ach)) > 0;)
            strOut.append(ach, static_cast<size_t>(n));
        ::close(anPipe[0]);
        int anReported[kIndicators] = {};  // run counts after the last tick that completed a batch
        std::istringstream out(strOut);
        for (std::string strLine; std::getline(out, strLine);)
            if (strLine != "ready")
                std::istringstream(strLine) >> anReported[0] >> anReported[1] >> anReported[2];

        for (int a = 0; a < kIndicators; ++a) {
            SCOPED_TRACE("indicator " + std::to_string(a));
            size_t nTail = 0;
            const std::vector<std::string> aLines = DataLines(DataPath(a), &nTail);
            ASSERT_GE(aLines.size(), aaLines[a].size());
            ASSERT_TRUE(std::equal(aaLines[a].begin(), aaLines[a].end(), aLines.begin())) << "a line before the kill changed";
            const size_t nNew = aLines.size() - aaLines[a].size();
            // Every record reported complete is in the file, whole; at most one more (being reported at the kill).
            EXPECT_GE(nNew, static_cast<size_t>(anReported[a]));
            EXPECT_LE(nNew, static_cast<size_t>(anReported[a]) + 1);
            for (const std::string& strLine : aLines)
                EXPECT_TRUE(IsRecordLine(strLine)) << "not a record line: " << strLine;
            nRecordsChecked += static_cast<int>(nNew);
            aaLines[a] = aLines;
            // A side file only grows, by the torn tail the data file held, at the next start.
            const std::string strSide = ReadBytes(DataPath(a) + ".torn");
            if (strSide != astrTorn[a]) {
                ASSERT_EQ(strSide, astrTorn[a] + astrPending[a] + "\r\n");
            }
            astrTorn[a] = strSide;
            const std::string strFile = ReadBytes(DataPath(a));
            astrPending[a] = strFile.substr(strFile.size() - nTail);
            if (nTail == 0 && nRound % 10 == 9) {  // a power cut in the middle of a line
                ASSERT_TRUE(WriteBytes(DataPath(a), strFile + kTornLine));
                astrPending[a] = kTornLine;
            }
        }
    }
    // The next search finds everything that was written, and no torn tail among the records.
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(Search());
    EXPECT_EQ(m_store.GetIndicatorCount(), kIndicators);
    ExpectFilesMatchStore();
    for (int a = 0; a < kIndicators; ++a)
        EXPECT_EQ(ReadBytes(DataPath(a) + ".torn"), astrTorn[a] + astrPending[a] + (astrPending[a].empty() ? "" : "\r\n"));
    EXPECT_GT(nRecordsChecked, nKills / 2);
    std::printf("kills %d (seed %u), records written between kills and checked %d\n", nKills, nSeed, nRecordsChecked);
}

}  // namespace
}  // namespace tkdtest
