#include "commandreader.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {
// The value of `key` in a desktop entry's main group.
QString desktopEntryValue(const QString &fileName, const QString &key)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    const QString prefix = key + QLatin1Char('=');
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return {};
}
} // namespace

// What `cmake --install` puts into a fresh prefix.
class InstallTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void executables_data();
    void executables();
    void icons_data();
    void icons();
    void desktopEntry();
    void desktopEntryIsValid();
    void sampleConfiguration();

private:
    QString installed(const QString &relativePath) const { return prefix.filePath(relativePath); }

    QTemporaryDir prefix;
};

void InstallTest::initTestCase()
{
    QVERIFY(prefix.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(MORLANK_CMAKE),
                  {"--install", QStringLiteral(MORLANK_BUILD_DIR), "--prefix", prefix.path()});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
             install.readAll().constData());
}

void InstallTest::executables_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("program") << "bin/Morlank";
    QTest::newRow("command line") << "bin/morlank-cli";
    QTest::newRow("simulated device") << "bin/morlank-devsim";
    QTest::newRow("demo") << "bin/morlank-demo";
}

void InstallTest::executables()
{
    QFETCH(QString, path);

    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile(), qPrintable(path));
    QVERIFY(info.isExecutable());
}

void InstallTest::icons_data()
{
    QTest::addColumn<int>("size");

    for (int size : {16, 32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void InstallTest::icons()
{
    QFETCH(int, size);

    const QString path = QStringLiteral("share/icons/hicolor/%1x%1/apps/morlank.png").arg(size);
    QImage image;
    QVERIFY2(image.load(installed(path), "PNG"), qPrintable(path));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
}

void InstallTest::desktopEntry()
{
    const QString entry = installed("share/applications/morlank.desktop");
    QVERIFY(QFileInfo::exists(entry));
    QVERIFY(QFileInfo(installed("bin/" + desktopEntryValue(entry, "Exec"))).isExecutable());
    const QString icon = desktopEntryValue(entry, "Icon");
    QVERIFY(!icon.isEmpty());
    QVERIFY(QFileInfo::exists(installed("share/icons/hicolor/48x48/apps/" + icon + ".png")));
}

void InstallTest::desktopEntryIsValid()
{
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed");
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {installed("share/applications/morlank.desktop")});
    QVERIFY(validate.waitForFinished());
    const QByteArray report = validate.readAll();
    QVERIFY2(validate.exitCode() == 0 && report.isEmpty(), report.constData());
}

void InstallTest::sampleConfiguration()
{
    QCOMPARE(readCommandFile(installed("share/morlank/sample.conf")).size(), 12);
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
