#ifndef SIMULATEDDEVICE_H
#define SIMULATEDDEVICE_H

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One piece of a reply: written `delayMs` after the previous piece (the first
// piece: after the command arrived).
struct ReplyPiece
{
    int delayMs = 0;
    QByteArray bytes;
};
using Reply = QVector<ReplyPiece>;
Q_DECLARE_METATYPE(Reply)

namespace Replies {
Reply now(const QByteArray &bytes);
Reply after(int delayMs, const QByteArray &bytes);
Reply none();
// Every byte of the reply, its pieces joined.
QByteArray bytes(const Reply &reply);
}

// A device on the far end of a terminal line. It runs in its own thread,
// records every byte it receives, and answers each command (the bytes up to
// and including a carriage return) with whatever its responder returns.
class SimulatedDevice
{
public:
    using Responder = std::function<Reply(const QByteArray &command)>;

    // Creates a new pseudo-terminal; portName() is the path to open.
    explicit SimulatedDevice(Responder responder = {});
    // Serves an existing terminal (a serial adapter), set to raw 9600 8N1.
    SimulatedDevice(const QString &ttyPath, Responder responder);
    ~SimulatedDevice();

    SimulatedDevice(const SimulatedDevice &) = delete;
    SimulatedDevice &operator=(const SimulatedDevice &) = delete;

    bool isOpen() const;
    QString errorString() const;
    QString portName() const;

    void setResponder(Responder responder);
    // Leaves unanswered a command that arrives less than `busyMs` after the
    // device's own last byte, as a device still busy with its output does.
    // 0, the default, answers every command.
    void ignoreCommandsWithin(int busyMs);
    QByteArray received() const;
    QList<QByteArray> commands() const;
    // The line settings of the terminal when each command arrived, such as
    // "9600 8N1, no flow control": the program's settings, shared by a pty.
    QStringList lineSettings() const;
    void clearReceived();

    // Writes bytes that no command asked for.
    void send(const Reply &reply);
    // Writes `chunk` every `intervalMs` until stopStream() or unplug().
    void startStream(const QByteArray &chunk, int intervalMs);
    void stopStream();
    // Forgets every answer and stream not yet written, as a unit taken away
    // in the middle of its answer.
    void dropPendingOutput();
    // Closes the device end, as a pulled cable would.
    void unplug();

private:
    using Clock = std::chrono::steady_clock;
    struct Scheduled
    {
        Clock::time_point due;
        QByteArray bytes;
    };

    bool openPseudoTerminal();
    bool openTerminal(const QString &path);
    void start();
    void stop();
    void run();
    void wake();
    void readIncoming();
    bool busyAt(Clock::time_point arrival) const;
    void schedule(const Reply &reply);
    void moveDueOutput(Clock::time_point now);
    void writePending();
    int pollTimeoutMs(Clock::time_point now) const;

    int deviceFd = -1;   // the end this device reads and writes
    int terminalFd = -1; // kept open so the line survives the program's close()
    int wakePipe[2] = {-1, -1};
    QString path;
    QString error;

    mutable std::mutex mutex;
    Responder responder;
    QByteArray receivedBytes;
    QList<QByteArray> receivedCommands;
    QStringList receivedLineSettings;
    QByteArray partialCommand;
    std::deque<Scheduled> scheduled;
    QByteArray streamChunk;
    int streamIntervalMs = 0;
    Clock::time_point nextStream;
    QByteArray outgoing;
    Clock::time_point lastOutput;
    int busyMs = 0;

    std::atomic<bool> stopping{false};
    std::thread worker;
};

#endif // SIMULATEDDEVICE_H
