// Faults of the file system, one table through real files: what the disk, another program or a link can do to the
// tuning and data files at a search and between records. Faults the system cannot produce on demand (a failing
// disk, a stale network file, a refused flush; permissions, which root ignores) come through the file layer's seam.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "files_rig.h"

namespace tkdtest {
namespace {

const std::string kRecord = "05.12.2026,14:05:00,20=1,2,3,";  // a pending record; its line drops the comma
const std::string kLine = "05.12.2026,14:05:00,20=1,2,3\r\n";
const std::string kTorn = "05.12.2026,14:04:00,20=0,12";  // a record cut off by a power cut
constexpr const char* kAbsent = "\x02";

struct CFileFaultRow {
    const char* pszWhat;
    std::optional<std::string> tune = TuningFileText();  // nullopt: no tuning file
    std::function<void(const std::string& strData)> fnArrange = {};  // after the files are written, before the open
    EStoreFault eOpenFault = FAULT_KINDS;  // when set: the open fails with it and the next record has no data file
    int nAppends = 1;  // records appended after the open (each also kept in memory by the poll)
    std::function<void(const std::string& strData, int nAppend)> fnBeforeAppend = {};
    std::vector<EStoreFault> aeReported = {};
    std::string strData = "";                  // the data file at the end; "": unchanged after a failed open, else + kLine
    std::string strAside = kAbsent;             // Data_iNN.20261205-140327
    std::string strTorn = kAbsent;              // Data_iNN.torn
    int nRecords = 6;                           // records a fresh search reloads
    const char* pszNotice = "";                 // what the first notice shown must say
    bool bCloseFails = false;                   // the data file's close fails at the fresh search
};

// The kinds reported, and the texts shown once per kind until it works again.
struct CRecorder : IStoreFaults {
    void Report(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszText) override
    {
        aeKinds.push_back(eKind);
        notices.Report(eKind, nAddress, pszSubject, pszText);
    }
    void Cleared(EStoreFault eKind, int nAddress) override { notices.Cleared(eKind, nAddress); }
    std::vector<EStoreFault> aeKinds;
    std::vector<std::string> astrShown;
    CFaultNotices notices{[this](const char* psz) { astrShown.emplace_back(psz); }};
};

bool g_bSizeLimited = false;  // the log, too, cannot grow then
void LimitFileSize(rlim_t nBytes) { rlimit lim{}; ::getrlimit(RLIMIT_FSIZE, &lim); lim.rlim_cur = nBytes; ::setrlimit(RLIMIT_FSIZE, &lim); g_bSizeLimited |= nBytes != RLIM_INFINITY; }
// Dates a file's last write back by a minute: the order of two writes, whatever the clock's grain.
void Age(const std::string& strPath) { timeval atv[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}}; ::utimes(strPath.c_str(), atv); }
// The tuning file's temporary name, beside the data file's path.
std::string TmpOf(std::string str) { return str.replace(str.rfind("Data_i"), 6, "RecipesTune_i") + ".tmp"; }
size_t LogLines() { const std::string str = ReadBytes("tk-dedi.log"); return static_cast<size_t>(std::count(str.begin(), str.end(), '\n')); }

// A file's bytes; a FIFO or a link (which a read would block on or follow) only as what it is.
std::string Content(const std::string& strPath)
{
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0)
        return kAbsent;
    return S_ISREG(st.st_mode) ? ReadBytes(strPath) : S_ISLNK(st.st_mode) ? "<link>" : "<other>";
}

class FileFaults : public CFilesRig {};

TEST_F(FileFaults, NoRecordIsLostOverwrittenOrSilentlyDropped)
{
    std::string strOneValueOff = TuningFileText();
    strOneValueOff.replace(strOneValueOff.find("1020,"), 5, "1021,");
    int nHeld = -1;  // another writer's descriptor
    const CFileFaultRow aRows[] = {
        {.pszWhat = "a failing disk at the data file's open: nothing created over it", .fnArrange = [](auto&) {
             OsFileInjectFault(FILEOP_OPEN, EIO, 1, 1); }, .eOpenFault = FAULT_DATA_OPEN, .nRecords = 5,
         .pszNotice = "(Input/output error)"},
        {.pszWhat = "no permission for the data file", .fnArrange = [](auto&) { OsFileInjectFault(FILEOP_OPEN, EACCES, 1, 1); },
         .eOpenFault = FAULT_DATA_OPEN, .nRecords = 5, .pszNotice = "(Permission denied)"},
        {.pszWhat = "another writer holds the data file", .fnArrange = [&nHeld](const std::string& s) {
             ::flock(nHeld = ::open(s.c_str(), O_RDWR), LOCK_EX); }, .eOpenFault = FAULT_DATA_OPEN, .nRecords = 0},
        {.pszWhat = "a read error while the data file loads", .fnArrange = [](auto&) { OsFileInjectFault(FILEOP_READ, EIO, 1, 1); },
         .eOpenFault = FAULT_DATA_READ, .nRecords = 5, .pszNotice = "(Input/output error)"},
        {.pszWhat = "the data file is a link out of the directory", .fnArrange = [](const std::string& s) {
             ::unlink(s.c_str()); (void)::symlink("../tkd-outside", s.c_str()); }, .eOpenFault = FAULT_DATA_OPEN, .nRecords = 0},
        {.pszWhat = "the data file is a link to a file that exists: never written through", .fnArrange = [](const std::string& s) {
             WriteBytes(s + ".target", kDataLines); ::unlink(s.c_str()); (void)::symlink((s + ".target").c_str(), s.c_str()); },
         .eOpenFault = FAULT_DATA_OPEN, .fnBeforeAppend = [](const std::string& s, int) { EXPECT_EQ(Content(s + ".target"), kDataLines); },
         .nRecords = 0},
        {.pszWhat = "the data file is a FIFO", .fnArrange = [](const std::string& s) { ::unlink(s.c_str()); ::mkfifo(s.c_str(), 0644); },
         .eOpenFault = FAULT_DATA_OPEN, .nRecords = 0},
        {.pszWhat = "the tuning file cannot be read: the data file is not moved aside", .fnArrange = [](auto&) {
             OsFileInjectFault(FILEOP_OPEN, EACCES); }, .eOpenFault = FAULT_TUNE_READ, .nRecords = 5},
        {.pszWhat = "a changed tuning whose file cannot be replaced: the temporary file is named", .tune = strOneValueOff,
         .fnArrange = [](auto&) { LimitFileSize(100); }, .eOpenFault = FAULT_TUNE_WRITE, .strData = kAbsent,
         .strAside = kDataLines, .nRecords = 0, .pszNotice = ".tmp (File too large)"},
        {.pszWhat = "a refused flush of the tuning's temporary file: no temporary file is left, and it is named", .tune = strOneValueOff,
         .fnArrange = [](auto&) { OsFileInjectFault(FILEOP_FLUSH, EIO, 1, 1); }, .eOpenFault = FAULT_TUNE_WRITE,
         .fnBeforeAppend = [](const std::string& s, int) { EXPECT_EQ(Content(TmpOf(s)), kAbsent); }, .strData = kAbsent,
         .strAside = kDataLines, .nRecords = 0, .pszNotice = ".tmp (Input/output error)"},
        {.pszWhat = "a refused flush of the directory after the tuning's rename", .tune = strOneValueOff,
         .fnArrange = [](auto&) { OsFileInjectFault(FILEOP_FLUSH, EIO, 1, 2); }, .eOpenFault = FAULT_TUNE_WRITE, .strData = kAbsent,
         .strAside = kDataLines, .nRecords = 0, .pszNotice = "(Input/output error)"},
        {.pszWhat = "a failing close of the tuning's temporary file", .tune = strOneValueOff,
         .fnArrange = [](auto&) { OsFileInjectFault(FILEOP_REPLACE, EIO, 1, 2); }, .eOpenFault = FAULT_TUNE_WRITE,
         .fnBeforeAppend = [](const std::string& s, int) { EXPECT_EQ(Content(TmpOf(s)), kAbsent); }, .strData = kAbsent,
         .strAside = kDataLines, .nRecords = 0, .pszNotice = ".tmp (Input/output error)"},
        {.pszWhat = "a link left as the tuning's temporary file is removed, not followed", .tune = strOneValueOff,
         .fnArrange = [](const std::string& s) { (void)::symlink("../tkd-outside", TmpOf(s).c_str()); },
         .fnBeforeAppend = [](const std::string& s, int) { EXPECT_EQ(Content(TmpOf(s)), kAbsent); }, .strData = kLine,
         .strAside = kDataLines, .nRecords = 1},
        {.pszWhat = "an empty directory left as the temporary file is removed", .tune = strOneValueOff,
         .fnArrange = [](const std::string& s) { ::mkdir(TmpOf(s).c_str(), 0755); },
         .fnBeforeAppend = [](const std::string& s, int) { EXPECT_EQ(Content(TmpOf(s)) + Content(TmpOf(s) + "2"), "\x02\x02"); },
         .strData = kLine, .strAside = kDataLines, .nRecords = 1},
        {.pszWhat = "a directory that holds something as the temporary file: the next name", .tune = strOneValueOff,
         .fnArrange = [](const std::string& s) { ::mkdir(TmpOf(s).c_str(), 0755); WriteBytes(TmpOf(s) + "/x", "x"); },
         .fnBeforeAppend = [](const std::string& s, int) { EXPECT_EQ(Content(TmpOf(s) + "/x") + Content(TmpOf(s) + "2"), "x\x02"); },
         .strData = kLine, .strAside = kDataLines, .nRecords = 1},
        {.pszWhat = "a kill inside a move aside left the file under both names", .tune = strOneValueOff, .fnArrange = [](const std::string& s) {
             ::link(s.c_str(), (s + ".20261205-140327").c_str()); }, .strData = kLine, .strAside = kDataLines, .nRecords = 1},
        {.pszWhat = "the same, and the directory's flush after the data file's name is removed is refused", .tune = strOneValueOff,
         .fnArrange = [](const std::string& s) { ::link(s.c_str(), (s + ".20261205-140327").c_str()); OsFileInjectFault(FILEOP_FLUSH, EIO); },
         .eOpenFault = FAULT_MOVE_ASIDE, .strData = kAbsent, .strAside = kDataLines, .nRecords = 0},
        {.pszWhat = "a changed tuning whose data file cannot be moved", .tune = strOneValueOff, .fnArrange = [](auto&) {
             OsFileInjectFault(FILEOP_MOVE, EIO); }, .eOpenFault = FAULT_MOVE_ASIDE, .nRecords = 0},
        {.pszWhat = "a tuning file cut short after three lines is no match; a taken name is never moved over", .tune = TuningFileText(3),
         .fnBeforeAppend = [](const std::string& s, int) { EXPECT_FALSE(OsFileMove(s.c_str(), (s + ".20261205-140327").c_str())); },
         .strData = kLine, .strAside = kDataLines, .nRecords = 1},
        {.pszWhat = "a line ended by LF alone is a line; after it, a torn last line goes to its side file", .fnArrange = [](const std::string& s) {
             WriteBytes(s, kDataLines + "x=1\n" + kTorn); }, .aeReported = {FAULT_TORN_MOVED}, .strData = kDataLines + "x=1\n" + kLine,
         .strTorn = kTorn + "\r\n", .nRecords = 7, .pszNotice = "(байт: 27)"},
        {.pszWhat = "a data file converted to LF line ends", .fnArrange = [](const std::string& s) {
             std::string str = kDataLines; std::erase(str, '\r'); WriteBytes(s, str); },
         .strData = [] { std::string str = kDataLines; std::erase(str, '\r'); return str + kLine; }()},
        {.pszWhat = "a kill between the copy of a torn tail and the cut: not copied twice", .fnArrange = [](const std::string& s) {
             WriteBytes(s, kDataLines + kTorn); Age(s); WriteBytes(s + ".torn", "1\r\n" + kTorn + "\r\n"); },
         .aeReported = {FAULT_TORN_MOVED}, .strTorn = "1\r\n" + kTorn + "\r\n"},
        {.pszWhat = "the same fragment torn anew is copied again", .fnArrange = [](const std::string& s) {
             WriteBytes(s + ".torn", kTorn + "\r\n"); Age(s + ".torn"); WriteBytes(s, kDataLines + kTorn); },
         .aeReported = {FAULT_TORN_MOVED}, .strTorn = kTorn + "\r\n" + kTorn + "\r\n"},
        {.pszWhat = "a line appended without its line end while polling", .fnBeforeAppend = [](const std::string& s, int) {
             WriteBytes(s, ReadBytes(s) + "x=1"); }, .strData = kDataLines + "x=1\r\n" + kLine, .nRecords = 7},
        {.pszWhat = "a close error at the next search counts nothing twice", .bCloseFails = true},
        {.pszWhat = "two lines appended by another program meanwhile", .fnBeforeAppend = [](const std::string& s, int) {
             WriteBytes(s, ReadBytes(s) + "x=1\r\ny=2\r\n"); }, .strData = kDataLines + "x=1\r\ny=2\r\n" + kLine, .nRecords = 8},
        {.pszWhat = "the data file truncated by a rotation tool", .fnBeforeAppend = [](const std::string& s, int) {
             ::truncate(s.c_str(), 0); }, .strData = kLine, .nRecords = 1},
        {.pszWhat = "a full disk takes part of a record, then room again", .nAppends = 2, .fnBeforeAppend = [](auto&, int n) {
             LimitFileSize(n == 0 ? kDataLines.size() + 10 : RLIM_INFINITY); },
         .aeReported = {FAULT_RECORD_WRITE}},
        {.pszWhat = "a write error (a full disk), twice, is shown once, with the system's words", .nAppends = 3, .fnBeforeAppend = [](auto&, int n) {
             OsFileInjectFault(FILEOP_APPEND, ENOSPC, n < 2 ? 1 : 0); }, .aeReported = {FAULT_RECORD_WRITE, FAULT_RECORD_WRITE},
         .pszNotice = "(No space left on device)"},
        {.pszWhat = "a refused flush", .fnBeforeAppend = [](auto&, int) { OsFileInjectFault(FILEOP_FLUSH, EIO); },
         .aeReported = {FAULT_RECORD_WRITE}},
    };
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the file-size limit fails instead of killing us
    for (size_t i = 0; i < std::size(aRows); ++i) {
        const CFileFaultRow& row = aRows[i];
        SCOPED_TRACE(row.pszWhat);
        const int nAddress = static_cast<int>(10 + i);
        CRecorder recorder;
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        m_store.SetFaults(&recorder);
        const int nSlot = Register(nAddress, row.tune, kDataLines);
        const std::string strData = DataPath(nAddress);
        if (row.fnArrange)
            row.fnArrange(strData);
        const std::string strBefore = Content(strData);
        const size_t nLogBefore = LogLines();
        EXPECT_EQ(m_store.OpenIndicatorFiles(nAddress), row.eOpenFault == FAULT_KINDS);
        OsFileClearFaults();
        for (int n = 0; n < row.nAppends; ++n) {
            if (row.fnBeforeAppend)
                row.fnBeforeAppend(strData, n);
            m_store.AppendDataLine(nSlot, kRecord.c_str());
            OsFileClearFaults();
        }
        LimitFileSize(RLIM_INFINITY);
        const std::vector<EStoreFault> aeReported = row.eOpenFault == FAULT_KINDS ? row.aeReported
                                                                                  : std::vector{row.eOpenFault, FAULT_NO_DATA_FILE};
        EXPECT_EQ(recorder.aeKinds, aeReported);
        EXPECT_EQ(recorder.astrShown.size(), std::set<EStoreFault>(aeReported.begin(), aeReported.end()).size());
        if (!recorder.astrShown.empty()) {
            EXPECT_NE(recorder.astrShown[0].find("Индикатор " + std::to_string(nAddress)), std::string::npos);
            EXPECT_NE(recorder.astrShown[0].find(row.pszNotice), std::string::npos) << recorder.astrShown[0];
        }
        // A record kept in memory only says why its data file was given up: the system's words of the failure.
        if (row.eOpenFault != FAULT_KINDS && recorder.astrShown.size() == 2) {
            const std::string strWhy = recorder.astrShown[0].substr(recorder.astrShown[0].rfind(" ("));
            EXPECT_NE(recorder.astrShown[1].find(strWhy), std::string::npos) << recorder.astrShown[1];
        }
        EXPECT_TRUE(g_bSizeLimited || LogLines() == nLogBefore + recorder.aeKinds.size()) << "every report in tk-dedi.log";
        g_bSizeLimited = false;
        EXPECT_EQ(Content(strData), !row.strData.empty() ? row.strData : row.eOpenFault != FAULT_KINDS ? strBefore : kDataLines + kLine);
        EXPECT_EQ(Content(strData + ".torn"), row.strTorn);
        EXPECT_EQ(Content(strData + ".20261205-140327"), row.strAside);
        EXPECT_FALSE(FileExists(strData + ".20261205-140327-2")) << "records moved aside twice";
        EXPECT_FALSE(FileExists(m_dir.Path() + "/../tkd-outside")) << "a link was followed";
        // A fresh search reloads whole records only, each once; a torn fragment is never one.
        CRecorder atSearch;
        m_store.SetFaults(&atSearch);
        OsFileInjectFault(FILEOP_CLOSE, EIO, row.bCloseFails ? 1 : 0);
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        OsFileClearFaults();
        EXPECT_EQ(atSearch.aeKinds, row.bCloseFails ? std::vector{FAULT_DATA_CLOSE} : std::vector<EStoreFault>{});
        m_store.SetFaults(nullptr);
        Register(nAddress);
        m_store.OpenIndicatorFiles(nAddress);
        EXPECT_EQ(m_store.GetRecordCount(0), row.nRecords);
        EXPECT_EQ(m_store.GetTotal(0, 20), row.nRecords == 6 ? 1 : m_store.GetTotal(0, 20)) << "totals counted twice";
        EXPECT_EQ(std::string(m_store.GetRecordText(0)).find("20=0,12|"), std::string::npos);
    }
    ::close(nHeld);
}

}  // namespace
}  // namespace tkdtest
