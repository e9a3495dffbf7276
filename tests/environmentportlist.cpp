#include "device/portlist.h"

#include <QFile>
#include <QProcessEnvironment>

namespace {
QString environment(const char *name)
{
    return QProcessEnvironment::systemEnvironment().value(QString::fromLatin1(name));
}

// The lines of the file named by the environment variable `name`, read anew
// each time, so that a test can change them while the program runs.
QStringList fileLines(const char *name)
{
    QFile file(environment(name));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

// For the test build of morlank-cli only: the ports "the system lists" are
// the ones the test names in MORLANK_TEST_PORTS, separated by colons, or one
// a line in the file MORLANK_TEST_PORTS_FILE.
QStringList availablePortNames()
{
    return environment("MORLANK_TEST_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts)
           + fileLines("MORLANK_TEST_PORTS_FILE");
}

// What "the system knows" of a port: lines of the file MORLANK_TEST_PORT_INFO,
// each the port's name, then its serial number, USB id and manufacturer,
// separated by tabs.
PortInfo portInfo(const QString &name)
{
    for (const QString &line : fileLines("MORLANK_TEST_PORT_INFO")) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.value(0) == name)
            return {fields.value(1), fields.value(2), fields.value(3), {}};
    }
    return {};
}
