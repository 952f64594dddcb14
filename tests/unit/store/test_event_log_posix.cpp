// The event log's UTC offset as the TZ variable sets it (POSIX only: Windows takes it from the system's time zone).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "fault_notices.h"
#include "temp_dir.h"

namespace tkdtest {
namespace {

// POSIX writes the offset west-positive: "MSK-3" is three hours east of UTC.
TEST(EventLog, TheOffsetIsTheTimeZonesEastOfUtcPositive)
{
    CTempDir dir;
    const char* pszTz = std::getenv("TZ");
    const std::string strTz = pszTz != nullptr ? pszTz : "";
    for (const auto& [pszZone, pszOffset] : {std::pair{"MSK-3", "+0300"}, {"NST3:30", "-0330"}, {"UTC0", "+0000"}}) {
        ::setenv("TZ", pszZone, 1);
        ::tzset();
        CEventLog(dir.File(pszZone)).Write("x");
        const std::string strLine = ReadBytes(dir.File(pszZone));
        const std::regex reLine(std::string(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \)") + pszOffset + " tk-dedi: x\n");
        EXPECT_TRUE(std::regex_match(strLine, reLine)) << pszZone << ": " << strLine;
    }
    pszTz != nullptr ? ::setenv("TZ", strTz.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace tkdtest
