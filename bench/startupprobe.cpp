// Starts like the program does, with no serial port to scan, and quits as soon
// as the window has been shown. With --bare it shows an empty QMainWindow
// instead: the reference for what Qt itself costs to start.
#include "app/mainwindow.h"

#include <QApplication>
#include <QTimer>

#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    const bool bare = argc > 1 && std::strcmp(argv[1], "--bare") == 0;
    QApplication app(argc, argv);
    const std::unique_ptr<QMainWindow> window(bare ? new QMainWindow : new MainWindow);
    window->show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
