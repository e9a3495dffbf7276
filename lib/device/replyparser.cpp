#include "device/replyparser.h"

#include <QStringView>

#include <algorithm>

bool parseQueryReply(const QString &reply, int headerLength, QStringList &values)
{
    // Without at least the "+" in the header the same "+" would be found
    // again and again.
    if (headerLength < 1)
        return false;

    bool closedLine = false;
    int pos = 0; // front of what is left of the reply
    for (;;) {
        const int plus = reply.indexOf(QLatin1Char('+'), pos);
        if (plus < 0)
            return closedLine;
        pos = std::min(plus + headerLength, int(reply.size()));

        const int cr = reply.indexOf(QLatin1Char('\r'), pos);
        // The character before the carriage return ends the line and is never
        // part of a value; a carriage return right at the front gives an
        // empty field.
        const int fieldEnd = cr < 0 ? int(reply.size()) : std::max(cr - 1, pos);
        for (;;) {
            const int comma = QStringView(reply).mid(pos, fieldEnd - pos).indexOf(QLatin1Char(','));
            if (comma < 0)
                break;
            values << reply.mid(pos, comma);
            pos += comma + 1;
        }
        if (cr < 0)
            continue; // an unterminated line: its last field is not taken
        values << reply.mid(pos, fieldEnd - pos);
        pos = cr + 1;
        closedLine = true;
    }
}
