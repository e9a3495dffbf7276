#ifndef CSVREADER_H
#define CSVREADER_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// The records of a comma-separated text, RFC 4180 style, in UTF-8 with or
// without a byte-order mark. A record ends at LF or CR LF; a field in double
// quotes may hold commas, line ends and doubled quotes. Lines with nothing on
// them are skipped: an empty value in a one-column list is written "".
// Anything else is an error at its line: a quote inside an unquoted field,
// text after a closing quote, a quote never closed, a carriage return without
// a line feed outside quotes, bytes that are not UTF-8.
class CsvReader
{
public:
    explicit CsvReader(const QByteArray &text);

    // The next record and the file line it starts on; false at the end of
    // the text or on an error.
    bool next(QStringList &fields, int &line);
    bool failed() const;
    QString error() const;
    int errorLine() const;

private:
    bool readField(QString &field);
    bool readQuoted(QByteArray &raw);
    bool readUnquoted(QByteArray &raw);
    bool endRecord();
    void skipBlankLines();
    bool fail(int line, const QString &message);

    const QByteArray bytes;
    int at = 0;
    int line = 1;
    QString message;
    int messageLine = 0;
};

#endif // CSVREADER_H
