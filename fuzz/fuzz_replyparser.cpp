// Fuzzes the split of a query answer into value fields.
//
// Input: the first byte picks the header length, the rest are the answer
// bytes as they come from the port.

#include "device/replyparser.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// -3 to 8: zero and negative lengths, which must be refused, the 6 of the
// clock queries and its neighbours.
int headerLengthFrom(uint8_t byte)
{
    return byte % 12 - 3;
}

// The answer text as the link hands it over: up to the first NUL, as UTF-8.
QString replyText(const QByteArray &answer)
{
    const int nul = answer.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? answer : answer.left(nul));
}

// An independent model of the parse that eats a copy of the answer from its
// front; the real parse walks by position and must agree with it.
bool modelParse(QString rest, int headerLength, QStringList &values)
{
    if (headerLength < 1)
        return false;
    bool closedLine = false;
    for (int plus; (plus = rest.indexOf(QLatin1Char('+'))) >= 0;) {
        rest.remove(0, plus + headerLength);
        for (;;) {
            const int cr = rest.indexOf(QLatin1Char('\r'));
            const QString field = cr < 0 ? rest : rest.left(std::max(cr - 1, 0));
            const int comma = field.indexOf(QLatin1Char(','));
            if (comma >= 0) {
                values << field.left(comma);
                rest.remove(0, comma + 1);
                continue;
            }
            if (cr >= 0) {
                values << field;
                rest.remove(0, cr + 1);
                closedLine = true;
            }
            break;
        }
    }
    return closedLine;
}

void checkValues(const QString &reply, const QStringList &values)
{
    for (const QString &value : values) {
        check(reply.contains(value));
        check(!value.contains(QLatin1Char('\r')));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int headerLength = headerLengthFrom(data[0]);
    const QString reply =
        replyText(QByteArray(reinterpret_cast<const char *>(data + 1), int(size - 1)));

    QStringList values;
    const bool closedLine = parseQueryReply(reply, headerLength, values);

    checkValues(reply, values);
    check(!closedLine || reply.contains(QLatin1Char('\r')));
    check(reply.contains(QLatin1Char('+')) || values.isEmpty());
    check(headerLength >= 1 || (!closedLine && values.isEmpty()));

    QStringList modelValues;
    check(modelParse(reply, headerLength, modelValues) == closedLine);
    check(modelValues == values);
    return 0;
}
