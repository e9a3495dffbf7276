#ifndef STANDARDINPUTLINES_H
#define STANDARDINPUTLINES_H

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// The lines typed or piped on standard input, delivered by the event loop one
// at a time, without the line end. The end of the input, or input that
// cannot be read, ends the reading and nothing else; a terminal the program
// runs in the background of is read again once it is in the foreground.
class StandardInputLines : public QObject
{
    Q_OBJECT

public:
    // Call before anything opens a file: with standard input closed, the next
    // file opened would take its number and be read as commands.
    static void keepOpen();

    explicit StandardInputLines(QObject *parent = nullptr);

signals:
    void lineRead(const QByteArray &line);

private:
    void readAvailable();

    QSocketNotifier *notifier = nullptr;
    QByteArray partialLine;
};

#endif // STANDARDINPUTLINES_H
