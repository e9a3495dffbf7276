#ifndef EVENTSTREAMS_H
#define EVENTSTREAMS_H

#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace httplib {
class Client;
}

// Browsers' worth of clients of a line's page, each reading `/events` on a
// thread and a connection of its own, as plain HTTP: for every marker
// "t~MS.STATION" a unit's text carries (see LineTraffic), the moment its
// client first saw it, on the same monotonic clock.
class EventStreams
{
public:
    struct Sighting
    {
        qint64 markerMs = 0;
        qint64 lateMs = 0;
    };

    EventStreams(int port, int clients, int stations);
    ~EventStreams();

    void start();
    void stop();
    // Every client's sightings; read once stopped.
    QVector<Sighting> sightings() const;
    int clientCount() const;
    // A stream refused or ended before stop(); empty when none was.
    QString failure() const;

private:
    struct Reader
    {
        std::unique_ptr<httplib::Client> client;
        std::thread thread;
        std::string pending; // an event not yet whole
        std::size_t searched = 0;
        std::vector<qint64> lastSeen; // by station, its latest marker seen
        QVector<Sighting> seen;
    };

    void read(Reader &reader);
    bool take(Reader &reader, const char *data, std::size_t size);
    void note(Reader &reader, const char *event, std::size_t size, qint64 nowMs);
    void fail(const QString &why);

    const int port;
    const int stations;
    std::vector<std::unique_ptr<Reader>> readers;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    QString failed;
};

#endif // EVENTSTREAMS_H
