#include "values/valuelist.h"

#include "values/assignment.h"
#include "values/csvreader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

const QString ValueList::usbSerialColumn = QStringLiteral("usb_serial");

bool ValueList::load(const QString &fileName, QString &error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the list %1: %2").arg(fileName, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("cannot read the list %1: %2").arg(fileName, file.errorString());
        return false;
    }
    if (!parse(bytes, fileName, error))
        return false;
    path = QFileInfo(fileName).absoluteFilePath();
    digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return true;
}

bool ValueList::parse(const QByteArray &bytes, const QString &name, QString &error)
{
    *this = ValueList();
    listName = name;
    CsvReader reader(bytes);
    QStringList fields;
    int line = 1;
    if (!reader.next(fields, line)) {
        error = reader.failed() ? errorAt(reader.errorLine(), reader.error())
                                : errorAt(line, QStringLiteral("the list is empty; it needs a header row "
                                                               "naming the columns and a row for each unit"));
        return false;
    }
    const int headerLine = line;
    if (!readHeader(fields, line, error))
        return false;
    while (reader.next(fields, line)) {
        if (!addRow(fields, line, error))
            return false;
    }
    if (reader.failed()) {
        error = errorAt(reader.errorLine(), reader.error());
        return false;
    }
    if (rows.isEmpty()) {
        error = errorAt(headerLine, QStringLiteral("the list has a header but no rows of values"));
        return false;
    }
    return true;
}

bool ValueList::readHeader(const QStringList &names, int line, QString &error)
{
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).isEmpty()) {
            error = errorAt(line, QStringLiteral("column %1 of the header has no name").arg(i + 1));
            return false;
        }
        const int first = names.indexOf(names.at(i));
        if (first < i) {
            error = errorAt(line, QStringLiteral("columns %1 and %2 of the header are both named %3")
                                      .arg(first + 1)
                                      .arg(i + 1)
                                      .arg(names.at(i)));
            return false;
        }
    }
    header = names;
    usbSerialIndex = header.indexOf(usbSerialColumn);
    return true;
}

bool ValueList::addRow(const QStringList &fields, int line, QString &error)
{
    if (fields.size() != header.size()) {
        error = errorAt(line, QStringLiteral("the row has %1 field(s), but the header names %2 column(s)")
                                  .arg(fields.size())
                                  .arg(header.size()));
        return false;
    }
    const QString serial = usbSerialIndex >= 0 ? fields.at(usbSerialIndex) : QString();
    if (!serial.isEmpty()) {
        const int bound = boundRows.value(serial);
        if (bound > 0) {
            error = errorAt(line, QStringLiteral("usb_serial %1 is given again; line %2 binds it already")
                                      .arg(serial)
                                      .arg(rowLines.at(bound - 1)));
            return false;
        }
        boundRows.insert(serial, rows.size() + 1);
    }
    // Two units would get the same values.
    const int same = rowNumbers.value(fields);
    if (same > 0) {
        error = errorAt(line, QStringLiteral("the row is the same as line %1; each unit needs values of its own")
                                  .arg(rowLines.at(same - 1)));
        return false;
    }
    rowNumbers.insert(fields, rows.size() + 1);
    rows.append(fields);
    rowLines.append(line);
    return true;
}

QString ValueList::errorAt(int line, const QString &message) const
{
    return QStringLiteral("%1 line %2: %3").arg(listName).arg(line).arg(message);
}

QString ValueList::name() const
{
    return listName;
}

QString ValueList::absolutePath() const
{
    return path;
}

QString ValueList::sha256() const
{
    return digest;
}

QStringList ValueList::columns() const
{
    return header;
}

int ValueList::rowCount() const
{
    return rows.size();
}

int ValueList::lineOf(int row) const
{
    return rowLines.at(row - 1);
}

bool ValueList::isBound(int row) const
{
    return usbSerialIndex >= 0 && !rows.at(row - 1).at(usbSerialIndex).isEmpty();
}

int ValueList::rowBoundTo(const QString &usbSerial) const
{
    return usbSerial.isEmpty() ? 0 : boundRows.value(usbSerial);
}

Assignment ValueList::assignmentOf(int row) const
{
    Assignment assignment;
    assignment.setRow(row, lineOf(row), header, rows.at(row - 1));
    return assignment;
}
