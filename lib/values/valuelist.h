#ifndef VALUELIST_H
#define VALUELIST_H

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

class Assignment;

// A list of per-unit values: a CSV file (see CsvReader) whose header row
// names the columns and whose every further row holds one unit's values. A
// column named usb_serial binds its row to the unit whose USB adapter reports
// that serial number; a row with it empty is bound to no unit. No two rows
// may be the same: two units would get the same values.
class ValueList
{
public:
    static const QString usbSerialColumn;

    // Reads the file `path`; false, with the reason in `error`, when it
    // cannot be read or breaks a rule of the list.
    bool load(const QString &path, QString &error);
    // The list held in `bytes`, called `name` in messages.
    bool parse(const QByteArray &bytes, const QString &name, QString &error);

    QString name() const;
    QString absolutePath() const;
    // Of the file's bytes, in lower-case hexadecimal.
    QString sha256() const;
    QStringList columns() const;
    int rowCount() const;
    // Rows are numbered from 1, header not counted.
    int lineOf(int row) const;
    bool isBound(int row) const;
    // The row bound to the adapter `usbSerial`, or 0.
    int rowBoundTo(const QString &usbSerial) const;
    // The values of `row`, with its number and line.
    Assignment assignmentOf(int row) const;

private:
    bool readHeader(const QStringList &names, int line, QString &error);
    bool addRow(const QStringList &fields, int line, QString &error);
    QString errorAt(int line, const QString &message) const;

    QString listName;
    QString path;
    QString digest;
    QStringList header;
    int usbSerialIndex = -1;
    QVector<QStringList> rows;
    QVector<int> rowLines;
    QHash<QString, int> boundRows;
    QHash<QStringList, int> rowNumbers; // by their fields

};

#endif // VALUELIST_H
