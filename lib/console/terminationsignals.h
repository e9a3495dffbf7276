#ifndef TERMINATIONSIGNALS_H
#define TERMINATIONSIGNALS_H

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into the Qt signal received(), delivered by the
// event loop with the signal's number: the handler itself only writes that
// number to a pipe.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    // Until a TerminationSignals is created, SIGINT and SIGTERM end the
    // process at once with 128 + the signal's number, as a shell reports it:
    // for a program that has not yet begun anything it must finish.
    static void exitAtOnce();

    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier *notifier = nullptr;
};

#endif // TERMINATIONSIGNALS_H
