// WatchEndSignals: the signal handlers write to a pipe; a QSocketNotifier on the window's thread reads it.
#include "end_signals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "batch_window.h"

namespace {

int g_anPipe[2] = {-1, -1};

void OnEndSignal(int nSignal)
{
    // Only async-signal-safe calls here: one byte into the pipe, errno kept for the code interrupted.
    const int nSavedErrno = errno;
    const char c = static_cast<char>(nSignal);
    [[maybe_unused]] const ssize_t n = ::write(g_anPipe[1], &c, 1);
    errno = nSavedErrno;
}

}  // namespace

bool WatchEndSignals(CBatchWindow& window)
{
    if (g_anPipe[0] < 0 && ::pipe2(g_anPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* pNotifier = new QSocketNotifier(g_anPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(pNotifier, &QSocketNotifier::activated, &window, [&window, pNotifier] {
        char ach[16];
        while (::read(g_anPipe[0], ach, sizeof ach) > 0) {
        }
        pNotifier->setEnabled(false);  // one end is enough
        window.Dlg().OnEndSession();
    });
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool bOk = true;
    for (int nSignal : {SIGTERM, SIGINT, SIGHUP})
        bOk = ::sigaction(nSignal, &action, nullptr) == 0 && bOk;
    return bOk;
}
