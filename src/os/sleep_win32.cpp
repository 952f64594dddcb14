// OsSleepMs on Windows: Sleep.
#include "sleep.h"

#include <windows.h>

void OsSleepMs(int nMs)
{
    if (nMs > 0)
        ::Sleep(static_cast<DWORD>(nMs));
}
