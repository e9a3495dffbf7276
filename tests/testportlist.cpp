#include "testportlist.h"

#include "portlist.h"

namespace {
QStringList &testPortNames()
{
    static QStringList names;
    return names;
}
} // namespace

void setTestPortNames(const QStringList &names)
{
    testPortNames() = names;
}

QStringList availablePortNames()
{
    return testPortNames();
}
