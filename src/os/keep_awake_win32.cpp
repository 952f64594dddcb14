// Keeping the PC awake on Windows: SetThreadExecutionState; the time asleep from the unbiased interrupt time.
#include "keep_awake.h"

#include <windows.h>

void OsKeepSystemAwake(bool bOn)
{
    // ES_CONTINUOUS keeps the state until the next call with ES_CONTINUOUS on this thread (or the
    // thread's end); ES_SYSTEM_REQUIRED holds off the idle sleep, not the display's time-out. A
    // user's own "Sleep" and a closed lid still put the PC to sleep: after the resume the port is a
    // hung-up line, which the next search opens again.
    (void)::SetThreadExecutionState(bOn ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

long long OsSystemSleepMs()
{
    ULONGLONG nAwake100ns = 0;  // time since boot without the time asleep
    if (!::QueryUnbiasedInterruptTime(&nAwake100ns))
        return 0;
    return static_cast<long long>(::GetTickCount64()) - static_cast<long long>(nAwake100ns / 10000);
}
