#include "configuration.h"

#include "commandreader.h"

bool Configuration::load(const QString &fileName, QString &error)
{
    file = fileName;
    QString reason;
    if (!readCommandFile(file, commands, lineNumbers, reason)) {
        error = QStringLiteral("cannot read %1: %2. Check the file's name and that you may read it.")
                    .arg(file, reason);
        return false;
    }
    if (commands.size() < 3) {
        error = QStringLiteral("%1 holds %2 command(s); a download needs at least three, so nothing was sent. "
                               "Command lines are those that contain ZEL#.")
                    .arg(file)
                    .arg(commands.size());
        return false;
    }
    return true;
}
