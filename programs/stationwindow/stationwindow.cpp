#include "stationwindow/stationwindow.h"

#include "figures/figuresjson.h"
#include "figures/logreport.h"
#include "line/orderclaims.h"
#include "records/recordreader.h"
#include "station/station.h"
#include "station/stationsetup.h"
#include "stationwindow/recorddialog.h"
#include "stationwindow/sentence.h"
#include "stationwindow/setuppane.h"
#include "stationwindow/slottile.h"
#include "stationwindow/tilegrid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>

namespace {
// How often the units per hour are worked out anew while nothing else
// changes.
const int totalsIntervalMs = 1000;
// How often a closing window looks whether its records are in the database.
const int sendingLookMs = 100;
const int setupWidth = 440;

QLabel *barLabel(double scale, bool bold)
{
    auto *label = new QLabel;
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

QPushButton *barButton(const QString &text, double scale)
{
    auto *button = new QPushButton(text);
    QFont font = button->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    button->setFont(font);
    return button;
}
} // namespace

StationWindow::StationWindow(const StationLaunch &launch, QWidget *parent)
    : QMainWindow(parent)
    , locked(launch.locked)
    , setupPane(new SetupPane)
    , setupArea(new QScrollArea)
    , grid(new TileGrid)
{
    setWindowTitle(QStringLiteral("Morlank Station"));
    messageLabel = new QLabel;
    messageLabel->setWordWrap(true);
    messageLabel->setObjectName(QStringLiteral("message"));
    messageLabel->setMargin(8);
    messageLabel->setAutoFillBackground(true);
    QPalette warning = messageLabel->palette();
    warning.setColor(QPalette::Window, QColor(0xff, 0xe0, 0x82));
    warning.setColor(QPalette::WindowText, QColor(0x10, 0x10, 0x10));
    messageLabel->setPalette(warning);
    messageLabel->hide();

    setupArea->setWidget(setupPane);
    setupArea->setWidgetResizable(true);
    setupArea->setFixedWidth(setupWidth);
    auto *body = new QHBoxLayout;
    body->addWidget(setupArea);
    body->addWidget(grid, 1);
    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(topBar());
    layout->addWidget(messageLabel);
    layout->addLayout(body, 1);
    setCentralWidget(central);
    resize(1280, 740);

    connect(grid, &TileGrid::tileAdded, this, &StationWindow::connectTile);
    connect(&totalsTimer, &QTimer::timeout, this, &StationWindow::showTotals);
    connect(&termination, &TerminationSignals::received, this, &StationWindow::terminate);

    if (launch.givenOptions)
        setupPane->setOptions(launch.options);
    else
        setupPane->recall();
    const bool startNow = !launch.options.file.isEmpty() || !launch.options.order.isEmpty()
                          || !launch.options.release.isEmpty();
    setupArea->setVisible(!locked && !startNow);
    setupButton->setChecked(!locked && !startNow);
    grid->setPlaceholder(locked ? QStringLiteral("Press Start to watch the ports.")
                                : QStringLiteral("Set up the station, then press Start."));
    showTotals();
    updateControls();
    if (startNow)
        startFromSetup(false);
}

StationWindow::~StationWindow() = default;

int StationWindow::exitStatus() const
{
    return recordsLeft ? 1 : signalNumber ? 128 + signalNumber : 0;
}

QWidget *StationWindow::topBar()
{
    auto *bar = new QWidget;
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(24);
    okLabel = barLabel(1.8, true);
    failedLabel = barLabel(1.8, true);
    rateLabel = barLabel(1.3, false);
    yieldLabel = barLabel(1.3, false);
    configurationLabel = barLabel(1.1, false);
    // A release, an order and the database's backlog make a long line: it
    // wraps rather than push the buttons off a laptop's screen.
    configurationLabel->setWordWrap(true);
    configurationLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    stateLabel = barLabel(1.3, true);
    setupButton = barButton(QStringLiteral("Set-up"), 1.2);
    setupButton->setCheckable(true);
    setupButton->setEnabled(!locked);
    setupButton->setToolTip(locked ? QStringLiteral("The set-up is locked by the program's command line")
                                   : QStringLiteral("Show or hide the set-up"));
    startButton = barButton(QStringLiteral("Start"), 1.4);
    stopButton = barButton(QStringLiteral("Stop"), 1.4);
    reportButton = barButton(QStringLiteral("Report"), 1.2);
    reportButton->setToolTip(QStringLiteral("Write the report of the log and open it in the browser"));
    connect(setupButton, &QPushButton::toggled, setupArea, &QWidget::setVisible);
    connect(startButton, &QPushButton::clicked, this, [this] { startFromSetup(!locked); });
    connect(stopButton, &QPushButton::clicked, this, &StationWindow::stop);
    connect(reportButton, &QPushButton::clicked, this, &StationWindow::openReport);
    layout->addWidget(okLabel);
    layout->addWidget(failedLabel);
    layout->addWidget(rateLabel);
    layout->addWidget(yieldLabel);
    layout->addWidget(configurationLabel, 1);
    layout->addWidget(stateLabel);
    layout->addWidget(setupButton);
    layout->addWidget(startButton);
    layout->addWidget(stopButton);
    layout->addWidget(reportButton);
    return bar;
}

// The set-up pane read as a command line, so that it is checked as one.
void StationWindow::startFromSetup(bool rememberSetup)
{
    StationLaunch launch;
    QString error;
    if (StationLaunch::parse(QStringList{QCoreApplication::applicationName()} + setupPane->arguments(), launch, error)
        != StationLaunch::Run) {
        showMessage(sentence(error) + QStringLiteral(" Correct the set-up, then press Start; nothing was sent."));
        return;
    }
    if (launch.options.file.isEmpty() && launch.options.order.isEmpty() && launch.options.release.isEmpty()) {
        showMessage(locked ? QStringLiteral("The set-up is locked and names no configuration file: start "
                                            "morlank-station with the file on its command line.")
                           : QStringLiteral("Choose the configuration file every unit gets, or a release, then "
                                            "press Start."));
        return;
    }
    if (!start(launch.options))
        return;
    if (rememberSetup)
        setupPane->remember();
}

bool StationWindow::start(const StationOptions &options)
{
    auto prepared = std::make_unique<StationSetup>();
    QString error;
    if (!prepared->prepare(options, error)) {
        showMessage(sentence(error));
        return false;
    }
    station.reset();
    setup = std::move(prepared);
    completeText.clear();
    station = std::make_unique<Station>(setup->settings(), setup->log());
    connect(station.get(), &Station::slotChanged, this, &StationWindow::showSlot);
    connect(station.get(), &Station::attemptRecorded, this, &StationWindow::countAttempt);
    connect(station.get(), &Station::attemptNotRecorded, this, &StationWindow::countAttempt);
    connect(station.get(), &Station::halted, this, &StationWindow::showHalt);
    connect(station.get(), &Station::finished, this, &StationWindow::stationFinished);
    showMessage({});
    grid->clear();
    grid->setPlaceholder(QStringLiteral("Waiting for units: a slot appears here when its port does."));
    setupButton->setChecked(false);
    stopping = false;
    tally.start();
    session = ShiftFigures();
    logFile = options.log;
    if (setup->sender())
        setup->sender()->start();
    station->start();
    totalsTimer.start(totalsIntervalMs);
    setWindowTitle(QStringLiteral("Morlank Station: %1").arg(QFileInfo(setup->settings().file).fileName()));
    showTotals();
    updateControls();
    return true;
}

void StationWindow::stop()
{
    if (!isRunning() || stopping)
        return;
    stopping = true;
    station->stop();
    updateControls();
}

void StationWindow::showSlot(const SlotView &view)
{
    SlotTile *tile = grid->tile(view.slot);
    if (!tile) {
        QStringList order;
        for (const SlotView &slot : station->slotViews())
            order << slot.slot;
        tile = grid->addTile(view.slot, order);
    }
    tile->setView(view, isRunning() && !stopping);
}

void StationWindow::countAttempt(const QJsonObject &record)
{
    tally.count(record);
    Attempt attempt;
    QString unreadable;
    if (RecordReader::read(record, attempt, unreadable))
        session.add(attempt);
    showTotals();
}

void StationWindow::showHalt(const QString &reason)
{
    if (setup->settings().claims && setup->settings().claims->isComplete()) {
        showMessage(sentence(reason) + QLatin1Char('.'));
        return;
    }
    showMessage(sentence(reason) + QStringLiteral(". No new unit is taken; the station stops once the units in "
                                                  "flight have finished."));
}

void StationWindow::stationFinished()
{
    stopping = false;
    totalsTimer.stop();
    showTotals();
    updateControls();
    if (closeWhenFinished)
        close();
}

// SIGINT or SIGTERM: as a confirmed close; a second one ends at once.
void StationWindow::terminate(int number)
{
    if (signalNumber)
        std::_Exit(128 + signalNumber);
    signalNumber = number;
    // A question left open would hold the window.
    if (QWidget *question = QApplication::activeModalWidget())
        question->close();
    close();
}

void StationWindow::closeEvent(QCloseEvent *event)
{
    if (!isRunning()) {
        if (keepsSending())
            event->ignore();
        else
            event->accept();
        return;
    }
    event->ignore();
    if (closeWhenFinished)
        return;
    const int inFlight = unitsInFlight();
    if (inFlight > 0 && !signalNumber && !confirmClose(inFlight))
        return;
    closeWhenFinished = true;
    stop();
    showMessage(QStringLiteral("Stopping: each unit in flight finishes the command in flight and is recorded; the "
                               "window closes then."));
}

// The first close with records waiting for the database starts sending them
// for up to 30 s; the close that ends it (its own, or the user's) says what
// is left and where.
bool StationWindow::keepsSending()
{
    RecordSender *sender = setup ? setup->sender() : nullptr;
    if (!sender)
        return false;
    if (lastSending.isValid()) {
        endSending();
        return false;
    }
    sender->writingDone(); // the station has ended: it writes no more
    if (sender->hasSentAll())
        return false;
    lastSending.start();
    connect(&sendingTimer, &QTimer::timeout, this, [this] {
        if (setup->sender()->hasSentAll() || lastSending.elapsed() > 30000)
            close();
    });
    sendingTimer.start(sendingLookMs);
    showMessage(QStringLiteral("Sending the records that wait for the database, for up to 30 s; close again "
                               "to stop at once."));
    return true;
}

void StationWindow::endSending()
{
    sendingTimer.stop();
    RecordSender *sender = setup->sender();
    sender->end();
    const QString left = sender->leftBehind();
    recordsLeft = !left.isEmpty();
    if (recordsLeft)
        std::fprintf(stderr, "morlank-station: %s; the next start with --db sends them.\n", qPrintable(left));
}

bool StationWindow::confirmClose(int inFlight)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Stop the station?"),
                    (inFlight == 1 ? QStringLiteral("A unit is being served.")
                                   : QStringLiteral("%1 units are being served.").arg(inFlight))
                        + QStringLiteral(" Stop and close? Each finishes the command in flight and is recorded as "
                                         "interrupted; the window closes once every record is written."),
                    QMessageBox::NoButton, this);
    QPushButton *stopAndClose = box.addButton(QStringLiteral("Stop and close"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QStringLiteral("Keep running"), QMessageBox::RejectRole));
    box.exec();
    // SIGINT or SIGTERM while it asks closes the question and answers it.
    return box.clickedButton() == stopAndClose || signalNumber;
}

void StationWindow::openRecord(const SlotView &view)
{
    auto *dialog = new RecordDialog(view.record, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void StationWindow::connectTile(SlotTile *tile)
{
    connect(tile, &SlotTile::retryPressed, this, [this](const QString &slot) {
        if (isRunning() && !stopping)
            station->retry(slot);
    });
    connect(tile, &SlotTile::detailsRequested, this, &StationWindow::openRecord);
}

void StationWindow::showMessage(const QString &text)
{
    messageLabel->setText(text);
    messageLabel->setVisible(!text.isEmpty());
}

void StationWindow::showTotals()
{
    okLabel->setText(QStringLiteral("OK %1").arg(tally.ok()));
    failedLabel->setText(QStringLiteral("Failed %1").arg(tally.failed()));
    rateLabel->setText(tally.knowsRate() ? QStringLiteral("%1 units/hour").arg(tally.perHour(), 0, 'f', 1)
                                         : QStringLiteral("– units/hour"));
    yieldLabel->setText(QStringLiteral("First pass %1").arg(FiguresJson::percent(session.figures().firstPassYield())));
    configurationLabel->setText(
        setup ? orderText()
                    + QStringLiteral("%1 · SHA-256 %2")
                          .arg(QFileInfo(setup->settings().file).fileName(), setup->settings().fileSha256.left(12))
                    + databaseText()
              : QString());
}

// The page goes beside the log, so that it stays with the records it reads.
void StationWindow::openReport()
{
    const QFileInfo log(logFile);
    const QString page = log.dir().filePath(log.completeBaseName() + QStringLiteral("-report.html"));
    QString error;
    if (!writeLogReport(logFile, page, error)) {
        showMessage(sentence(error));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

// With a work order: its name, or once the line has made it, that it is
// complete (asked of the database once).
QString StationWindow::orderText()
{
    const auto &claims = setup->settings().claims;
    if (!claims)
        return {};
    if (claims->isComplete() && completeText.isEmpty())
        completeText = claims->completeText();
    return (completeText.isEmpty() ? QStringLiteral("Order %1").arg(claims->order()) : completeText)
           + QStringLiteral(" · ");
}

// With a database: how many records wait for it, and since when.
QString StationWindow::databaseText()
{
    RecordSender *sender = setup->sender();
    if (!sender)
        return {};
    const RecordSender::Backlog backlog = sender->backlog();
    if (backlog.records == 0)
        return QStringLiteral(" · every record in the database");
    return QStringLiteral(" · %1 records wait for the database since %2")
        .arg(backlog.records)
        .arg(backlog.since.toLocalTime().toString(QStringLiteral("HH:mm:ss")));
}

void StationWindow::updateControls()
{
    const bool running = isRunning();
    stateLabel->setText(stopping ? QStringLiteral("Stopping…")
                        : running ? QStringLiteral("Running")
                                  : QStringLiteral("Stopped"));
    startButton->setEnabled(!running);
    reportButton->setEnabled(!logFile.isEmpty());
    stopButton->setEnabled(running && !stopping);
    setupPane->setEnabled(!running);
    // Retry only while the station takes units.
    for (SlotTile *tile : grid->tiles())
        tile->setView(tile->view(), running && !stopping);
}

bool StationWindow::isRunning() const
{
    return station && station->isRunning();
}

int StationWindow::unitsInFlight() const
{
    return station->unitsInFlight();
}
