#include "device/commandreader.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {
// The value of `key` in a desktop entry's main group, a systemd unit or
// its environment file: the first line that sets it.
QString keyValue(const QString &fileName, const QString &key)
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

const QString unitDir = QStringLiteral("lib/systemd/system/");

const QStringList programs{"Morlank", "morlank-cli", "morlank-devsim", "morlank-demo", "morlank-station"};

QString manPagePath(const QString &program)
{
    return QStringLiteral("share/man/man1/%1.1.gz").arg(program);
}

// The standard output of a program that must succeed; empty when it fails.
QByteArray outputOf(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// What a checking program said of its input, its output and errors as one,
// and how it ended: `exitCode` is -1 when it crashed or outran `waitMs`.
struct Checked
{
    int exitCode = -1;
    QByteArray report;
};

Checked runChecker(const QString &program, const QStringList &arguments, int waitMs = 30000,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Checked checked;
    if (process.waitForFinished(waitMs) && process.exitStatus() == QProcess::NormalExit)
        checked.exitCode = process.exitCode();
    checked.report = process.readAll();
    return checked;
}

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

// The long options of a help text's "Options:" paragraph.
QStringList helpOptions(const QString &help)
{
    return matches(helpParagraph(help, "Options:"), R"(^  (?:-\w, )?(--[a-z-]+))");
}

// The options that have no entry among the tags of a manual page's options.
QStringList undocumented(const QStringList &options, const QStringList &tags)
{
    QStringList missing;
    for (const QString &option : options) {
        const QRegularExpression tag(QStringLiteral("(^|, )%1( |$)").arg(option));
        if (tags.filter(tag).isEmpty())
            missing << option;
    }
    return missing;
}
} // namespace

// What `cmake --install` puts into a fresh prefix, and the Debian package.
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
    void compressedReproducibly_data();
    void compressedReproducibly();
    void manPages_data();
    void manPages();
    void manPageCommands_data();
    void manPageCommands();
    void manPageExitStatuses();
    void devsimManPageOptions();
    void stationManPageOptions();
    void changelogNamesThisVersion();
    void systemdUnits_data();
    void systemdUnits();
    void debianPackagePassesLintian();

private:
    QString installed(const QString &relativePath) const { return prefix.filePath(relativePath); }
    QString programHelp(const QString &program, const QStringList &arguments) const;
    QString cliHelp(const QStringList &arguments) const { return programHelp("morlank-cli", arguments); }
    QString uncompressed(const QString &relativePath) const;
    QString manPage(const QString &program) const { return uncompressed(manPagePath(program)); }

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
    const QString program = keyValue(entry, "Exec").section(QLatin1Char(' '), 0, 0);
    QVERIFY(QFileInfo(installed("bin/" + program)).isExecutable());
    const QString icon = keyValue(entry, "Icon");
    QVERIFY(!icon.isEmpty());
    QVERIFY(QFileInfo::exists(installed("share/icons/hicolor/48x48/apps/" + icon + ".png")));
}

void InstallTest::desktopEntryIsValid()
{
    QFETCH(QString, entry);

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed");
    const Checked checked = runChecker(validator, {installed(entry)});
    QVERIFY2(checked.exitCode == 0 && checked.report.isEmpty(), checked.report.constData());
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
    const Checked checked = runChecker(validator, {"validate", "--no-net", entry});
    // Information alone is allowed: with the reserved default domain the id's
    // first label is not a top-level domain appstream knows.
    QVERIFY2(checked.exitCode == 0 && !QRegularExpression("^[EW]: ", QRegularExpression::MultilineOption)
                                           .match(QString::fromUtf8(checked.report))
                                           .hasMatch(),
             checked.report.constData());
}

void InstallTest::sampleConfiguration()
{
    QCOMPARE(readCommandFile(installed("share/morlank/sample.conf")).size(), 12);
}

// What an installed program says of itself.
QString InstallTest::programHelp(const QString &program, const QStringList &arguments) const
{
    return QString::fromLocal8Bit(outputOf(installed("bin/" + program), arguments));
}

QString InstallTest::uncompressed(const QString &relativePath) const
{
    return QString::fromUtf8(outputOf("gzip", {"-dc", installed(relativePath)}));
}

void InstallTest::compressedReproducibly_data()
{
    QTest::addColumn<QString>("path");

    for (const QString &program : programs)
        QTest::newRow(qPrintable(program)) << manPagePath(program);
    QTest::newRow("changelog") << "share/doc/morlank/changelog.gz";
}

// gzip -9n: the header holds no file name and no time, so every build makes
// the same bytes, and says the data was packed at maximum compression.
void InstallTest::compressedReproducibly()
{
    QFETCH(QString, path);

    QFile file(installed(path));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray header = file.read(10);
    QCOMPARE(header.left(3), QByteArray("\x1f\x8b\x08"));
    const char nameFlag = 0x08;
    QCOMPARE(header.at(3) & nameFlag, 0);
    QCOMPARE(header.mid(4, 4), QByteArray(4, '\0'));
    const char maximumCompression = 2;
    QCOMPARE(header.at(8), maximumCompression);
}

void InstallTest::manPages_data()
{
    QTest::addColumn<QString>("program");

    for (const QString &program : programs)
        QTest::newRow(qPrintable(program)) << program;
}

// Each program's page is its own and renders without a warning.
void InstallTest::manPages()
{
    QFETCH(QString, program);

    const QString page = manPage(program);
    const QStringList name = textLines(manSection(page, "NAME"));
    QVERIFY2(!name.isEmpty(), qPrintable(manPagePath(program)));
    QVERIFY2(name.first().startsWith(program + " - "), qPrintable(name.first()));

    const QString groff = QStandardPaths::findExecutable("groff");
    if (groff.isEmpty())
        QSKIP("groff is not installed");
    QProcess render;
    render.setProcessChannelMode(QProcess::MergedChannels);
    render.start(groff, {"-man", "-Tutf8", "-ww", "-z"});
    render.write(page.toUtf8());
    render.closeWriteChannel();
    QVERIFY(render.waitForFinished());
    const QByteArray warnings = render.readAll();
    QVERIFY2(render.exitCode() == 0 && warnings.isEmpty(), warnings.constData());
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

    const QString page = manPage("morlank-cli");
    const QStringList synopsis = textLines(manSection(page, "SYNOPSIS"));
    const QStringList options = entryTags(manSection(page, "OPTIONS"));
    QVERIFY2(!synopsis.isEmpty() && !options.isEmpty(), "morlank-cli");
    if (command == QLatin1String("help")) {
        // help takes the name of a command, not options.
        QVERIFY(!synopsis.filter(QRegularExpression("^morlank-cli help ")).isEmpty());
        return;
    }
    const QString help = cliHelp({"help", command});
    const QStringList usage = matches(help.split('\n').mid(0, 1), "^Usage: (morlank-cli .+)$");
    QCOMPARE(usage.size(), 1);
    QVERIFY2(synopsis.contains(usage.first()), qPrintable(usage.first()));
    const QStringList told = helpOptions(help);
    QVERIFY(told.contains("--help"));
    QCOMPARE(undocumented(told, options), QStringList());
}

// The same exit statuses as the overview gives, each with its entry.
void InstallTest::manPageExitStatuses()
{
    QStringList told = matches(helpParagraph(cliHelp({"--help"}), "Exit status:"), R"(\b(\d+)\b)");
    QStringList documented = entryTags(manSection(manPage("morlank-cli"), "EXIT STATUS"));
    told.sort();
    documented.sort();
    QVERIFY(told.contains("143"));
    QCOMPARE(documented, told);
}

// Every option the station window's help gives has its entry.
void InstallTest::stationManPageOptions()
{
    const QStringList helpOptions = matches(helpParagraph(programHelp("morlank-station", {"--help"}), "Options:"),
                                            R"(^  (?:-\w, )?(--[a-z-]+))");
    QVERIFY(helpOptions.contains("--locked"));
    const QStringList options = entryTags(manSection(manPage("morlank-station"), "OPTIONS"));
    for (const QString &option : helpOptions) {
        const QRegularExpression tag(QStringLiteral("(^|, )%1( |$)").arg(option));
        QVERIFY2(!options.filter(tag).isEmpty(), qPrintable(option));
    }
}

void InstallTest::devsimManPageOptions()
{
    const QStringList told = helpOptions(programHelp("morlank-devsim", {"--help"}));
    QVERIFY(told.contains("--line-end"));
    const QStringList options = entryTags(manSection(manPage("morlank-devsim"), "OPTIONS"));
    QCOMPARE(undocumented(told, options), QStringList());
}

// The newest entry of the changelog is this version's.
void InstallTest::changelogNamesThisVersion()
{
    const QString changelog = uncompressed("share/doc/morlank/changelog.gz");
    QCOMPARE(matches(changelog.split('\n').mid(0, 1), R"(^morlank \(([^)]+)\) )"),
             QStringList{MORLANK_VERSION});
}

void InstallTest::systemdUnits_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("example");

    QTest::newRow("line's page") << "morlank-serve.service" << "serve" << "serve.conf";
    QTest::newRow("station") << "morlank-watch@.service" << "watch" << "watch-line7.conf";
}

// A unit runs the installed morlank-cli's command with options that command
// takes, from variables its example file sets, and names its manual page;
// systemd's own check finds no fault in its keys, its program or that page.
void InstallTest::systemdUnits()
{
    QFETCH(QString, unit);
    QFETCH(QString, command);
    QFETCH(QString, example);

    const QString file = installed(unitDir + unit);
    QVERIFY2(QFileInfo::exists(file), qPrintable(file));
    QStringList words = keyValue(file, "ExecStart").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(words.value(0), installed("bin/morlank-cli"));
    QCOMPARE(words.value(1), command);
    const QString exampleFile = installed("share/doc/morlank/examples/" + example);
    const QStringList variables = matches(words, R"(^\$\{?(\w+)\}?$)");
    QVERIFY(!variables.isEmpty());
    for (const QString &variable : variables) {
        const QString value = keyValue(exampleFile, variable);
        QVERIFY2(!value.isEmpty(), qPrintable(exampleFile + ": " + variable));
        words << value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    const QStringList told = helpOptions(cliHelp({"help", command}));
    for (const QString &word : words.filter(QRegularExpression("^--")))
        QVERIFY2(told.contains(word), qPrintable(word));
    QCOMPARE(keyValue(file, "Documentation"), QStringLiteral("man:morlank-cli(1)"));

    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    QVERIFY2(!analyze.isEmpty(), "systemd-analyze is not installed: scripts/install-deps installs it");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MANPATH", installed("share/man"));
    // An unknown key is only a warning: any word from it is a fault.
    const Checked verified = runChecker(analyze, {"verify", file}, 60000, environment);
    QVERIFY2(verified.exitCode == 0 && verified.report.isEmpty(), verified.report.constData());
}

// The Debian package as docs/building.md makes it, checked by lintian. It is made
// in a folder of its own, so no run leaves a package in the build tree.
void InstallTest::debianPackagePassesLintian()
{
    const QString lintian = QStandardPaths::findExecutable("lintian");
    QVERIFY2(!lintian.isEmpty(), "lintian is not installed: scripts/install-deps installs it");
    QTemporaryDir packageDir;
    QVERIFY(packageDir.isValid());
    QProcess cpack;
    cpack.setProcessChannelMode(QProcess::MergedChannels);
    cpack.setWorkingDirectory(QStringLiteral(MORLANK_BUILD_DIR));
    cpack.start(QStringLiteral(MORLANK_CPACK),
                {"--config", QStringLiteral(MORLANK_BUILD_DIR "/CPackConfig.cmake"), "-G", "DEB",
                 "-B", packageDir.path()});
    // Generous: cpack first checks that the whole build is up to date, which
    // takes minutes on a busy machine.
    const int packagingWaitMs = 600000;
    QVERIFY(cpack.waitForFinished(packagingWaitMs));
    QVERIFY2(cpack.exitStatus() == QProcess::NormalExit && cpack.exitCode() == 0,
             cpack.readAll().constData());
    const QStringList packages = QDir(packageDir.path()).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(packages.size(), 1);

    // The units name the program where the package puts it, not where the
    // package was staged.
    QTemporaryDir unpacked;
    QCOMPARE(QProcess::execute("dpkg-deb", {"-x", packageDir.filePath(packages.first()), unpacked.path()}), 0);
    for (const char *unit : {"morlank-serve.service", "morlank-watch@.service"}) {
        QCOMPARE(keyValue(unpacked.filePath("usr/" + unitDir + unit), "ExecStart").section(QLatin1Char(' '), 0, 0),
                 QStringLiteral("/usr/bin/morlank-cli"));
    }

    const Checked checked =
        runChecker(lintian, {"--fail-on", "error,warning", packageDir.filePath(packages.first())}, packagingWaitMs);
    QVERIFY2(checked.exitCode == 0, checked.report.constData());
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
