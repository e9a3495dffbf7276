#include "station/candidateports.h"

#include "device/portlist.h"
#include "device/portlocation.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <glob.h>
#include <sys/stat.h>

namespace {
QStringList matchingPaths(const QString &pattern)
{
    glob_t matches = {};
    QStringList paths;
    if (::glob(QFile::encodeName(pattern).constData(), 0, nullptr, &matches) == 0) {
        for (size_t i = 0; i < matches.gl_pathc; ++i)
            paths << QFile::decodeName(matches.gl_pathv[i]);
    }
    ::globfree(&matches);
    return paths;
}

// A device file made anew (another adapter in the socket, given the same
// ttyUSBn between two looks) is another file, though its path is the same.
QString nodeOf(const QString &device)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(device).constData(), &status) != 0)
        return {};
    return QStringLiteral("%1:%2.%3")
        .arg(quint64(status.st_ino))
        .arg(qint64(status.st_ctim.tv_sec))
        .arg(qint64(status.st_ctim.tv_nsec));
}
} // namespace

bool isPortPattern(const QString &name)
{
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')) || name.contains(QLatin1Char('['));
}

CandidatePorts::CandidatePorts(const QStringList &n, const QStringList &v)
    : names(n)
    , vidPids(v)
{
}

QStringList CandidatePorts::current()
{
    const QStringList found = present();
    for (auto known = filtered.begin(); known != filtered.end();)
        known = found.contains(known.key()) ? std::next(known) : filtered.erase(known);
    QStringList ports;
    QSet<QString> devices;
    for (const QString &port : found) {
        // A link such as /dev/serial/by-id/... and the port it leads to are
        // one device: opened twice, it would get two workers.
        const QString device = deviceOf(port);
        if (device.isEmpty() || devices.contains(device) || !passesFilters(port, device))
            continue;
        devices.insert(device);
        ports << port;
    }
    return ports;
}

QStringList CandidatePorts::present() const
{
    if (names.isEmpty())
        return availablePortNames();
    QStringList ports;
    for (const QString &name : names) {
        if (isPortPattern(name))
            ports << matchingPaths(name);
        else if (QFileInfo::exists(portLocation(name)))
            ports << name;
    }
    return ports;
}

// Asking the system about an adapter costs milliseconds: asked once while
// the port stays and leads to the same device file (another adapter plugged
// into its socket between two looks is asked anew, even under the same
// device name).
bool CandidatePorts::passesFilters(const QString &port, const QString &device)
{
    if (vidPids.isEmpty())
        return true;
    const QString node = nodeOf(device);
    auto known = filtered.find(port);
    if (known == filtered.end() || known->device != device || known->node != node)
        known = filtered.insert(port, {device, node, vidPids.contains(portInfo(port).vidPid, Qt::CaseInsensitive)});
    return known->passes;
}

QString deviceOf(const QString &port)
{
    return QFileInfo(portLocation(port)).canonicalFilePath();
}
