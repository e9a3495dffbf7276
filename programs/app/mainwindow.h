#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>
#include <QString>
#include <QStringList>

namespace Ui {
class MainWindow;
}
using MainWindowForm = Ui::MainWindow;

class DeviceLink;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void Connect();
    void Program();
    void SetDateTime();
    void GetDateTime();

private:
    MainWindowForm *ui;
    DeviceLink *device;
    QString portName;
    QStringList commandLines;
};

#endif // MAINWINDOW_H
