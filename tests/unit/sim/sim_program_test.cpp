// tk4700-sim as a program: bad options refused; a run answers on COMn, takes a command, removes the link at exit.
#include "sim_test_peer.h"

#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "sim_options.h"
#include "temp_dir.h"

extern char** environ;

namespace simtest {
namespace {

TEST(SimProgram, RefusesBadOptionsAndAnswersOnItsComLink)
{
    for (std::vector<const char*> apsz : std::vector<std::vector<const char*>>{
             {"--port", "17"}, {"--port"}, {"--indicators", "3,,4"}, {"--fault", "2:boom"}, {"--frobnicate"}}) {
        apsz.insert(apsz.begin(), "tk4700-sim");
        CSimOptions o;
        std::string strError;
        EXPECT_FALSE(ParseSimOptions(static_cast<int>(apsz.size()), apsz.data(), &o, &strError)) << apsz[1];
        EXPECT_FALSE(strError.empty());
    }
    tkdtest::CTempDir dir;
    const std::string strLogFile = dir.File("line.log");
    const char* apszArgs[] = {TKD_SIM_PROGRAM, "--port", "2", "--indicators", "3,17,40", "--log", strLogFile.c_str(), nullptr};
    int afdStdin[2] = {-1, -1};
    ASSERT_EQ(::pipe(afdStdin), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.Path().c_str());
    posix_spawn_file_actions_adddup2(&actions, afdStdin[0], 0);
    posix_spawn_file_actions_addclose(&actions, afdStdin[1]);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, TKD_SIM_PROGRAM, &actions, nullptr, const_cast<char* const*>(apszArgs), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(afdStdin[0]);
    const std::string strCom2 = dir.File("COM2");
    for (int i = 0; i < 200 && !tkdtest::FileExists(strCom2); ++i)
        SleepMs(10);
    {
        CPeer peer(strCom2);
        EXPECT_TRUE(peer.IsOpen());
        for (int nAddress : {3, 17, 40}) {
            const std::string strReply = peer.Ask(Hl(nAddress), 33);
            EXPECT_EQ(strReply.substr(0, 10), std::string{static_cast<char>(nAddress)} + "HL\r\nCD010") << nAddress;
            EXPECT_EQ(peer.Ask(Ht(nAddress, 12), 29).substr(6, 5), "01200");
        }
        const std::string strCommand = "fault 17 silent 1\n";  // on standard input
        ASSERT_EQ(::write(afdStdin[1], strCommand.data(), strCommand.size()), static_cast<ssize_t>(strCommand.size()));
        SleepMs(400);
        EXPECT_EQ(peer.Ask(Hl(17), 33), "");
        EXPECT_EQ(peer.Ask(Hl(17), 33).size(), 33u);
    }
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    ::close(afdStdin[1]);
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    struct stat st{};
    EXPECT_NE(::lstat(strCom2.c_str(), &st), 0) << "COM2 removed at exit";
    const std::string strLogText = tkdtest::ReadBytes(strLogFile);
    for (const char* psz : {"HT 40 12", "no answer 17 (fault)", "indicator 40: 0 batches completed"})
        EXPECT_NE(strLogText.find(psz), std::string::npos) << psz;
}

}  // namespace
}  // namespace simtest
