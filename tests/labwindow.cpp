// The Morlank window as the USB lab's guest runs it: on the system's own port
// list, offscreen. Prints what the window shows after its scan at start and,
// given a configuration file, after Program: one "name: value" a line.
#include "app/mainwindow.h"
#include "modaldriver.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace {
void show(const char *name, const QString &value)
{
    std::printf("%s: %s\n", name, qPrintable(value));
    std::fflush(stdout);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ModalDriver driver;
    MainWindow window;
    show("port", window.findChild<QLabel *>("label_2")->text());
    show("state", window.findChild<QLabel *>("label_Connected")->text());
    if (argc < 2)
        return 0;
    driver.chooseFile(QString::fromLocal8Bit(argv[1]));
    QTest::mouseClick(window.findChild<QPushButton *>("pbProgram"), Qt::LeftButton);
    show("message", driver.messages.join(QLatin1Char('|')));
    const auto *progress = window.findChild<QProgressBar *>("progressBar");
    show("progress", QStringLiteral("%1/%2").arg(progress->value()).arg(progress->maximum()));
    return 0;
}
