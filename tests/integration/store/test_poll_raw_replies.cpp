// CBatchStore::Poll fed hand-made HL replies: state-code bytes that cannot go into a record line are passed over.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "pty_peer.h"
#include "store_line_fixture.h"

namespace {

// A 33-byte HL reply of address 7 with the two state bytes and five weight characters as given.
std::string HlReply(char cRecipe, char cDose, const char* pszWeight5)
{
    std::string str(33, '0');
    str[0] = 7;
    str.replace(1, 6, "HL\r\nCD");
    str[8] = cRecipe;
    str[9] = cDose;
    str.replace(22, 5, pszWeight5, 5);
    str.replace(31, 2, "\r\n");
    return str;
}

TEST(StorePollRaw, StateBytesThatWouldBreakARecordArePassedOver)
{
    tkdtest::CTempDir dir;
    tkdtest::CScopedChdir chdir(dir.Path());
    tkdtest::CPtyPeer peer;
    ASSERT_TRUE(peer.IsReady() && peer.LinkAs(dir.Path(), 1));
    CComPort port(CLineTiming::Short());
    CPortParams params;
    params.m_nComNumber = 1;
    std::strcpy(params.m_szPortName, "COM1");
    params.m_nBaud = 9600;
    params.m_byDataBits = 8;
    ASSERT_TRUE(port.Open(params));

    CBatchStore store;
    const std::string strDir = dir.Path() + "/";
    ASSERT_TRUE(store.Open(strDir.c_str()));
    store.SetClock(storeline::FixedClock);
    ASSERT_EQ(store.RegisterIndicator(7), 0);
    for (int d = 1; d <= 3; ++d)
        store.SetTuneValue(0, 20 + d, 0, 500);
    ASSERT_TRUE(store.OpenIndicatorFiles(7));

    const std::string aReplies[] = {
        HlReply('2', '0', "00011"),   // header
        HlReply('2', '|', "00100"),   // a "|" would split the record in the record text
        HlReply('\r', '\n', "00100"), // CR LF would split its line in the data file
        HlReply('2', '\0', "00100"),  // a terminator would cut it
        HlReply('|', '1', "00100"),
        HlReply('2', '1', "01250"),
        HlReply('2', '0', "00980"),   // end of the batch
    };
    bool bCompleted = false;
    int nRow = -1;
    for (const std::string& strReply : aReplies) {
        ASSERT_TRUE(peer.WriteMaster(strReply));
        bCompleted = false;
        store.Poll(port, &nRow, &bCompleted);
    }
    EXPECT_TRUE(bCompleted);
    EXPECT_EQ(nRow, 2);
    const std::string strRecord = std::string(storeline::kHeaderTime) + "20=1250,980";
    EXPECT_EQ(std::string(store.GetRecordText(0)), strRecord + "|");
    EXPECT_EQ(store.GetRecordCount(0), 1);
    EXPECT_EQ(store.GetTotal(0, 20), 1250);
    EXPECT_EQ(store.GetTotal(0, 21), 980);
    store.Close();
    port.Close();
    EXPECT_EQ(tkdtest::ReadBytes(dir.File("Data_i07")), strRecord + "\r\n");
}

}  // namespace
