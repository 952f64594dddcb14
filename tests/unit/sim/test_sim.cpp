// The indicator simulator as the product sees it: bytes through a real pseudo-terminal and CComPort, and the
// tk4700-sim program driven by its options and its commands on standard input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "com_port.h"
#include "port_params.h"
#include "sim_line.h"
#include "temp_dir.h"

namespace {

std::string Hl(int nAddress) { return std::string{char(nAddress), 'H', 'L', '\r', '\n'}; }
std::string Ht(int nAddress, int nParam) { return std::string{char(nAddress), 'H', 'T', char(nParam), '\r', '\n'}; }
// The state code an HL reply shows, "--" when none came.
std::string Code(const std::string& str) { return str.size() >= 10 && str[1] == 'H' ? str.substr(8, 2) : "--"; }

const std::string kHl05 = "\x05HL\r\nCD023 12345 0000 01234 00 \r\n";
const std::string kHt05_23 = "\x05HT\x17\r\n123450067890123456708\r\n";
const std::string kIdle = "CD011 00000 0000 00000 00 \r\n";  // an indicator at state 11 without tuning
const std::string kGarbage = "<24 bytes, no frame>";

// What crossed the line after the program's bytes, as CComPort reads it, until one read finds nothing.
std::string Talk(CComPort& port, const std::string& strSent)
{
    EXPECT_TRUE(port.Write(reinterpret_cast<const uint8_t*>(strSent.data()), static_cast<int>(strSent.size())));
    std::string str;
    uint8_t aby[CComPort::kMaxBlock];
    for (int nGot = 1, nReads = 0; nGot > 0 && nReads < 20; ++nReads) {  // 20: a line that never falls quiet
        EXPECT_TRUE(port.Read(aby, &nGot));
        str.append(reinterpret_cast<const char*>(aby), static_cast<size_t>(nGot));
    }
    const bool bGarbage = str.size() == 24 && str.find_first_of("H\r\n") == std::string::npos;
    return bGarbage ? kGarbage : str;
}

// The short times with 202 ms for a reply, even from a simulator slowed down by the sanitizers.
const CLineTiming kSlowReads = [] {
    CLineTiming timing = CLineTiming::Short();
    timing.nReadPerByteMs = 3;
    return timing;
}();

class CSimLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_ind.ApplyDemoTuning();
        m_ind.SetState(2, 3, 1234);
        for (int nAddress : {0x11, 0x0A, 0x0D, 0x48, 0, 40})  // like XON, LF, CR, 'H': ordinary bytes
            m_line.AddIndicator(nAddress).SetState(1, 1, 0);
        const int anRow23[] = {12345, 678, 9012, 345, 67, 8};
        const int anRow40[] = {123456, 0, 0, 5000, 0, -7};  // clamped to the digit widths
        for (int k = 0; k < CSimIndicator::kValues; ++k) {
            m_ind.SetTune(23, k, anRow23[k]);
            m_ind.SetTune(40, k, anRow40[k]);
        }
        ASSERT_TRUE(m_line.Start() && m_line.LinkAs(m_dir.Path(), 5) && m_port.Open(tkdtest::SimPortParams(5)));
    }

    tkdtest::CTempDir m_dir;
    tkdtest::CScopedChdir m_chdir{m_dir.Path()};
    CSimLine m_line;
    CSimIndicator& m_ind = m_line.AddIndicator(5);
    CComPort m_port{kSlowReads};
};

// Exact replies from the addressed indicator only; frames found by structure whatever surrounds or splits
// them; each fault as it shows on the line.
TEST_F(CSimLineTest, RepliesAndFaultsOnTheLine)
{
    using F = ESimFault;
    const struct {
        const char* pszWhy;
        F eFault;
        int nCount;
        char cKind;
        std::vector<std::string> astrChunks;  // written apart: nothing may come back before the last
        int nPauseMs;                         // after each chunk but the last
        std::string strBack;
    } aRows[] = {
        {"HL", F::kNone, 0, 0, {Hl(5)}, 0, kHl05},
        {"HT", F::kNone, 0, 0, {Ht(5, 23)}, 0, kHt05_23},
        {"HT records LF and CR in one write, framed by position", F::kNone, 0, 0, {Ht(5, 10) + Ht(5, 13)}, 0,
         "\x05HT\n\r\n" + std::string(21, '0') + "\r\n\x05HT\r\r\n003000027000071500504\r\n"},  // demo entry 13
        {"values clamped to their widths", F::kNone, 0, 0, {Ht(5, 40)}, 0, "\x05HT(\r\n999990000000009990000\r\n"},
        {"HT record above 99", F::kNone, 0, 0, {Ht(5, 200)}, 0, "\x05HT\xC8\r\n" + std::string(21, '0') + "\r\n"},
        {"XON, LF, CR, H, 0 as addresses", F::kNone, 0, 0, {Hl(0x11) + Hl(0x0A) + Hl(0x0D) + Hl(0x48) + Hl(0)}, 0,
         Hl(0x11) + kIdle + Hl(0x0A) + kIdle + Hl(0x0D) + kIdle + Hl(0x48) + kIdle + Hl(0) + kIdle},
        {"HT 40 to 40, no tuning", F::kNone, 0, 0, {Ht(40, 40)}, 0, Ht(40, 40) + std::string(21, '0') + "\r\n"},
        {"split over two writes", F::kNone, 0, 0, {"\x05H", "L\r\n"}, 20, kHl05},
        {"unfinished frame goes stale after half a second", F::kNone, 0, 0, {"\x05HL\r", "\n"}, 600, ""},
        {"garbage and broken frames ahead", F::kNone, 0, 0,
         {"xyz\r\n\x05H\x03HT\x03HT\x07\r\x05HL\rHH\x05HT\r\r\x05HL\r\n"}, 0, kHl05},
        {"silent once", F::kNoAnswer, 1, 0, {Hl(5) + Hl(5)}, 0, kHl05},
        {"silent until cleared", F::kNoAnswer, -1, 0, {Hl(5) + Ht(5, 23) + Hl(5)}, 0, ""},
        {"silent to HT only", F::kNoAnswer, 1, 'T', {Hl(5) + Ht(5, 23) + Ht(5, 23)}, 0, kHl05 + kHt05_23},
        {"garbage", F::kGarbage, 1, 0, {Hl(5)}, 0, kGarbage},
        {"truncated", F::kTruncated, 2, 0, {Hl(5) + Ht(5, 23)}, 0, kHl05.substr(0, 20) + kHt05_23.substr(0, 20)},
        {"corrupted", F::kCorrupted, 2, 0, {Hl(5) + Ht(5, 23)}, 0,
         std::string(kHl05).replace(6, 1, "E") + std::string(kHt05_23).replace(15, 1, " ")},
        {"late, ahead of the next reply", F::kLate, 1, 'T', {Ht(5, 23), Hl(5)}, 300, kHt05_23 + kHl05},
    };
    m_ind.SetLateMs(250);
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszWhy);
        m_ind.SetFault(row.eFault, row.nCount, row.cKind);
        for (size_t i = 0; i + 1 < row.astrChunks.size(); ++i) {
            EXPECT_EQ(Talk(m_port, row.astrChunks[i]), "") << "answered before the frame was complete";
            std::this_thread::sleep_for(std::chrono::milliseconds(row.nPauseMs));
        }
        EXPECT_EQ(Talk(m_port, row.astrChunks.back()), row.strBack);
        m_ind.ClearFault();
    }
    m_line.SetStreaming(true);  // bytes 0x80..0xFF only: never 'H', CR or LF, so never a reply by chance
    uint8_t aby[CComPort::kMaxBlock];
    int nGot = 0;
    EXPECT_TRUE(m_port.Read(aby, &nGot) && nGot == 64);
    EXPECT_TRUE(std::all_of(aby, aby + 64, [](uint8_t by) { return by >= 0x80; }));
    m_line.SetStreaming(false);
    m_port.Drain();
    EXPECT_EQ(Talk(m_port, Hl(5)), kHl05) << "quiet again once switched off";
}

// A script steps once per whole reply (holds, skipped doses, a recipe change); faulted replies do not step.
// Weights are clamped to the five characters, padded with zeros, or sent raw.
TEST_F(CSimLineTest, ScriptStepsWithWholeRepliesOnly)
{
    m_ind.SetScript({{1, 1, 10, 2}, {1, 3, 30}, {1, 0, 40}, {2, 1, 5}, {1, 2, 8}, {4, 1, -12}, {4, 1, 123456},
                     {4, 1, -123456}, {4, 2, 0, 1, " 1 2 "}});
    std::string strShown;
    for (ESimFault eFault : {ESimFault::kNone, ESimFault::kNoAnswer, ESimFault::kCorrupted, ESimFault::kTruncated,
                             ESimFault::kGarbage}) {
        m_ind.SetFault(eFault, 1);
        strShown += Code(Talk(m_port, Hl(5))) + " ";
    }
    for (int i = 0; i < 10; ++i) {
        const std::string strReply = Talk(m_port, Hl(5));
        strShown += Code(strReply) + ":" + strReply.substr(22, 5) + " ";
    }
    EXPECT_EQ(strShown, "11 -- 11 11 -- 11:00010 13:00030 10:00040 21:00005 12:00008 41:-0012 41:99999 41:-9999 "
                        "42: 1 2  42: 1 2  ");
}

// The program: options, a stale link replaced, commands on standard input, its log, the link removed at exit.
TEST(SimProgram, RunsAsTheOperatorDrivesIt)
{
    tkdtest::CTempDir dir;
    tkdtest::CScopedChdir chdir(dir.Path());
    ASSERT_EQ(::symlink("/dev/pts/999999", "COM2"), 0);
    FILE* pStdin = ::popen("exec '" TKD_SIM_PROGRAM "' --port 2 --indicators 3,17,40 --auto --recipes 2 "
                           "--idle-polls 1 --dose-polls 1 --space-pad --log line.log > /dev/null", "w");
    ASSERT_NE(pStdin, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    {
        CComPort port(kSlowReads);
        ASSERT_TRUE(port.Open(tkdtest::SimPortParams(2)));
        std::string strCodes;
        for (int i = 0; i < 12; ++i)
            strCodes += Code(Talk(port, Hl(40))) + " ";
        EXPECT_EQ(strCodes, "20 21 22 23 24 20 20 21 22 23 24 20 ") << "two batches of recipe 2";
        EXPECT_EQ(Talk(port, Ht(3, 12)).substr(6, 5), "01200") << "demo tuning";
        EXPECT_EQ(Talk(port, Hl(3)).substr(22, 5), "    0") << "weights padded with blanks";
        ::fputs("fault 17 silent 1\n", pStdin);
        ::fflush(pStdin);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_EQ(Talk(port, Hl(17)), "");
        EXPECT_EQ(Talk(port, Hl(17)).size(), 33u);
    }
    ::fputs("quit\n", pStdin);
    const int nStatus = ::pclose(pStdin);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
    EXPECT_NE(::unlink("COM2"), 0) << "COM2 removed at exit";
    const std::string strLog = tkdtest::ReadBytes("line.log");
    for (const char* psz : {"HT 03 12", "no answer 17 (fault)", "indicator 40: 2 batches completed"})
        EXPECT_NE(strLog.find(psz), std::string::npos) << psz;
}

}  // namespace
