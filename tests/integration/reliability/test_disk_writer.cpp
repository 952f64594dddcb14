// The disk writer under faults: a disk slow to flush or hanging, a data file replaced under the program, a
// record written in part that cannot be cut off. Polling keeps its period, every weighing is kept, the operator is told.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "dlg_rig.h"
#include "line_rig.h"

namespace tkdtest {
namespace {

// The short profile, with silent reads cut short so that the scan of 100 addresses takes seconds, and
// the product's polling period, so that the gaps between passes say whether a pass waited.
CLineTiming SlowDiskTiming()
{
    CLineTiming t = CLineTiming::Short();
    t.nReadPerByteMs = 0;
    t.nReadConstMs = 12;
    t.nPollPeriodMs = 300;
    return t;
}

class DiskWriter : public ::testing::Test, protected CDlgRig {
protected:
    DiskWriter() : CDlgRig(SlowDiskTiming()) {}
    ~DiskWriter() override
    {
        OsFileSetFlushDelay(0);
        OsFileClearFaults();
    }
    bool Until(const std::function<bool()>& done, int nTimeoutMs = 30000) { return RunUntil(m_dlg, m_view, done, nTimeoutMs); }
    // One indicator at address 0 running nBatches batches of recipe 1: doses 1 and 2 weigh 500 + i and
    // 200 + i, dose 3 nothing.
    void StartPolling(int nBatches)
    {
        CSimIndicator& ind = m_line.AddIndicator(0);
        ind.ApplyDemoTuning();
        ASSERT_TRUE(StartLine());
        m_dlg.OnShowWindow();
        m_dlg.OnSearch();
        ASSERT_TRUE(Until([&] { return !m_dlg.IsSearching(); }));
        ASSERT_EQ(m_store.GetIndicatorCount(), 1);
        std::vector<CSimStep> aSteps;
        for (int i = 0; i < nBatches; ++i)
            aSteps.insert(aSteps.end(), {{1, 0, 0}, {1, 1, 0}, {1, 2, 500 + i}, {1, 3, 200 + i}, {1, 0, 0}});
        ind.SetScript(aSteps);
        m_dlg.OnStart();
    }
    // The record lines of the data file, without their headers.
    Strings RecordsOnDisk() const
    {
        Strings astr;
        const std::string strFile = ReadBytes(m_dir.File("Data_i00"));
        for (size_t nPos = 0, nEnd; (nEnd = strFile.find("\r\n", nPos)) != std::string::npos; nPos = nEnd + 2)
            astr.push_back(strFile.substr(nPos + 20, nEnd - nPos - 20));
        return astr;
    }
    Strings Expected(int nBatches) const
    {
        Strings astr;
        for (int i = 0; i < nBatches; ++i)
            astr.push_back("10=0," + std::to_string(500 + i) + "," + std::to_string(200 + i) + ",0");
        return astr;
    }
    // The largest gap between two polls of the indicator after the search, in ms.
    double LargestPollGap() const
    {
        double dLast = -1, dGap = 0;
        for (const CSimLogEntry& entry : m_line.Log()) {
            if (entry.eDir == CSimLogEntry::kIn && entry.cKind == 'T')
                dLast = -1, dGap = 0;  // still the search
            if (entry.eDir != CSimLogEntry::kIn || entry.strNote != "HL 00")
                continue;
            if (dLast >= 0)
                dGap = std::max(dGap, entry.dMs - dLast);
            dLast = entry.dMs;
        }
        return dGap;
    }

    CRecordingView m_view;
    CBatchDlg m_dlg{m_view, Context()};
};

TEST_F(DiskWriter, FlushesOfThreeSecondsDelayNoPollAndLoseNoWeighing)
{
    OsFileSetFlushDelay(3000);
    const int nBatches = 6;
    StartPolling(nBatches);
    ASSERT_TRUE(Until([&] { return m_store.GetRunCount(0) == nBatches; }));
    EXPECT_EQ(std::pair(m_store.GetTotal(0, 11), m_store.GetTotal(0, 12)), std::pair(6 * 500 + 15, 6 * 200 + 15)) << "the model took each record at once";
    const double dGap = LargestPollGap();
    EXPECT_LE(dGap, 320.0) << "a poll waited for the disk";
    m_dlg.OnStop();
    // The first flush is late: told once, and its end too.
    ASSERT_TRUE(Until([&] { return m_view.m_astrWarnings.size() >= 2u; }, 15000));
    EXPECT_NE(m_view.m_astrWarnings[0].find("больше секунды"), std::string::npos) << m_view.m_astrWarnings[0];
    ASSERT_TRUE(m_dlg.OnCloseRequest());
    m_dlg.OnDestroy();  // waits for the writer
    EXPECT_EQ(RecordsOnDisk(), Expected(nBatches));
    EXPECT_TRUE(m_view.m_astrMessages.empty()) << m_view.m_astrMessages[0];
}

TEST_F(DiskWriter, AFlushThatHangsStopsNeitherPollingNorTheWindowAndLosesNothingOnceItReturns)
{
    OsFileSetFlushDelay(-1);
    const int nBatches = 4;
    StartPolling(nBatches);
    ASSERT_TRUE(Until([&] { return m_store.GetRunCount(0) == nBatches; }));
    EXPECT_LE(LargestPollGap(), 320.0);
    ASSERT_EQ(m_view.m_astrWarnings.size(), 1u);
    EXPECT_NE(m_view.m_astrWarnings[0].find("Data_i00"), std::string::npos) << m_view.m_astrWarnings[0];
    EXPECT_TRUE(RecordsOnDisk().size() <= 1u) << "only the first record is in the file, unflushed";
    OsFileSetFlushDelay(0);  // the share answers again: what waited goes in one write
    ASSERT_TRUE(Until([&] { return RecordsOnDisk().size() == static_cast<size_t>(nBatches); }));
    EXPECT_EQ(RecordsOnDisk(), Expected(nBatches));
    ASSERT_TRUE(Until([&] { return m_view.m_astrWarnings.size() == 2u; }));
    EXPECT_NE(m_view.m_astrWarnings[1].find("снова"), std::string::npos) << m_view.m_astrWarnings[1];
}

// At exit the window waits for the writer, but not for ever: what could not be written is told.
TEST_F(DiskWriter, AnExitWhileTheDiskHangsTellsHowManyRecordsWereNotWritten)
{
    OsFileSetFlushDelay(-1);
    StartPolling(3);
    ASSERT_TRUE(Until([&] { return m_store.GetRunCount(0) == 3; }));
    m_dlg.OnStop();
    ASSERT_TRUE(m_dlg.OnCloseRequest());
    m_dlg.OnDestroy();
    ASSERT_EQ(m_view.m_astrMessages.size(), 1u);
    EXPECT_EQ(m_view.m_astrMessages[0].substr(0, 2), "3 ") << m_view.m_astrMessages[0];
    OsFileSetFlushDelay(0);  // the writer left behind ends by itself
}

// sed -i, an editor that saves by rename, rm: the next record goes to the file of that name, and the
// operator is told; only "no such file" creates.
TEST_F(DiskWriter, ADataFileReplacedOrRemovedUnderTheProgramGetsTheNextRecords)
{
    StartPolling(3);
    const std::string strPath = m_dir.File("Data_i00");
    ASSERT_TRUE(Until([&] { return RecordsOnDisk().size() == 1u; }));
    const std::string strFirst = ReadBytes(strPath);
    ASSERT_TRUE(WriteBytes(strPath + ".sed", strFirst) && std::rename((strPath + ".sed").c_str(), strPath.c_str()) == 0);
    ASSERT_TRUE(Until([&] { return RecordsOnDisk().size() == 2u && m_view.m_astrWarnings.size() == 1u; }));
    EXPECT_NE(m_view.m_astrWarnings[0].find("заменён"), std::string::npos) << m_view.m_astrWarnings[0];
    ASSERT_EQ(::unlink(strPath.c_str()), 0);
    ASSERT_TRUE(Until([&] { return FileExists(strPath) && RecordsOnDisk().size() == 1u; }));
    EXPECT_EQ(RecordsOnDisk(), Strings{Expected(3)[2]});
    EXPECT_EQ(m_store.GetRecordCount(0), 3);
}

// A record written in part whose cut fails (a full disk, then an I/O error): nothing more goes into
// the file, the later records wait and the operator is told; the next search moves the fragment
// aside, and then the file holds every record once, and so does the model.
TEST_F(DiskWriter, APartWrittenRecordThatCannotBeCutHoldsTheFileUntilTheNextSearch)
{
    StartPolling(4);
    ASSERT_TRUE(Until([&] { return RecordsOnDisk().size() == 1u; }));
    const size_t nSize = ReadBytes(m_dir.File("Data_i00")).size();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = nSize + 10;  // the next record gets ten bytes in, then "file too large"
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    OsFileInjectFault(FILEOP_TRUNCATE, EIO);
    const bool bTold = Until([&] { return std::any_of(m_view.m_astrWarnings.begin(), m_view.m_astrWarnings.end(),
                                                      [](const std::string& str) { return str.find("оборвана") != std::string::npos; }); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_TRUE(bTold);
    ASSERT_TRUE(Until([&] { return m_store.GetRunCount(0) == 4; }));
    EXPECT_EQ(ReadBytes(m_dir.File("Data_i00")).size(), nSize + 10) << "nothing was glued to the fragment";
    m_dlg.OnStop();
    m_dlg.OnSearch();
    ASSERT_TRUE(Until([&] { return !m_dlg.IsSearching(); }));
    ASSERT_TRUE(Until([&] { return RecordsOnDisk().size() == 4u; }));
    EXPECT_EQ(RecordsOnDisk(), Expected(4));
    EXPECT_EQ(ReadBytes(m_dir.File("Data_i00.torn")).size(), 12u);  // the fragment and its CR LF
    EXPECT_EQ(m_store.GetRecordCount(0), 4);
    EXPECT_EQ(m_store.GetTotal(0, 11), 500 + 501 + 502 + 503);
}

// A data file another program held at the search (a viewer, a virus scan): its records stay in memory
// while it is held, and the first record after it lets go opens it again.
TEST_F(DiskWriter, ADataFileHeldAtTheSearchIsOpenedAgainByALaterRecord)
{
    CSimIndicator& ind = m_line.AddIndicator(0);
    ind.ApplyDemoTuning();
    // The tuning is the indicator's: the data file is kept, if it can be opened.
    ASSERT_TRUE(WriteBytes(m_dir.File("RecipesTune_i00"), TuningFileOf(ind)) && WriteBytes(m_dir.File("Data_i00"), ""));
    const int nHolder = ::open(m_dir.File("Data_i00").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_TRUE(nHolder >= 0 && ::flock(nHolder, LOCK_EX) == 0);
    ASSERT_TRUE(StartLine());
    m_dlg.OnShowWindow();
    m_dlg.OnSearch();  // while the file is held
    ASSERT_TRUE(Until([&] { return !m_dlg.IsSearching(); }));
    m_line.Find(0)->SetScript({{1, 0, 0}, {1, 1, 0}, {1, 2, 500}, {1, 3, 200}, {1, 0, 0},
                               {1, 0, 0}, {1, 1, 0}, {1, 2, 501}, {1, 3, 201}, {1, 0, 0}});
    m_dlg.OnStart();
    ASSERT_TRUE(Until([&] { return m_store.GetRunCount(0) == 1 && m_view.m_astrWarnings.size() >= 2u; }));
    EXPECT_NE(m_view.m_astrWarnings[0].find("Data_i00"), std::string::npos) << m_view.m_astrWarnings[0];
    ::close(nHolder);
    ASSERT_TRUE(Until([&] { return RecordsOnDisk().size() == 1u; }));
    EXPECT_EQ(RecordsOnDisk(), Strings{Expected(2)[1]});
}

}  // namespace
}  // namespace tkdtest
