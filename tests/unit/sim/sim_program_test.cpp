// tk4700-sim as a program and its options: parsing, --help, a run answering on COMn, the link removed at exit.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim_options.h"
#include "sim_test_peer.h"
#include "temp_dir.h"

extern char** environ;

namespace {

bool Parse(std::vector<std::string> aArgs, CSimOptions* pOptions, std::string* pstrError = nullptr)
{
    aArgs.insert(aArgs.begin(), "tk4700-sim");
    std::vector<const char*> apsz;
    for (const auto& str : aArgs)
        apsz.push_back(str.c_str());
    std::string strError;
    *pOptions = CSimOptions{};
    const bool bOk = ParseSimOptions(static_cast<int>(apsz.size()), apsz.data(), pOptions, &strError);
    if (pstrError)
        *pstrError = strError;
    return bOk;
}

}  // namespace

// ---- options ----

TEST(SimOptions, DefaultsWithoutArguments)
{
    CSimOptions o;
    ASSERT_TRUE(Parse({}, &o));
    EXPECT_FALSE(o.bHelp);
    EXPECT_EQ(o.nPort, 1);
    EXPECT_EQ(o.anIndicators, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(o.bAuto);
    EXPECT_EQ(o.nReplyDelayMs, 0);
    EXPECT_TRUE(o.strLogFile.empty());
}

TEST(SimOptions, EveryOptionIsRead)
{
    CSimOptions o;
    ASSERT_TRUE(Parse({"--port", "2", "--indicators=3,17,40", "--auto", "--recipes", "2,3", "--dose-polls", "5",
                       "--idle-polls", "4", "--dose-ms", "900", "--scatter", "7", "--seed", "42", "--log", "x.log",
                       "--fault", "17:silent:5", "--fault", "40:late", "--late-ms", "450", "--reply-delay", "30",
                       "--stream-rate", "1500", "--space-pad"},
                      &o));
    EXPECT_EQ(o.nPort, 2);
    EXPECT_EQ(o.anIndicators, (std::vector<int>{3, 17, 40}));
    EXPECT_TRUE(o.bAuto);
    EXPECT_EQ(o.plan.anRecipes, (std::vector<int>{2, 3}));
    EXPECT_EQ(o.plan.nDosePolls, 5);
    EXPECT_EQ(o.plan.nIdlePolls, 4);
    EXPECT_EQ(o.plan.nDoseMs, 900);
    EXPECT_EQ(o.plan.dScatterPct, 7.0);
    EXPECT_EQ(o.plan.nSeed, 42u);
    EXPECT_EQ(o.strLogFile, "x.log");
    ASSERT_EQ(o.aFaults.size(), 2u);
    EXPECT_EQ(o.aFaults[0].nAddress, 17);
    EXPECT_EQ(o.aFaults[0].eFault, ESimFault::kNoAnswer);
    EXPECT_EQ(o.aFaults[0].nCount, 5);
    EXPECT_EQ(o.aFaults[1].eFault, ESimFault::kLate);
    EXPECT_EQ(o.aFaults[1].nCount, -1);
    EXPECT_EQ(o.nLateMs, 450);
    EXPECT_EQ(o.nReplyDelayMs, 30);
    EXPECT_TRUE(o.bStream);
    EXPECT_EQ(o.nStreamRate, 1500);
    EXPECT_TRUE(o.bSpacePad);
}

TEST(SimOptions, BadValuesAreRefusedWithAReason)
{
    const std::vector<std::vector<std::string>> aBad = {
        {"--port", "0"},          {"--port", "17"},        {"--port"},
        {"--port", "1x"},         {"--indicators", "3,,4"}, {"--indicators", "100"},
        {"--indicators", ""},     {"--dose-polls", "0"},   {"--recipes", "4"},
        {"--fault", "3"},         {"--fault", "2:boom"},   {"--fault", "2:late:0"},
        {"--fault", "9:silent"},  {"--scatter", "-1"},     {"--frobnicate"},
        {"--log", ""},            {"--indicators", "3,17,3"},
    };
    for (const auto& aArgs : aBad) {
        SCOPED_TRACE(testing::PrintToString(aArgs));
        CSimOptions o;
        std::string strError;
        EXPECT_FALSE(Parse(aArgs, &o, &strError));
        EXPECT_FALSE(strError.empty());
    }
}

TEST(SimOptions, HelpNamesEveryOption)
{
    CSimOptions o;
    ASSERT_TRUE(Parse({"--help"}, &o));
    EXPECT_TRUE(o.bHelp);
    const std::string strHelp = SimHelpText();
    for (const char* psz : {"--port", "--indicators", "--auto", "--recipes", "--dose-polls", "--idle-polls",
                            "--dose-ms", "--scatter", "--seed", "--log", "--fault", "--late-ms", "--reply-delay",
                            "--stream", "--stream-rate", "--space-pad", "--help", "TK4700_TUNE.INI", "COM1"})
        EXPECT_NE(strHelp.find(psz), std::string::npos) << psz;
}

TEST(SimCommands, CommandsOfTheRunningProgramAreRead)
{
    CSimCommand c;
    std::string strError;
    ASSERT_TRUE(ParseSimCommand("fault 17 silent 5", &c, &strError));
    EXPECT_EQ(c.eKind, CSimCommand::kFault);
    EXPECT_EQ(c.nAddress, 17);
    EXPECT_EQ(c.eFault, ESimFault::kNoAnswer);
    EXPECT_EQ(c.nCount, 5);
    ASSERT_TRUE(ParseSimCommand("  fault 3 corrupted", &c, &strError));
    EXPECT_EQ(c.eFault, ESimFault::kCorrupted);
    EXPECT_EQ(c.nCount, -1);
    ASSERT_TRUE(ParseSimCommand("state 3 2 1 -640\r", &c, &strError));
    EXPECT_EQ(c.eKind, CSimCommand::kState);
    EXPECT_EQ(c.nRecipe, 2);
    EXPECT_EQ(c.nDose, 1);
    EXPECT_EQ(c.nWeight, -640);
    ASSERT_TRUE(ParseSimCommand("stream off", &c, &strError));
    EXPECT_EQ(c.eKind, CSimCommand::kStream);
    EXPECT_FALSE(c.bOn);
    ASSERT_TRUE(ParseSimCommand("delay 50", &c, &strError));
    EXPECT_EQ(c.nMs, 50);
    ASSERT_TRUE(ParseSimCommand("", &c, &strError));
    EXPECT_EQ(c.eKind, CSimCommand::kNone);
    for (const char* psz : {"hangup", "batches", "help", "quit", "clear 4"})
        EXPECT_TRUE(ParseSimCommand(psz, &c, &strError)) << psz;

    for (const char* psz : {"fault 17", "fault 17 boom", "fault 300 silent", "fault 1 late 0", "state 3 10 1 5",
                            "state 3 1 1", "stream maybe", "delay", "hangup now", "frobnicate", "clear"}) {
        SCOPED_TRACE(psz);
        strError.clear();
        EXPECT_FALSE(ParseSimCommand(psz, &c, &strError));
        EXPECT_FALSE(strError.empty());
    }
    EXPECT_NE(SimCommandHelp().find("fault ADDR"), std::string::npos);
}

// ---- the program ----

TEST(SimProgram, AnswersOnItsComLinkLogsAndRemovesTheLinkOnSigterm)
{
    tkdtest::CTempDir dir;
    const std::string strExe = TKD_SIM_PROGRAM;
    const std::string strLog = dir.File("line.log");
    std::vector<std::string> aArgs = {strExe, "--port", "2", "--indicators", "3,17,40", "--log", strLog};
    std::vector<char*> apsz;
    for (auto& str : aArgs)
        apsz.push_back(str.data());
    apsz.push_back(nullptr);

    int afdStdin[2] = {-1, -1};
    ASSERT_EQ(pipe(afdStdin), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.Path().c_str());
    posix_spawn_file_actions_adddup2(&actions, afdStdin[0], 0);
    posix_spawn_file_actions_addclose(&actions, afdStdin[1]);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, strExe.c_str(), &actions, nullptr, apsz.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(afdStdin[0]);

    const std::string strLink = dir.File("COM2");
    for (int i = 0; i < 200 && !tkdtest::FileExists(strLink); ++i)
        simtest::SleepMs(10);
    {
        simtest::CPeer peer(strLink);
        EXPECT_TRUE(peer.IsOpen());
        for (int nAddress : {3, 17, 40}) {
            const std::string strReply = peer.Ask(simtest::Hl(nAddress), 33);
            ASSERT_EQ(strReply.size(), 33u) << nAddress;
            EXPECT_EQ(strReply[0], static_cast<char>(nAddress));
            EXPECT_EQ(strReply.substr(8, 2), "10") << "idle at recipe 1 without --auto";
            EXPECT_EQ(peer.Ask(simtest::Ht(nAddress, 12), 29).substr(6, 5), "01200");
        }
        ASSERT_TRUE(peer.Send(simtest::Hl(4)));
        EXPECT_EQ(peer.ReadUntilQuiet(80), "");

        // A command on standard input: indicator 17 silent for one request.
        const std::string strCommand = "fault 17 silent 1\n";
        ASSERT_EQ(write(afdStdin[1], strCommand.data(), strCommand.size()), static_cast<ssize_t>(strCommand.size()));
        simtest::SleepMs(400);
        ASSERT_TRUE(peer.Send(simtest::Hl(17)));
        EXPECT_EQ(peer.ReadUntilQuiet(80), "");
        EXPECT_EQ(peer.Ask(simtest::Hl(17), 33).size(), 33u);
    }
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    close(afdStdin[1]);
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
    struct stat st{};
    EXPECT_NE(lstat(strLink.c_str(), &st), 0) << "COM2 removed at exit";
    const std::string strLogText = tkdtest::ReadBytes(strLog);
    EXPECT_NE(strLogText.find("HL 17"), std::string::npos);
    EXPECT_NE(strLogText.find("HT 40 12"), std::string::npos);
    EXPECT_NE(strLogText.find("no answer 04: no indicator"), std::string::npos);
    EXPECT_NE(strLogText.find("no answer 17 (fault)"), std::string::npos);
    EXPECT_NE(strLogText.find("indicator 40: 0 batches completed"), std::string::npos);
}

TEST(SimProgram, BadOptionExitsWithTwoAndMakesNoLink)
{
    tkdtest::CTempDir dir;
    const std::string strExe = TKD_SIM_PROGRAM;
    std::vector<std::string> aArgs = {strExe, "--port", "99"};
    std::vector<char*> apsz;
    for (auto& str : aArgs)
        apsz.push_back(str.data());
    apsz.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.Path().c_str());
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, strExe.c_str(), &actions, nullptr, apsz.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 2);
    EXPECT_FALSE(tkdtest::FileExists(dir.File("COM99")));
}
