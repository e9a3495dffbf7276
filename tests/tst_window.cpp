#include "app/mainwindow.h"
#include "connectedlink.h"
#include "simulator/chosenportlist.h"
#include "simulator/simulateddevice.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {
const QString connectedText = QStringLiteral("<font color=\"#00FF00\">Connected</font>");
const QString disconnectedText = QStringLiteral("<font color=\"#FF0000\">Disconnected</font>");

Reply acknowledgeAll(const QByteArray &)
{
    return Replies::now("OK\n\r");
}
} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startsDisconnectedWithoutPorts();
    void startsConnectedToTheDevice();
    void connectFollowsTheDevice();

private:
    void verifyState(MainWindow &window, bool connected, const QString &port);
};

void WindowTest::verifyState(MainWindow &window, bool connected, const QString &port)
{
    QCOMPARE(window.findChild<QLabel *>("label_Connected")->text(),
             connected ? connectedText : disconnectedText);
    QCOMPARE(window.findChild<QLabel *>("label_2")->text(), port);
    for (const char *name : {"pbProgram", "pbGetDateTime", "pbSetDateTime"})
        QCOMPARE(window.findChild<QPushButton *>(name)->isEnabled(), connected);
    QVERIFY(window.findChild<QPushButton *>("pbConnect")->isEnabled());
}

void WindowTest::startsDisconnectedWithoutPorts()
{
    setChosenPortNames({});
    MainWindow window;
    verifyState(window, false, QString());
}

void WindowTest::startsConnectedToTheDevice()
{
    SimulatedDevice device(acknowledgeAll);
    setChosenPortNames({device.portName()});
    MainWindow window;
    // The scan ran before the window was ever shown.
    QVERIFY(!window.isVisible());
    QCOMPARE(device.received(), QByteArray("ZEL#\r"));
    verifyState(window, true, device.portName());
}

void WindowTest::connectFollowsTheDevice()
{
    auto device = std::make_unique<SimulatedDevice>(acknowledgeAll);
    setChosenPortNames({device->portName()});
    MainWindow window;
    auto *connectButton = window.findChild<QPushButton *>("pbConnect");

    QTest::mouseClick(connectButton, Qt::LeftButton);
    verifyState(window, true, device->portName());
    QCOMPARE(device->received(), QByteArray("ZEL#\rZEL#\r"));

    // Pulled out: the next scan finds nothing.
    device->unplug();
    QTest::mouseClick(connectButton, Qt::LeftButton);
    verifyState(window, false, QString());

    // Plugged in again, on whatever name the system gives it.
    device = std::make_unique<SimulatedDevice>(acknowledgeAll);
    setChosenPortNames({absentPortName(), device->portName()});
    QTest::mouseClick(connectButton, Qt::LeftButton);
    verifyState(window, true, device->portName());
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
