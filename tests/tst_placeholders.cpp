#include "device/commandreader.h"
#include "values/assignment.h"
#include "values/commandtemplate.h"

#include <QtTest>

// The placeholder rule and filling, on configurations read by the program's
// own reader.
class PlaceholdersTest : public QObject
{
    Q_OBJECT

private slots:
    void fill_data();
    void fill();
    void refusedValue_data();
    void refusedValue();
    void missingValuesNamed();

private:
    static CommandTemplate templateOf(const QByteArray &file);
    static Assignment valuesOnRow4();
};

CommandTemplate PlaceholdersTest::templateOf(const QByteArray &file)
{
    QTextStream in(file);
    QVector<int> lines;
    const QStringList commands = readCommands(in, lines);
    return CommandTemplate(commands, lines);
}

Assignment PlaceholdersTest::valuesOnRow4()
{
    Assignment values;
    values.setRow(4, 5, {"ID", "id", "A", "B", "usb_serial"}, {"A17", "low", "1", "22", "FT1"});
    values.addCounter("SERIAL", "000042");
    return values;
}

void PlaceholdersTest::fill_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("found"); // NAME:first line
    QTest::addColumn<QStringList>("filled");

    // none: the commands as they are
    QTest::newRow("none") << QByteArray("x\nZEL#A=1\nZEL#B=2\n") << QStringList{}
                          << QStringList{"ZEL#A=1\r", "ZEL#B=2\r"};
    // several, repeated, case, adjacent, at the end of the line
    QTest::newRow("several") << QByteArray("# {{ID}} not a command\nZEL#ID={{ID}}\n\nZEL#SN={{SERIAL}}\n")
                             << QStringList{"ID:2", "SERIAL:4"}
                             << QStringList{"ZEL#ID=A17\r", "ZEL#SN=000042\r"};
    QTest::newRow("repeated, first line kept")
        << QByteArray("ZEL#X=1\r\nZEL#{{B}}={{A}}{{B}}\r\nZEL#ID={{ID}},{{A}}\r\n")
        << QStringList{"B:2", "A:2", "ID:3"} << QStringList{"ZEL#X=1\r", "ZEL#22=122\r", "ZEL#ID=A17,1\r"};
    QTest::newRow("case matters") << QByteArray("ZEL#{{ID}}{{id}}\n") << QStringList{"ID:1", "id:1"}
                                  << QStringList{"ZEL#A17low\r"};
    QTest::newRow("inner CR splits lines")
        << QByteArray("ZEL#{{A}}\rZEL#{{B}}\n") << QStringList{"A:1", "B:2"} << QStringList{"ZEL#1\r", "ZEL#22\r"};
    // not placeholders: sent as they stand
    QTest::newRow("empty name") << QByteArray("ZEL#{{}}\n") << QStringList{} << QStringList{"ZEL#{{}}\r"};
    QTest::newRow("name with a dash") << QByteArray("ZEL#{{A-B}}\n") << QStringList{} << QStringList{"ZEL#{{A-B}}\r"};
    QTest::newRow("name with a space") << QByteArray("ZEL#{{ID }}\n") << QStringList{} << QStringList{"ZEL#{{ID }}\r"};
    QTest::newRow("never closed") << QByteArray("ZEL#{{ID\nZEL#ID}}\n") << QStringList{}
                                  << QStringList{"ZEL#{{ID\r", "ZEL#ID}}\r"};
    QTest::newRow("half closed") << QByteArray("ZEL#{{ID}\n") << QStringList{} << QStringList{"ZEL#{{ID}\r"};
    QTest::newRow("space between braces") << QByteArray("ZEL#{ {ID}}\n") << QStringList{} << QStringList{"ZEL#{ {ID}}\r"};
    QTest::newRow("non-ASCII letter") << QByteArray("ZEL#{{\xC3\xA9}}\n") << QStringList{}
                                      << QStringList{QString::fromLocal8Bit("ZEL#{{\xC3\xA9}}\r")};
    // a placeholder inside more braces
    QTest::newRow("three braces") << QByteArray("ZEL#{{{ID}}}\n") << QStringList{"ID:1"}
                                  << QStringList{"ZEL#{A17}\r"};
    QTest::newRow("opening twice") << QByteArray("ZEL#{{A{{B}}\n") << QStringList{"B:1"}
                                   << QStringList{"ZEL#{{A22\r"};
}

void PlaceholdersTest::fill()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, found);
    QFETCH(QStringList, filled);

    const CommandTemplate commands = templateOf(file);
    QStringList names;
    for (const auto &placeholder : commands.placeholders())
        names << QStringLiteral("%1:%2").arg(placeholder.name).arg(placeholder.line);
    QCOMPARE(names, found);
    QCOMPARE(commands.hasPlaceholders(), !found.isEmpty());
    QStringList result{"stale"};
    QString error;
    QVERIFY2(commands.fill(valuesOnRow4(), result, error), qPrintable(error));
    QCOMPARE(result, filled);
}

void PlaceholdersTest::refusedValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("error"); // empty: the value is sent

    const QString start = QStringLiteral("the value of ID on row 4 (line 5) ");
    QTest::newRow("carriage return") << QStringLiteral("A\r17") << start + "holds a carriage return";
    QTest::newRow("line feed") << QStringLiteral("A17\n") << start + "holds a line feed";
    QTest::newRow("NUL") << QString(QChar(0)) << start + "holds a NUL character";
    QTest::newRow("outside Latin-1") << QStringLiteral("A\u03A917")
                                     << start + QStringLiteral("holds \u03A9 (U+03A9), outside Latin-1, which the line cannot carry");
    QTest::newRow("outside the BMP") << QStringLiteral("\U0001F600")
                                     << start + QStringLiteral("holds \U0001F600 (U+1F600), outside Latin-1, which the line cannot carry");
    // what the line carries
    QTest::newRow("Latin-1") << QStringLiteral("\u00E9\u00FF \t") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void PlaceholdersTest::refusedValue()
{
    QFETCH(QString, value);
    QFETCH(QString, error);

    const CommandTemplate commands = templateOf("ZEL#A\nZEL#ID={{ID}};{{SERIAL}}\n");
    Assignment values;
    values.setRow(4, 5, {"ID"}, {value});
    values.addCounter("SERIAL", "7");
    QStringList filled;
    QString reason;
    QCOMPARE(commands.fill(values, filled, reason), error.isEmpty());
    QCOMPARE(reason, error);
    if (error.isEmpty())
        QCOMPARE(filled, QStringList({"ZEL#A\r", "ZEL#ID=" + value + ";7\r"}));
}

void PlaceholdersTest::missingValuesNamed()
{
    const CommandTemplate commands = templateOf("x\nZEL#1\nZEL#{{ID}}\nZEL#{{A}}\n\nZEL#{{ID}}\nZEL#{{SERIAL}}\n");
    QCOMPARE(CommandTemplate::describe(commands.withoutValue({"A", "OTHER"})),
             QStringLiteral("ID (line 3), SERIAL (line 7)"));
    QVERIFY(commands.withoutValue({"A", "ID", "SERIAL"}).isEmpty());
    Assignment partial;
    partial.setRow(1, 2, {"ID", "A"}, {"1", "2"});
    QStringList filled;
    QString error;
    QVERIFY(!commands.fill(partial, filled, error));
    QCOMPARE(error, QStringLiteral("no value for SERIAL (line 7)"));
}

QTEST_APPLESS_MAIN(PlaceholdersTest)
#include "tst_placeholders.moc"
