#include "app/mainwindow.h"
#include "demo/demoports.h"
#include "device/portlist.h"
#include "modaldriver.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimeEdit>
#include <QtTest>

namespace {
void press(MainWindow &window, const char *button)
{
    QTest::mouseClick(window.findChild<QPushButton *>(button), Qt::LeftButton);
}
} // namespace

// The demo's own setup, as morlank-demo runs it: a simulated device ahead of
// the machine's ports, and the real window working against it.
class DemoTest : public QObject
{
    Q_OBJECT

private slots:
    void simulatedDeviceHeadsPortList();
    void windowOpensConnected();
    void clockIsSetAndReadBack();
    void sampleConfigurationDownloads();
};

void DemoTest::simulatedDeviceHeadsPortList()
{
    {
        DemoPorts ports;
        QVERIFY(QFileInfo::exists(ports.simulatedPortName()));
        QCOMPARE(availablePortNames(), QStringList{ports.simulatedPortName()} + systemPortNames());
    }
    QCOMPARE(availablePortNames(), systemPortNames());
}

void DemoTest::windowOpensConnected()
{
    DemoPorts ports;
    MainWindow window;
    const QString status = window.findChild<QLabel *>("label_Connected")->text();
    QVERIFY2(status.contains(">Connected<"), qPrintable(status));
    QCOMPARE(window.findChild<QLabel *>("label_2")->text(), ports.simulatedPortName());
    QVERIFY(window.findChild<QPushButton *>("pbProgram")->isEnabled());
}

void DemoTest::clockIsSetAndReadBack()
{
    DemoPorts ports;
    MainWindow window;
    auto *timeEdit = window.findChild<QTimeEdit *>("eTime");
    auto *dateEdit = window.findChild<QDateEdit *>("eDate");
    window.findChild<QCheckBox *>("cDateTimeAutomatic")->setChecked(false);
    timeEdit->setTime(QTime(7, 3, 9));
    dateEdit->setDate(QDate(2031, 5, 17));
    press(window, "pbSetDateTime");

    timeEdit->setTime(QTime(12, 0));
    dateEdit->setDate(QDate(2000, 1, 1));
    press(window, "pbGetDateTime");
    // A second may pass between the write and the read.
    QVERIFY2(QTime(7, 3, 9).secsTo(timeEdit->time()) <= 1 && timeEdit->time() >= QTime(7, 3, 9),
             qPrintable(timeEdit->time().toString()));
    QCOMPARE(dateEdit->date(), QDate(2031, 5, 17));
}

void DemoTest::sampleConfigurationDownloads()
{
    DemoPorts ports;
    MainWindow window;
    ModalDriver driver;
    driver.chooseFile(QStringLiteral(MORLANK_SAMPLE_CONF));

    press(window, "pbProgram");
    QCOMPARE(driver.messages, QStringList{"successful download."});
    auto *progress = window.findChild<QProgressBar *>("progressBar");
    QCOMPARE(progress->maximum(), 12);
    QCOMPARE(progress->value(), 12);
}

QTEST_MAIN(DemoTest)
#include "tst_demo.moc"
