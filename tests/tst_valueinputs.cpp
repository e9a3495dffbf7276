#include "values/assignment.h"
#include "values/counteroption.h"
#include "values/valuelist.h"

#include <QtTest>

// What a list of values and a counter option may hold, and the errors a
// person gets, with the line to look at.
class ValueInputsTest : public QObject
{
    Q_OBJECT

private slots:
    void list_data();
    void list();
    void listError_data();
    void listError();
    void counter_data();
    void counter();
};

// Each row as "line|field|field...", so a table states the whole list.
static QStringList describe(const ValueList &list)
{
    QStringList rows;
    for (int row = 1; row <= list.rowCount(); ++row) {
        const QJsonObject fields = list.assignmentOf(row).toJson()["fields"].toObject();
        QStringList values{QString::number(list.lineOf(row))};
        for (const QString &column : list.columns())
            values << fields[column].toString();
        rows << values.join('|');
    }
    return rows;
}

void ValueInputsTest::list_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QStringList>("rows");

    // line ends and marks
    QTest::newRow("LF") << QByteArray("ID,SN\nA1,7\nA2,8\n") << QStringList{"ID", "SN"}
                        << QStringList{"2|A1|7", "3|A2|8"};
    QTest::newRow("CR LF, last row unended") << QByteArray("ID,SN\r\nA1,7\r\nA2,8") << QStringList{"ID", "SN"}
                                             << QStringList{"2|A1|7", "3|A2|8"};
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFID\nA1\n") << QStringList{"ID"} << QStringList{"2|A1"};
    QTest::newRow("UTF-8") << QByteArray("N\xC3\xA4me\nGr\xC3\xBC\xC3\x9F" "e\n") << QStringList{"N\u00e4me"}
                           << QStringList{"2|Gr\u00fc\u00dfe"};
    QTest::newRow("byte-order mark inside") << QByteArray("ID,N\nA1,\xEF\xBB\xBFx\n") << QStringList{"ID", "N"}
                                            << QStringList{"2|A1|\ufeffx"};
    QTest::newRow("blank lines skipped, counted")
        << QByteArray("\nID\n\r\nA1\n\n\nA2\n\n") << QStringList{"ID"} << QStringList{"4|A1", "7|A2"};
    // quoting
    QTest::newRow("quoted comma") << QByteArray("ID,SN\n\"A,1\",7\n") << QStringList{"ID", "SN"}
                                  << QStringList{"2|A,1|7"};
    QTest::newRow("doubled quotes") << QByteArray("ID\n\"say \"\"hi\"\"\"\n\"\"\"\"\n") << QStringList{"ID"}
                                    << QStringList{"2|say \"hi\"", "3|\""};
    QTest::newRow("line ends inside quotes count")
        << QByteArray("ID,SN\n\"a\nb\",\"c\r\nd\"\nA2,8\n") << QStringList{"ID", "SN"}
        << QStringList{"2|a\nb|c\r\nd", "5|A2|8"};
    QTest::newRow("empty fields") << QByteArray("ID,SN\n,\n\"\",x\n") << QStringList{"ID", "SN"}
                                  << QStringList{"2||", "3||x"};
    QTest::newRow("spaces kept") << QByteArray("ID\n a1 \n") << QStringList{"ID"} << QStringList{"2| a1 "};
    // bound rows
    QTest::newRow("usb_serial, some empty") << QByteArray("ID,usb_serial\nA1,\nA2,FT9\n")
                                            << QStringList{"ID", "usb_serial"} << QStringList{"2|A1|", "3|A2|FT9"};
}

void ValueInputsTest::list()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, columns);
    QFETCH(QStringList, rows);

    ValueList list;
    QString error;
    QVERIFY2(list.parse(csv, "units.csv", error), qPrintable(error));
    QCOMPARE(list.columns(), columns);
    QCOMPARE(describe(list), rows);
}

void ValueInputsTest::listError_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("error");

    // the shape of the list
    QTest::newRow("empty file") << QByteArray() << "units.csv line 1: the list is empty; it needs a header row "
                                                   "naming the columns and a row for each unit";
    QTest::newRow("header only") << QByteArray("\nID,SN\r\n\r\n") << "units.csv line 2: the list has a header but no rows of values";
    QTest::newRow("too few fields") << QByteArray("ID,SN\nA1,7\nA2\n")
                                    << "units.csv line 3: the row has 1 field(s), but the header names 2 column(s)";
    QTest::newRow("too many fields") << QByteArray("ID\n\"a\nb\"\nA2,8\n")
                                     << "units.csv line 4: the row has 2 field(s), but the header names 1 column(s)";
    QTest::newRow("column without a name") << QByteArray("ID,,SN\n1,2,3\n")
                                           << "units.csv line 1: column 2 of the header has no name";
    QTest::newRow("duplicate column") << QByteArray("ID,SN,ID\n1,2,3\n")
                                      << "units.csv line 1: columns 1 and 3 of the header are both named ID";
    QTest::newRow("duplicate usb_serial") << QByteArray("ID,usb_serial\n1,FT1\n2,\n3,FT1\n")
                                          << "units.csv line 4: usb_serial FT1 is given again; line 2 binds it already";
    QTest::newRow("the same row twice") << QByteArray("ID,usb_serial\nA1,\nA2,FT2\n\"A1\",\n")
                                        << "units.csv line 4: the row is the same as line 2; each unit needs "
                                           "values of its own";
    // the text
    QTest::newRow("unclosed quote") << QByteArray("ID\nA1\n\"A2\nA3\n")
                                    << "units.csv line 3: a quoted field that starts here is never closed";
    QTest::newRow("quote inside a field") << QByteArray("ID\nA\"1\n")
                                          << "units.csv line 2: a quote inside a field that does not start with "
                                             "one; quote the whole field and write the quote twice";
    QTest::newRow("text after the closing quote") << QByteArray("ID\n\"A\nB\"x\n")
                                                  << "units.csv line 3: text after the closing quote of a field; "
                                                     "a quote inside a quoted field is written twice";
    QTest::newRow("CR alone") << QByteArray("ID\rA1\rA2\r")
                              << "units.csv line 1: a carriage return without a line feed; lines end in LF or CR LF";
    QTest::newRow("not UTF-8") << QByteArray("ID\nA1\nGr\xFC\xDF" "e\n")
                               << "units.csv line 3: a field holds bytes that are not UTF-8; save the list as UTF-8";
}

void ValueInputsTest::listError()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, error);

    ValueList list;
    QString reason;
    QVERIFY(!list.parse(csv, "units.csv", reason));
    QCOMPARE(reason, error);
}

void ValueInputsTest::counter_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("values"); // the first three; the fourth if it fits

    // width
    QTest::newRow("no width") << "SN=98" << QString() << QStringList{"98", "99", "100", "101"};
    QTest::newRow("leading zeros keep the width") << "SN=000041" << QString()
                                                  << QStringList{"000041", "000042", "000043", "000044"};
    QTest::newRow("zero alone has no width") << "N=0:5" << QString() << QStringList{"0", "5", "10", "15"};
    QTest::newRow("step") << "SN=0010:45" << QString() << QStringList{"0010", "0055", "0100", "0145"};
    // running out
    QTest::newRow("width outgrown") << "SN=07:40" << QString() << QStringList{"07", "47", "87"};
    QTest::newRow("18 digits outgrown") << "SN=999999999999999997" << QString()
                                        << QStringList{"999999999999999997", "999999999999999998", "999999999999999999"};
    // what the option may not be
    QTest::newRow("no equals") << "SN" << "counter SN: write it as NAME=START or NAME=START:STEP" << QStringList{};
    QTest::newRow("bad name") << "S-N=1" << "counter S-N=1: the name must be ASCII letters, digits or underscores"
                              << QStringList{};
    QTest::newRow("empty name") << "=1" << "counter =1: the name must be ASCII letters, digits or underscores"
                                << QStringList{};
    QTest::newRow("negative") << "SN=-1" << "counter SN=-1: START must be a decimal number, not '-1'" << QStringList{};
    QTest::newRow("hexadecimal") << "SN=0x10" << "counter SN=0x10: START must be a decimal number, not '0x10'"
                                 << QStringList{};
    QTest::newRow("empty start") << "SN=:2" << "counter SN=:2: START must be a decimal number, not ''" << QStringList{};
    QTest::newRow("step zero") << "SN=1:0" << "counter SN=1:0: STEP must be at least 1" << QStringList{};
    QTest::newRow("step signed") << "SN=1:+2" << "counter SN=1:+2: STEP must be a decimal number, not '+2'"
                                 << QStringList{};
    QTest::newRow("19 digits") << "SN=1234567890123456789" << "counter SN=1234567890123456789: START has more than 18 digits"
                               << QStringList{};
}

void ValueInputsTest::counter()
{
    QFETCH(QString, option);
    QFETCH(QString, error);
    QFETCH(QStringList, values);

    CounterOption counter;
    QString reason;
    QCOMPARE(counter.parse(option, reason), error.isEmpty());
    QCOMPARE(reason, error);
    if (!error.isEmpty())
        return;
    QStringList made;
    QString text;
    for (quint64 value = counter.start(); CounterOption::format(value, counter.width(), text) && made.size() < 4;
         value += counter.step())
        made << text;
    QCOMPARE(made, values);
}

QTEST_APPLESS_MAIN(ValueInputsTest)
#include "tst_valueinputs.moc"
