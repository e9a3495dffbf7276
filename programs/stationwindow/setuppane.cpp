#include "stationwindow/setuppane.h"

#include "line/databaseurl.h"
#include "line/linereleases.h"
#include "stationwindow/stationlaunch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const QString settingsKey = QStringLiteral("setup/arguments");

QStringList words(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

} // namespace

SetupPane::SetupPane(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(configurationGroup());
    layout->addWidget(unitGroup());
    layout->addWidget(valuesGroup());
    layout->addWidget(logGroup());
    layout->addWidget(portsGroup());
    layout->addWidget(slotsGroup(), 1);
}

QGroupBox *SetupPane::configurationGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Configuration"));
    fileEdit = new QLineEdit;
    fileEdit->setObjectName(QStringLiteral("configurationFile"));
    fileEdit->setPlaceholderText(QStringLiteral("the .conf file every unit gets"));
    releaseBox = new QComboBox;
    releaseBox->setObjectName(QStringLiteral("release"));
    releaseBox->setEditable(true);
    releaseBox->lineEdit()->setPlaceholderText(QStringLiteral("or a release of the line's database: NAME[@REV]"));
    auto *list = new QPushButton(QStringLiteral("List"));
    list->setObjectName(QStringLiteral("listReleases"));
    list->setToolTip(QStringLiteral("The releases in force in the database given below"));
    connect(list, &QPushButton::clicked, this, &SetupPane::listReleases);
    auto *releaseRow = new QWidget;
    auto *row = new QHBoxLayout(releaseRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(releaseBox, 1);
    row->addWidget(list);
    auto *form = new QFormLayout(group);
    form->addRow(QStringLiteral("File:"), withChooser(fileEdit, QStringLiteral("Configuration for every unit"),
                                                      QStringLiteral("Configurations (*.conf);;All files (*)"), false));
    form->addRow(QStringLiteral("Release:"), releaseRow);
    return group;
}

// Each release in force, newest revision first, from the database of the
// set-up: the name alone runs its newest revision.
void SetupPane::listReleases()
{
    PgConnection connection;
    QString error;
    QVector<LineReleases::Release> releases;
    const QString typed = releaseBox->currentText();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = connection.open(dbEdit->text().trimmed(), error) && LineReleases(connection).list(releases, error);
    QGuiApplication::restoreOverrideCursor();
    releaseBox->clear();
    if (!read) {
        releaseBox->lineEdit()->setPlaceholderText(QStringLiteral("cannot list the releases: ") + error);
        return;
    }
    QStringList names;
    for (auto release = releases.crbegin(); release != releases.crend(); ++release) {
        if (release->isRevoked())
            continue;
        if (!names.contains(release->name))
            names << release->name;
        releaseBox->addItem(release->label(), release->label());
    }
    for (const QString &name : names)
        releaseBox->insertItem(names.indexOf(name), name);
    releaseBox->setEditText(typed);
}

QGroupBox *SetupPane::unitGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Each unit"));
    setClockBox = new QCheckBox(QStringLiteral("Set its clock from this computer first"));
    setClockBox->setObjectName(QStringLiteral("setClock"));
    verifyBox = new QCheckBox(QStringLiteral("… and read it back to verify"));
    verifyBox->setObjectName(QStringLiteral("verify"));
    verifyBox->setEnabled(false);
    connect(setClockBox, &QCheckBox::toggled, verifyBox, [this](bool on) {
        verifyBox->setEnabled(on);
        if (!on)
            verifyBox->setChecked(false);
    });
    retriesBox = new QSpinBox;
    retriesBox->setObjectName(QStringLiteral("retries"));
    retriesBox->setRange(0, 99);
    retriesBox->setToolTip(QStringLiteral("Serve a unit that failed this many more times while it stays attached"));
    unitsBox = new QSpinBox;
    unitsBox->setObjectName(QStringLiteral("units"));
    unitsBox->setRange(0, 1000000);
    unitsBox->setSpecialValueText(QStringLiteral("never"));
    auto *form = new QFormLayout(group);
    form->addRow(setClockBox);
    form->addRow(verifyBox);
    form->addRow(QStringLiteral("Retries when it fails:"), retriesBox);
    form->addRow(QStringLiteral("Stop after this many units:"), unitsBox);
    return group;
}

QGroupBox *SetupPane::valuesGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Per-unit values, for {{NAME}} in the configuration"));
    valuesEdit = new QLineEdit;
    valuesEdit->setObjectName(QStringLiteral("valuesFile"));
    valuesEdit->setPlaceholderText(QStringLiteral("no list: a CSV file, one row per unit"));
    countersEdit = new QLineEdit;
    countersEdit->setObjectName(QStringLiteral("counters"));
    countersEdit->setPlaceholderText(QStringLiteral("none; or e.g. SERIAL=000041 ADDR=1:2"));
    countersEdit->setToolTip(QStringLiteral("NAME=START[:STEP]: the first unit gets START, each next one STEP more; "
                                            "leading zeros keep the width"));
    stateEdit = new QLineEdit;
    stateEdit->setObjectName(QStringLiteral("stateFile"));
    stateEdit->setPlaceholderText(QStringLiteral("needed with a list or counters"));
    stateEdit->setToolTip(QStringLiteral("Where every value handed out is kept, so that none is handed out twice"));
    auto *form = new QFormLayout(group);
    form->addRow(QStringLiteral("List:"), withChooser(valuesEdit, QStringLiteral("Values, one row per unit"),
                                                      QStringLiteral("CSV (*.csv);;All files (*)"), false));
    form->addRow(QStringLiteral("Counters:"), countersEdit);
    form->addRow(QStringLiteral("State file:"),
                 withChooser(stateEdit, QStringLiteral("State of the values handed out"),
                             QStringLiteral("JSON (*.json);;All files (*)"), true));
    return group;
}

QGroupBox *SetupPane::logGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Record"));
    logEdit = new QLineEdit;
    logEdit->setObjectName(QStringLiteral("logFile"));
    logEdit->setPlaceholderText(QStringLiteral("no log: attempts are only shown"));
    logEdit->setToolTip(QStringLiteral("One JSON line per attempt is appended, on disk before the tile shows it"));
    dbEdit = new QLineEdit;
    dbEdit->setObjectName(QStringLiteral("database"));
    dbEdit->setPlaceholderText(QStringLiteral("none: this station alone; or postgresql://station7@db.line/morlank"));
    dbEdit->setToolTip(QStringLiteral("The PostgreSQL database of a line of stations: values from it, records to it. "
                                      "Give the password in ~/.pgpass, never here: a password here is not kept"));
    operatorEdit = new QLineEdit;
    operatorEdit->setObjectName(QStringLiteral("operator"));
    operatorEdit->setPlaceholderText(QStringLiteral("who runs the station, kept in every record"));
    operatorEdit->setToolTip(QStringLiteral("Required when the line's setting require-operator is on"));
    orderEdit = new QLineEdit;
    orderEdit->setObjectName(QStringLiteral("order"));
    orderEdit->setPlaceholderText(QStringLiteral("none: the configuration file above; or W42"));
    orderEdit->setToolTip(QStringLiteral("A work order of the database: its release instead of the file, until the "
                                         "line has programmed its quantity"));
    auto *form = new QFormLayout(group);
    form->addRow(QStringLiteral("Log:"), withChooser(logEdit, QStringLiteral("Log of every attempt"),
                                                     QStringLiteral("JSON Lines (*.jsonl);;All files (*)"), true));
    form->addRow(QStringLiteral("Database:"), dbEdit);
    form->addRow(QStringLiteral("Operator:"), operatorEdit);
    form->addRow(QStringLiteral("Work order:"), orderEdit);
    return group;
}

QGroupBox *SetupPane::portsGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Ports"));
    allPortsButton = new QRadioButton(QStringLiteral("Every serial port the system lists"));
    allPortsButton->setObjectName(QStringLiteral("allPorts"));
    chosenPortsButton = new QRadioButton(QStringLiteral("Only these, one a line (names, paths or patterns):"));
    chosenPortsButton->setObjectName(QStringLiteral("chosenPorts"));
    portsEdit = new QPlainTextEdit;
    portsEdit->setObjectName(QStringLiteral("ports"));
    portsEdit->setPlaceholderText(QStringLiteral("/dev/serial/by-path/*usb*"));
    portsEdit->setMaximumHeight(fontMetrics().lineSpacing() * 5);
    portsEdit->setEnabled(false);
    connect(chosenPortsButton, &QRadioButton::toggled, portsEdit, &QWidget::setEnabled);
    allPortsButton->setChecked(true);
    vidPidEdit = new QLineEdit;
    vidPidEdit->setObjectName(QStringLiteral("vidPids"));
    vidPidEdit->setPlaceholderText(QStringLiteral("any adapter; or e.g. 0403:6001"));
    auto *form = new QFormLayout(group);
    form->addRow(allPortsButton);
    form->addRow(chosenPortsButton);
    form->addRow(portsEdit);
    form->addRow(QStringLiteral("USB ids (VVVV:PPPP):"), vidPidEdit);
    return group;
}

QGroupBox *SetupPane::slotsGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Slots"));
    slotTable = new QTableWidget(0, 2);
    slotTable->setObjectName(QStringLiteral("slots"));
    slotTable->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Port")});
    slotTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    slotTable->verticalHeader()->hide();
    slotTable->setToolTip(QStringLiteral("Named slots are shown from the start, in this order; others appear with "
                                         "their ports"));
    connect(slotTable, &QTableWidget::itemChanged, this, &SetupPane::keepOneEmptySlotRow);
    keepOneEmptySlotRow();
    auto *layout = new QVBoxLayout(group);
    layout->addWidget(slotTable);
    return group;
}

void SetupPane::setOptions(const StationOptions &options)
{
    fileEdit->setText(options.file);
    releaseBox->setEditText(options.release);
    setClockBox->setChecked(options.setClock);
    verifyBox->setChecked(options.verify);
    retriesBox->setValue(options.retries);
    unitsBox->setValue(options.units);
    logEdit->setText(options.log);
    dbEdit->setText(DatabaseUrl::masked(options.db));
    operatorEdit->setText(options.operatorName);
    orderEdit->setText(options.order);
    publishLive = options.publishLive;
    valuesEdit->setText(options.values.list);
    countersEdit->setText(options.values.counters.join(QLatin1Char(' ')));
    stateEdit->setText(options.values.state);
    (options.ports.isEmpty() ? allPortsButton : chosenPortsButton)->setChecked(true);
    portsEdit->setPlainText(options.ports.join(QLatin1Char('\n')));
    vidPidEdit->setText(options.vidPids.join(QLatin1Char(' ')));
    slotTable->setRowCount(0);
    for (const auto &slot : options.slotNames) {
        const int row = slotTable->rowCount();
        slotTable->insertRow(row);
        slotTable->setItem(row, 0, new QTableWidgetItem(slot.first));
        slotTable->setItem(row, 1, new QTableWidgetItem(slot.second));
    }
    keepOneEmptySlotRow();
}

QStringList SetupPane::arguments() const
{
    QStringList arguments;
    if (chosenPortsButton->isChecked()) {
        for (const QString &port : portsEdit->toPlainText().split(QLatin1Char('\n'))) {
            if (!port.trimmed().isEmpty())
                arguments << QStringLiteral("--port") << port.trimmed();
        }
    }
    for (const QString &vidPid : words(vidPidEdit->text()))
        arguments << QStringLiteral("--vid-pid") << vidPid;
    for (int row = 0; row < slotTable->rowCount(); ++row) {
        const QString name = cellText(slotTable, row, 0);
        const QString port = cellText(slotTable, row, 1);
        if (!name.isEmpty() || !port.isEmpty())
            arguments << QStringLiteral("--slot") << name + QLatin1Char('=') + port;
    }
    if (setClockBox->isChecked())
        arguments << QStringLiteral("--set-clock");
    if (verifyBox->isChecked())
        arguments << QStringLiteral("--verify");
    if (retriesBox->value() > 0)
        arguments << QStringLiteral("--retries") << QString::number(retriesBox->value());
    if (unitsBox->value() > 0)
        arguments << QStringLiteral("--units") << QString::number(unitsBox->value());
    if (!logEdit->text().trimmed().isEmpty())
        arguments << QStringLiteral("--log") << logEdit->text().trimmed();
    if (!dbEdit->text().trimmed().isEmpty())
        arguments << QStringLiteral("--db") << dbEdit->text().trimmed();
    if (!publishLive)
        arguments << QStringLiteral("--no-live");
    if (!operatorEdit->text().trimmed().isEmpty())
        arguments << QStringLiteral("--operator") << operatorEdit->text().trimmed();
    if (!orderEdit->text().trimmed().isEmpty())
        arguments << QStringLiteral("--order") << orderEdit->text().trimmed();
    if (!valuesEdit->text().trimmed().isEmpty())
        arguments << QStringLiteral("--values") << valuesEdit->text().trimmed();
    for (const QString &counter : words(countersEdit->text()))
        arguments << QStringLiteral("--counter") << counter;
    if (!stateEdit->text().trimmed().isEmpty())
        arguments << QStringLiteral("--state") << stateEdit->text().trimmed();
    if (!releaseBox->currentText().trimmed().isEmpty())
        arguments << QStringLiteral("--release") << releaseBox->currentText().trimmed();
    if (!fileEdit->text().trimmed().isEmpty())
        arguments << QStringLiteral("--") << fileEdit->text().trimmed();
    return arguments;
}

bool SetupPane::recall()
{
    const QStringList kept = QSettings().value(settingsKey).toStringList();
    StationLaunch launch;
    QString error;
    if (kept.isEmpty()
        || StationLaunch::parse(QStringList{QCoreApplication::applicationName()} + kept, launch, error)
               != StationLaunch::Run)
        return false;
    setOptions(launch.options);
    return true;
}

void SetupPane::remember() const
{
    // A password typed in the database's URL is never written to disk.
    QStringList kept = arguments();
    const int db = int(kept.indexOf(QStringLiteral("--db")));
    if (db >= 0)
        kept[db + 1] = DatabaseUrl::masked(kept.at(db + 1));
    QSettings().setValue(settingsKey, kept);
}

// A line edit with a button that fills it from a file dialog: a file to read,
// or (`saving`) one to append to or keep, never emptied, so no question about
// overwriting it.
QWidget *SetupPane::withChooser(QLineEdit *edit, const QString &caption, const QString &filter, bool saving)
{
    auto *choose = new QPushButton(QStringLiteral("Choose…"));
    connect(choose, &QPushButton::clicked, this, [this, edit, caption, filter, saving] {
        const QString file = saving ? QFileDialog::getSaveFileName(this, caption, edit->text(), filter, nullptr,
                                                                  QFileDialog::DontConfirmOverwrite)
                                    : QFileDialog::getOpenFileName(this, caption, edit->text(), filter);
        if (!file.isEmpty())
            edit->setText(file);
    });
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    layout->addWidget(choose);
    return row;
}

// A new slot is typed into the empty row at the end.
void SetupPane::keepOneEmptySlotRow()
{
    const int last = slotTable->rowCount() - 1;
    if (last < 0 || !cellText(slotTable, last, 0).isEmpty() || !cellText(slotTable, last, 1).isEmpty())
        slotTable->insertRow(last + 1);
}
