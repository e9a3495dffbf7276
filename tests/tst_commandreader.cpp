#include "commandreader.h"

#include <QtTest>

class CommandReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void extract_data();
    void extract();
    void lineEndsGiveTheSameCommands();
    void lineNumbers_data();
    void lineNumbers();
    void byteOrderMarkSwitchesEncoding_data();
    void byteOrderMarkSwitchesEncoding();
};

void CommandReaderTest::extract_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("commands");

    // what makes a command
    QTest::newRow("plain command") << QByteArray("ZEL#A=1\n") << QStringList{"ZEL#A=1\r"};
    QTest::newRow("leading spaces kept") << QByteArray("  \tZEL#A=1\n")
                                         << QStringList{"  \tZEL#A=1\r"};
    QTest::newRow("prefix anywhere") << QByteArray("set ZEL#A=1 now\n")
                                     << QStringList{"set ZEL#A=1 now\r"};
    QTest::newRow("lower case prefix") << QByteArray("zel#A=1\nZel#B\n") << QStringList{};
    QTest::newRow("blank and foreign lines")
        << QByteArray("\n# comment\nZEL#A\n\n   \nnothing\nZEL#B\n")
        << QStringList{"ZEL#A\r", "ZEL#B\r"};
    // inner carriage returns
    QTest::newRow("two commands joined by CR") << QByteArray("ZEL#A\rZEL#B\n")
                                               << QStringList{"ZEL#A\r", "ZEL#B\r"};
    QTest::newRow("empty pieces between CRs") << QByteArray("ZEL#A\r\r\rx\rZEL#B")
                                              << QStringList{"ZEL#A\r", "ZEL#B\r"};
    QTest::newRow("CR alone between lines") << QByteArray("ZEL#A\rZEL#B\rZEL#C")
                                            << QStringList{"ZEL#A\r", "ZEL#B\r", "ZEL#C\r"};
    QTest::newRow("final CR of the file") << QByteArray("ZEL#A\rZEL#B\r")
                                          << QStringList{"ZEL#A\r", "ZEL#B\r"};
    QTest::newRow("CR LF inside a CR line")
        << QByteArray("ZEL#A\rZEL#B\r\nZEL#C") << QStringList{"ZEL#A\r", "ZEL#B\r", "ZEL#C\r"};
    // the end of the file
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("no final line end") << QByteArray("ZEL#A\nZEL#B")
                                       << QStringList{"ZEL#A\r", "ZEL#B\r"};
    // pieces far longer than any read buffer, the prefix and the line end
    // falling on every side of a 64 KiB boundary
    for (int filler : {65531, 65532, 65533, 65534, 65535, 65536, 200000}) {
        const QByteArray a(filler, 'a');
        QTest::newRow(qPrintable(QStringLiteral("long piece, %1 bytes before").arg(filler)))
            << a + "ZEL#B\r\nx" + a + "\nZEL#C"
            << QStringList{QString::fromLatin1(a + "ZEL#B\r"), "ZEL#C\r"};
    }
}

void CommandReaderTest::extract()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, commands);

    QTextStream in(file);
    QCOMPARE(readCommands(in), commands);
}

void CommandReaderTest::lineEndsGiveTheSameCommands()
{
    const QByteArray lf("ZEL#A=1\n\nZEL#B=2\nignored\n  ZEL#C=3\n");
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    QTextStream lfIn(lf);
    QTextStream crlfIn(crlf);
    const QStringList expected{"ZEL#A=1\r", "ZEL#B=2\r", "  ZEL#C=3\r"};
    QCOMPARE(readCommands(lfIn), expected);
    QCOMPARE(readCommands(crlfIn), expected);
}

void CommandReaderTest::lineNumbers_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QVector<int>>("lines");

    // each kind of line end counts once
    QTest::newRow("LF") << QByteArray("x\nZEL#A\n\nZEL#B") << QVector<int>{2, 4};
    QTest::newRow("CR LF") << QByteArray("x\r\nZEL#A\r\n\r\nZEL#B\r\n") << QVector<int>{2, 4};
    QTest::newRow("CR alone") << QByteArray("x\rZEL#A\r\rZEL#B\r") << QVector<int>{2, 4};
    QTest::newRow("mixed") << QByteArray("ZEL#A\rZEL#B\r\nZEL#C\n\r\nZEL#D")
                           << QVector<int>{1, 2, 3, 5};
    QTest::newRow("LF CR is two breaks") << QByteArray("ZEL#A\n\rZEL#B") << QVector<int>{1, 3};
    // a CR LF pair split by the end of a read chunk
    const QByteArray filler(65535, 'a');
    QTest::newRow("CR LF across chunks") << filler + "\r\nZEL#A\r\nZEL#B" << QVector<int>{2, 3};
}

void CommandReaderTest::lineNumbers()
{
    QFETCH(QByteArray, file);
    QFETCH(QVector<int>, lines);

    QTextStream plain(file);
    QTextStream numbered(file);
    QVector<int> lineNumbers{99};
    // The same commands as the window reads, one number each.
    QCOMPARE(readCommands(numbered, lineNumbers), readCommands(plain));
    QCOMPARE(lineNumbers, lines);
}

void CommandReaderTest::byteOrderMarkSwitchesEncoding_data()
{
    QTest::addColumn<QByteArray>("file");

    const QString text = QStringLiteral("ZEL#NAME=Gr\u00fc\u00dfe\r\nZEL#B\r\n");
    QTest::newRow("UTF-8") << QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    QByteArray utf16("\xFF\xFE");
    for (QChar c : text)
        utf16 += char(c.unicode() & 0xFF), utf16 += char(c.unicode() >> 8);
    QTest::newRow("UTF-16 little endian") << utf16;
}

void CommandReaderTest::byteOrderMarkSwitchesEncoding()
{
    QFETCH(QByteArray, file);

    QTextStream in(file);
    const QStringList expected{QStringLiteral("ZEL#NAME=Gr\u00fc\u00dfe\r"), "ZEL#B\r"};
    QCOMPARE(readCommands(in), expected);
}

QTEST_APPLESS_MAIN(CommandReaderTest)
#include "tst_commandreader.moc"
