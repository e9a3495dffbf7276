#include "commandreader.h"

#include <QFile>
#include <QStringView>
#include <QTextStream>

namespace {
const QString prefix = QStringLiteral("ZEL#");
}

QStringList readCommands(QTextStream &in)
{
    QStringList commands;
    QString line;
    // Pieces are taken by position, never cut from the front of the line: a
    // file whose lines end in CR alone is one single line.
    while (in.readLineInto(&line)) {
        int start = 0;
        for (int cr; (cr = line.indexOf(QLatin1Char('\r'), start)) >= 0; start = cr + 1) {
            const QStringView piece = QStringView(line).mid(start, cr - start + 1);
            if (piece.contains(prefix))
                commands << piece.toString();
        }
        const QStringView rest = QStringView(line).mid(start);
        if (rest.contains(prefix))
            commands << rest.toString() + QLatin1Char('\r');
    }
    return commands;
}

QStringList readCommandFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QTextStream in(&file);
    return readCommands(in);
}
