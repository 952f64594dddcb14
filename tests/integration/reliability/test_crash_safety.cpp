// Crash safety of the data files: the acquiring process (a forked copy of this one that opens the files of
// three simulated indicators as a search does, then polls them) is killed with SIGKILL at random moments; after each kill every
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
#include "line_rig.h"

namespace tkdtest {
namespace {

constexpr int kIndicators = 3;  // at addresses 0, 1, 2: slot = address
const std::string kTornLine = "05.12.2026,14:0";

int EnvInt(const char* pszName, int nDefault) { const char* psz = std::getenv(pszName); return psz != nullptr && *psz != '\0' ? std::atoi(psz) : nDefault; }

std::string ReadAndClose(int nFd)
{
    std::string str;
    char ach[4096];
    for (ssize_t n; (n = ::read(nFd, ach, sizeof ach)) > 0;)
        str.append(ach, static_cast<size_t>(n));
    ::close(nFd);
    return str;
}

// The child: the three run counts after every tick that completed a batch.
[[noreturn]] void RunChild(int nOut, const std::string& strDir, CSimLine& line)
{
    CComPort port(CLineTiming::Short());
    auto* pStore = new CBatchStore;  // never freed: the process ends by SIGKILL
    if (!port.Open(SimPortParams(1)) || !pStore->Open(strDir.c_str()))
        ::_exit(4);
    pStore->SetClock(FixedClock);
    for (int a = 0; a < kIndicators && pStore->RegisterIndicator(a) == a; pStore->OpenIndicatorFiles(a++))
        for (int e = 0; e < CBatchStore::kEntries * CBatchStore::kTuneValues; ++e)
            pStore->SetTuneValue(a, e / 6, e % 6, line.Find(a)->Tune(e / 6, e % 6));
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

class CrashSafety : public CLineRig {};

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
    std::string astrTorn[kIndicators], astrPending[kIndicators];  // each side file; a torn tail still in the data file
    bool abCopied[kIndicators] = {};  // that tail is already the side file's last entry (a kill before the cut)
    int nRecordsChecked = 0;
    for (int nRound = 0; nRound < nKills && !HasFailure(); ++nRound) {
        SCOPED_TRACE("round " + std::to_string(nRound) + ", seed " + std::to_string(nSeed));
        // A quarter of the kills in the first 3 ms (opening the files, moving a torn tail), the rest while polling.
        const int nKillUs = std::uniform_int_distribution<int>(0, 3)(rng) == 0
                                ? std::uniform_int_distribution<int>(0, 3000)(rng)
                                : std::uniform_int_distribution<int>(30000, 700000)(rng);
        int anPipe[2];
        ASSERT_EQ(::pipe(anPipe), 0);
        const pid_t pid = ::fork();
        if (pid == 0)
            RunChild(anPipe[1], m_strDataDir, m_line);
        ::close(anPipe[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(nKillUs));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        int nStatus = 0;
        ASSERT_TRUE(::waitpid(pid, &nStatus, 0) == pid && WIFSIGNALED(nStatus)) << "the child ended with " << WEXITSTATUS(nStatus);
        int anReported[kIndicators] = {};  // run counts after the last tick that completed a batch
        for (std::istringstream out(ReadAndClose(anPipe[0])); out >> anReported[0] >> anReported[1] >> anReported[2];) {
        }

        for (int a = 0; a < kIndicators; ++a) {
            SCOPED_TRACE("indicator " + std::to_string(a));
            size_t nTail = 0;
            const std::vector<std::string> aLines = DataLines(DataPath(a), &nTail);
            ASSERT_TRUE(aLines.size() >= aaLines[a].size() && std::equal(aaLines[a].begin(), aaLines[a].end(), aLines.begin()))
                << "a line before the kill changed";
            const size_t nNew = aLines.size() - aaLines[a].size();
            // Every record reported complete is in the file, whole; at most one more (being reported at the kill).
            EXPECT_GE(nNew, static_cast<size_t>(anReported[a]));
            EXPECT_LE(nNew, static_cast<size_t>(anReported[a]) + 1);
            for (const std::string& strLine : aLines)
                EXPECT_TRUE(IsRecordLine(strLine)) << "not a record line: " << strLine;
            nRecordsChecked += static_cast<int>(nNew);
            aaLines[a] = aLines;
            // A side file only grows, by the torn tail the data file held, at the next start, and only once.
            const std::string strSide = ReadBytes(DataPath(a) + ".torn");
            ASSERT_TRUE(strSide == astrTorn[a] || (!abCopied[a] && strSide == astrTorn[a] + astrPending[a] + "\r\n")) << strSide;
            const std::string strFile = ReadBytes(DataPath(a));
            abCopied[a] = nTail > 0 && (abCopied[a] || strSide != astrTorn[a]) && strFile.substr(strFile.size() - nTail) == astrPending[a];
            astrTorn[a] = strSide;
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
        EXPECT_EQ(ReadBytes(DataPath(a) + ".torn"), astrTorn[a] + (astrPending[a].empty() || abCopied[a] ? "" : astrPending[a] + "\r\n"));
    EXPECT_GT(nRecordsChecked, nKills / 2);
    std::printf("kills %d, seed %u, records written between kills and checked %d\n", nKills, nSeed, nRecordsChecked);
}

}  // namespace
}  // namespace tkdtest
