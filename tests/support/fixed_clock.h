// The clock the tests give record headers: 5 December 2026, 14:03:27, local time.
#pragma once

#include <ctime>

namespace tkdtest {

inline void FixedClock(std::tm* ptm)
{
    ptm->tm_year = 2026 - 1900, ptm->tm_mon = 11, ptm->tm_mday = 5;
    ptm->tm_hour = 14, ptm->tm_min = 3, ptm->tm_sec = 27;
}

}  // namespace tkdtest
