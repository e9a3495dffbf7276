#ifndef LIVELINES_H
#define LIVELINES_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdio>

// Lines at the foot of a terminal (standard error), drawn again in place
// each time; text printed above them stays. Each line is cut to the
// terminal's width, in screen columns, as it is at each drawing, so a
// terminal resized mid-run is followed.
class LiveLines
{
public:
    // The columns a line may use now: the last one stays free, since a line
    // that fills it makes some terminals wrap at once.
    static int columns();
    // `text` in at most `width` screen columns, shortened in the middle: a
    // third of the room for its head, the rest for its tail (which tells
    // /dev/serial/by-id names and numbered slots apart).
    static QString elided(const QString &text, int width);
    // Writes to standard error at once.
    static void write(const QString &text);

    // Draws `lines` in place of those drawn before.
    void draw(const QStringList &lines);
    // Prints `text`, whole lines, above the live lines, drawn again below it.
    void printAbove(const QString &text);
    // The same for `bytes` written to `stream`, such as standard output when
    // it goes to the same terminal.
    void printAbove(const QByteArray &bytes, FILE *stream);
    // Whether a drawing now would differ from the last: other lines, or a
    // terminal of another width.
    bool differs(const QStringList &lines) const;

private:
    QString backToStart() const;

    QStringList drawn;
    QVector<int> drawnWidths; // in columns, line by line
    int drawnTerminalWidth = 0;
};

#endif // LIVELINES_H
