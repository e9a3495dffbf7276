#include "adapterend.h"

#include <QFile>
#include <QTest>

AdapterEnd::AdapterEnd(const QString &socket, const QStringList &arguments)
{
    simulator.start(QStringLiteral(MORLANK_DEVSIM),
                    QStringList{"--count", "1", "--unplugged", "--log", folder.filePath("log")} + arguments);
    if (!simulator.waitForReadyRead(10000))
        return;
    const QString line = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    // The simulator has made its pseudo-terminal raw; socat leaves it so.
    joiner.start(QStringLiteral("socat"), {QStringLiteral("UNIX-CONNECT:") + socket, QStringLiteral("OPEN:") + line});
    joiner.waitForStarted(10000);
}

AdapterEnd::~AdapterEnd()
{
    for (QProcess *process : {&joiner, &simulator}) {
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished();
        }
    }
}

bool AdapterEnd::isJoined() const
{
    return joiner.state() == QProcess::Running && simulator.state() == QProcess::Running;
}

bool AdapterEnd::carryOut(const QByteArray &command, const QByteArray &answer)
{
    simulator.write(command + '\n');
    return QTest::qWaitFor([&] {
        simulator.waitForReadyRead(100);
        while (simulator.canReadLine()) {
            if (simulator.readLine().startsWith(answer))
                return true;
        }
        return false;
    }, 10000);
}

bool AdapterEnd::plugUnit()
{
    return carryOut("plug 1", "plugged 1");
}

bool AdapterEnd::pullUnit()
{
    return carryOut("unplug 1", "unplugged 1");
}

// Each log line: time, line, command and "-> answer", two spaces apart.
QStringList AdapterEnd::commands() const
{
    QFile file(folder.filePath("log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList heard;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QStringList parts = QString::fromLatin1(line).split(QStringLiteral("  "));
        if (parts.size() >= 4)
            heard << QString(parts.at(parts.size() - 2)).remove(QStringLiteral("\\r"));
    }
    return heard;
}

int AdapterEnd::configurationCommands() const
{
    return int(commands().size() - commands().count(QStringLiteral("ZEL#")));
}

bool AdapterEnd::waitForConfigurationCommands(int count, int ms)
{
    return QTest::qWaitFor([&] { return configurationCommands() >= count; }, ms);
}
