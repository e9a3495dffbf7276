#include "demoports.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DemoPorts ports;
    MainWindow window;
    window.show();
    return app.exec();
}
