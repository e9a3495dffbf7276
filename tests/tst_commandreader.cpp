#include "device/commandreader.h"

#include <QTemporaryDir>
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
    void withoutMarkTheSystemEncoding_data();
    void withoutMarkTheSystemEncoding();

private:
    QString writeFile(const QByteArray &contents);

    QTemporaryDir folder;
};

QString CommandReaderTest::writeFile(const QByteArray &contents)
{
    const QString path = folder.filePath(QStringLiteral("%1.conf").arg(QTest::currentDataTag()));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return QString();
    return path;
}

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

    const QString text = QStringLiteral("\ufeffZEL#NAME=Gr\u00fc\u00dfe\r\nZEL#B\r\n");
    // each code unit of `text`, `size` bytes wide, in the given byte order
    const auto encode = [&text](int size, bool bigEndian) {
        QByteArray bytes;
        for (QChar c : text) {
            for (int i = 0; i < size; ++i) {
                const int shift = 8 * (bigEndian ? size - 1 - i : i);
                bytes += char(shift < 16 ? (c.unicode() >> shift) & 0xFF : 0);
            }
        }
        return bytes;
    };
    QTest::newRow("UTF-8") << text.toUtf8();
    QTest::newRow("UTF-16 little endian") << encode(2, false);
    QTest::newRow("UTF-16 big endian") << encode(2, true);
    QTest::newRow("UTF-32 little endian") << encode(4, false);
    QTest::newRow("UTF-32 big endian") << encode(4, true);
}

void CommandReaderTest::byteOrderMarkSwitchesEncoding()
{
    QFETCH(QByteArray, file);

    QTextStream in(file);
    const QStringList expected{QStringLiteral("ZEL#NAME=Gr\u00fc\u00dfe\r"), "ZEL#B\r"};
    QCOMPARE(readCommands(in), expected);
    QCOMPARE(readCommandFile(writeFile(file)), expected);
}

void CommandReaderTest::withoutMarkTheSystemEncoding_data()
{
    QTest::addColumn<QByteArray>("command");

    // bytes that decode differently as Latin-1, UTF-8 or a Windows code page
    QTest::newRow("Latin-1 bytes") << QByteArray("ZEL#NAME=Gr\xFC\xDF" "e");
    QTest::newRow("UTF-8 bytes") << QByteArray("ZEL#NAME=Gr\xC3\xBC\xC3\x9F" "e");
}

// Qt 5's rule, kept under Qt 6 too: a file without a byte-order mark is read
// in the system's 8-bit encoding.
void CommandReaderTest::withoutMarkTheSystemEncoding()
{
    QFETCH(QByteArray, command);

    const QStringList expected{QString::fromLocal8Bit(command) + QLatin1Char('\r')};
    QCOMPARE(readCommandFile(writeFile(command + "\r\n")), expected);
}

QTEST_APPLESS_MAIN(CommandReaderTest)
#include "tst_commandreader.moc"
