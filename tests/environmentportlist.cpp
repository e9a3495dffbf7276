#include "portlist.h"

#include <QProcessEnvironment>

// For the test build of morlank-cli only: the ports "the system lists" are
// the ones the test names in MORLANK_TEST_PORTS, separated by colons.
QStringList availablePortNames()
{
    return QProcessEnvironment::systemEnvironment()
        .value(QStringLiteral("MORLANK_TEST_PORTS"))
        .split(QLatin1Char(':'), Qt::SkipEmptyParts);
}
