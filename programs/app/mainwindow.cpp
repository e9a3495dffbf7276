#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "device/clockformats.h"
#include "device/commandreader.h"
#include "device/devicelink.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QMessageBox>

namespace {
// The form's fixed geometry was laid out for the Windows dialog font at 8
// points; a desktop font elsewhere is wider and clips the texts. Arial's
// metrics (Liberation Sans, or what the font configuration puts in its place)
// at that size, one step condensed, keep every text whole, the editors' widest
// values included, whatever the desktop's font.
void useDesignFont(QWidget *window)
{
    QFont font(QStringLiteral("Liberation Sans"), 8);
    font.setStretch(QFont::SemiCondensed);
    window->setFont(font);
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new MainWindowForm)
{
    ui->setupUi(this);
#ifndef Q_OS_WIN
    useDesignFont(this);
#endif
    ui->pbProgram->setEnabled(false);
    ui->pbGetDateTime->setEnabled(false);
    ui->pbSetDateTime->setEnabled(false);

    connect(ui->pbConnect, SIGNAL(clicked()), this, SLOT(Connect()));
    connect(ui->pbProgram, SIGNAL(clicked()), this, SLOT(Program()));
    connect(ui->pbGetDateTime, SIGNAL(clicked()), this, SLOT(GetDateTime()));
    connect(ui->pbSetDateTime, SIGNAL(clicked()), this, SLOT(SetDateTime()));

    device = new DeviceLink;
    Connect();
}

// The link goes with the window, so the port is released when it closes.
MainWindow::~MainWindow()
{
    delete ui;
    delete device;
}

void MainWindow::Connect()
{
    const bool found = device->findDevice(portName);
    ui->label_2->setText(found ? portName : QString());
    ui->label_Connected->setText(found ? QStringLiteral("<font color=\"#00FF00\">Connected</font>")
                                       : QStringLiteral("<font color=\"#FF0000\">Disconnected</font>"));
    ui->pbProgram->setEnabled(found);
    ui->pbGetDateTime->setEnabled(found);
    ui->pbSetDateTime->setEnabled(found);
}

void MainWindow::Program()
{
    const QString filter = QObject::tr("Conf (*.conf)");
    const QString fileName = QFileDialog::getOpenFileName(nullptr, QObject::tr("Open File"),
                                                          QDir::homePath(), filter);
    if (fileName.isEmpty())
        return;
    commandLines = readCommandFile(fileName);
    if (commandLines.size() <= 2)
        return;

    ui->progressBar->setMinimum(0);
    ui->progressBar->setMaximum(commandLines.size());
    ui->progressBar->setValue(0);
    bool allAcknowledged = true;
    for (int i = 0; i < commandLines.size(); ++i) {
        if (!device->sendLine(commandLines.at(i)))
            allAcknowledged = false;
        ui->progressBar->setValue(i + 1);
    }

    QMessageBox box;
    box.setText(allAcknowledged ? QStringLiteral("successful download.")
                                : QStringLiteral("error download"));
    box.exec();
}

void MainWindow::SetDateTime()
{
    if (ui->cDateTimeAutomatic->isChecked()) {
        ui->eTime->setDateTime(QDateTime::currentDateTime());
        ui->eDate->setDateTime(QDateTime::currentDateTime());
    }
    device->setTime(ui->eTime->dateTime().toString(clockTimeFormat));
    device->setDate(ui->eDate->dateTime().toString(clockDateFormat));
}

void MainWindow::GetDateTime()
{
    QString text;
    device->getTime(text);
    ui->eTime->setDateTime(QDateTime::fromString(text, clockTimeFormat));
    device->getDate(text);
    ui->eDate->setDateTime(QDateTime::fromString(text, clockDateFormat));
}
