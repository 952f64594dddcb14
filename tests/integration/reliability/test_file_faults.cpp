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
#include <unistd.h>

#include "store_rig.h"

namespace tkdtest {
namespace {

const std::string kRecord = "05.12.2026,14:05:00,20=1,2,3,";  // a pending record; its line drops the comma
const std::string kLine = "05.12.2026,14:05:00,20=1,2,3\r\n";
constexpr const char* kUnchanged = "\x01";  // the file as the row wrote it
constexpr const char* kAbsent = "\x02";

struct CFileFaultRow {
    const char* pszWhat;
    std::optional<std::string> tune = TuningFileText();  // nullopt: no tuning file
    std::function<void(const std::string& strData)> fnArrange = {};  // after the files are written, before the open
    bool bOpened = true;
    int nAppends = 1;  // records appended after the open (each also kept in memory by the poll)
    std::function<void(const std::string& strData, int nAppend)> fnBeforeAppend = {};
    std::vector<EStoreFault> aeReported = {};
    std::string strData = kDataLines + kLine;  // the data file at the end
    std::string strAside = kAbsent;             // Data_iNN.20261205-140327
    std::string strTorn = kAbsent;              // Data_iNN.torn
    int nRecords = 6;                           // records a fresh search reloads
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

void LimitFileSize(rlim_t nBytes)
{
    rlimit lim{};
    ::getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = nBytes;
    ::setrlimit(RLIMIT_FSIZE, &lim);
}

// A file's bytes; a FIFO or a link (which a read would block on or follow) only as what it is.
std::string Content(const std::string& strPath)
{
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0)
        return kAbsent;
    return S_ISREG(st.st_mode) ? ReadBytes(strPath) : S_ISLNK(st.st_mode) ? "<link>" : "<other>";
}

class FileFaults : public CStoreRig {};

TEST_F(FileFaults, NoRecordIsLostOverwrittenOrSilentlyDropped)
{
    std::string strOneValueOff = TuningFileText();
    strOneValueOff.replace(strOneValueOff.find("1020,"), 5, "1021,");
    int nHeld = -1;  // another writer's descriptor
    const CFileFaultRow aRows[] = {
        {.pszWhat = "a failing disk at the data file's open: nothing created over it", .fnArrange = [](auto&) {
             StoreFileInjectFault(SFOP_OPEN, EIO, 1, 1); }, .bOpened = false, .aeReported = {FAULT_DATA_OPEN, FAULT_NO_DATA_FILE}, .strData = kUnchanged, .nRecords = 5},
        {.pszWhat = "no permission for the data file", .fnArrange = [](auto&) { StoreFileInjectFault(SFOP_OPEN, EACCES, 1, 1); },
         .bOpened = false, .aeReported = {FAULT_DATA_OPEN, FAULT_NO_DATA_FILE}, .strData = kUnchanged, .nRecords = 5},
        {.pszWhat = "another writer holds the data file", .fnArrange = [&nHeld](const std::string& s) {
             ::flock(nHeld = ::open(s.c_str(), O_RDWR), LOCK_EX); }, .bOpened = false,
         .aeReported = {FAULT_DATA_OPEN, FAULT_NO_DATA_FILE}, .strData = kUnchanged, .nRecords = 0},
        {.pszWhat = "a read error while the data file loads", .fnArrange = [](auto&) { StoreFileInjectFault(SFOP_READ, EIO, 1, 1); },
         .bOpened = false, .aeReported = {FAULT_DATA_READ, FAULT_NO_DATA_FILE}, .strData = kUnchanged, .nRecords = 5},
        {.pszWhat = "the data file is a link out of the directory", .fnArrange = [](const std::string& s) {
             ::unlink(s.c_str()); (void)::symlink("../tkd-outside", s.c_str()); }, .bOpened = false,
         .aeReported = {FAULT_DATA_OPEN, FAULT_NO_DATA_FILE}, .strData = kUnchanged, .nRecords = 0},
        {.pszWhat = "the data file is a FIFO", .fnArrange = [](const std::string& s) { ::unlink(s.c_str()); ::mkfifo(s.c_str(), 0644); },
         .bOpened = false, .aeReported = {FAULT_DATA_OPEN, FAULT_NO_DATA_FILE}, .strData = kUnchanged, .nRecords = 0},
        {.pszWhat = "the tuning file cannot be read: the data file is not moved aside", .fnArrange = [](auto&) {
             StoreFileInjectFault(SFOP_OPEN, EACCES); }, .bOpened = false, .aeReported = {FAULT_TUNE_READ, FAULT_NO_DATA_FILE},
         .strData = kUnchanged, .nRecords = 5},
        {.pszWhat = "a changed tuning whose file cannot be replaced", .tune = strOneValueOff, .fnArrange = [](auto&) {
             StoreFileInjectFault(SFOP_REPLACE, ENOSPC); }, .bOpened = false,
         .aeReported = {FAULT_TUNE_WRITE, FAULT_NO_DATA_FILE}, .strData = kAbsent, .strAside = kDataLines, .nRecords = 0},
        {.pszWhat = "a changed tuning whose data file cannot be moved", .tune = strOneValueOff, .fnArrange = [](auto&) {
             StoreFileInjectFault(SFOP_MOVE, EIO); }, .bOpened = false, .aeReported = {FAULT_MOVE_ASIDE, FAULT_NO_DATA_FILE},
         .strData = kUnchanged, .nRecords = 0},
        {.pszWhat = "a tuning file cut short after three lines is no match", .tune = TuningFileText(3), .strData = kLine,
         .strAside = kDataLines, .nRecords = 1},
        {.pszWhat = "a torn last line goes to its side file", .fnArrange = [](const std::string& s) {
             WriteBytes(s, kDataLines + "05.12.2026,14:04:00,20=0,12"); }, .strTorn = "05.12.2026,14:04:00,20=0,12\r\n"},
        {.pszWhat = "two lines appended by another program meanwhile", .fnBeforeAppend = [](const std::string& s, int) {
             WriteBytes(s, ReadBytes(s) + "x=1\r\ny=2\r\n"); }, .strData = kDataLines + "x=1\r\ny=2\r\n" + kLine, .nRecords = 8},
        {.pszWhat = "the data file truncated by a rotation tool", .fnBeforeAppend = [](const std::string& s, int) {
             ::truncate(s.c_str(), 0); }, .strData = kLine, .nRecords = 1},
        {.pszWhat = "a full disk takes part of a record, then room again", .nAppends = 2, .fnBeforeAppend = [](auto&, int n) {
             LimitFileSize(n == 0 ? kDataLines.size() + 10 : RLIM_INFINITY); },
         .aeReported = {FAULT_RECORD_WRITE}},
        {.pszWhat = "a write error, twice, is shown once", .nAppends = 3, .fnBeforeAppend = [](auto&, int n) {
             StoreFileInjectFault(SFOP_APPEND, EIO, n < 2 ? 1 : 0); }, .aeReported = {FAULT_RECORD_WRITE, FAULT_RECORD_WRITE}},
        {.pszWhat = "a refused flush", .fnBeforeAppend = [](auto&, int) { StoreFileInjectFault(SFOP_FLUSH, EIO); },
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
        EXPECT_EQ(m_store.OpenIndicatorFiles(nAddress), row.bOpened);
        StoreFileClearFaults();
        for (int n = 0; n < row.nAppends; ++n) {
            if (row.fnBeforeAppend)
                row.fnBeforeAppend(strData, n);
            m_store.AppendDataLine(nSlot, kRecord.c_str());
            StoreFileClearFaults();
        }
        LimitFileSize(RLIM_INFINITY);
        EXPECT_EQ(recorder.aeKinds, row.aeReported);
        std::set<EStoreFault> setKinds(row.aeReported.begin(), row.aeReported.end());
        EXPECT_EQ(recorder.astrShown.size(), setKinds.size()) << "one notice per kind";
        if (!recorder.astrShown.empty()) {
            EXPECT_NE(recorder.astrShown[0].find("Индикатор " + std::to_string(nAddress)), std::string::npos);
        }
        EXPECT_EQ(Content(strData), row.strData == kUnchanged ? strBefore : row.strData);
        EXPECT_EQ(Content(strData + ".torn"), row.strTorn);
        EXPECT_EQ(Content(strData + ".20261205-140327"), row.strAside);
        EXPECT_FALSE(FileExists(m_dir.Path() + "/../tkd-outside")) << "a link was followed";
        // A fresh search reloads whole records only; a torn fragment is never one.
        m_store.SetFaults(nullptr);
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        Register(nAddress);
        m_store.OpenIndicatorFiles(nAddress);
        EXPECT_EQ(m_store.GetRecordCount(0), row.nRecords);
        EXPECT_EQ(std::string(m_store.GetRecordText(0)).find("20=0,12|"), std::string::npos);
    }
    ::close(nHeld);
}

}  // namespace
}  // namespace tkdtest
