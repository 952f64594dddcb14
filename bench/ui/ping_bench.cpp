// tkd_ping_bench: how soon a top-level X11 window answers _NET_WM_PING, as a window manager asks it, per phase of a run.
//
//   tkd_ping_bench [--every MS] [--log FILE] WINDOW PHASE...
//
// Sends the window a WM_PROTOCOLS/_NET_WM_PING client message every MS milliseconds (default 20)
// and times the answer: the toolkit sends the same message back to the root window, where this
// client listens; pings are matched by their timestamp. A window manager
// that gets no answer within a few seconds marks the window as hanging; this is the same question
// asked fifty times a second.
//
// The run starts in the first PHASE; SIGUSR1 moves it to the next one, SIGINT or SIGTERM end it.
// At the end the answers still outstanding get 2 s more; then each phase's count, median, p99 and
// maximum go to standard output, with the pings never answered. A ping belongs to the phase in
// which it was sent. --log writes one line per ping: the wall-clock time it was sent (ms since the
// epoch, to match other logs), its phase and its answer time in ms (-1: none).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/select.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

volatile std::sig_atomic_t g_nNextPhase = 0;
volatile std::sig_atomic_t g_bEnd = 0;

void OnNextPhase(int)
{
    g_nNextPhase = g_nNextPhase + 1;
}

void OnEnd(int)
{
    g_bEnd = 1;
}

using CClock = std::chrono::steady_clock;

struct CPing {
    CClock::time_point tSent;
    long long nWallMs = 0;  // the wall clock when sent, for the log
    int nPhase = 0;
    double dAnswerMs = -1;
};

double Percentile(const std::vector<double>& ad, double dFraction)
{
    // Nearest rank: the smallest value that at least dFraction of the values do not exceed.
    const size_t nRank = static_cast<size_t>(dFraction * static_cast<double>(ad.size()) + 0.999999);
    return ad[std::min(ad.size() - 1, nRank == 0 ? 0 : nRank - 1)];
}

// X errors (the window gone, say) end the run with a message rather than Xlib's exit.
int OnXError(Display* pDisplay, XErrorEvent* pError)
{
    char szText[128];
    XGetErrorText(pDisplay, pError->error_code, szText, sizeof szText);
    std::fprintf(stderr, "tkd_ping_bench: X error: %s\n", szText);
    g_bEnd = 1;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int nEveryMs = 20;
    const char* pszLog = nullptr;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--every") == 0 && i + 1 < argc)
            nEveryMs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc)
            pszLog = argv[++i];
        else
            break;
    }
    if (argc - i < 2) {
        std::fprintf(stderr, "usage: tkd_ping_bench [--every MS] [--log FILE] WINDOW PHASE...\n");
        return 2;
    }
    const Window target = static_cast<Window>(std::strtoul(argv[i], nullptr, 0));
    const std::vector<std::string> astrPhases(argv + i + 1, argv + argc);

    Display* pDisplay = XOpenDisplay(nullptr);
    if (pDisplay == nullptr) {
        std::fprintf(stderr, "tkd_ping_bench: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(OnXError);
    const Window root = DefaultRootWindow(pDisplay);
    const Atom atomProtocols = XInternAtom(pDisplay, "WM_PROTOCOLS", False);
    const Atom atomPing = XInternAtom(pDisplay, "_NET_WM_PING", False);
    // A window manager holds SubstructureRedirectMask on the root and so gets every answer; without
    // one, the answer reaches the clients that select one of the masks it was sent with. Wine sends
    // it with SubstructureNotifyMask | SubstructureRedirectMask, Qt's xcb platform with
    // StructureNotifyMask | SubstructureRedirectMask: both notify masks catch both.
    XSelectInput(pDisplay, root, StructureNotifyMask | SubstructureNotifyMask);
    XSync(pDisplay, False);

    struct sigaction action{};
    action.sa_handler = OnNextPhase;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = OnEnd;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::vector<CPing> aPings;
    std::unordered_map<unsigned long, size_t> mapOutstanding;  // timestamp -> index in aPings
    aPings.reserve(1 << 16);
    const CClock::time_point tStart = CClock::now();
    const auto every = std::chrono::milliseconds(nEveryMs);
    CClock::time_point tNextSend = tStart;
    CClock::time_point tStopAt{};  // set once the end was asked: the last answers' deadline
    int nPhase = 0;
    const int nFd = ConnectionNumber(pDisplay);

    for (;;) {
        if (g_bEnd && tStopAt == CClock::time_point{})
            tStopAt = CClock::now() + std::chrono::seconds(2);
        if (nPhase < g_nNextPhase)
            nPhase = std::min(static_cast<int>(g_nNextPhase), static_cast<int>(astrPhases.size()) - 1);
        const CClock::time_point tNow = CClock::now();
        if (tStopAt != CClock::time_point{} && (tNow >= tStopAt || mapOutstanding.empty()))
            break;
        if (tStopAt == CClock::time_point{} && tNow >= tNextSend) {
            // The timestamp is the ms since the start: unique at one ping per MS >= 1, as a
            // window manager's server time would be, and what the answer must carry back.
            unsigned long nStamp = static_cast<unsigned long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(tNow - tStart).count() + 1);
            while (mapOutstanding.count(nStamp) != 0)
                ++nStamp;
            XEvent ev{};
            ev.xclient.type = ClientMessage;
            ev.xclient.window = target;
            ev.xclient.message_type = atomProtocols;
            ev.xclient.format = 32;
            ev.xclient.data.l[0] = static_cast<long>(atomPing);
            ev.xclient.data.l[1] = static_cast<long>(nStamp);
            ev.xclient.data.l[2] = static_cast<long>(target);
            CPing ping;
            ping.tSent = CClock::now();
            ping.nWallMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
            ping.nPhase = nPhase;
            XSendEvent(pDisplay, target, False, NoEventMask, &ev);
            XFlush(pDisplay);
            mapOutstanding[nStamp] = aPings.size();
            aPings.push_back(ping);
            // A fixed schedule: a late wake-up does not shift the pings that follow.
            tNextSend += every;
            if (tNextSend < tNow)
                tNextSend = tNow + every;
        }
        while (XPending(pDisplay) > 0) {
            XEvent ev;
            XNextEvent(pDisplay, &ev);
            if (ev.type != ClientMessage || ev.xclient.message_type != atomProtocols ||
                static_cast<Atom>(ev.xclient.data.l[0]) != atomPing ||
                static_cast<Window>(ev.xclient.data.l[2]) != target)
                continue;
            const auto it = mapOutstanding.find(static_cast<unsigned long>(ev.xclient.data.l[1]));
            if (it == mapOutstanding.end())
                continue;
            CPing& ping = aPings[it->second];
            ping.dAnswerMs = std::chrono::duration<double, std::milli>(CClock::now() - ping.tSent).count();
            mapOutstanding.erase(it);
        }
        // Sleep until the next ping is due or the server has something; a signal wakes it too.
        const CClock::time_point tWake = tStopAt != CClock::time_point{} ? tStopAt : tNextSend;
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(tWake - CClock::now());
        if (wait.count() > 0) {
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(nFd, &fds);
            timeval tv{static_cast<time_t>(wait.count() / 1000000), static_cast<suseconds_t>(wait.count() % 1000000)};
            if (::select(nFd + 1, &fds, nullptr, nullptr, &tv) < 0 && errno != EINTR) {
                std::perror("tkd_ping_bench: select");
                break;
            }
        }
    }
    XCloseDisplay(pDisplay);

    if (pszLog != nullptr) {
        if (std::FILE* pLog = std::fopen(pszLog, "w")) {
            for (const CPing& ping : aPings)
                std::fprintf(pLog, "%lld %s %.3f\n", ping.nWallMs, astrPhases[static_cast<size_t>(ping.nPhase)].c_str(),
                             ping.dAnswerMs);
            std::fclose(pLog);
        }
    }
    std::printf("%-10s %6s %9s %9s %9s %9s %9s\n", "phase", "pings", "median", "p99", "max", "over 100", "no answer");
    for (size_t nP = 0; nP < astrPhases.size(); ++nP) {
        std::vector<double> ad;
        int nLost = 0;
        for (const CPing& ping : aPings) {
            if (ping.nPhase != static_cast<int>(nP))
                continue;
            if (ping.dAnswerMs < 0)
                ++nLost;
            else
                ad.push_back(ping.dAnswerMs);
        }
        if (ad.empty()) {
            std::printf("%-10s %6d %9s %9s %9s %9s %9d\n", astrPhases[nP].c_str(), 0, "-", "-", "-", "-", nLost);
            continue;
        }
        std::sort(ad.begin(), ad.end());
        const long nOver = std::count_if(ad.begin(), ad.end(), [](double d) { return d > 100.0; });
        std::printf("%-10s %6zu %7.2f ms %6.2f ms %6.2f ms %9ld %9d\n", astrPhases[nP].c_str(), ad.size(),
                    Percentile(ad, 0.5), Percentile(ad, 0.99), ad.back(), nOver, nLost);
    }
    return 0;
}
