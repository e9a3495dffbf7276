#ifndef WINDOWRIG_H
#define WINDOWRIG_H

#include "app/mainwindow.h"
#include "modaldriver.h"
#include "simulator/simulateddevice.h"

#include <QTemporaryDir>

#include <memory>

class QProgressBar;

// The main window connected to a simulated device, a home folder for the
// configuration files the operator picks, and an operator at the dialogs.
class WindowRig
{
public:
    WindowRig();

    // A new device and a new window scanning for it; true when connected.
    bool open(const SimulatedDevice::Responder &responder);
    void close();
    QString writeFile(const QString &name, const QByteArray &contents) const;
    void press(const char *button);
    void program(const QString &file);
    QProgressBar *progressBar() const;

    QTemporaryDir home;
    std::unique_ptr<SimulatedDevice> device;
    std::unique_ptr<MainWindow> window;
    ModalDriver driver;
};

#endif // WINDOWRIG_H
