// The PC's local calendar time: record headers, moved-aside names and the log's lines are stamped with it.
#pragma once

#include <ctime>

// The local time now, with its offset from UTC in minutes (east of Greenwich positive). POSIX:
// localtime_r (an all-zero time if the system has none). Windows: GetLocalTime, so tm_isdst is -1,
// and the time zone's bias with its summer part.
void OsLocalTimeNowWithOffset(std::tm* ptm, int* pnOffsetMinutes);

// The same without the offset.
inline void OsLocalTimeNow(std::tm* ptm)
{
    int nOffset = 0;
    OsLocalTimeNowWithOffset(ptm, &nOffset);
}
