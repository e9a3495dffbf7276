#include "windowrig.h"

#include "simulator/chosenportlist.h"

#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

WindowRig::WindowRig()
{
    // The file dialog opens in the home folder.
    qputenv("HOME", home.path().toLocal8Bit());
}

bool WindowRig::open(const SimulatedDevice::Responder &responder)
{
    close();
    device = std::make_unique<SimulatedDevice>(responder);
    setChosenPortNames({device->portName()});
    window = std::make_unique<MainWindow>();
    device->clearReceived();
    driver.messages.clear();
    return window->findChild<QPushButton *>("pbProgram")->isEnabled();
}

void WindowRig::close()
{
    window.reset();
    device.reset();
}

QString WindowRig::writeFile(const QString &name, const QByteArray &contents) const
{
    const QString path = home.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void WindowRig::press(const char *button)
{
    QTest::mouseClick(window->findChild<QPushButton *>(button), Qt::LeftButton);
}

void WindowRig::program(const QString &file)
{
    driver.chooseFile(file);
    press("pbProgram");
}

QProgressBar *WindowRig::progressBar() const
{
    return window->findChild<QProgressBar *>("progressBar");
}
