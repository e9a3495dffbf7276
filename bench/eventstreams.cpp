#include "eventstreams.h"

#include "samples.h"

#include <httplib.h>

#include <cstring>

namespace {
// Longer than the page's keep-alive, so that a quiet stream is not taken
// for a dead one.
const int readTimeoutSeconds = 30;
const char marker[] = "t~";

qint64 nowMs()
{
    return qint64(monotonicSeconds() * 1000);
}
} // namespace

EventStreams::EventStreams(int p, int clients, int s)
    : port(p)
    , stations(s)
{
    for (int i = 0; i < clients; ++i) {
        readers.push_back(std::make_unique<Reader>());
        readers.back()->client = std::make_unique<httplib::Client>("127.0.0.1", port);
        readers.back()->client->set_read_timeout(readTimeoutSeconds);
        readers.back()->lastSeen.assign(std::size_t(stations), -1);
    }
}

EventStreams::~EventStreams()
{
    stop();
}

void EventStreams::start()
{
    for (const auto &reader : readers)
        reader->thread = std::thread([this, r = reader.get()] { read(*r); });
}

void EventStreams::stop()
{
    stopping = true;
    for (const auto &reader : readers) {
        reader->client->stop();
        if (reader->thread.joinable())
            reader->thread.join();
    }
}

QVector<EventStreams::Sighting> EventStreams::sightings() const
{
    QVector<Sighting> all;
    for (const auto &reader : readers)
        all += reader->seen;
    return all;
}

int EventStreams::clientCount() const
{
    return int(readers.size());
}

QString EventStreams::failure() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return failed;
}

void EventStreams::read(Reader &reader)
{
    int status = 0;
    reader.client->Get(
        "/events",
        [&status](const httplib::Response &response) {
            status = response.status;
            return response.status == 200;
        },
        [this, &reader](const char *data, std::size_t size) { return take(reader, data, size); });
    if (!stopping)
        fail(status == 200 ? QStringLiteral("an event stream ended") : QStringLiteral("/events answered %1").arg(status));
}

// Events end with an empty line; each whole one is looked through as it
// comes.
bool EventStreams::take(Reader &reader, const char *data, std::size_t size)
{
    const qint64 now = nowMs();
    reader.pending.append(data, size);
    for (;;) {
        const std::size_t end = reader.pending.find("\n\n", reader.searched);
        if (end == std::string::npos)
            break;
        note(reader, reader.pending.data(), end, now);
        reader.pending.erase(0, end + 2);
        reader.searched = 0;
    }
    reader.searched = reader.pending.empty() ? 0 : reader.pending.size() - 1;
    return !stopping;
}

// Each station's marker newer than the last this client saw of it.
void EventStreams::note(Reader &reader, const char *event, std::size_t size, qint64 now)
{
    const char *const end = event + size;
    for (const char *at = event; at < end;) {
        const char *found = static_cast<const char *>(std::memchr(at, marker[0], std::size_t(end - at)));
        if (!found || found + 1 >= end)
            break;
        at = found + 1;
        if (*at != marker[1])
            continue;
        char *next = nullptr;
        const qint64 markerMs = std::strtoll(at + 1, &next, 10);
        const long station = *next == '.' ? std::strtol(next + 1, &next, 10) : -1;
        if (station < 0 || station >= stations)
            continue;
        qint64 &last = reader.lastSeen[std::size_t(station)];
        if (markerMs > last) {
            last = markerMs;
            reader.seen.append({markerMs, now - markerMs});
        }
        at = next;
    }
}

void EventStreams::fail(const QString &why)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (failed.isEmpty())
        failed = why;
}
