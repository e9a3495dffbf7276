#ifndef COMMANDTEMPLATE_H
#define COMMANDTEMPLATE_H

#include <QString>
#include <QStringList>
#include <QVector>

class Assignment;

// The command lines of a configuration, split once into literal text and
// placeholders, so that filling them for each unit only joins pieces. fill()
// changes nothing, so the threads of several units may call it at once.
class CommandTemplate
{
public:
    struct Placeholder
    {
        QString name;
        int line = 0; // the first file line it stands on
    };

    // Commands and their file lines as the configuration reader gives them.
    CommandTemplate(const QStringList &commands, const QVector<int> &lineNumbers);

    bool hasPlaceholders() const;
    // Each placeholder once, in the order of its first appearance.
    QVector<Placeholder> placeholders() const;
    // The placeholders whose name is not among `names`.
    QVector<Placeholder> withoutValue(const QStringList &names) const;
    // "ID (line 3), SERIAL (line 7)"
    static QString describe(const QVector<Placeholder> &placeholders);

    // The commands with every placeholder replaced by its value, in the same
    // order, each ending in one carriage return. False, with the reason in
    // `error`, when a value is missing or would break a command line: a
    // carriage return, line feed or NUL, or a character outside Latin-1.
    bool fill(const Assignment &assignment, QStringList &filled, QString &error) const;

private:
    // A piece of a command: literal text, or the placeholder of that index.
    struct Piece
    {
        QString literal;
        int placeholder = -1;
    };

    void split(const QString &command, int line);
    bool collectValues(const Assignment &assignment, QVector<const QString *> &values,
                       QString &error) const;

    QVector<Piece> pieces;
    QVector<int> commandEnds; // one past the last piece of each command
    QVector<Placeholder> found;
};

#endif // COMMANDTEMPLATE_H
