#ifndef VALUESTATE_H
#define VALUESTATE_H

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>

// What a state file says (its format is described in docs/values.md): the
// list it belongs to, each counter's next value, and every value handed out.
// Each handed-out value is kept as the line of JSON it is written as, so that
// writing the state after one more costs no new encoding of the others.
class ValueState
{
public:
    struct ListRecord
    {
        QString path;
        QString sha256;
        int rows = 0;
    };
    struct CounterPosition
    {
        quint64 next = 0;
        int width = 0; // 0: no fixed width
    };
    struct HandOut
    {
        int row = 0; // 0: no row of a list
        QJsonObject counters;
        QString port;
        QString slot;
        QString usbSerial;
        QString time;
    };

    // The state in `bytes`, as written by toJson(); false, with what is
    // wrong in `error`, when it is not one.
    bool parse(const QByteArray &bytes, QString &error);
    QByteArray toJson() const;

    bool hasList() const;
    ListRecord list() const;
    // Records the list the rows belong to; its rows must be as many as those
    // of the list recorded so far, if any.
    void setList(const ListRecord &record);
    bool isRowTaken(int row) const;
    int takenRowCount() const;
    bool hasCounter(const QString &name) const;
    CounterPosition counter(const QString &name) const;
    void setCounter(const QString &name, const CounterPosition &position);
    // Adds a handed-out value; its row becomes taken.
    void add(const HandOut &handOut);

private:
    bool readList(const QJsonValue &value, QString &error);
    bool readCounters(const QJsonValue &value, QString &error);
    bool readHandOuts(const QJsonValue &value, QString &error);
    void appendLine(const QJsonObject &handOut);

    bool listKnown = false;
    ListRecord listRecord;
    QMap<QString, CounterPosition> counters;
    QVector<bool> takenRows; // by row - 1
    int taken = 0;
    QByteArray handOutLines;
    int handOuts = 0;
};

#endif // VALUESTATE_H
