// The Windows serial channel against the real simulator: Wine maps COM7 to the link tk4700-sim makes in the line directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "com_port.h"
#include "port_params.h"
#include "sleep.h"

namespace {

constexpr int kCom = TKD_WIN32_SIM_PORT;
const std::string kLineDir = TKD_WIN32_LINE_DIR;  // a Unix path

// Runs a shell script in the line directory (Wine runs a Unix program named by a Z: path, with no handle to
// wait on). True once the script has succeeded, which it says by making pszDone; false after 10 s.
bool RunShell(const std::string& strScript, const char* pszDone)
{
    const std::string strDone = "Z:" + kLineDir + "/" + pszDone;
    ::DeleteFileA(strDone.c_str());
    std::string strCommand = "Z:\\bin\\sh -c \"mkdir -p '" + kLineDir + "' && cd '" + kLineDir + "' && " + strScript +
                             " && touch " + pszDone + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    for (int i = 0; i < 400 && ::GetFileAttributesA(strDone.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(25);
    return ::GetFileAttributesA(strDone.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts tk4700-sim in the line directory, returning once its COMn link is there; it runs until StopSim.
// The link's name is a device name to Windows, so the shell looks for it.
bool StartSim(const std::string& strIndicators = "--indicators 5,9,11 --fault 9:garbage --fault 11:late")
{
    const std::string strLink = "COM" + std::to_string(kCom);
    return RunShell("rm -f sim.log " + strLink + "; '" + TKD_SIM_PROGRAM + "' --port " + std::to_string(kCom) + " " +
                        strIndicators + " > sim.log 2>&1 < /dev/null & echo $! > sim.pid;"
                        " for i in $(seq 250); do [ -e " + strLink + " ] && break; sleep 0.02; done; [ -e " + strLink + " ]",
                    "started");
}

// Runs the test program beside this one with pszArgs and returns its exit status (-1 when it did not run).
int RunBeside(const char* pszProgram, const std::string& strArgs)
{
    char szSelf[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, szSelf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return -1;
    std::string strCommand(szSelf, n);
    strCommand = "\"" + strCommand.substr(0, strCommand.find_last_of("\\/") + 1) + pszProgram + "\" " + strArgs;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD dwExit = 1;
    if (::WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0 || !::GetExitCodeProcess(pi.hProcess, &dwExit))
        dwExit = static_cast<DWORD>(-1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(dwExit);
}

// Stops the simulator: the pseudo-terminal closes, as when a USB adapter is pulled out.
void StopSim()
{
    RunShell("kill $(cat sim.pid); for i in $(seq 250); do [ -e COM" + std::to_string(kCom) + " ] || break; sleep 0.02; done",
             "stopped");
}

// The frames the simulator logged as received, in hex ("05 48 4C 0D 0A").
std::vector<std::string> LoggedRequests()
{
    std::ifstream log("Z:" + kLineDir + "/sim.log");
    std::vector<std::string> astr;
    for (std::string strLine; std::getline(log, strLine);)
        if (strLine.find(" in ") != std::string::npos && strLine.find("| ") != std::string::npos)
            astr.push_back(strLine.substr(strLine.find("| ") + 2));
    return astr;
}

class CWin32Serial : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(StartSim()) << "tk4700-sim did not start: " << TKD_SIM_PROGRAM; }
    // Opens COMn as the product does; the system's words when it cannot.
    static ::testing::AssertionResult Open(CComPort& port)
    {
        if (port.Open(tkdtest::SimPortParams(kCom)))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "open: " << ErrorText(port);
    }
    static std::string ErrorText(const CComPort& port) { char sz[200]; port.LastErrorText(sz, sizeof sz); return sz; }
    void TearDown() override { StopSim(); }
    // One conversation with the product's own timing; the reply's bytes, empty when none was recognised.
    std::string Converse(CComPort& port, int nKind, int nAddress, int nParam = 0)
    {
        uint8_t abyReply[CComPort::kMaxBlock];
        int nLen = 0;
        const bool bOk = port.Exchange(nKind, nAddress, nParam, abyReply, &nLen);
        EXPECT_EQ(bOk, nLen > 0);
        return std::string(reinterpret_cast<const char*>(abyReply), static_cast<size_t>(nLen));
    }
};

TEST_F(CWin32Serial, ConversationsCarryExactBytes)
{
    const struct { int nKind; int nAddress; int nParam; const char* pszRequest; std::string strReply; } aRows[] = {
        {REQ_HL, 5, 0, "05 48 4C 0D 0A", "\x05HL\r\nCD010 00000 0000 00000 00 \r\n"},
        {REQ_HT, 5, 13, "05 48 54 0D 0D 0A", "\x05HT\r\r\n003000027000071500504\r\n"},  // 0x0D as a raw parameter
        {REQ_HT, 5, 10, "05 48 54 0A 0D 0A", "\x05HT\n\r\n000000000000000000000\r\n"},
        {REQ_HL, 42, 0, "2A 48 4C 0D 0A", ""},                                           // nobody at 42
        {REQ_HL, 9, 0, "09 48 4C 0D 0A", ""},                                            // 24 bytes of garbage
        {REQ_HL, 5, 0, "05 48 4C 0D 0A", "\x05HL\r\nCD010 00000 0000 00000 00 \r\n"},    // nothing of it left
    };
    CComPort port;
    ASSERT_TRUE(Open(port));
    std::vector<std::string> astrSent;
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszRequest);
        EXPECT_EQ(Converse(port, row.nKind, row.nAddress, row.nParam), row.strReply);
        astrSent.push_back(row.pszRequest);
    }
    EXPECT_EQ(LoggedRequests(), astrSent);
    EXPECT_TRUE(port.Close());
}

TEST_F(CWin32Serial, DrainDropsALateReply)
{
    CComPort port;
    ASSERT_TRUE(Open(port));
    EXPECT_EQ(Converse(port, REQ_HL, 11), "") << "the reply comes 300 ms after the request";
    OsSleepMs(300);
    port.Drain();
    EXPECT_EQ(Converse(port, REQ_HL, 5), "\x05HL\r\nCD010 00000 0000 00000 00 \r\n");
}

TEST_F(CWin32Serial, AVanishedLineIsDeadUntilReopened)
{
    CComPort port;
    ASSERT_TRUE(Open(port));
    CComPort copy = port;
    ASSERT_EQ(Converse(copy, REQ_HL, 5).size(), 33u);
    StopSim();
    EXPECT_EQ(Converse(copy, REQ_HL, 5), "");
    EXPECT_TRUE(port.IsDead()) << "seen by every copy";
    EXPECT_NE(ErrorText(port), "");
    ASSERT_TRUE(StartSim());
    EXPECT_EQ(Converse(copy, REQ_HL, 5), "") << "dead until reopened, even with the line back";
    ASSERT_TRUE(port.Reopen());
    EXPECT_FALSE(port.IsDead());
    EXPECT_EQ(Converse(port, REQ_HL, 5).size(), 33u);
}

TEST_F(CWin32Serial, PortsThatCannotBeOpenedStayClosed)
{
    // nullptr: the simulator's port, whose handle is had and whose parameters are then refused.
    const struct { const char* pszName; int32_t nBaud; uint8_t byBits; } aRows[] = {
        {"COM99", 9600, 8}, {nullptr, 0, 8}, {nullptr, 9600, 0}, {nullptr, 9600, 9}, {"COM", 9600, 8}, {"LPT1", 9600, 8},
    };
    for (const auto& row : aRows) {
        CPortParams params = tkdtest::SimPortParams(kCom);
        if (row.pszName != nullptr)
            std::snprintf(params.m_szPortName, sizeof params.m_szPortName, "%s", row.pszName);
        params.m_nBaud = row.nBaud;
        params.m_byDataBits = row.byBits;
        SCOPED_TRACE(std::string(params.m_szPortName) + " " + std::to_string(row.nBaud) + " " + std::to_string(row.byBits));
        CComPort port;
        EXPECT_FALSE(port.Open(params));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.OpenError(), PORT_OPEN_FAILED);
        EXPECT_NE(ErrorText(port), "");
    }
    CComPort port;
    ASSERT_TRUE(Open(port));
    EXPECT_FALSE(port.Open(tkdtest::SimPortParams(kCom))) << "already open";
    EXPECT_EQ(Converse(port, REQ_HL, 5).size(), 33u) << "and still usable";
}

// A terminal program left XON/XOFF, NUL stripping and abort-on-error on the port. Addresses and entries
// 17 and 19 are the XON and XOFF bytes: on such a line they vanish, and 19 from an indicator stops the
// transmitter. The search's own conversations must still reach both indicators and both entries.
TEST_F(CWin32Serial, ARawLineWhateverThePreviousProgramLeft)
{
    StopSim();
    ASSERT_TRUE(StartSim("--indicators 17,19"));
    ASSERT_EQ(RunBeside("tkd_win32_leave_xonxoff.exe", std::to_string(kCom)), 0) << "the port kept no XON/XOFF";
    CComPort port;
    ASSERT_TRUE(Open(port));
    for (int nAddress = 16; nAddress <= 20; ++nAddress) {
        SCOPED_TRACE(nAddress);
        const bool bThere = nAddress == 17 || nAddress == 19;
        const std::string strState = Converse(port, REQ_HL, nAddress);
        EXPECT_EQ(strState.size(), bThere ? 33u : 0u);
        if (!bThere || strState.empty())
            continue;
        EXPECT_EQ(strState[0], static_cast<char>(nAddress));
        for (int nEntry = 16; nEntry <= 20; ++nEntry) {
            SCOPED_TRACE(nEntry);
            const std::string strTune = Converse(port, REQ_HT, nAddress, nEntry);
            ASSERT_EQ(strTune.size(), 29u);
            EXPECT_EQ(strTune.substr(0, 4), std::string({static_cast<char>(nAddress), 'H', 'T', static_cast<char>(nEntry)}));
        }
    }
}

}  // namespace
