// Crash safety of the data files: the acquiring program is killed (SIGKILL) at random moments while it
// polls three simulated indicators whose batches complete every few ticks; after each kill the files
// are checked, and a fresh store reloads them. Some rounds leave a torn line behind, as a write cut by a
// power failure would. TKD_CRASH_KILLS sets the number of kills (100 by default), TKD_CRASH_SEED the
// random moments.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "reliability_rig.h"

extern char** environ;

namespace reliability {
namespace {

constexpr int kIndicators = 3;  // at addresses 0, 1, 2: slot = address
// What a write cut short leaves at the end of a data file.
const std::string kTornLine = "05.12.2026,14:0";

int EnvInt(const char* pszName, int nDefault)
{
    const char* psz = std::getenv(pszName);
    return psz != nullptr && *psz != '\0' ? std::atoi(psz) : nDefault;
}

// Starts the acquiring program in the current directory; its stdout comes back through *pnOut.
pid_t SpawnChild(bool bSearch, int* pnOut)
{
    int anPipe[2];
    if (::pipe2(anPipe, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, anPipe[1], STDOUT_FILENO);
    const char* apszArgs[] = {TKD_ACQUIRE_CHILD, bSearch ? "search" : "attach", "0", "1", "2", nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, TKD_ACQUIRE_CHILD, &actions, nullptr, const_cast<char**>(apszArgs), environ) != 0)
        pid = -1;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(anPipe[1]);
    *pnOut = anPipe[0];
    return pid;
}

std::string ReadToEnd(int nFd)
{
    std::string str;
    char ach[4096];
    for (ssize_t n; (n = ::read(nFd, ach, sizeof ach)) > 0;)
        str.append(ach, static_cast<size_t>(n));
    ::close(nFd);
    return str;
}

class CrashSafety : public CReliabilityRig {};

TEST_F(CrashSafety, KilledAtRandomMomentsLosesAndCorruptsNoCompletedRecord)
{
    const int nKills = EnvInt("TKD_CRASH_KILLS", 100);
    const unsigned nSeed = static_cast<unsigned>(EnvInt("TKD_CRASH_SEED", static_cast<int>(std::random_device{}())));
    std::printf("kills %d, seed %u (TKD_CRASH_SEED)\n", nKills, nSeed);
    std::mt19937 rng(nSeed);

    for (int a = 0; a < kIndicators; ++a) {
        CSimIndicator& ind = m_line.AddIndicator(a);
        ind.ApplyDemoTuning();
        CSimAutoPlan plan;
        plan.anRecipes = {1, 2, 3};
        plan.nDosePolls = 1;
        plan.nIdlePolls = 1;
        plan.nSeed = 11u + static_cast<unsigned>(a);
        ASSERT_TRUE(ind.StartAuto(plan));
    }
    m_port.Close();  // the child holds the port
    m_store.Close();

    std::vector<std::string> aaLines[kIndicators];  // complete lines after the last kill
    std::string astrTail[kIndicators];              // bytes after the last CR LF
    std::set<std::string> setTorn;
    int nRecordsChecked = 0;
    int nTornEnded = 0;  // torn lines the next program run ended before its first record
    int nKillsStarting = 0;  // while starting, searching or loading the files
    int nKillsPolling = 0;
    for (int nRound = 0; nRound < nKills; ++nRound) {
        SCOPED_TRACE("round " + std::to_string(nRound) + ", seed " + std::to_string(nSeed));
        // One round in a hundred runs a whole search first (about 9 s) and is killed anywhere in it.
        const bool bSearch = nRound % 100 == (nKills < 100 ? nKills / 2 : 25);
        // A quarter of the kills fall into the program's first 3 ms (starting, opening and loading
        // the files), the rest into polling.
        const bool bEarly = std::uniform_int_distribution<int>(0, 3)(rng) == 0;
        const int nKillUs = bSearch ? std::uniform_int_distribution<int>(0, 11000000)(rng)
                            : bEarly ? std::uniform_int_distribution<int>(0, 3000)(rng)
                                     : std::uniform_int_distribution<int>(30000, 700000)(rng);
        int nOut = -1;
        const pid_t pid = SpawnChild(bSearch, &nOut);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(nKillUs));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        int nStatus = 0;
        ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(nStatus)) << "the program ended by itself with " << WEXITSTATUS(nStatus);
        // The run counts after the last tick that completed a batch: those records were written.
        int anReported[kIndicators] = {};
        std::istringstream out(ReadToEnd(nOut));
        bool bReady = false;
        for (std::string strLine; std::getline(out, strLine);) {
            if (strLine == "ready")
                bReady = true;
            else
                std::istringstream(strLine) >> anReported[0] >> anReported[1] >> anReported[2];
        }
        ++(bReady ? nKillsPolling : nKillsStarting);

        for (int a = 0; a < kIndicators; ++a) {
            SCOPED_TRACE("indicator " + std::to_string(a));
            size_t nTail = 0;
            const std::vector<std::string> aLines = DataLines(DataPath(a), &nTail);
            const std::string strFile = tkdtest::ReadBytes(DataPath(a));
            // Every line complete before the kill is still there, byte for byte.
            ASSERT_GE(aLines.size(), aaLines[a].size());
            ASSERT_TRUE(std::equal(aaLines[a].begin(), aaLines[a].end(), aLines.begin()));
            size_t nNew = aLines.size() - aaLines[a].size();
            size_t nFirstNew = aaLines[a].size();
            if (!astrTail[a].empty() && nNew > 0) {
                // A torn line is ended before the next record, never glued to it.
                EXPECT_EQ(aLines[nFirstNew], astrTail[a]);
                ++nFirstNew;
                --nNew;
                ++nTornEnded;
            }
            // Every record the program reported complete is in the file, whole; at most one more (the
            // one being reported when the kill came).
            EXPECT_GE(nNew, static_cast<size_t>(anReported[a]));
            EXPECT_LE(nNew, static_cast<size_t>(anReported[a]) + 1);
            for (size_t i = nFirstNew; i < aLines.size(); ++i)
                EXPECT_TRUE(IsRecordLine(aLines[i])) << "corrupted record line: " << aLines[i];
            nRecordsChecked += static_cast<int>(nNew);
            aaLines[a] = aLines;
            astrTail[a] = strFile.substr(strFile.size() - nTail);
            if (!astrTail[a].empty())
                setTorn.insert(astrTail[a]);
        }
        // Every tenth round, a torn line at the end of one data file, as a write cut short leaves it.
        if (nRound % 10 == 9 && astrTail[nRound % kIndicators].empty()) {
            const int a = nRound % kIndicators;
            ASSERT_TRUE(tkdtest::WriteBytes(DataPath(a), tkdtest::ReadBytes(DataPath(a)) + kTornLine));
            astrTail[a] = kTornLine;
            setTorn.insert(kTornLine);
        }
        if (HasFailure())
            break;
        // A fresh store reloads the files: each record once, totals the sums of the files.
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        for (int a = 0; a < kIndicators; ++a)
            Attach(*m_line.Find(a));
        ExpectFilesMatchStore(setTorn);
        m_store.Close();
    }

    // And the next search finds everything that was written.
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(Search());
    EXPECT_EQ(m_store.GetIndicatorCount(), kIndicators);
    ExpectFilesMatchStore(setTorn);
    int nLines = 0;
    for (int a = 0; a < kIndicators; ++a)
        nLines += static_cast<int>(DataLines(DataPath(a)).size());
    EXPECT_GT(nRecordsChecked, nKills / 2);  // batches did complete between the kills
    std::printf("kills %d (%d while starting, searching or loading, %d while polling), records written between "
                "kills and checked %d, torn lines ended %d, lines in the files %d\n",
                nKills, nKillsStarting, nKillsPolling, nRecordsChecked, nTornEnded, nLines);
}

}  // namespace
}  // namespace reliability
