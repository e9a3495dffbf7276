#include "device/commandreader.h"
#include "simulator/chosenportlist.h"
#include "windowrig.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>
#include <thread>

namespace {
Reply acknowledge(const QByteArray &)
{
    return Replies::now("OK\n\r");
}

QByteArray manyCommands(int count, const char *separator)
{
    QByteArray text;
    text.reserve(count * 28);
    for (int i = 0; i < count; ++i)
        text += "ZEL#PARAM" + QByteArray::number(i).rightJustified(7, '0') + "=\"value\"" + separator;
    return text;
}
} // namespace

class FileFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void filesThatYieldNothing_data();
    void filesThatYieldNothing();
    void binaryFileGivesOnlyWholeCommands();
    void millionCommands_data();
    void millionCommands();
    void unsendableLinesFailAlone();
    void deviceGoneHalfwayThroughADownload();

private:
    WindowRig rig;
};

void FileFaultsTest::cleanup()
{
    rig.close();
}

void FileFaultsTest::filesThatYieldNothing_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("empty file") << rig.writeFile("empty.conf", {});
    QTest::newRow("directory") << rig.home.path();
    QTest::newRow("missing file") << rig.home.filePath("missing.conf");
    QTest::newRow("NUL bytes only") << rig.writeFile("nul.conf", QByteArray(4096, '\0'));
}

void FileFaultsTest::filesThatYieldNothing()
{
    QFETCH(QString, path);
    QVERIFY(readCommandFile(path).isEmpty());
}

void FileFaultsTest::binaryFileGivesOnlyWholeCommands()
{
    QByteArray bytes(256 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20261207);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    for (int at = 1000; at < bytes.size() - 8; at += 9000)
        bytes.replace(at, 4, "ZEL#");
    const QStringList commands = readCommandFile(rig.writeFile("binary.conf", bytes));

    QVERIFY(!commands.isEmpty());
    for (const QString &command : commands) {
        QVERIFY(command.contains("ZEL#"));
        QVERIFY(command.endsWith('\r'));
        QCOMPARE(command.count('\r'), 1);
    }
}

void FileFaultsTest::millionCommands_data()
{
    QTest::addColumn<QByteArray>("separator");

    QTest::newRow("CR LF") << QByteArray("\r\n");
    // One single line of 27 MB.
    QTest::newRow("CR alone") << QByteArray("\r");
}

void FileFaultsTest::millionCommands()
{
    QFETCH(QByteArray, separator);

    const int count = 1000000;
    const QStringList commands =
        readCommandFile(rig.writeFile("million.conf", manyCommands(count, separator.constData())));
    QCOMPARE(commands.size(), count);
    QCOMPARE(commands.first(), QStringLiteral("ZEL#PARAM0000000=\"value\"\r"));
    QCOMPARE(commands.last(), QStringLiteral("ZEL#PARAM0999999=\"value\"\r"));
}

void FileFaultsTest::unsendableLinesFailAlone()
{
    QVERIFY(rig.open(acknowledge));
    QByteArray text = QStringLiteral("ZEL#A=1\nZEL#NAME=\u03a9mega\nZEL#B=2\n").toUtf8();
    text += QByteArray("ZEL#C=\0x\nZEL#D=4\n", 16);
    rig.program(rig.writeFile("mixed.conf", "\xEF\xBB\xBF" + text));

    // The Greek letter would arrive as '?', the NUL would cut the line short.
    QCOMPARE(rig.device->received(), QByteArray("ZEL#A=1\rZEL#B=2\rZEL#D=4\r"));
    QCOMPARE(rig.driver.messages, QStringList{"error download"});
    QCOMPARE(rig.progressBar()->maximum(), 5);
    QCOMPARE(rig.progressBar()->value(), 5);
}

void FileFaultsTest::deviceGoneHalfwayThroughADownload()
{
    QVERIFY(rig.open(acknowledge));
    const QString file = rig.writeFile("long.conf", manyCommands(6, "\n"));
    SimulatedDevice *current = rig.device.get();
    std::thread puller([current] {
        while (current->commands().size() < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        current->unplug();
    });
    rig.program(file);
    puller.join();

    QCOMPARE(rig.driver.messages, QStringList{"error download"});
    QCOMPARE(rig.progressBar()->maximum(), 6);
    QCOMPARE(rig.progressBar()->value(), 6);

    // Plugged in again: Connect finds it.
    rig.device = std::make_unique<SimulatedDevice>(acknowledge);
    setChosenPortNames({rig.device->portName()});
    rig.press("pbConnect");
    QCOMPARE(rig.window->findChild<QLabel *>("label_2")->text(), rig.device->portName());
}

QTEST_MAIN(FileFaultsTest)
#include "tst_filefaults.moc"
