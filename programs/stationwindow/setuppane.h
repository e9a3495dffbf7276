#ifndef SETUPPANE_H
#define SETUPPANE_H

#include "station/stationoptions.h"

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QSpinBox;
class QTableWidget;

// The set-up of a station, as fields: the configuration, what each unit
// gets, the log, the ports watched and the slots' names. It reads back as
// the command line that would start the same station, so the window checks
// it exactly as the command line is checked, and remembers it as such.
class SetupPane : public QWidget
{
    Q_OBJECT

public:
    explicit SetupPane(QWidget *parent = nullptr);

    void setOptions(const StationOptions &options);
    // The set-up as morlank-station's arguments, the program's name left out.
    QStringList arguments() const;

    // The set-up last started from the window; false when none is kept.
    bool recall();
    void remember() const;

private:
    QGroupBox *configurationGroup();
    QGroupBox *unitGroup();
    QGroupBox *valuesGroup();
    QGroupBox *logGroup();
    QGroupBox *portsGroup();
    QGroupBox *slotsGroup();
    QWidget *withChooser(QLineEdit *edit, const QString &caption, const QString &filter, bool saving);
    void keepOneEmptySlotRow();
    void listReleases();

    QLineEdit *fileEdit;
    QComboBox *releaseBox;
    QCheckBox *setClockBox;
    QCheckBox *verifyBox;
    QSpinBox *retriesBox;
    QSpinBox *unitsBox;
    QLineEdit *valuesEdit;
    QLineEdit *countersEdit;
    QLineEdit *stateEdit;
    QLineEdit *logEdit;
    QLineEdit *dbEdit;
    QLineEdit *operatorEdit;
    QLineEdit *orderEdit;
    QRadioButton *allPortsButton;
    QRadioButton *chosenPortsButton;
    QPlainTextEdit *portsEdit;
    QLineEdit *vidPidEdit;
    QTableWidget *slotTable;
    // --no-live has no field: it is kept as the command line gave it.
    bool publishLive = true;
};

#endif // SETUPPANE_H
