#include "commandreader.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
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

const QString manPagePath = QStringLiteral("share/man/man1/morlank-cli.1");
const QString stationManPagePath = QStringLiteral("share/man/man1/morlank-station.1");

// Roff source as the reader sees it: font changes dropped, escaped minus
// signs made plain.
QString roffText(QString line)
{
    static const QRegularExpression fontChange(QStringLiteral(R"(\\f[BIRP])"));
    return line.remove(fontChange).replace(QLatin1String("\\-"), QLatin1String("-"));
}

// The source lines of one section (.SH) of a manual page. (indexOf() wants
// a pattern to match the whole line.)
QStringList manSection(const QString &page, const QString &heading)
{
    const QStringList lines = page.split(QLatin1Char('\n'));
    const int start = lines.indexOf(QRegularExpression(QStringLiteral(R"(\.SH "?%1"?)").arg(heading)));
    if (start < 0)
        return {};
    const int end = lines.indexOf(QRegularExpression(QStringLiteral(R"(\.SH .*)")), start + 1);
    return lines.mid(start + 1, end < 0 ? -1 : end - start - 1);
}

// The text lines of a section, as the reader sees them.
QStringList textLines(const QStringList &section)
{
    QStringList text;
    for (const QString &line : section) {
        if (!line.startsWith(QLatin1Char('.')))
            text << roffText(line);
    }
    return text;
}

// The tags of a section's .TP entries, as the reader sees them.
QStringList entryTags(const QStringList &section)
{
    QStringList tags;
    for (int i = 0; i + 1 < section.size(); ++i) {
        if (section.at(i) == QLatin1String(".TP"))
            tags << roffText(section.at(i + 1));
    }
    return tags;
}

// The lines of a help text's paragraph that begins with `title`.
QStringList helpParagraph(const QString &help, const QString &title)
{
    const QStringList lines = help.split(QLatin1Char('\n'));
    const int start = lines.indexOf(QRegularExpression(title + QStringLiteral(".*")));
    if (start < 0)
        return {};
    const int end = lines.indexOf(QString(), start);
    return lines.mid(start, end < 0 ? -1 : end - start);
}

QStringList matches(const QStringList &lines, const QString &pattern)
{
    const QRegularExpression expression(pattern);
    QStringList found;
    for (const QString &line : lines) {
        for (auto match = expression.globalMatch(line); match.hasNext();)
            found << match.next().captured(1);
    }
    return found;
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
    void desktopEntry_data();
    void desktopEntry();
    void desktopEntryIsValid_data() { desktopEntry_data(); }
    void desktopEntryIsValid();
    void softwareCentreEntryIsValid();
    void sampleConfiguration();
    void manPageCommands_data();
    void manPageCommands();
    void manPageExitStatuses();
    void stationManPageOptions();
    void manPageRenders_data();
    void manPageRenders();

private:
    QString installed(const QString &relativePath) const { return prefix.filePath(relativePath); }
    QString cliHelp(const QStringList &arguments) const;
    QString manPage(const QString &path = manPagePath) const;

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
    QTest::newRow("station window") << "bin/morlank-station";
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

void InstallTest::desktopEntry_data()
{
    QTest::addColumn<QString>("entry");

    QTest::newRow("window") << "share/applications/morlank.desktop";
    QTest::newRow("station window") << "share/applications/morlank-station.desktop";
}

void InstallTest::desktopEntry()
{
    QFETCH(QString, entry);

    entry = installed(entry);
    QVERIFY(QFileInfo::exists(entry));
    const QString program = desktopEntryValue(entry, "Exec").section(QLatin1Char(' '), 0, 0);
    QVERIFY(QFileInfo(installed("bin/" + program)).isExecutable());
    const QString icon = desktopEntryValue(entry, "Icon");
    QVERIFY(!icon.isEmpty());
    QVERIFY(QFileInfo::exists(installed("share/icons/hicolor/48x48/apps/" + icon + ".png")));
}

void InstallTest::desktopEntryIsValid()
{
    QFETCH(QString, entry);

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed");
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {installed(entry)});
    QVERIFY(validate.waitForFinished());
    const QByteArray report = validate.readAll();
    QVERIFY2(validate.exitCode() == 0 && report.isEmpty(), report.constData());
}

// The station window's AppStream entry, for its desktop entry and its
// program, checked without the network (its screenshot is fetched by the
// software centre from where the repository is published).
void InstallTest::softwareCentreEntryIsValid()
{
    const QStringList entries = QDir(installed("share/metainfo")).entryList({"*.metainfo.xml"}, QDir::Files);
    QCOMPARE(entries.size(), 1);
    const QString entry = installed("share/metainfo/" + entries.first());
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(file.readAll());
    QVERIFY(xml.contains("<launchable type=\"desktop-id\">morlank-station.desktop</launchable>"));
    QVERIFY(QFileInfo::exists(installed("share/applications/morlank-station.desktop")));
    QVERIFY(xml.contains("<binary>morlank-station</binary>"));
    QVERIFY(!xml.contains('@'));
    const QString validator = QStandardPaths::findExecutable("appstreamcli");
    QVERIFY2(!validator.isEmpty(), "appstreamcli is not installed: scripts/install-deps installs it");
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {"validate", "--no-net", entry});
    QVERIFY(validate.waitForFinished());
    const QByteArray report = validate.readAll();
    // Information alone is allowed: with the reserved default domain the id's
    // first label is not a top-level domain appstream knows.
    QVERIFY2(validate.exitCode() == 0 && !QRegularExpression("^[EW]: ", QRegularExpression::MultilineOption)
                                                .match(QString::fromUtf8(report))
                                                .hasMatch(),
             report.constData());
}

void InstallTest::sampleConfiguration()
{
    QCOMPARE(readCommandFile(installed("share/morlank/sample.conf")).size(), 12);
}

// What the installed program says of itself.
QString InstallTest::cliHelp(const QStringList &arguments) const
{
    QProcess cli;
    cli.start(installed("bin/morlank-cli"), arguments);
    if (!cli.waitForFinished() || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(cli.readAllStandardOutput());
}

QString InstallTest::manPage(const QString &path) const
{
    QFile page(installed(path));
    return page.open(QIODevice::ReadOnly) ? QString::fromUtf8(page.readAll()) : QString();
}

// One row for each command the program's overview lists.
void InstallTest::manPageCommands_data()
{
    QTest::addColumn<QString>("command");

    const QStringList commands = matches(helpParagraph(cliHelp({"--help"}), "Commands:"),
                                         R"(^  ([a-z]+(?: [a-z]+)*))");
    QVERIFY(commands.size() >= 4);
    for (const QString &command : commands)
        QTest::newRow(qPrintable(command)) << command;
}

// The synopsis holds the command's usage as its help gives it, and every
// option of its help has an entry among the options.
void InstallTest::manPageCommands()
{
    QFETCH(QString, command);

    const QString page = manPage();
    const QStringList synopsis = textLines(manSection(page, "SYNOPSIS"));
    const QStringList options = entryTags(manSection(page, "OPTIONS"));
    QVERIFY2(!synopsis.isEmpty() && !options.isEmpty(), qPrintable(manPagePath));
    if (command == QLatin1String("help")) {
        // help takes the name of a command, not options.
        QVERIFY(!synopsis.filter(QRegularExpression("^morlank-cli help ")).isEmpty());
        return;
    }
    const QString help = cliHelp({"help", command});
    const QStringList usage = matches(help.split('\n').mid(0, 1), "^Usage: (morlank-cli .+)$");
    QCOMPARE(usage.size(), 1);
    QVERIFY2(synopsis.contains(usage.first()), qPrintable(usage.first()));
    const QStringList helpOptions = matches(helpParagraph(help, "Options:"), R"(^  (?:-\w, )?(--[a-z-]+))");
    QVERIFY(helpOptions.contains("--help"));
    for (const QString &option : helpOptions) {
        const QRegularExpression tag(QStringLiteral("(^|, )%1( |$)").arg(option));
        QVERIFY2(!options.filter(tag).isEmpty(), qPrintable(option));
    }
}

// The same exit statuses as the overview gives, each with its entry.
void InstallTest::manPageExitStatuses()
{
    QStringList told = matches(helpParagraph(cliHelp({"--help"}), "Exit status:"), R"(\b(\d+)\b)");
    QStringList documented = entryTags(manSection(manPage(), "EXIT STATUS"));
    told.sort();
    documented.sort();
    QVERIFY(told.contains("143"));
    QCOMPARE(documented, told);
}

// Every option the station window's help gives has its entry.
void InstallTest::stationManPageOptions()
{
    QProcess station;
    station.start(installed("bin/morlank-station"), {"--help"});
    QVERIFY(station.waitForFinished());
    const QString help = QString::fromLocal8Bit(station.readAllStandardOutput());
    const QStringList helpOptions = matches(helpParagraph(help, "Options:"), R"(^  (?:-\w, )?(--[a-z-]+))");
    QVERIFY(helpOptions.contains("--locked"));
    const QStringList options = entryTags(manSection(manPage(stationManPagePath), "OPTIONS"));
    for (const QString &option : helpOptions) {
        const QRegularExpression tag(QStringLiteral("(^|, )%1( |$)").arg(option));
        QVERIFY2(!options.filter(tag).isEmpty(), qPrintable(option));
    }
}

void InstallTest::manPageRenders_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("morlank-cli") << manPagePath;
    QTest::newRow("morlank-station") << stationManPagePath;
}

void InstallTest::manPageRenders()
{
    QFETCH(QString, path);

    const QString groff = QStandardPaths::findExecutable("groff");
    if (groff.isEmpty())
        QSKIP("groff is not installed");
    QProcess render;
    render.setProcessChannelMode(QProcess::MergedChannels);
    render.start(groff, {"-man", "-Tutf8", "-ww", "-z", installed(path)});
    QVERIFY(render.waitForFinished());
    const QByteArray warnings = render.readAll();
    QVERIFY2(render.exitCode() == 0 && warnings.isEmpty(), warnings.constData());
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
