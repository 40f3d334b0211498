#include "platform/qt/TerminationSignals.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>
#include <stdexcept>

#include "engine/TempFiles.h"

namespace corv {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// Written by the handler, read by the UI thread: a socket pair is all a handler may safely touch.
int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_received = 0;
struct sigaction g_previous[kSignalCount];

extern "C" void OnTerminationSignal(int number) {
    if (g_received) {
        // The quit asked for before has not finished: end now, as the signal would have without us.
        engine::RemovePrivateTempFolder();
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    g_received = 1;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (g_pipe[0] >= 0) throw std::logic_error("termination signals are handled already");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        throw std::runtime_error("cannot make the termination signal pipe");
    g_received = 0;
    notifier_ = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(g_pipe[1], &byte, 1) == 1) emit requested(static_cast<unsigned char>(byte));
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

TerminationSignals::~TerminationSignals() {
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace corv
