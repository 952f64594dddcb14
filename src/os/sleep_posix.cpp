// OsSleepMs on POSIX: nanosleep, resumed after a signal for the time that was left.
#include "sleep.h"

#include <cerrno>
#include <ctime>

void OsSleepMs(int nMs)
{
    if (nMs <= 0)
        return;
    timespec tsLeft{nMs / 1000, static_cast<long>(nMs % 1000) * 1000000};
    while (::nanosleep(&tsLeft, &tsLeft) != 0 && errno == EINTR) {
    }
}
