#ifndef LIVEFEED_H
#define LIVEFEED_H

#include "figures/figures.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class PgConnection;

// The line as its page shows it, kept up to date from a thread of its own
// with its own connection: woken by `morlank_live` (the changes that come
// together read once), and at least once a second, so that a station that
// fell silent is seen to. Readers on any thread get the latest JSON text,
// or wait for the next; a text is new only when it differs.
class LiveFeed
{
public:
    explicit LiveFeed(const QString &url);
    ~LiveFeed();
    LiveFeed(const LiveFeed &) = delete;
    LiveFeed &operator=(const LiveFeed &) = delete;

    void start();
    // Waits up to `ms` for a text numbered past `seen` (0 before the first
    // read); the latest either way. The text is shared with every other
    // reader rather than copied: it is large and every event stream takes it
    // at each change.
    std::shared_ptr<const std::string> next(quint64 seen, int ms, quint64 &number) const;
    // Ends the thread and waits for it.
    void end();

private:
    void run();
    bool listen(PgConnection &connection);
    void waitForChanges(PgConnection &connection);
    bool todayDue() const;
    void refresh(PgConnection &connection);
    void publish(const QByteArray &json);
    bool ended(int ms);

    const QString url;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::shared_ptr<const std::string> json = std::make_shared<const std::string>();
    quint64 number = 0;
    bool ending = false;
    std::thread thread;

    // The feeding thread's own.
    Figures today;
    QString todayError;
    QElapsedTimer sinceToday;
    bool recordsCame = false;
};

#endif // LIVEFEED_H
