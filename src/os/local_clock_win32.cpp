// The local clock on Windows: GetLocalTime, and GetTimeZoneInformation for the offset.
#include "local_clock.h"

#include <windows.h>

void OsLocalTimeNowWithOffset(std::tm* ptm, int* pnOffsetMinutes)
{
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    *ptm = std::tm{};
    ptm->tm_year = st.wYear - 1900;
    ptm->tm_mon = st.wMonth - 1;
    ptm->tm_mday = st.wDay;
    ptm->tm_hour = st.wHour;
    ptm->tm_min = st.wMinute;
    ptm->tm_sec = st.wSecond;
    ptm->tm_wday = st.wDayOfWeek;
    ptm->tm_isdst = -1;
    TIME_ZONE_INFORMATION tzi{};
    const DWORD dwZone = ::GetTimeZoneInformation(&tzi);
    // Bias is UTC minus local time, in minutes; summer time adds its own.
    const LONG nBias = tzi.Bias + (dwZone == TIME_ZONE_ID_DAYLIGHT ? tzi.DaylightBias
                                   : dwZone == TIME_ZONE_ID_STANDARD ? tzi.StandardBias : 0);
    *pnOffsetMinutes = static_cast<int>(-nBias);
}
