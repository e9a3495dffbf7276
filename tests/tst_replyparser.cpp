#include "device/replyparser.h"

#include <QtTest>

class ReplyParserTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void headerWithoutThePlusNeverLoops();
};

void ReplyParserTest::parse_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<bool>("result");

    // line ends
    QTest::newRow("LF CR, the usual answer")
        << "+TIME=\"12:34:56\"\n\rOK\n\r" << QStringList{"\"12:34:56\""} << true;
    QTest::newRow("CR LF loses the last character")
        << "+TIME=\"12:34:56\"\r\nOK\r\n" << QStringList{"\"12:34:56"} << true;
    QTest::newRow("unterminated value line")
        << "+TIME=a,bOK" << QStringList{"a"} << false;
    // fields
    QTest::newRow("comma separated") << "+TIME=1,22,333\n\rOK\n\r"
                                     << QStringList{"1", "22", "333"} << true;
    QTest::newRow("empty value") << "+TIME=\n\rOK\n\r" << QStringList{""} << true;
    QTest::newRow("trailing comma") << "+TIME=a,\n\rOK\n\r" << QStringList{"a", ""} << true;
    QTest::newRow("several value lines")
        << "+TIME=a,b\n\r+DATE=c\n\rOK\n\r" << QStringList{"a", "b", "c"} << true;
    // what comes before the first plus
    QTest::newRow("echo before the plus")
        << "ZEL#TIME=?\r\n+TIME=\"01:02:03\"\n\rOK\n\r" << QStringList{"\"01:02:03\""} << true;
    QTest::newRow("OK without plus") << "OK\n\r" << QStringList{} << false;
    QTest::newRow("header longer than the reply") << "+TI" << QStringList{} << false;
    // a carriage return right after the header
    QTest::newRow("empty last value without line end")
        << "+TIME=\r\nOK\r\n" << QStringList{""} << true;
    QTest::newRow("comma taken as the line end")
        << "+TIME=a,\rOK" << QStringList{"a"} << true;
}

void ReplyParserTest::parse()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, values);
    QFETCH(bool, result);

    QStringList parsed;
    QCOMPARE(parseQueryReply(reply, 6, parsed), result);
    QCOMPARE(parsed, values);
}

void ReplyParserTest::headerWithoutThePlusNeverLoops()
{
    QStringList parsed;
    QVERIFY(!parseQueryReply(QStringLiteral("+TIME=1\n\rOK"), 0, parsed));
    QVERIFY(!parseQueryReply(QStringLiteral("+TIME=1\n\rOK"), -3, parsed));
    QVERIFY(parsed.isEmpty());
}

QTEST_APPLESS_MAIN(ReplyParserTest)
#include "tst_replyparser.moc"
