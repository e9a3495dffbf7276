#ifndef TERMINATIONSIGNALS_H
#define TERMINATIONSIGNALS_H

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into the Qt signal received(), delivered by the
// event loop: the handler itself only writes a byte to a pipe.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received();

private:
    void drain();

    QSocketNotifier *notifier = nullptr;
};

#endif // TERMINATIONSIGNALS_H
