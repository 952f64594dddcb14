// Keeping the PC awake on POSIX: a logind sleep inhibitor over the D-Bus system bus (sd-bus); the time asleep from CLOCK_BOOTTIME.
//
// logind's Inhibit returns a file descriptor; the inhibitor lasts exactly as long as that descriptor
// is open, in this process, so a crash releases it too. Built without libsystemd (TKD_HAVE_SD_BUS
// unset), or run where there is no system bus or no logind (a container, a system without systemd),
// it does nothing: keeping the PC awake is a help to the operator, never a condition for polling.
#include "keep_awake.h"

#include <ctime>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

#ifdef TKD_HAVE_SD_BUS
#include <systemd/sd-bus.h>
#endif

namespace {

std::mutex g_inhibitLock;
int g_nInhibitFd = -1;  // the held inhibitor, guarded by g_inhibitLock

#ifdef TKD_HAVE_SD_BUS
// Asks logind for a "sleep" inhibitor in block mode; its descriptor, or -1.
int TakeInhibitor()
{
    sd_bus* pBus = nullptr;
    if (sd_bus_open_system(&pBus) < 0)
        return -1;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* pReply = nullptr;
    int nFd = -1;
    if (sd_bus_call_method(pBus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           "Inhibit", &error, &pReply, "ssss", "sleep", "TK-Dedi",
                           "Polling the weighing indicators", "block") >= 0) {
        int nReplyFd = -1;
        // The descriptor belongs to the message: a copy of it outlives the message.
        if (sd_bus_message_read(pReply, "h", &nReplyFd) >= 0 && nReplyFd >= 0)
            nFd = ::fcntl(nReplyFd, F_DUPFD_CLOEXEC, 3);
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(pReply);
    sd_bus_flush_close_unref(pBus);
    return nFd;
}
#else
int TakeInhibitor() { return -1; }
#endif

}  // namespace

void OsKeepSystemAwake(bool bOn)
{
    const std::lock_guard<std::mutex> lock(g_inhibitLock);
    if (bOn && g_nInhibitFd < 0) {
        g_nInhibitFd = TakeInhibitor();
    } else if (!bOn && g_nInhibitFd >= 0) {
        ::close(g_nInhibitFd);
        g_nInhibitFd = -1;
    }
}

long long OsSystemSleepMs()
{
    timespec tBoot{};
    timespec tMono{};
    if (::clock_gettime(CLOCK_BOOTTIME, &tBoot) != 0 || ::clock_gettime(CLOCK_MONOTONIC, &tMono) != 0)
        return 0;
    return (tBoot.tv_sec - tMono.tv_sec) * 1000LL + (tBoot.tv_nsec - tMono.tv_nsec) / 1000000;
}
