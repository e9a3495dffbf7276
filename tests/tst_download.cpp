#include "windowrig.h"

#include <QProgressBar>
#include <QtTest>

#include <memory>

// Reads the window's private command list: explicit instantiation may name
// private members.
QStringList MainWindow::*commandLinesMember();
template <QStringList MainWindow::*member>
struct ExposeCommandLines
{
    friend QStringList MainWindow::*commandLinesMember() { return member; }
};
template struct ExposeCommandLines<&MainWindow::commandLines>;

namespace {
// Acknowledges the handshake and the first `answered` commands after it.
SimulatedDevice::Responder answeringFirst(int answered)
{
    auto count = std::make_shared<int>(0);
    return [count, answered](const QByteArray &command) {
        if (command == "ZEL#\r" || (*count)++ < answered)
            return Replies::now("OK\n\r");
        return Replies::none();
    };
}
} // namespace

class DownloadTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void twoCommandsSendNothing();
    void everyCommandSentInOrder_data();
    void everyCommandSentInOrder();
    void deviceStopsAnsweringHalfway();
    void cancelledDialogKeepsTheCommands();
    void unreadableFileEmptiesTheCommands();

private:
    QString writeFile(const QByteArray &contents);
    QStringList sentCommands() const;
    QStringList &commandLines() { return (*rig.window).*commandLinesMember(); }

    WindowRig rig;
};

void DownloadTest::cleanup()
{
    rig.close();
}

QString DownloadTest::writeFile(const QByteArray &contents)
{
    static int count = 0;
    return rig.writeFile(QStringLiteral("file%1.conf").arg(++count), contents);
}

QStringList DownloadTest::sentCommands() const
{
    QStringList commands;
    for (const QByteArray &command : rig.device->commands())
        commands << QString::fromLatin1(command);
    return commands;
}

void DownloadTest::twoCommandsSendNothing()
{
    QVERIFY(rig.open(answeringFirst(100)));
    rig.progressBar()->setValue(42);
    rig.program(writeFile("ZEL#A=1\nremark\n\nZEL#B=2\n"));

    QCOMPARE(commandLines(), (QStringList{"ZEL#A=1\r", "ZEL#B=2\r"}));
    QVERIFY(rig.device->received().isEmpty());
    QVERIFY(rig.driver.messages.isEmpty());
    QCOMPARE(rig.progressBar()->value(), 42);
    // The dialog opened in the home directory with the configuration filter.
    QCOMPARE(rig.driver.dialogCaption, QStringLiteral("Open File"));
    QCOMPARE(rig.driver.dialogDirectory, QDir(rig.home.path()).absolutePath());
    QCOMPARE(rig.driver.dialogFilters, QStringList{"Conf (*.conf)"});
}

void DownloadTest::everyCommandSentInOrder_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<QByteArray>>("commands");

    QTest::newRow("line ends, spaces, a remark")
        << QByteArray("ZEL#A=1\r\n  ZEL#B=\"x y\"\r\n# not this\r\nZEL#C=3\rZEL#D=4\r\n")
        << QList<QByteArray>{"ZEL#A=1\r", "  ZEL#B=\"x y\"\r", "ZEL#C=3\r", "ZEL#D=4\r"};
    QTest::newRow("exactly three") << QByteArray("ZEL#A=1\nZEL#B=2\nZEL#C=3")
                                   << QList<QByteArray>{"ZEL#A=1\r", "ZEL#B=2\r", "ZEL#C=3\r"};
    // Read as UTF-8 on any machine for its byte-order mark; one byte each on the wire.
    QTest::newRow("Latin-1 letters")
        << QByteArray("\xEF\xBB\xBFZEL#NAME=Caf\xC3\xA9\nZEL#TEMP=20\xC2\xB0\nZEL#FILL=\xC3\xBF\n")
        << QList<QByteArray>{"ZEL#NAME=Caf\xE9\r", "ZEL#TEMP=20\xB0\r", "ZEL#FILL=\xFF\r"};
}

void DownloadTest::everyCommandSentInOrder()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<QByteArray>, commands);

    QVERIFY(rig.open(answeringFirst(100)));
    rig.program(writeFile(file));

    QCOMPARE(rig.device->commands(), commands);
    QCOMPARE(rig.device->received(), commands.join());
    QCOMPARE(rig.driver.messages, QStringList{"successful download."});
    QCOMPARE(rig.progressBar()->minimum(), 0);
    QCOMPARE(rig.progressBar()->maximum(), commands.size());
    QCOMPARE(rig.progressBar()->value(), commands.size());
}

void DownloadTest::deviceStopsAnsweringHalfway()
{
    QVERIFY(rig.open(answeringFirst(2)));
    rig.program(writeFile("ZEL#1\nZEL#2\nZEL#3\nZEL#4\n"));

    QCOMPARE(sentCommands(), (QStringList{"ZEL#1\r", "ZEL#2\r", "ZEL#3\r", "ZEL#4\r"}));
    QCOMPARE(rig.driver.messages, QStringList{"error download"});
    QCOMPARE(rig.progressBar()->maximum(), 4);
    QCOMPARE(rig.progressBar()->value(), 4);
}

void DownloadTest::cancelledDialogKeepsTheCommands()
{
    QVERIFY(rig.open(answeringFirst(100)));
    rig.program(writeFile("ZEL#A\nZEL#B\n"));
    rig.program(QString());

    QCOMPARE(commandLines(), (QStringList{"ZEL#A\r", "ZEL#B\r"}));
    QVERIFY(rig.device->received().isEmpty());
    QVERIFY(rig.driver.messages.isEmpty());
}

void DownloadTest::unreadableFileEmptiesTheCommands()
{
    QVERIFY(rig.open(answeringFirst(100)));
    rig.program(writeFile("ZEL#A\nZEL#B\n"));
    const QString vanishing = writeFile("ZEL#1\nZEL#2\nZEL#3\n");
    rig.driver.afterChoosing([vanishing] { QFile::remove(vanishing); });
    rig.program(vanishing);

    QVERIFY(commandLines().isEmpty());
    QVERIFY(rig.device->received().isEmpty());
    QVERIFY(rig.driver.messages.isEmpty());
}

QTEST_MAIN(DownloadTest)
#include "tst_download.moc"
