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
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier *notifier = nullptr;
};

#endif // TERMINATIONSIGNALS_H
