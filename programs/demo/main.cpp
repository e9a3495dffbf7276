#include "app/mainwindow.h"
#include "demo/demoports.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DemoPorts ports;
    MainWindow window;
    window.show();
    return app.exec();
}
