// tk4700-sim as a program: a run answers on COMn, takes commands on standard input, logs, and removes the
// link when it quits.
#include "sim_test_peer.h"

#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

#include "temp_dir.h"

namespace simtest {
namespace {

TEST(SimProgram, AnswersOnItsComLinkTakesCommandsAndRemovesTheLinkAtExit)
{
    tkdtest::CTempDir dir;
    const std::string strCommand = "cd '" + dir.Path() + "' && exec '" TKD_SIM_PROGRAM
                                   "' --port 2 --indicators 3,17,40 --log line.log > /dev/null";
    FILE* pStdin = ::popen(strCommand.c_str(), "w");
    ASSERT_NE(pStdin, nullptr);
    const std::string strCom2 = dir.File("COM2");
    for (int i = 0; i < 200 && !tkdtest::FileExists(strCom2); ++i)
        SleepMs(10);
    {
        CPeer peer(strCom2);
        EXPECT_TRUE(peer.IsOpen());
        for (int nAddress : {3, 17, 40}) {
            EXPECT_EQ(peer.Ask(Hl(nAddress), 33).substr(0, 10), Hl(nAddress) + "CD010") << "idle at recipe 1";
            EXPECT_EQ(peer.Ask(Ht(nAddress, 12), 29).substr(6, 5), "01200") << "demo tuning";
        }
        ::fputs("fault 17 silent 1\n", pStdin);
        ::fflush(pStdin);
        SleepMs(400);
        EXPECT_EQ(peer.Ask(Hl(17), 33), "");
        EXPECT_EQ(peer.Ask(Hl(17), 33).size(), 33u);
    }
    ::fputs("quit\n", pStdin);
    const int nStatus = ::pclose(pStdin);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
    struct stat st{};
    EXPECT_NE(::lstat(strCom2.c_str(), &st), 0) << "COM2 removed at exit";
    const std::string strLog = tkdtest::ReadBytes(dir.File("line.log"));
    for (const char* psz : {"HT 40 12", "no answer 17 (fault)", "indicator 40: 0 batches completed"})
        EXPECT_NE(strLog.find(psz), std::string::npos) << psz;
}

}  // namespace
}  // namespace simtest
