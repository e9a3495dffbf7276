#include "linepage/lineserver.h"

#include "linepage/connectionqueue.h"
#include "linepage/linereport.h"
#include "linepage/livefeed.h"

#include <QDateTime>
#include <QFile>
#include <QUrlQuery>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>

namespace {
const char tokenCookie[] = "morlank_token";
// An event stream that had nothing to say for this long says so, which
// also finds a client that went away.
const auto keepAliveInterval = std::chrono::seconds(15);
// How long a stream waits for a change before it looks whether to end.
const int streamLookMs = 1000;

// Nothing from elsewhere, nothing inline: the page's script and style are
// files of this server.
const httplib::Headers everyResponse{
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self'; "
     "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

std::string resource(const char *name)
{
    QFile file(QStringLiteral(":/linepage/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Compared in a time that does not tell how much of it was right.
bool sameSecret(const std::string &given, const std::string &secret)
{
    unsigned char difference = given.size() == secret.size() ? 0 : 1;
    for (std::size_t i = 0; i < secret.size(); ++i)
        difference |= static_cast<unsigned char>(given.size() == secret.size() ? given[i] ^ secret[i] : 1);
    return difference == 0;
}

std::string cookieValue(const std::string &header, const std::string &name)
{
    const std::string wanted = name + '=';
    std::size_t start = 0;
    while (start < header.size()) {
        const std::size_t end = std::min(header.find(';', start), header.size());
        std::size_t first = header.find_first_not_of(' ', start);
        if (first < end && header.compare(first, wanted.size(), wanted) == 0)
            return header.substr(first + wanted.size(), end - first - wanted.size());
        start = end + 1;
    }
    return {};
}

// The report page has its style and charts inline, and no script.
const char reportPolicy[] = "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; base-uri 'none'; "
                            "form-action 'none'; frame-ancestors 'none'";

// The address without its token, to send the browser to once the cookie
// holds it.
std::string withoutToken(const httplib::Request &request)
{
    QUrlQuery rest;
    for (const auto &param : request.params) {
        if (param.first != "token")
            rest.addQueryItem(QString::fromStdString(param.first), QString::fromStdString(param.second));
    }
    const QString query = rest.toString(QUrl::FullyEncoded);
    return request.path + (query.isEmpty() ? std::string() : '?' + query.toStdString());
}

QMap<QString, QString> queryOf(const httplib::Request &request)
{
    QMap<QString, QString> query;
    for (const auto &param : request.params)
        query.insert(QString::fromStdString(param.first), QString::fromStdString(param.second));
    return query;
}

void serveFile(httplib::Server &server, const char *path, const char *name, const char *type)
{
    const std::string body = resource(name);
    server.Get(path, [body, type](const httplib::Request &, httplib::Response &response) {
        response.set_content(body, type);
    });
}
} // namespace

LineServer::LineServer(const QString &u, const Settings &s, const LiveFeed &f)
    : url(u)
    , settings(s)
    , feed(f)
    , token(s.token.toStdString())
    , server(std::make_unique<httplib::Server>())
{
    Q_INIT_RESOURCE(linepage);
    const int bound = settings.connections;
    server->new_task_queue = [bound] { return new ConnectionQueue(bound); };
    server->set_default_headers(everyResponse);
    server->set_read_timeout(settings.timeoutSeconds);
    server->set_write_timeout(settings.timeoutSeconds);
    server->set_keep_alive_timeout(settings.timeoutSeconds);
    server->set_payload_max_length(4096);
    server->set_socket_options([this](socket_t socket) {
        httplib::default_socket_options(socket);
        // An event goes in three writes; its last bytes must not wait for
        // the client's delayed acknowledgement. Connections inherit it.
        const int noDelay = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        listening = socket;
    });
    route();
}

LineServer::~LineServer()
{
    stop();
}

bool LineServer::isLoopback(const QString &address)
{
    in_addr ipv4{};
    in6_addr ipv6{};
    const QByteArray text = address.toLatin1();
    if (inet_pton(AF_INET, text.constData(), &ipv4) == 1)
        return (ntohl(ipv4.s_addr) >> 24) == 127;
    return address == QLatin1String("localhost")
           || (inet_pton(AF_INET6, text.constData(), &ipv6) == 1 && IN6_IS_ADDR_LOOPBACK(&ipv6));
}

bool LineServer::bind(QString &error)
{
    if (token.empty() && !isLoopback(settings.address)) {
        error = QStringLiteral("%1 is not this computer's loopback: give a token to serve it").arg(settings.address);
        return false;
    }
    if (settings.port == 0) {
        boundPort = server->bind_to_any_port(settings.address.toStdString());
    } else if (server->bind_to_port(settings.address.toStdString(), settings.port)) {
        boundPort = settings.port;
    }
    // The library listens with a backlog of 5: a burst of browsers would
    // wait seconds for their SYNs to be tried again.
    if (boundPort > 0)
        ::listen(listening, SOMAXCONN);
    if (boundPort <= 0)
        error = QStringLiteral("cannot listen on %1 port %2: the address is not this computer's, or the port is "
                               "taken")
                    .arg(settings.address)
                    .arg(settings.port);
    return boundPort > 0;
}

int LineServer::port() const
{
    return boundPort;
}

void LineServer::serve()
{
    server->listen_after_bind();
}

void LineServer::stop()
{
    stopping = true;
    server->stop();
}

void LineServer::route()
{
    server->set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        return admits(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                         : httplib::Server::HandlerResponse::Handled;
    });
    serveFile(*server, "/", "index.html", "text/html; charset=utf-8");
    serveFile(*server, "/line.js", "line.js", "text/javascript; charset=utf-8");
    serveFile(*server, "/line.css", "line.css", "text/css; charset=utf-8");
    server->Get("/api/line", [this](const httplib::Request &, httplib::Response &response) {
        quint64 number = 0;
        const auto json = feed.next(0, streamLookMs, number);
        if (json->empty())
            response.status = 503; // the database not read yet
        else
            response.set_content(*json, "application/json");
    });
    server->Get("/report", [this](const httplib::Request &request, httplib::Response &response) {
        const LineReport::Answer answer = LineReport::page(url, queryOf(request), QDateTime::currentDateTime());
        response.status = answer.status;
        response.headers.erase("Content-Security-Policy");
        response.set_header("Content-Security-Policy", reportPolicy);
        response.set_content(answer.body.toStdString(), answer.type);
    });
    // Browsers ask for it unbidden: nothing, rather than a 404 they log.
    server->Get("/favicon.ico", [](const httplib::Request &, httplib::Response &response) { response.status = 204; });
    server->Get("/events", [this](const httplib::Request &, httplib::Response &response) {
        streamEvents(response);
    });
}

// Past the bound: 503. With a token: 401 without it; given in the query, it
// becomes a cookie and the address is given again without it.
bool LineServer::admits(const httplib::Request &request, httplib::Response &response) const
{
    if (ConnectionQueue::refused()) {
        response.status = 503;
        response.set_header("Retry-After", "5");
        response.set_content("Too many connections: try again shortly.\n", "text/plain");
        return false;
    }
    if (token.empty())
        return true;
    const std::string bearer = request.get_header_value("Authorization");
    const bool fromQuery = request.has_param("token");
    const std::string given = fromQuery                       ? request.get_param_value("token")
                              : bearer.rfind("Bearer ", 0) == 0 ? bearer.substr(7)
                                                                : cookieValue(request.get_header_value("Cookie"), tokenCookie);
    if (!sameSecret(given, token)) {
        response.status = 401;
        response.set_header("WWW-Authenticate", "Bearer");
        response.set_content("This page needs the line's token.\n", "text/plain");
        return false;
    }
    if (!fromQuery)
        return true;
    response.set_header("Set-Cookie", std::string(tokenCookie) + '=' + token + "; HttpOnly; SameSite=Strict; Path=/");
    response.set_redirect(withoutToken(request), 303);
    return false;
}

// The latest state at once, then each new one, as it comes. Not chunked:
// the stream ends with its connection, and the line's text, large and
// shared by every stream, goes to the socket without a copy.
void LineServer::streamEvents(httplib::Response &response) const
{
    auto seen = std::make_shared<quint64>(0);
    auto quietSince = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
    response.set_content_provider("text/event-stream", [this, seen, quietSince](size_t, httplib::DataSink &sink) {
        if (stopping)
            return false;
        quint64 number = 0;
        const auto json = feed.next(*seen, streamLookMs, number);
        bool written = true;
        if (number != *seen && !json->empty()) {
            *seen = number;
            written = sink.write("data: ", 6) && sink.write(json->data(), json->size()) && sink.write("\n\n", 2);
        } else if (std::chrono::steady_clock::now() - *quietSince >= keepAliveInterval) {
            written = sink.write(": still here\n\n", 14);
        } else {
            return true;
        }
        *quietSince = std::chrono::steady_clock::now();
        return written;
    });
}
