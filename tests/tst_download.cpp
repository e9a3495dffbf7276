#include "mainwindow.h"
#include "modaldriver.h"
#include "simulateddevice.h"
#include "testportlist.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
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
    void initTestCase();
    void init();
    void cleanup();
    void twoCommandsSendNothing();
    void everyCommandSentInOrder();
    void deviceStopsAnsweringHalfway();
    void cancelledDialogKeepsTheCommands();
    void unreadableFileEmptiesTheCommands();

private:
    void openWindow(const SimulatedDevice::Responder &responder);
    QString writeFile(const QByteArray &contents);
    void program(const QString &file);
    QStringList sentCommands() const;
    QStringList &commandLines() { return (*window).*commandLinesMember(); }
    QProgressBar *progressBar() const { return window->findChild<QProgressBar *>("progressBar"); }

    QTemporaryDir home;
    std::unique_ptr<SimulatedDevice> device;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalDriver> driver;
};

void DownloadTest::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("HOME", home.path().toLocal8Bit());
}

void DownloadTest::init()
{
    driver = std::make_unique<ModalDriver>();
}

void DownloadTest::cleanup()
{
    window.reset();
    device.reset();
}

void DownloadTest::openWindow(const SimulatedDevice::Responder &responder)
{
    device = std::make_unique<SimulatedDevice>(responder);
    setTestPortNames({device->portName()});
    window = std::make_unique<MainWindow>();
    QVERIFY(window->findChild<QPushButton *>("pbProgram")->isEnabled());
    device->clearReceived();
}

QString DownloadTest::writeFile(const QByteArray &contents)
{
    static int count = 0;
    const QString path = home.filePath(QStringLiteral("file%1.conf").arg(++count));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void DownloadTest::program(const QString &file)
{
    driver->chooseFile(file);
    QTest::mouseClick(window->findChild<QPushButton *>("pbProgram"), Qt::LeftButton);
}

QStringList DownloadTest::sentCommands() const
{
    QStringList commands;
    for (const QByteArray &command : device->commands())
        commands << QString::fromLatin1(command);
    return commands;
}

void DownloadTest::twoCommandsSendNothing()
{
    openWindow(answeringFirst(100));
    progressBar()->setValue(42);
    program(writeFile("ZEL#A=1\nremark\n\nZEL#B=2\n"));

    QCOMPARE(commandLines(), (QStringList{"ZEL#A=1\r", "ZEL#B=2\r"}));
    QVERIFY(device->received().isEmpty());
    QVERIFY(driver->messages.isEmpty());
    QCOMPARE(progressBar()->value(), 42);
    // The dialog opened in the home directory with the configuration filter.
    QCOMPARE(driver->dialogCaption, QStringLiteral("Open File"));
    QCOMPARE(driver->dialogDirectory, QDir(home.path()).absolutePath());
    QCOMPARE(driver->dialogFilters, QStringList{"Conf (*.conf)"});
}

void DownloadTest::everyCommandSentInOrder()
{
    openWindow(answeringFirst(100));
    program(writeFile("ZEL#A=1\r\n  ZEL#B=\"x y\"\r\n# not this\r\nZEL#C=3\rZEL#D=4\r\n"));

    const QStringList expected{"ZEL#A=1\r", "  ZEL#B=\"x y\"\r", "ZEL#C=3\r", "ZEL#D=4\r"};
    QCOMPARE(sentCommands(), expected);
    QCOMPARE(device->received(), expected.join(QString()).toLatin1());
    QCOMPARE(driver->messages, QStringList{"successful download."});
    QCOMPARE(progressBar()->minimum(), 0);
    QCOMPARE(progressBar()->maximum(), 4);
    QCOMPARE(progressBar()->value(), 4);
}

void DownloadTest::deviceStopsAnsweringHalfway()
{
    openWindow(answeringFirst(2));
    program(writeFile("ZEL#1\nZEL#2\nZEL#3\nZEL#4\n"));

    QCOMPARE(sentCommands(), (QStringList{"ZEL#1\r", "ZEL#2\r", "ZEL#3\r", "ZEL#4\r"}));
    QCOMPARE(driver->messages, QStringList{"error download"});
    QCOMPARE(progressBar()->maximum(), 4);
    QCOMPARE(progressBar()->value(), 4);
}

void DownloadTest::cancelledDialogKeepsTheCommands()
{
    openWindow(answeringFirst(100));
    program(writeFile("ZEL#A\nZEL#B\n"));
    program(QString());

    QCOMPARE(commandLines(), (QStringList{"ZEL#A\r", "ZEL#B\r"}));
    QVERIFY(device->received().isEmpty());
    QVERIFY(driver->messages.isEmpty());
}

void DownloadTest::unreadableFileEmptiesTheCommands()
{
    openWindow(answeringFirst(100));
    program(writeFile("ZEL#A\nZEL#B\n"));
    const QString vanishing = writeFile("ZEL#1\nZEL#2\nZEL#3\n");
    driver->afterChoosing([vanishing] { QFile::remove(vanishing); });
    program(vanishing);

    QVERIFY(commandLines().isEmpty());
    QVERIFY(device->received().isEmpty());
    QVERIFY(driver->messages.isEmpty());
}

QTEST_MAIN(DownloadTest)
#include "tst_download.moc"
