#include "devsim/standardinputlines.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
const int backgroundRetryMs = 1000;
}

void StandardInputLines::keepOpen()
{
    if (::fcntl(STDIN_FILENO, F_GETFD) < 0) {
        [[maybe_unused]] const int fd = ::open("/dev/null", O_RDONLY);
    }
}

StandardInputLines::StandardInputLines(QObject *parent)
    : QObject(parent)
{
    // Run in the background of a terminal, a read would stop the program;
    // ignored, the read fails instead.
    ::signal(SIGTTIN, SIG_IGN);
    notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &StandardInputLines::readAvailable);
}

// One read per wake-up: the notifier said it will not block, and standard
// input is shared with other programs, so it is never made non-blocking.
void StandardInputLines::readAvailable()
{
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n < 0 && errno == EIO && ::isatty(STDIN_FILENO)) {
        // In the background of its terminal: look again later, it may be
        // brought to the foreground.
        notifier->setEnabled(false);
        QTimer::singleShot(backgroundRetryMs, notifier, [this] { notifier->setEnabled(true); });
        return;
    }
    if (n <= 0) {
        notifier->setEnabled(false);
        if (!partialLine.isEmpty())
            emit lineRead(partialLine);
        partialLine.clear();
        return;
    }
    partialLine.append(buffer, int(n));
    int end;
    while ((end = partialLine.indexOf('\n')) >= 0) {
        const QByteArray line = partialLine.left(end);
        partialLine.remove(0, end + 1);
        emit lineRead(line);
    }
}
