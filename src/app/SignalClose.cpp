// The self-pipe between the signal handler and the Qt event loop.
#include "app/SignalClose.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kvapp {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The write end, read by the handler: a plain int is what a handler may read.
volatile sig_atomic_t g_writeFd = -1;
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

extern "C" void OnCloseSignal(int sig)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    if (g_writeFd >= 0) {
        // A full pipe (a storm of signals) loses only repeats.
        [[maybe_unused]] const ssize_t n = ::write(g_writeFd, &byte, 1);
    }
    errno = saved;
}

} // namespace

CCloseOnSignals::CCloseOnSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (g_pipe[0] >= 0) // another object has the signals
        return;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    g_writeFd = g_pipe[1];
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { Drain(); });
    struct sigaction sa {};
    sa.sa_handler = OnCloseSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &sa, &g_previous[i]);
    m_installed = true;
}

CCloseOnSignals::~CCloseOnSignals()
{
    if (!m_installed)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    g_writeFd = -1;
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void CCloseOnSignals::Drain()
{
    unsigned char buf[16];
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            if (m_onSignal)
                m_onSignal(int(buf[i]));
    }
}

} // namespace kvapp
