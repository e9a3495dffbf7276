#include "devsim/devicerack.h"

#include "devsim/devsimcommandline.h"

#include <QDir>
#include <QTextStream>

namespace {
const QString appName = QStringLiteral("morlank-devsim: ");
}

DeviceRack::DeviceRack(const DevsimCommandLine &commandLine, CommandLog &log)
    : linkFolder(commandLine.linkFolder())
    , startsUnplugged(commandLine.startsUnplugged())
{
    DeviceSlot::Setup setup;
    setup.settings = commandLine.settings();
    setup.logsName = commandLine.servesFleet() || !linkFolder.isEmpty();
    setup.ttyPath = commandLine.ttyPath();
    for (int number = 1; number <= commandLine.deviceCount(); ++number) {
        setup.linkPath = linkPath(number);
        deviceSlots.push_back(std::make_unique<DeviceSlot>(setup, log));
    }
}

bool DeviceRack::open()
{
    for (const auto &place : deviceSlots) {
        if (!place->isReady() || (!startsUnplugged && !place->plug())) {
            error = place->errorString();
            return false;
        }
    }
    return true;
}

QString DeviceRack::errorString() const
{
    return error;
}

QStringList DeviceRack::paths() const
{
    QStringList paths;
    for (int number = 1; number <= int(deviceSlots.size()); ++number) {
        const QString link = linkPath(number);
        paths << (link.isEmpty() ? deviceSlots[number - 1]->portName() : link);
    }
    return paths;
}

QString DeviceRack::description() const
{
    const QString what = deviceSlots.size() == 1 ? QStringLiteral("a simulated device")
                                                 : QStringLiteral("%1 simulated devices").arg(deviceSlots.size());
    const QString state = startsUnplugged ? QStringLiteral(", unplugged,") : QString();
    const QString mode = linkFolder.isEmpty()
        ? QStringLiteral("on %1; the lines stay open and an unplugged device answers nothing")
        : QStringLiteral("as links %1; every plug makes a new pseudo-terminal, every unplug closes it");
    return QStringLiteral("Serving %1%2 %3. Type plug N, unplug N, plug all or unplug all on standard input. "
                          "Press Ctrl-C to stop.")
        .arg(what, state, mode.arg(paths().join(QStringLiteral(", "))));
}

void DeviceRack::carryOut(const QByteArray &command, QTextStream &out, QTextStream &err)
{
    const QList<QByteArray> words = command.simplified().split(' ');
    if (words == QList<QByteArray>{QByteArray()})
        return; // Enter alone
    const bool plugs = words.first() == "plug";
    std::vector<int> numbers;
    if (words.size() != 2 || (!plugs && words.first() != "unplug")) {
        err << appName << "'" << QString::fromLocal8Bit(command.trimmed())
            << "' is not a command: plug N, unplug N, plug all or unplug all." << Qt::endl;
        return;
    }
    if (!readTargets(words.last(), numbers, err))
        return;
    for (int number : numbers) {
        DeviceSlot &place = *deviceSlots[number - 1];
        if (!plugs) {
            place.unplug();
            out << "unplugged " << number << Qt::endl;
        } else if (place.plug()) {
            out << "plugged " << number << ' ' << place.portName() << Qt::endl;
        } else {
            err << appName << "cannot plug device " << number << " in: " << place.errorString() << Qt::endl;
        }
    }
}

QString DeviceRack::linkPath(int number) const
{
    if (linkFolder.isEmpty())
        return {};
    return QDir(linkFolder).absoluteFilePath(QStringLiteral("slot%1").arg(number));
}

bool DeviceRack::readTargets(const QByteArray &word, std::vector<int> &numbers, QTextStream &err) const
{
    const int count = int(deviceSlots.size());
    if (word == "all") {
        for (int number = 1; number <= count; ++number)
            numbers.push_back(number);
        return true;
    }
    bool ok = false;
    const int number = word.toInt(&ok);
    if (ok && number >= 1 && number <= count) {
        numbers.push_back(number);
        return true;
    }
    err << appName << "there is no device '" << QString::fromLocal8Bit(word) << "': give 1 to " << count
        << ", or all." << Qt::endl;
    return false;
}
