#ifndef LIVEFEED_H
#define LIVEFEED_H

#include "figures/figures.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

class PgConnection;

// The line as its page shows it, kept up to date from a thread of its own
// with its own connection: woken by `morlank_live` (the changes that come
// together read once), and at least once a second, so that a station that
// fell silent is seen to. Readers on any thread get the latest JSON text,
// or wait for the next; a text is new only when it differs.
class LiveFeed : public QThread
{
public:
    explicit LiveFeed(const QString &url);
    ~LiveFeed() override;

    // The latest text and its number (0 before the first read), shared
    // with every other reader rather than copied: the line's text is large
    // and every event stream takes it at each change.
    std::shared_ptr<const std::string> latest(quint64 &number) const;
    // Waits up to `ms` for a text numbered past `seen`; the latest either way.
    std::shared_ptr<const std::string> next(quint64 seen, int ms, quint64 &number) const;
    void end();

protected:
    void run() override;

private:
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

    // The feeding thread's own.
    Figures today;
    QString todayError;
    QElapsedTimer sinceToday;
    bool recordsCame = false;
};

#endif // LIVEFEED_H
