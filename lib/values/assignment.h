#ifndef ASSIGNMENT_H
#define ASSIGNMENT_H

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The values one unit was given: a row of the list (if there is one) and the
// value of each counter.
class Assignment
{
public:
    // The data row `row` (1-based) of the list, found on file line `line`.
    void setRow(int row, int line, const QStringList &columns, const QStringList &values);
    void addCounter(const QString &name, const QString &value);

    // 0 when no row of a list was given.
    int row() const;
    // The value called `name`, or null when there is none.
    const QString *value(const QString &name) const;
    // Where the value called `name` came from, as a message says it:
    // "on row 4 (line 5)" or "of counter SERIAL".
    QString sourceOf(const QString &name) const;

    // {"row": 4 | null, "line": 5 | null, "fields": {every column and counter},
    //  "counters": {every counter}}
    QJsonObject toJson() const;
    // Back from toJson(), as a record holds it; the columns come in the
    // order of their names.
    static Assignment fromJson(const QJsonObject &json);
    // "ID=A17 SERIAL=000042 (row 4)": the columns but usb_serial, then the
    // counters; a value that is empty or holds spaces, quotes or control
    // characters is quoted as in JSON.
    QString toText() const;

private:
    int rowNumber = 0;
    int lineNumber = 0;
    QStringList columnNames;
    QStringList columnValues;
    QStringList counterNames;
    QStringList counterValues;
};

#endif // ASSIGNMENT_H
