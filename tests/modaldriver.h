#ifndef MODALDRIVER_H
#define MODALDRIVER_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QFileDialog;
class QMessageBox;

// Plays the operator at modal dialogs: answers the file dialog with a file
// (or cancels it) and closes every message box, remembering its text.
class ModalDriver : public QObject
{
    Q_OBJECT

public:
    ModalDriver();

    // The file to choose at the next file dialog; empty cancels it.
    void chooseFile(const QString &path);
    // Runs once the file dialog has accepted its file, before the program
    // opens it.
    void afterChoosing(std::function<void()> action);

    QStringList messages;
    QString dialogCaption;
    QString dialogDirectory;
    QStringList dialogFilters;

private:
    void poll();
    void answer(QFileDialog *dialog);
    void close(QMessageBox *box);

    QTimer timer;
    QString file;
    std::function<void()> chosen;
};

#endif // MODALDRIVER_H
