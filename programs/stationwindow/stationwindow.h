#ifndef STATIONWINDOW_H
#define STATIONWINDOW_H

#include "console/terminationsignals.h"
#include "figures/shiftfigures.h"
#include "station/slotview.h"
#include "station/unittally.h"
#include "stationwindow/stationlaunch.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QMainWindow>
#include <QTimer>

#include <memory>

class QLabel;
class QPushButton;
class QScrollArea;
class SetupPane;
class SlotTile;
class Station;
class StationSetup;
class TileGrid;

// morlank-station's window: the totals and the controls across the top, the
// set-up at the side while it is open, and the bench of slot tiles. The
// station runs on its own threads; this thread only shows what it reports.
class StationWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit StationWindow(const StationLaunch &launch, QWidget *parent = nullptr);
    ~StationWindow() override;

    // 0, or 128 and the number of the signal that closed the window.
    int exitStatus() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *topBar();
    void startFromSetup(bool rememberSetup);
    bool start(const StationOptions &options);
    void stop();
    void showSlot(const SlotView &view);
    void countAttempt(const QJsonObject &record);
    void showHalt(const QString &reason);
    void stationFinished();
    void terminate(int signalNumber);
    bool confirmClose(int unitsInFlight);
    void openRecord(const SlotView &view);
    void connectTile(SlotTile *tile);
    void showMessage(const QString &text);
    void showTotals();
    void openReport();
    QString databaseText();
    QString orderText();
    bool keepsSending();
    void endSending();
    void updateControls();
    bool isRunning() const;
    int unitsInFlight() const;

    const bool locked;
    // Destroyed in this order: the station before the set-up whose log it
    // writes.
    std::unique_ptr<StationSetup> setup;
    std::unique_ptr<Station> station;
    UnitTally tally;
    ShiftFigures session; // for the first-pass yield
    QString logFile;
    TerminationSignals termination;
    QTimer totalsTimer;
    bool stopping = false;
    bool closeWhenFinished = false;
    int signalNumber = 0;
    // With --db, while the window closes: the records still sent, for up to
    // 30 s; a further close stops at once.
    QElapsedTimer lastSending;
    QTimer sendingTimer;
    bool recordsLeft = false;

    QLabel *okLabel;
    QLabel *failedLabel;
    QLabel *rateLabel;
    QLabel *yieldLabel;
    QLabel *configurationLabel;
    QString completeText;
    QLabel *stateLabel;
    QPushButton *setupButton;
    QPushButton *startButton;
    QPushButton *stopButton;
    QPushButton *reportButton;
    QLabel *messageLabel;
    SetupPane *setupPane;
    QScrollArea *setupArea;
    TileGrid *grid;
};

#endif // STATIONWINDOW_H
