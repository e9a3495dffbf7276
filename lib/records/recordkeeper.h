#ifndef RECORDKEEPER_H
#define RECORDKEEPER_H

#include <QJsonObject>
#include <QString>

// Where the records of attempts are made durable: keep() returns once the
// record is on disk, or false with the reason when it is not. Called from the
// thread that served the unit, so it is safe to call from several at once.
class RecordKeeper
{
public:
    virtual ~RecordKeeper() = default;
    virtual bool keep(const QJsonObject &record, QString &error) = 0;
};

#endif // RECORDKEEPER_H
