#include "line/lineorders.h"
#include "line/linereleases.h"
#include "line/lineschema.h"
#include "line/pgconnection.h"
#include "pgserver.h"
#include "stationbench.h"
#include "stationwindow/recorddialog.h"
#include "stationwindow/setuppane.h"
#include "stationwindow/slottile.h"
#include "stationwindow/stationlaunch.h"
#include "stationwindow/stationwindow.h"
#include "stationwindow/tilecolours.h"
#include "stationwindow/tilecontent.h"
#include "stationwindow/tilegrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDirIterator>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableWidget>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>

namespace {
const QByteArray configurationText = "; station\nZEL#A=1\n\nZEL#BEEP=2\r\nZEL#C=3\n# end\nZEL#D=4\n";
const QByteArray configurationCommands = "ZEL#A=1\rZEL#BEEP=2\rZEL#C=3\rZEL#D=4\r";
const QByteArray handshake = "ZEL#\r";

QByteArray withoutHandshakes(QByteArray received)
{
    return received.replace(handshake, QByteArray());
}

std::unique_ptr<StationWindow> openWindow(const QStringList &arguments)
{
    StationLaunch launch;
    QString error;
    if (StationLaunch::parse(QStringList{"morlank-station"} + arguments, launch, error) != StationLaunch::Run)
        qFatal("the test's command line is wrong: %s", qPrintable(error));
    auto window = std::make_unique<StationWindow>(launch);
    window->show();
    return window;
}

SlotTile *tileOf(const StationWindow &window, const QString &slot)
{
    for (SlotTile *tile : window.findChildren<SlotTile *>()) {
        if (tile->view().slot == slot)
            return tile;
    }
    return nullptr;
}

// What the tile of `slot` says; empty while there is no such tile.
QString tileText(const StationWindow &window, const QString &slot)
{
    const SlotTile *tile = tileOf(window, slot);
    return tile ? tile->text() : QString();
}

// Whether the tile's lines hold `line` whole within `ms`.
bool tileShows(const StationWindow &window, const QString &slot, const QString &line, int ms = 20000)
{
    return QTest::qWaitFor([&] { return tileText(window, slot).split('\n').contains(line); }, ms);
}

// Whether the station has looked at its ports once: a unit that comes after
// came while it ran. Its sign is the tile of the fixture put at `slot`.
bool lookedOnce(const StationWindow &window, StationBench &bench, int slot = 99)
{
    bench.fixture(slot);
    return QTest::qWaitFor([&] { return tileOf(window, bench.slotPath(slot)) != nullptr; }, 10000);
}

QPushButton *button(const QWidget &window, const QString &text)
{
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    qFatal("no button %s", qPrintable(text));
}

QString message(const StationWindow &window)
{
    const QLabel *label = window.findChild<QLabel *>("message");
    return label->isVisible() ? label->text() : QString();
}

QStringList labelTexts(const QWidget &window)
{
    QStringList texts;
    for (const QLabel *label : window.findChildren<QLabel *>())
        texts << label->text();
    return texts;
}

// Takes the URLs the window asks the desktop to open, in place of a browser.
class OpenedUrls : public QObject
{
    Q_OBJECT

public:
    OpenedUrls() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

QByteArrayList logLines(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArrayList lines = file.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

// Presses the button `answer` of the next message box, or sends SIGTERM
// while it asks.
void answerNextBox(const QString &answer)
{
    QTimer::singleShot(10, [answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return answerNextBox(answer);
        if (answer == "SIGTERM")
            ::raise(SIGTERM);
        for (QAbstractButton *b : box->buttons()) {
            if (b->text() == answer)
                b->click();
        }
    });
}

// How many records the log held when the window went out of sight.
class HideWatch : public QObject
{
public:
    HideWatch(QWidget &window, const QString &log)
        : log(log)
    {
        window.installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            recordsThen = int(logLines(log).size());
        return false;
    }

    const QString log;
    int recordsThen = -1;
};

// WCAG's contrast ratio of two colours.
double contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return std::max(la, lb) / std::min(la, lb);
}

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
    dark.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::Mid, QColor(0x50, 0x50, 0x50));
    return dark;
}
} // namespace

class StationWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void tilesFollowAUnit_data();
    void tilesFollowAUnit();
    void retryServesTheUnitAgain();
    void totalsCountTheUnitsOfARun();
    void unitNotInTheLogIsNotRecorded();
    void launch_data();
    void launch();
    void setupProblemSendsNothing_data();
    void setupProblemSendsNothing();
    void lineStationRunsAnOrderAndNeverStoresThePassword();
    void windowAnswersThroughA32SlotRun();
    void closingStopsAsCtrlC_data();
    void closingStopsAsCtrlC();
    void benchFitsTheWindow_data();
    void benchFitsTheWindow();
    void tileColoursReadInBothThemes_data();
    void tileColoursReadInBothThemes();

private:
    QTemporaryDir dir;
    QString configuration;
    QString portInfo;
};

void StationWindowTest::initTestCase()
{
    QVERIFY(dir.isValid());
    // Never the user's own settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("settings"));
    QCoreApplication::setOrganizationName("Morlank");
    QCoreApplication::setApplicationName("morlank-station");
    configuration = dir.filePath("station.conf");
    QFile file(configuration);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(configurationText) == configurationText.size());
    portInfo = dir.filePath("ports");
    qputenv("MORLANK_TEST_PORT_INFO", portInfo.toUtf8());
}

void StationWindowTest::init()
{
    QSettings().clear();
    QFile::remove(portInfo);
}

void StationWindowTest::tilesFollowAUnit_data()
{
    QTest::addColumn<QByteArray>("refused");
    QTest::addColumn<int>("refuseEvery");
    QTest::addColumn<QByteArray>("lateCommand");
    QTest::addColumn<bool>("pulled");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("ending");

    const QString time = "\\d+\\.\\d\\d s$";
    QTest::newRow("every line taken") << QByteArray() << 0 << QByteArray() << false << QStringList{"OK", "Unit A1B2"}
                                      << "^4 commands in " + time;
    QTest::newRow("a line refused") << QByteArray("BEEP") << 0 << QByteArray() << false
                                    << QStringList{"FAILED", "Line 4: ZEL#BEEP=2", "Answer: ERROR", "Unit A1B2"}
                                    << "^1 line failed · " + time;
    // The handshake is the first command the unit counts.
    QTest::newRow("two lines refused: the first shown") << QByteArray() << 2 << QByteArray() << false
                                                        << QStringList{"FAILED", "Line 2: ZEL#A=1", "Answer: ERROR"}
                                                        << "^2 lines failed · " + time;
    QTest::newRow("a line answered late") << QByteArray() << 0 << QByteArray("BEEP") << false
                                          << QStringList{"FAILED", "Line 4: ZEL#BEEP=2",
                                                         "No answer in time (late: OK)", "Unit A1B2"}
                                          << "^1 line failed · " + time;
    QTest::newRow("pulled out while programming") << QByteArray() << 0 << QByteArray() << true
                                                  << QStringList{"Gone", "Unit A1B2"}
                                                  << "^Taken away after [1-3] of 4 commands$";
}

// A named slot is there, empty, before any unit; then it shows the unit's
// state through its job, and how it ended.
void StationWindowTest::tilesFollowAUnit()
{
    QFETCH(QByteArray, refused);
    QFETCH(int, refuseEvery);
    QFETCH(QByteArray, lateCommand);
    QFETCH(bool, pulled);
    QFETCH(QStringList, shown);
    QFETCH(QString, ending);

    StationBench bench;
    QFile info(portInfo);
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write(bench.slotPath(1).toUtf8() + "\tA1B2\t0403:6001\tFTDI\n");
    info.close();
    auto window = openWindow({configuration, "--port", bench.pattern(), "--slot", "Bench A=" + bench.slotPath(1)});
    QVERIFY(tileShows(*window, "Bench A", "Empty", 0));
    QVERIFY(lookedOnce(*window, bench));

    DeviceProtocol::Settings unit;
    unit.refusedText = refused;
    unit.refuseEvery = refuseEvery;
    unit.replyDelayMs = pulled ? 300 : 0;
    if (!lateCommand.isEmpty())
        unit.delayedAnswers << DeviceProtocol::DelayedAnswer{lateCommand, 1500};
    bench.plug(1, unit);
    QVERIFY(tileShows(*window, "Bench A", "Programming 1 of 4"));
    if (pulled)
        bench.pull(1);
    QVERIFY2(tileShows(*window, "Bench A", shown.first()), qPrintable(tileText(*window, "Bench A")));
    const QStringList lines = tileText(*window, "Bench A").split('\n');
    for (const QString &line : shown)
        QVERIFY2(lines.contains(line), qPrintable(lines.join(" | ")));
    QCOMPARE(lines.filter(QRegularExpression(ending)).size(), 1);
    QCOMPARE(tileOf(*window, "Bench A")->findChild<QPushButton *>()->isVisible(), shown.first() == "FAILED");
}

// Retry serves a failed unit again as its next attempt, in its own slot
// alone; the totals count the unit once, by its latest attempt; a double
// click shows the record. Named slots come first, in their order.
void StationWindowTest::retryServesTheUnitAgain()
{
    StationBench bench;
    DeviceProtocol::Settings refusing;
    refusing.refusedText = "BEEP";
    bench.plug(1, refusing);
    bench.plug(2, refusing);
    const QString log = dir.filePath("retry.jsonl");
    QFile::remove(log);
    auto window = openWindow({configuration, "--port", bench.pattern(), "--slot", "Two=" + bench.slotPath(2),
                              "--slot", "One=" + bench.slotPath(1), "--log", log});
    QVERIFY(tileShows(*window, "One", "FAILED"));
    QVERIFY(tileShows(*window, "Two", "FAILED"));
    bench.plug(3);
    QVERIFY(tileShows(*window, bench.slotPath(3), "OK"));
    QVERIFY(labelTexts(*window).contains("OK 1"));
    QVERIFY(labelTexts(*window).contains("Failed 2"));
    QStringList order;
    for (const SlotTile *tile : window->findChild<TileGrid *>()->tiles())
        order << tile->view().slot;
    QCOMPARE(order, (QStringList{"Two", "One", bench.slotPath(3)}));

    QTest::mouseClick(tileOf(*window, "One")->findChild<QPushButton *>(), Qt::LeftButton);
    QVERIFY(tileShows(*window, "One", "Attempt 2"));
    QVERIFY(tileShows(*window, "One", "FAILED"));
    QCOMPARE(withoutHandshakes(bench.device(1).received()), configurationCommands.repeated(2));
    QVERIFY(QTest::qWaitFor([&] { return labelTexts(*window).contains("Failed 2"); }, 1000));
    QVERIFY(labelTexts(*window).contains("OK 1"));
    QCOMPARE(withoutHandshakes(bench.device(2).received()), configurationCommands);
    QFile conf(configuration);
    QVERIFY(conf.open(QIODevice::ReadOnly));
    const QString sha = QCryptographicHash::hash(conf.readAll(), QCryptographicHash::Sha256).toHex();
    QVERIFY(labelTexts(*window).contains("station.conf · SHA-256 " + sha.left(12)));

    SlotTile *tile = tileOf(*window, "One");
    QTest::mouseDClick(tile, Qt::LeftButton);
    auto *details = window->findChild<RecordDialog *>();
    QVERIFY(details && details->isVisible());
    QVERIFY2(details->summaryText().contains("\n4\nZEL#BEEP=2\nrefused\nERROR\n"), qPrintable(details->summaryText()));
    QCOMPARE(QJsonDocument::fromJson(details->jsonText().toUtf8()).object(), tile->view().record);
    QCOMPARE(tile->view().record["attempt"].toInt(), 2);

    // Taken at the next retry: the unit ends OK, but its first attempt
    // failed, so the session's first-pass yield stays 1 of 3.
    details->close();
    auto taking = std::make_shared<DeviceProtocol>(DeviceProtocol::Settings());
    bench.device(1).setResponder([taking](const QByteArray &command) { return taking->reply(command); });
    QTest::mouseClick(tileOf(*window, "One")->findChild<QPushButton *>(), Qt::LeftButton);
    QVERIFY(tileShows(*window, "One", "OK"));
    QVERIFY(QTest::qWaitFor([&] { return labelTexts(*window).contains("OK 2"); }, 1000));
    QVERIFY2(labelTexts(*window).contains("First pass 33.3 %"), qPrintable(labelTexts(*window).join(" | ")));

    // Report: the page of the log's five attempts, handed to the browser.
    OpenedUrls opened;
    QTest::mouseClick(button(*window, "Report"), Qt::LeftButton);
    const QString page = dir.filePath("retry-report.html");
    QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(page)});
    QFile html(page);
    QVERIFY(html.open(QIODevice::ReadOnly));
    const QByteArray written = html.readAll();
    QVERIFY(written.contains("<b>5</b></div></div>")); // records, the last key figure
    QVERIFY(written.contains("line 4 ZEL#BEEP=2"));
}

// Each unit of a slot counts, and a new run counts from nothing.
void StationWindowTest::totalsCountTheUnitsOfARun()
{
    StationBench bench;
    bench.plug(1);
    auto window = openWindow({configuration, "--port", bench.pattern()});
    QVERIFY(tileShows(*window, bench.slotPath(1), "OK"));
    bench.pull(1);
    QVERIFY(tileShows(*window, bench.slotPath(1), "Empty"));
    bench.plug(1);
    QVERIFY(QTest::qWaitFor([&] { return labelTexts(*window).contains("OK 2"); }, 20000));
    QTest::mouseClick(button(*window, "Stop"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return labelTexts(*window).contains("Stopped"); }, 5000));
    QTest::mouseClick(button(*window, "Start"), Qt::LeftButton);
    QVERIFY(labelTexts(*window).contains("Running"));
    QVERIFY(labelTexts(*window).contains("OK 0"));
}

// A unit whose record the log refused is never shown done: its own state,
// amber, and not counted OK.
void StationWindowTest::unitNotInTheLogIsNotRecorded()
{
    const QString log = dir.filePath("refusing.jsonl");
    StationBench bench;
    bench.fixture(1);
    auto window = openWindow({configuration, "--port", bench.pattern(), "--log", log});
    QVERIFY(tileShows(*window, bench.slotPath(1), "Empty"));
    // No file of this process may grow now: the record's write fails.
    rlimit before{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
    const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &before); });
    const auto ignored = std::signal(SIGXFSZ, SIG_IGN);
    const auto keepSignal = qScopeGuard([&] { std::signal(SIGXFSZ, ignored); });
    rlimit full = before;
    full.rlim_cur = 0;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &full) == 0);
    bench.attach(1);
    QVERIFY2(tileShows(*window, bench.slotPath(1), "Not recorded"), qPrintable(tileText(*window, bench.slotPath(1))));
    QCOMPARE(TileContent::of(tileOf(*window, bench.slotPath(1))->view()).tone, TileContent::Warning);
    QCOMPARE(withoutHandshakes(bench.device(1).received()), configurationCommands);
    QVERIFY(labelTexts(*window).contains("OK 0"));
    QVERIFY(labelTexts(*window).contains("Failed 1"));
    QVERIFY(logLines(log).isEmpty());
}

void StationWindowTest::launch_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("startedBefore");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("setupShown");
    QTest::addColumn<bool>("setupChangeable");

    QTest::newRow("FILE given: watching at once") << QStringList{"FILE"} << false << true << false << true;
    QTest::newRow("no FILE: the set-up") << QStringList{} << false << false << true << true;
    QTest::newRow("no FILE: the set-up last started") << QStringList{} << true << false << true << true;
    QTest::newRow("locked with FILE") << QStringList{"--locked", "FILE"} << false << true << false << false;
    QTest::newRow("locked, the set-up last started") << QStringList{"--locked"} << true << false << false << false;
}

// What the command line and the remembered set-up start with; a locked
// set-up is neither shown nor changed, yet Start and Stop work.
void StationWindowTest::launch()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, startedBefore);
    QFETCH(bool, running);
    QFETCH(bool, setupShown);
    QFETCH(bool, setupChangeable);

    StationBench bench;
    bench.plug(1);
    if (startedBefore) {
        auto first = openWindow({});
        first->findChild<QLineEdit *>("configurationFile")->setText(configuration);
        first->findChild<QTableWidget *>("slots")->setItem(0, 0, new QTableWidgetItem("Bench A"));
        first->findChild<QTableWidget *>("slots")->setItem(0, 1, new QTableWidgetItem(bench.slotPath(1)));
        first->findChild<QCheckBox *>("setClock")->setChecked(true);
        first->findChild<QCheckBox *>("verify")->setChecked(true);
        first->findChild<QLineEdit *>("operator")->setText("Ana Lopes");
        QTest::mouseClick(button(*first, "Start"), Qt::LeftButton);
        QVERIFY(tileShows(*first, "Bench A", "OK"));
        // Read back as asked.
        QVERIFY(bench.device(1).commands().contains("ZEL#TIME=?\r"));
        QCOMPARE(tileOf(*first, "Bench A")->view().record["clock"]["verified"], QJsonValue(true));
        QCOMPARE(tileOf(*first, "Bench A")->view().record["operator"], QJsonValue("Ana Lopes"));
        first->close();
        QVERIFY(QTest::qWaitFor([&] { return !first->isVisible(); }, 5000));
    }
    arguments.replaceInStrings("FILE", configuration);
    auto window = openWindow(arguments);
    QCOMPARE(labelTexts(*window).contains("Running"), running);
    QCOMPARE(window->findChild<SetupPane *>()->isVisible(), setupShown);
    QCOMPARE(button(*window, "Set-up")->isChecked(), setupShown);
    QCOMPARE(button(*window, "Set-up")->isEnabled(), setupChangeable);
    QCOMPARE(window->findChild<QLineEdit *>("configurationFile")->text(),
             startedBefore || !arguments.isEmpty() ? configuration : QString());
    if (!running && startedBefore) {
        // The remembered set-up: its slot, its clock setting and its
        // operator come back.
        QVERIFY(window->findChild<QCheckBox *>("setClock")->isChecked());
        QVERIFY(window->findChild<QCheckBox *>("verify")->isChecked());
        QCOMPARE(window->findChild<QLineEdit *>("operator")->text(), QString("Ana Lopes"));
        QTest::mouseClick(button(*window, "Start"), Qt::LeftButton);
        QVERIFY(labelTexts(*window).contains("Running"));
        QVERIFY(tileOf(*window, "Bench A"));
    }
    if (labelTexts(*window).contains("Running")) {
        QTest::mouseClick(button(*window, "Stop"), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return labelTexts(*window).contains("Stopped"); }, 5000));
        QVERIFY(button(*window, "Start")->isEnabled());
    }
}

void StationWindowTest::setupProblemSendsNothing_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("said");

    QTest::newRow("no configuration") << "configurationFile" << "" << "Choose the configuration file";
    QTest::newRow("configuration missing") << "configurationFile" << "no-such.conf" << "Cannot read no-such.conf";
    QTest::newRow("too few commands") << "configurationFile" << "short.conf"
                                      << "holds 2 command(s); a download needs at least three";
    QTest::newRow("log in a missing folder") << "logFile" << "no/such/folder/log.jsonl"
                                             << "Cannot append to the log";
    QTest::newRow("USB id misspelt") << "vidPids" << "0403-6001" << "--vid-pid takes a USB id";
    QTest::newRow("slot without its port") << "slots" << "Bench A" << "--slot takes NAME=PORT";
    QTest::newRow("counter without a state file") << "counters" << "SN=0041" << "need a state file";
}

// Checked as the command line is, before any port is opened; the window
// says what to do and sends nothing.
void StationWindowTest::setupProblemSendsNothing()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, said);

    QFile shortFile(dir.filePath("short.conf"));
    QVERIFY(shortFile.open(QIODevice::WriteOnly) && shortFile.write("ZEL#A=1\nZEL#B=2\n") > 0);
    shortFile.close();
    QDir::setCurrent(dir.path());
    StationBench bench;
    bench.plug(1);
    auto window = openWindow({});
    window->findChild<QLineEdit *>("configurationFile")->setText(configuration);
    window->findChild<QRadioButton *>("chosenPorts")->setChecked(true);
    window->findChild<QPlainTextEdit *>("ports")->setPlainText(bench.pattern());
    if (field == "slots")
        window->findChild<QTableWidget *>("slots")->setItem(0, 0, new QTableWidgetItem(value));
    else
        window->findChild<QLineEdit *>(field)->setText(value);
    QTest::mouseClick(button(*window, "Start"), Qt::LeftButton);
    QVERIFY2(message(*window).contains(said), qPrintable(message(*window)));
    QVERIFY(labelTexts(*window).contains("Stopped"));
    QVERIFY(button(*window, "Start")->isEnabled());
    QTest::qWait(1500);
    QVERIFY(bench.device(1).received().isEmpty());
    QVERIFY(window->findChildren<SlotTile *>().isEmpty());
}

// A work order run from the set-up: the List button offers the releases in
// force, the order's release is served until its units are ok, and the
// totals bar then says the order is complete. The password typed in the
// database's URL starts the station, and the set-up remembered on disk
// holds the URL without it.
void StationWindowTest::lineStationRunsAnOrderAndNeverStoresThePassword()
{
    PgServer server;
    QString error;
    PgConnection owner;
    QVERIFY2(server.start(error) && owner.open(server.url("postgres", "owner", PgServer::ownerPassword()), error)
                 && LineSchema::init(owner, error),
             qPrintable(error));
    QFile file(configuration);
    QVERIFY(file.open(QIODevice::ReadOnly));
    LineReleases releases(owner);
    LineReleases::Release release;
    bool added = false;
    QVERIFY2(releases.add("old", "ZEL#OLD=1\nZEL#OLD=2\nZEL#OLD=3\n", {}, release, added, error)
                 && releases.revoke("old", 1, "wrong firmware", release, error)
                 && releases.add("batch", file.readAll(), {}, release, added, error)
                 && LineOrders::add(owner, "W7", "batch", 2, {}, error),
             qPrintable(error));
    StationBench bench;
    auto window = openWindow({});
    window->findChild<QLineEdit *>("logFile")->setText(dir.filePath("line.jsonl"));
    window->findChild<QRadioButton *>("chosenPorts")->setChecked(true);
    window->findChild<QPlainTextEdit *>("ports")->setPlainText(bench.pattern());
    window->findChild<QLineEdit *>("database")->setText(server.url("postgres", "owner", PgServer::ownerPassword()));
    QTest::mouseClick(window->findChild<QPushButton *>("listReleases"), Qt::LeftButton);
    const auto *offered = window->findChild<QComboBox *>("release");
    QStringList items;
    for (int item = 0; item < offered->count(); ++item)
        items << offered->itemText(item);
    QCOMPARE(items, (QStringList{"batch", "batch@1"}));
    window->findChild<QLineEdit *>("order")->setText("W7");
    QTest::mouseClick(button(*window, "Start"), Qt::LeftButton);
    QVERIFY2(labelTexts(*window).contains("Running"), qPrintable(message(*window)));
    bench.plug(1);
    bench.plug(2);
    QVERIFY2(QTest::qWaitFor([&] { return labelTexts(*window).join('\n').contains("order W7 complete: 2 of 2"); },
                             30000),
             qPrintable(labelTexts(*window).join('\n')));
    // The bar's long line wraps: the window still fits a laptop's screen.
    window->resize(1366, 768);
    QCOMPARE(window->width(), 1366);
    QSettings().sync();
    QByteArray stored;
    for (QDirIterator file(dir.filePath("settings"), QDir::Files, QDirIterator::Subdirectories); file.hasNext();) {
        QFile settings(file.next());
        stored += settings.open(QIODevice::ReadOnly) ? settings.readAll() : QByteArray();
    }
    QVERIFY2(stored.contains("--db") && !stored.contains(PgServer::ownerPassword().toUtf8()), stored.constData());
    QTest::mouseClick(button(*window, "Stop"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return labelTexts(*window).contains("Stopped"); }, 5000));
}

// Every slot served at once by the engine's threads: the window's own timer
// keeps firing all along, and every tile comes to OK.
void StationWindowTest::windowAnswersThroughA32SlotRun()
{
    QByteArray longFile;
    for (int i = 0; i < 20; ++i)
        longFile += "ZEL#N=" + QByteArray::number(i) + '\n';
    QFile file(dir.filePath("long.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(longFile) == longFile.size());
    file.close();
    const int slotCount = 32;
    StationBench bench;
    for (int slot = 1; slot <= slotCount; ++slot)
        bench.plug(slot);

    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    connect(&tick, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    auto window = openWindow({file.fileName(), "--port", bench.pattern()});
    window->resize(1366, 768);
    sinceTick.start();
    tick.start(10);
    const auto allOk = [&] {
        const QVector<SlotTile *> tiles = window->findChild<TileGrid *>()->tiles();
        return tiles.size() == slotCount
            && std::all_of(tiles.begin(), tiles.end(), [](SlotTile *t) { return t->text().contains("\nOK\n"); });
    };
    QVERIFY(QTest::qWaitFor(allOk, 60000));
    tick.stop();
    // A generous bound: a tile follows its slot within 100 ms only if the
    // window is never held up for long. A sanitized build runs every thread
    // several times slower on the same cores, so its gaps measure the
    // instrumentation, not the window.
    const bool sanitized = qEnvironmentVariableIsSet("ASAN_OPTIONS") || qEnvironmentVariableIsSet("TSAN_OPTIONS");
    QVERIFY2(sanitized || longestGap < 500, qPrintable(QString::number(longestGap)));
    // In the order a person counts: slot2 before slot10.
    QStringList shown, counted;
    for (int slot = 1; slot <= slotCount; ++slot) {
        shown << window->findChild<TileGrid *>()->tiles().at(slot - 1)->view().slot;
        counted << bench.slotPath(slot);
    }
    QCOMPARE(shown, counted);
    QVERIFY(labelTexts(*window).contains("OK 32"));
}

void StationWindowTest::closingStopsAsCtrlC_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("exitStatus");

    QTest::newRow("close, confirmed") << "Stop and close" << true << "interrupted" << 0;
    QTest::newRow("close, declined") << "Keep running" << false << "ok" << 0;
    QTest::newRow("SIGTERM") << "SIGTERM" << true << "interrupted" << 143;
    QTest::newRow("SIGTERM while asking") << "close, then SIGTERM" << true << "interrupted" << 143;
}

// Units in flight finish the command in flight and are recorded before the
// window goes.
void StationWindowTest::closingStopsAsCtrlC()
{
    QFETCH(QString, how);
    QFETCH(bool, closes);
    QFETCH(QString, result);
    QFETCH(int, exitStatus);

    StationBench bench;
    DeviceProtocol::Settings slow;
    slow.replyDelayMs = 300;
    bench.plug(1, slow);
    bench.plug(2, slow);
    const QString log = dir.filePath(QString("closing-%1.jsonl").arg(QTest::currentDataTag()));
    auto window = openWindow({configuration, "--port", bench.pattern(), "--log", log});
    HideWatch hidden(*window, log);
    QVERIFY(QTest::qWaitFor([&] { return bench.device(1).commands().size() > 1 && bench.device(2).commands().size() > 1; },
                            15000));
    if (how == "SIGTERM") {
        ::raise(SIGTERM);
    } else {
        answerNextBox(how.section(", then ", -1));
        window->close();
    }
    QVERIFY(QTest::qWaitFor([&] { return logLines(log).size() == 2; }, 15000));
    if (closes) {
        QVERIFY(QTest::qWaitFor([&] { return !window->isVisible(); }, 15000));
        QCOMPARE(hidden.recordsThen, 2);
    }
    for (const QByteArray &line : logLines(log))
        QCOMPARE(QJsonDocument::fromJson(line)["result"].toString(), result);
    QCOMPARE(window->isVisible(), !closes);
    QCOMPARE(window->exitStatus(), exitStatus);
}

void StationWindowTest::benchFitsTheWindow_data()
{
    QTest::addColumn<int>("slotCount");
    QTest::addColumn<QSize>("windowSize");
    QTest::addColumn<QSize>("smallestTile");

    QTest::newRow("1 slot, 1366×768") << 1 << QSize(1366, 768) << QSize(1000, 600);
    QTest::newRow("8 slots, 1366×768") << 8 << QSize(1366, 768) << QSize(300, 200);
    QTest::newRow("32 slots, 1366×768") << 32 << QSize(1366, 768) << QSize(170, 110);
    QTest::newRow("32 slots, 1024×768 upright") << 32 << QSize(768, 1024) << QSize(130, 90);
}

// Every tile in view, none over another, each large enough to read.
void StationWindowTest::benchFitsTheWindow()
{
    QFETCH(int, slotCount);
    QFETCH(QSize, windowSize);
    QFETCH(QSize, smallestTile);

    QStringList arguments{configuration, "--locked"};
    for (int slot = 1; slot <= slotCount; ++slot)
        arguments << "--slot" << QString("Slot %1=%2/slot%1").arg(slot).arg(dir.filePath("absent"));
    auto window = openWindow(arguments);
    window->resize(1000, 500);
    window->resize(windowSize);
    QCoreApplication::processEvents();
    const TileGrid *grid = window->findChild<TileGrid *>();
    const QVector<SlotTile *> tiles = grid->tiles();
    QCOMPARE(tiles.size(), slotCount);
    for (int i = 0; i < tiles.size(); ++i) {
        const QRect place = tiles[i]->geometry();
        QVERIFY2(grid->rect().contains(place), qPrintable(QString::number(i)));
        QVERIFY2(place.width() >= smallestTile.width() && place.height() >= smallestTile.height(),
                 qPrintable(QString("%1×%2").arg(place.width()).arg(place.height())));
        for (int j = 0; j < i; ++j)
            QVERIFY(!place.intersects(tiles[j]->geometry()));
    }
    QCOMPARE(tiles.first()->text(), QString("Slot 1\nEmpty"));
}

void StationWindowTest::tileColoursReadInBothThemes_data()
{
    QTest::addColumn<int>("tone");
    QTest::addColumn<QPalette>("palette");

    const QPalette light = QApplication::style()->standardPalette();
    const QPalette dark = darkPalette();
    const std::pair<const char *, TileContent::Tone> tones[] = {{"idle", TileContent::Idle},
                                                               {"working", TileContent::Working},
                                                               {"OK", TileContent::Good},
                                                               {"FAILED", TileContent::Bad},
                                                               {"gone", TileContent::Warning}};
    for (const auto &tone : tones) {
        QTest::addRow("%s, light theme", tone.first) << int(tone.second) << light;
        QTest::addRow("%s, dark theme", tone.first) << int(tone.second) << dark;
    }
}

// The words on every tile stand out from its fill under either theme (WCAG
// AA for text, 4.5:1), and OK and FAILED differ in lightness, not in hue
// alone.
void StationWindowTest::tileColoursReadInBothThemes()
{
    QFETCH(int, tone);
    QFETCH(QPalette, palette);

    const TileColours colours = TileColours::of(TileContent::Tone(tone), palette);
    QVERIFY2(contrast(colours.text, colours.background) >= 4.5,
             qPrintable(QString::number(contrast(colours.text, colours.background))));
    const QColor ok = TileColours::of(TileContent::Good, palette).background;
    const QColor failed = TileColours::of(TileContent::Bad, palette).background;
    QVERIFY(contrast(ok, failed) >= 2.5);
}

QTEST_MAIN(StationWindowTest)
#include "tst_stationwindow.moc"
