#include "Sonavant/shell/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace shell {

namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t quitting = 0;

void onSignal(int number) {
    if (quitting) {
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    quitting = 1;
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void quitOnTerminationSignals(QObject* owner, std::function<void()> quit) {
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [notifier, quit = std::move(quit)] {
        char byte = 0;
        [[maybe_unused]] auto read = ::read(signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

} // namespace shell
