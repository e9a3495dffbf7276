#include "console/terminationsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

extern "C" void writeToSignalPipe(int signalNumber)
{
    const char byte = char(signalNumber);
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

extern "C" void exitWithSignalStatus(int signalNumber)
{
    ::_exit(128 + signalNumber);
}

void handle(int signalNumber, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}
} // namespace

void TerminationSignals::exitAtOnce()
{
    handle(SIGINT, exitWithSignalStatus);
    handle(SIGTERM, exitWithSignalStatus);
}

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    if (::pipe(signalPipe) != 0)
        return;
    for (int fd : signalPipe)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    handle(SIGINT, writeToSignalPipe);
    handle(SIGTERM, writeToSignalPipe);
}

TerminationSignals::~TerminationSignals()
{
    handle(SIGINT, SIG_DFL);
    handle(SIGTERM, SIG_DFL);
    for (int &fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void TerminationSignals::drain()
{
    char byte;
    while (::read(signalPipe[0], &byte, 1) > 0)
        emit received(byte);
}
