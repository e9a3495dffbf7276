#include "device/devicelink.h"
#include "simulator/chosenportlist.h"
#include "windowrig.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QTimeEdit>
#include <QtTest>

namespace {
const QTime shownTime(8, 7, 6);
const QDate shownDate(2001, 3, 4);

QStringList debugMessages;

void captureDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        debugMessages << message;
}

// Answers the handshake, each clock query with its reply, and acknowledges
// clock writes unless `refuse` names them.
SimulatedDevice::Responder clockDevice(const QByteArray &timeReply, const QByteArray &dateReply,
                                       const QByteArray &refuse = {})
{
    return [=](const QByteArray &command) {
        if (command == "ZEL#TIME=?\r")
            return timeReply.isNull() ? Replies::none() : Replies::now(timeReply);
        if (command == "ZEL#DATE=?\r")
            return dateReply.isNull() ? Replies::none() : Replies::now(dateReply);
        if (!refuse.isEmpty() && command.startsWith(refuse))
            return Replies::now("ERROR\n\r");
        return Replies::now("OK\n\r");
    };
}
} // namespace

class ClockTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void readLogsInOrder();
    void writeFieldsAsShown();
    void writeComputerClock();
    void dateIsSentWhenTimeWasRefused();
    void refusedWriteIsReported();
    void deviceGoneLeavesTheFields();
    void chatterWhileIdle_data();
    void chatterWhileIdle();

private:
    void openWindow(const SimulatedDevice::Responder &responder);
    QTimeEdit *timeEdit() const { return rig.window->findChild<QTimeEdit *>("eTime"); }
    QDateEdit *dateEdit() const { return rig.window->findChild<QDateEdit *>("eDate"); }

    WindowRig rig;
};

void ClockTest::openWindow(const SimulatedDevice::Responder &responder)
{
    QVERIFY(rig.open(responder));
    timeEdit()->setTime(shownTime);
    dateEdit()->setDate(shownDate);
}

void ClockTest::read_data()
{
    QTest::addColumn<QByteArray>("timeReply");
    QTest::addColumn<QByteArray>("dateReply");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QDate>("date");

    QTest::newRow("both answered") << QByteArray("+TIME=\"13:45:00\"\n\rOK\n\r")
                                   << QByteArray("+DATE=\"06/12/2026\"\n\rOK\n\r")
                                   << QTime(13, 45) << QDate(2026, 12, 6);
    QTest::newRow("bare values are not taken") << QByteArray("+TIME=13:45:00\n\rOK\n\r")
                                               << QByteArray("+DATE=06/12/2026\n\rOK\n\r")
                                               << shownTime << shownDate;
    QTest::newRow("opening quote only") << QByteArray("+TIME=\"13:45:00\n\rOK\n\r")
                                        << QByteArray("+DATE=\"06/12/2026\r\nOK\r\n")
                                        << shownTime << shownDate;
    QTest::newRow("date not answered") << QByteArray("+TIME=\"23:59:58\"\n\rOK\n\r")
                                       << QByteArray() << QTime(23, 59, 58) << shownDate;
    QTest::newRow("time not answered") << QByteArray()
                                       << QByteArray("+DATE=\"29/02/2028\"\n\rOK\n\r")
                                       << shownTime << QDate(2028, 2, 29);
    QTest::newRow("two values") << QByteArray("+TIME=\"13:45:00\",\"1\"\n\rOK\n\r")
                                << QByteArray("+DATE=\"06/12/2026\"\n\rERROR\n\r")
                                << shownTime << shownDate;
    QTest::newRow("impossible date") << QByteArray("+TIME=\"24:00:00\"\n\rOK\n\r")
                                     << QByteArray("+DATE=\"31/02/2026\"\n\rOK\n\r")
                                     << shownTime << shownDate;
}

void ClockTest::read()
{
    QFETCH(QByteArray, timeReply);
    QFETCH(QByteArray, dateReply);
    QFETCH(QTime, time);
    QFETCH(QDate, date);

    openWindow(clockDevice(timeReply, dateReply));
    rig.press("pbGetDateTime");
    QCOMPARE(rig.device->received(), QByteArray("ZEL#TIME=?\rZEL#DATE=?\r"));
    QCOMPARE(timeEdit()->time(), time);
    QCOMPARE(dateEdit()->date(), date);
}

void ClockTest::readLogsInOrder()
{
    openWindow(clockDevice("+TIME=\"13:45:00\"\n\rOK\n\r", "+DATE=\"06/12/2026\"\n\rOK\n\r"));
    debugMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureDebug);
    rig.press("pbGetDateTime");
    qInstallMessageHandler(previous);

    // Each answer, then what the shared text held before it was overwritten.
    const QStringList expected{
        QStringLiteral(R"("+TIME=\"13:45:00\"\n\rOK\n\r")"),
        QStringLiteral(R"("")"),
        QStringLiteral(R"("+DATE=\"06/12/2026\"\n\rOK\n\r")"),
        QStringLiteral(R"("\"13:45:00\"")"),
    };
    QCOMPARE(debugMessages, expected);
}

void ClockTest::writeFieldsAsShown()
{
    openWindow(clockDevice({}, {}));
    rig.window->findChild<QCheckBox *>("cDateTimeAutomatic")->setChecked(false);
    timeEdit()->setTime(QTime(7, 3, 9));
    dateEdit()->setDate(QDate(2026, 2, 1));
    rig.press("pbSetDateTime");
    QCOMPARE(rig.device->received(), QByteArray("ZEL#TIME=\"07:03:09\"\rZEL#DATE=\"01/02/2026\"\r"));
    QCOMPARE(timeEdit()->time(), QTime(7, 3, 9));
}

void ClockTest::writeComputerClock()
{
    openWindow(clockDevice({}, {}));
    QVERIFY(rig.window->findChild<QCheckBox *>("cDateTimeAutomatic")->isChecked());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    rig.press("pbSetDateTime");
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    const QDateTime shown(dateEdit()->date(), timeEdit()->time());
    QVERIFY2(shown >= before && shown <= after, qPrintable(shown.toString()));
    const QByteArray expected = "ZEL#TIME=" + shown.toString("\"hh:mm:ss\"").toUtf8() + "\rZEL#DATE="
                                + shown.toString("\"dd/MM/yyyy\"").toUtf8() + "\r";
    QCOMPARE(rig.device->received(), expected);
}

void ClockTest::dateIsSentWhenTimeWasRefused()
{
    openWindow(clockDevice({}, {}, "ZEL#TIME="));
    rig.window->findChild<QCheckBox *>("cDateTimeAutomatic")->setChecked(false);
    rig.press("pbSetDateTime");
    QCOMPARE(rig.device->received(), QByteArray("ZEL#TIME=\"08:07:06\"\rZEL#DATE=\"04/03/2001\"\r"));
}

void ClockTest::refusedWriteIsReported()
{
    SimulatedDevice refusing(clockDevice({}, {}, "ZEL#DATE="));
    setChosenPortNames({refusing.portName()});
    DeviceLink link;
    QVERIFY(!link.setTime(QStringLiteral("\"01:02:03\""))); // not connected yet
    QString name;
    QVERIFY(link.findDevice(name));
    QVERIFY(link.setTime(QStringLiteral("\"01:02:03\"")));
    QVERIFY(!link.setDate(QStringLiteral("\"01/02/2003\"")));
}

void ClockTest::deviceGoneLeavesTheFields()
{
    openWindow(clockDevice("+TIME=\"13:45:00\"\n\rOK\n\r", "+DATE=\"24/12/2026\"\n\rOK\n\r"));
    rig.device->unplug();
    rig.window->findChild<QCheckBox *>("cDateTimeAutomatic")->setChecked(false);

    rig.press("pbGetDateTime");
    rig.press("pbSetDateTime");
    QCOMPARE(timeEdit()->time(), shownTime);
    QCOMPARE(dateEdit()->date(), shownDate);
}

void ClockTest::chatterWhileIdle_data()
{
    QTest::addColumn<int>("pieces");
    QTest::addColumn<int>("gapMs");

    // 1 KiB pieces; the button is pressed after 300 ms of idling
    QTest::newRow("100 KiB, then silence") << 100 << 0;
    QTest::newRow("still going on at the press") << 600 << 2;
}

void ClockTest::chatterWhileIdle()
{
    QFETCH(int, pieces);
    QFETCH(int, gapMs);

    openWindow(clockDevice("+TIME=\"13:45:00\"\n\rOK\n\r", "+DATE=\"06/12/2026\"\n\rOK\n\r"));
    // Reports in the shape of an answer: one read with an answer spoils it.
    const QByteArray report("+LOG=self-test passed\n\r");
    rig.device->send(Reply(pieces, ReplyPiece{gapMs, report.repeated(1024 / report.size() + 1)}));
    QTest::qWait(300);

    rig.press("pbGetDateTime");
    QCOMPARE(timeEdit()->time(), QTime(13, 45));
    QCOMPARE(dateEdit()->date(), QDate(2026, 12, 6));

    rig.device->clearReceived();
    rig.program(rig.writeFile("after-chatter.conf", "ZEL#A=1\nZEL#B=2\nZEL#C=3\n"));
    QCOMPARE(rig.device->commands(), (QList<QByteArray>{"ZEL#A=1\r", "ZEL#B=2\r", "ZEL#C=3\r"}));
    QCOMPARE(rig.driver.messages, QStringList{"successful download."});
}

QTEST_MAIN(ClockTest)
#include "tst_clock.moc"
