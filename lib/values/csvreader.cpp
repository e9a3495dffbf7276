#include "values/csvreader.h"

#include <algorithm>

namespace {
const QByteArray byteOrderMark("\xEF\xBB\xBF");

bool endsField(char c)
{
    return c == ',' || c == '\r' || c == '\n';
}

// Bytes that decode to text and back unchanged are valid UTF-8. The decoder
// drops a byte-order mark at the start, so it is given one character more.
bool decodeUtf8(const QByteArray &raw, QString &text)
{
    if (std::none_of(raw.begin(), raw.end(), [](char c) { return c & 0x80; })) {
        text = QString::fromLatin1(raw.constData(), raw.size());
        return true;
    }
    const QByteArray led = '-' + raw;
    text = QString::fromUtf8(led.constData(), led.size());
    const bool valid = text.toUtf8() == led;
    text.remove(0, 1);
    return valid;
}
} // namespace

CsvReader::CsvReader(const QByteArray &text)
    : bytes(text)
{
    if (bytes.startsWith(byteOrderMark))
        at = byteOrderMark.size();
}

bool CsvReader::next(QStringList &fields, int &recordLine)
{
    fields.clear();
    skipBlankLines();
    if (failed() || at >= bytes.size())
        return false;
    recordLine = line;
    for (;;) {
        QString field;
        if (!readField(field))
            return false;
        fields << field;
        if (at >= bytes.size() || bytes.at(at) != ',')
            return endRecord();
        ++at;
    }
}

bool CsvReader::readField(QString &field)
{
    const int fieldLine = line;
    QByteArray raw;
    const bool read = at < bytes.size() && bytes.at(at) == '"' ? readQuoted(raw) : readUnquoted(raw);
    if (!read)
        return false;
    if (!decodeUtf8(raw, field))
        return fail(fieldLine,
                    QStringLiteral("a field holds bytes that are not UTF-8; save the list as UTF-8"));
    return true;
}

bool CsvReader::readQuoted(QByteArray &raw)
{
    const int openingLine = line;
    ++at;
    for (;;) {
        const int quote = bytes.indexOf('"', at);
        if (quote < 0)
            return fail(openingLine, QStringLiteral("a quoted field that starts here is never closed"));
        line += int(std::count(bytes.begin() + at, bytes.begin() + quote, '\n'));
        raw.append(bytes.constData() + at, quote - at);
        at = quote + 1;
        if (at >= bytes.size() || bytes.at(at) != '"')
            break;
        raw.append('"');
        ++at;
    }
    if (at < bytes.size() && !endsField(bytes.at(at)))
        return fail(line, QStringLiteral("text after the closing quote of a field; a quote inside a "
                                         "quoted field is written twice"));
    return true;
}

bool CsvReader::readUnquoted(QByteArray &raw)
{
    const auto begin = bytes.begin() + at;
    const auto end = std::find_if(begin, bytes.end(), [](char c) { return endsField(c) || c == '"'; });
    if (end != bytes.end() && *end == '"')
        return fail(line, QStringLiteral("a quote inside a field that does not start with one; quote "
                                         "the whole field and write the quote twice"));
    raw = bytes.mid(at, int(end - begin));
    at += int(end - begin);
    return true;
}

// Past the line end that closes a record, if any.
bool CsvReader::endRecord()
{
    if (at >= bytes.size())
        return true;
    if (bytes.at(at) == '\r') {
        if (at + 1 >= bytes.size() || bytes.at(at + 1) != '\n')
            return fail(line,
                        QStringLiteral("a carriage return without a line feed; lines end in LF or CR LF"));
        ++at;
    }
    ++at;
    ++line;
    return true;
}

void CsvReader::skipBlankLines()
{
    for (;;) {
        const int end = at < bytes.size() && bytes.at(at) == '\r' ? at + 1 : at;
        if (end >= bytes.size() || bytes.at(end) != '\n')
            return;
        at = end + 1;
        ++line;
    }
}

bool CsvReader::fail(int errorAt, const QString &text)
{
    if (!failed()) {
        message = text;
        messageLine = errorAt;
    }
    return false;
}

bool CsvReader::failed() const
{
    return !message.isEmpty();
}

QString CsvReader::error() const
{
    return message;
}

int CsvReader::errorLine() const
{
    return messageLine;
}
