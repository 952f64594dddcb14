// The local clock on POSIX: time and localtime_r, whose tm_gmtoff gives the offset.
#include "local_clock.h"

void OsLocalTimeNowWithOffset(std::tm* ptm, int* pnOffsetMinutes)
{
    const std::time_t tNow = std::time(nullptr);
    if (::localtime_r(&tNow, ptm) == nullptr)
        *ptm = std::tm{};
    *pnOffsetMinutes = static_cast<int>(ptm->tm_gmtoff / 60);
}
