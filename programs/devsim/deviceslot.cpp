#include "devsim/deviceslot.h"

#include "devsim/commandlog.h"

#include <QFile>
#include <QFileInfo>

DeviceSlot::DeviceSlot(const Setup &s, CommandLog &commandLog)
    : setup(s)
    , log(commandLog)
{
    ready = hasOwnAdapter() ? removeStaleLink() : openFixedLine();
}

DeviceSlot::~DeviceSlot()
{
    unplug();
}

bool DeviceSlot::isReady() const
{
    return ready;
}

QString DeviceSlot::errorString() const
{
    return error;
}

bool DeviceSlot::plug()
{
    if (isPlugged())
        return true;
    if (hasOwnAdapter()) {
        line = std::make_unique<SimulatedDevice>();
        if (!line->isOpen()) {
            error = QStringLiteral("cannot make a pseudo-terminal: %1").arg(line->errorString());
            line.reset();
            return false;
        }
    }
    startUnit();
    // The link comes last: whoever follows it finds a unit that answers.
    if (hasOwnAdapter() && !makeLink()) {
        line.reset();
        unit.reset();
        return false;
    }
    return true;
}

void DeviceSlot::unplug()
{
    if (!isPlugged())
        return;
    if (hasOwnAdapter()) {
        // The link goes first, so nobody opens a line about to close.
        QFile::remove(setup.linkPath);
        line.reset();
    } else {
        line->setResponder({});
        line->dropPendingOutput();
    }
    unit.reset();
}

bool DeviceSlot::isPlugged() const
{
    return unit != nullptr;
}

QString DeviceSlot::portName() const
{
    return line ? line->portName() : QString();
}

bool DeviceSlot::hasOwnAdapter() const
{
    return !setup.linkPath.isEmpty();
}

bool DeviceSlot::openFixedLine()
{
    line = setup.ttyPath.isEmpty()
        ? std::make_unique<SimulatedDevice>()
        : std::make_unique<SimulatedDevice>(setup.ttyPath, SimulatedDevice::Responder());
    if (line->isOpen())
        return true;
    error = QStringLiteral("cannot serve %1: %2")
                .arg(setup.ttyPath.isEmpty() ? QStringLiteral("a pseudo-terminal") : setup.ttyPath,
                     line->errorString());
    return false;
}

bool DeviceSlot::makeLink()
{
    QFile target(line->portName());
    if (target.link(setup.linkPath))
        return true;
    error = QStringLiteral("cannot make the link %1: %2").arg(setup.linkPath, target.errorString());
    return false;
}

// A link left behind by a run that was killed names a line long gone.
bool DeviceSlot::removeStaleLink()
{
    const QFileInfo info(setup.linkPath);
    if (!info.isSymLink() && !info.exists())
        return true;
    if (info.isSymLink() && QFile::remove(setup.linkPath))
        return true;
    error = QStringLiteral("%1 is in the way: it is not a link this program can replace").arg(setup.linkPath);
    return false;
}

// The new unit answers from its own protocol; bytes the line received before
// it came are none of its business.
void DeviceSlot::startUnit()
{
    unit = std::make_unique<DeviceProtocol>(setup.settings);
    line->clearReceived();
    DeviceProtocol *protocol = unit.get();
    const QString name = !setup.logsName ? QString()
        : hasOwnAdapter()                ? QFileInfo(setup.linkPath).fileName()
                                         : line->portName();
    line->setResponder([this, protocol, name](const QByteArray &command) {
        const Reply reply = protocol->reply(command);
        log.record(name, command, reply);
        return reply;
    });
}
