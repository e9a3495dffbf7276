#ifndef LINESERVER_H
#define LINESERVER_H

#include <QString>

#include <atomic>
#include <memory>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class LiveFeed;

// The line's page over HTTP: `/` (the page, with its script and style, all
// from this program), `/api/line` (the feed's JSON), `/events` (the same
// as server-sent events, one at each change) and `/report` (a period's
// report page, read from the database for each request). It only reads. With a token,
// every request must bring it (Authorization: Bearer, the cookie that
// `?token=` sets, or `?token=` itself); without one it listens on loopback
// only. Connections are bounded (503 past the bound) and time out.
class LineServer
{
public:
    struct Settings
    {
        QString address = QStringLiteral("127.0.0.1");
        int port = 8080;
        QString token; // empty: no token asked for
        int connections = 64;
        int timeoutSeconds = 5;
    };

    // `url`: the line's database, for the reports of a period.
    LineServer(const QString &url, const Settings &settings, const LiveFeed &feed);
    ~LineServer();

    // Whether `address` is this computer's loopback, the only one served
    // without a token.
    static bool isLoopback(const QString &address);

    // Takes the address and port; false, with why, when it cannot.
    bool bind(QString &error);
    // The port bound (the one chosen when 0 was asked for).
    int port() const;
    // Serves from the calling thread until stop().
    void serve();
    // From any thread: ends serve() and every event stream.
    void stop();

private:
    void route();
    bool admits(const httplib::Request &request, httplib::Response &response) const;
    void streamEvents(httplib::Response &response) const;

    const QString url;
    const Settings settings;
    const LiveFeed &feed;
    const std::string token;
    std::unique_ptr<httplib::Server> server;
    std::atomic<bool> stopping{false};
    int listening = -1; // the listening socket, once made
    int boundPort = 0;
};

#endif // LINESERVER_H
