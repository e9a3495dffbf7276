#include "simulator/simulateddevice.h"

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace Replies {
Reply now(const QByteArray &bytes)
{
    return after(0, bytes);
}

Reply after(int delayMs, const QByteArray &bytes)
{
    return Reply{ReplyPiece{delayMs, bytes}};
}

Reply none()
{
    return {};
}

QByteArray bytes(const Reply &reply)
{
    QByteArray joined;
    for (const ReplyPiece &piece : reply)
        joined += piece.bytes;
    return joined;
}
} // namespace Replies

namespace {
void makeRaw(int fd, speed_t speed)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return;
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &tio);
}

void setNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

QString baudRate(speed_t speed)
{
    const std::pair<speed_t, int> rates[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},
                                             {B9600, 9600},   {B19200, 19200}, {B38400, 38400},
                                             {B57600, 57600}, {B115200, 115200}};
    for (const auto &[code, rate] : rates) {
        if (code == speed)
            return QString::number(rate);
    }
    return QStringLiteral("other");
}

QString dataBits(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5: return QStringLiteral("5");
    case CS6: return QStringLiteral("6");
    case CS7: return QStringLiteral("7");
    default: return QStringLiteral("8");
    }
}

QString parity(tcflag_t cflag)
{
    if (!(cflag & PARENB))
        return QStringLiteral("N");
    return (cflag & PARODD) ? QStringLiteral("O") : QStringLiteral("E");
}

QString flowControl(const termios &tio)
{
    if (tio.c_cflag & CRTSCTS)
        return QStringLiteral("RTS/CTS");
    if (tio.c_iflag & (IXON | IXOFF))
        return QStringLiteral("XON/XOFF");
    return QStringLiteral("no flow control");
}

// As a technician writes them: "9600 8N1, no flow control". Input and
// output speed are both named when they differ.
QString describeLine(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    QString speed = baudRate(cfgetospeed(&tio));
    if (cfgetispeed(&tio) != cfgetospeed(&tio))
        speed = baudRate(cfgetispeed(&tio)) + '/' + speed;
    return speed + ' ' + dataBits(tio.c_cflag) + parity(tio.c_cflag)
           + ((tio.c_cflag & CSTOPB) ? '2' : '1') + QStringLiteral(", ") + flowControl(tio);
}
} // namespace

SimulatedDevice::SimulatedDevice(Responder r)
    : responder(std::move(r))
{
    if (openPseudoTerminal())
        start();
}

SimulatedDevice::SimulatedDevice(const QString &ttyPath, Responder r)
    : responder(std::move(r))
{
    if (openTerminal(ttyPath))
        start();
}

SimulatedDevice::~SimulatedDevice()
{
    stop();
}

bool SimulatedDevice::openPseudoTerminal()
{
    char name[256] = {};
    if (openpty(&deviceFd, &terminalFd, name, nullptr, nullptr) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // The program sets its own line settings when it opens the port; raw mode
    // here keeps the line from echoing before that.
    makeRaw(terminalFd, B9600);
    path = QString::fromLocal8Bit(name);
    return true;
}

bool SimulatedDevice::openTerminal(const QString &ttyPath)
{
    deviceFd = ::open(ttyPath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (deviceFd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    makeRaw(deviceFd, B9600);
    path = ttyPath;
    return true;
}

void SimulatedDevice::start()
{
    setNonBlocking(deviceFd);
    if (pipe(wakePipe) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    setNonBlocking(wakePipe[0]);
    worker = std::thread([this] { run(); });
}

void SimulatedDevice::stop()
{
    stopping = true;
    wake();
    if (worker.joinable())
        worker.join();
    for (int *fd : {&deviceFd, &terminalFd, &wakePipe[0], &wakePipe[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool SimulatedDevice::isOpen() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return deviceFd >= 0 && worker.joinable();
}

QString SimulatedDevice::errorString() const
{
    return error;
}

QString SimulatedDevice::portName() const
{
    return path;
}

void SimulatedDevice::setResponder(Responder r)
{
    std::lock_guard<std::mutex> lock(mutex);
    responder = std::move(r);
}

void SimulatedDevice::ignoreCommandsWithin(int ms)
{
    std::lock_guard<std::mutex> lock(mutex);
    busyMs = std::max(ms, 0);
}

QByteArray SimulatedDevice::received() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return receivedBytes;
}

QList<QByteArray> SimulatedDevice::commands() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return receivedCommands;
}

QStringList SimulatedDevice::lineSettings() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return receivedLineSettings;
}

void SimulatedDevice::clearReceived()
{
    std::lock_guard<std::mutex> lock(mutex);
    receivedBytes.clear();
    receivedCommands.clear();
    receivedLineSettings.clear();
    partialCommand.clear();
}

void SimulatedDevice::send(const Reply &reply)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        schedule(reply);
    }
    wake();
}

void SimulatedDevice::startStream(const QByteArray &chunk, int intervalMs)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        streamChunk = chunk;
        streamIntervalMs = std::max(intervalMs, 0);
        nextStream = Clock::now();
    }
    wake();
}

void SimulatedDevice::stopStream()
{
    std::lock_guard<std::mutex> lock(mutex);
    streamChunk.clear();
}

void SimulatedDevice::dropPendingOutput()
{
    std::lock_guard<std::mutex> lock(mutex);
    scheduled.clear();
    outgoing.clear();
    streamChunk.clear();
}

void SimulatedDevice::unplug()
{
    stop();
}

void SimulatedDevice::wake()
{
    if (wakePipe[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] auto n = ::write(wakePipe[1], &byte, 1);
    }
}

// Called with the mutex held.
void SimulatedDevice::schedule(const Reply &reply)
{
    auto due = Clock::now();
    for (const ReplyPiece &piece : reply) {
        due += std::chrono::milliseconds(piece.delayMs);
        auto pos = std::upper_bound(scheduled.begin(), scheduled.end(), due,
                                    [](Clock::time_point t, const Scheduled &s) { return t < s.due; });
        scheduled.insert(pos, Scheduled{due, piece.bytes});
    }
}

void SimulatedDevice::readIncoming()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(deviceFd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        const auto arrival = Clock::now();
        std::lock_guard<std::mutex> lock(mutex);
        receivedBytes.append(buffer, int(n));
        partialCommand.append(buffer, int(n));
        int cr;
        while ((cr = partialCommand.indexOf('\r')) >= 0) {
            const QByteArray command = partialCommand.left(cr + 1);
            partialCommand.remove(0, cr + 1);
            receivedCommands << command;
            receivedLineSettings << describeLine(deviceFd);
            if (responder && !busyAt(arrival))
                schedule(responder(command));
        }
    }
}

// Called with the mutex held.
bool SimulatedDevice::busyAt(Clock::time_point arrival) const
{
    return arrival - lastOutput < std::chrono::milliseconds(busyMs);
}

// Called with the mutex held.
void SimulatedDevice::moveDueOutput(Clock::time_point now)
{
    while (!scheduled.empty() && scheduled.front().due <= now) {
        outgoing += scheduled.front().bytes;
        scheduled.pop_front();
    }
    if (!streamChunk.isEmpty() && nextStream <= now) {
        outgoing += streamChunk;
        nextStream = now + std::chrono::milliseconds(streamIntervalMs);
    }
}

void SimulatedDevice::writePending()
{
    std::lock_guard<std::mutex> lock(mutex);
    while (!outgoing.isEmpty()) {
        // Taken before the write: the program may read the bytes before
        // write() returns, and a busy device must never seem busier than it is.
        const auto start = Clock::now();
        const ssize_t n = ::write(deviceFd, outgoing.constData(), size_t(outgoing.size()));
        if (n <= 0)
            return; // the line is full; poll() says when it drains
        lastOutput = start;
        outgoing.remove(0, int(n));
    }
}

// Called with the mutex held.
int SimulatedDevice::pollTimeoutMs(Clock::time_point now) const
{
    Clock::time_point next = Clock::time_point::max();
    if (!scheduled.empty())
        next = scheduled.front().due;
    if (!streamChunk.isEmpty())
        next = std::min(next, nextStream);
    if (next == Clock::time_point::max())
        return -1;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return int(std::clamp<long long>(ms, 0, 1000));
}

void SimulatedDevice::run()
{
    while (!stopping) {
        int timeout;
        short deviceEvents = POLLIN;
        {
            std::lock_guard<std::mutex> lock(mutex);
            const auto now = Clock::now();
            moveDueOutput(now);
            timeout = pollTimeoutMs(now);
            if (!outgoing.isEmpty())
                deviceEvents |= POLLOUT;
        }
        writePending();
        pollfd fds[2] = {{deviceFd, deviceEvents, 0}, {wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(wakePipe[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLIN)
            readIncoming();
        if (fds[0].revents & (POLLERR | POLLNVAL))
            return;
        if ((fds[0].revents & POLLHUP) && !(fds[0].revents & POLLIN)) {
            // Nobody has the line open: do not spin, look again shortly.
            ::poll(nullptr, 0, 10);
        }
    }
}
