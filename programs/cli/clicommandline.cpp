#include "cli/clicommandline.h"

#include "cli/clicommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>

namespace {
const QString helpOption = QStringLiteral("help");

const char overviewStart[] =
    "Finds Morlank devices on the serial ports, reads and sets their clocks and\n"
    "downloads configuration files to them: on every device at the same time.\n"
    "\n"
    "Commands:\n";

const char overviewEnd[] =
    "\n"
    "Every port is probed at once with the handshake. Without --port, clock and\n"
    "download need exactly one answering device, or --all to serve every one.\n"
    "\n"
    "Exit status: 0 everything asked succeeded; 1 at least one device failed;\n"
    "2 usage or input error, nothing sent; 3 no device answered;\n"
    "130 or 143 interrupted by SIGINT or SIGTERM.";

QString overview()
{
    QString text = QString::fromLatin1(overviewStart);
    // Two spaces at least after the longest name, so that a name reads apart
    // from its summary.
    int width = 0;
    for (const CliCommand &command : CliCommand::all())
        width = std::max(width, int(qstrlen(command.name)) + 1);
    for (const CliCommand &command : CliCommand::all()) {
        text += QStringLiteral("  %1 %2\n")
                    .arg(QString::fromLatin1(command.name).leftJustified(width), QString::fromLatin1(command.summary));
    }
    text += QStringLiteral("  %1 the options of one command\n").arg(QStringLiteral("help CMD").leftJustified(width));
    return text + QString::fromLatin1(overviewEnd);
}

const CliCommand *findCommand(const QString &name)
{
    for (const CliCommand &command : CliCommand::all()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

// The command `name`, or every command in the group it names ("clock").
QVector<const CliCommand *> commandsNamed(const QString &name)
{
    QVector<const CliCommand *> found;
    for (const CliCommand &command : CliCommand::all()) {
        const QLatin1String full(command.name);
        if (name == full || full.startsWith(name + QLatin1Char(' ')))
            found << &command;
    }
    return found;
}

bool isGroup(const QString &name)
{
    return !findCommand(name) && !commandsNamed(name).isEmpty();
}

QString unknownCommand(const QString &command)
{
    QStringList names;
    for (const CliCommand &known : CliCommand::all())
        names << QString::fromLatin1(known.name);
    const QString last = names.takeLast();
    return QStringLiteral("there is no command '%1'; the commands are %2 and %3.")
        .arg(command, names.join(QStringLiteral(", ")), last);
}

void addHelpOption(QCommandLineParser &parser)
{
    parser.addOption({{QStringLiteral("h"), helpOption}, QStringLiteral("Show this help.")});
}

void configure(QCommandLineParser &parser, const CliCommand &command)
{
    addHelpOption(parser);
    if (command.addOptions)
        command.addOptions(parser);
}

void print(FILE *stream, const QString &text)
{
    QTextStream(stream) << text << Qt::flush;
}

// The parser's help with our own usage line: the parser would name the
// executable as it was typed and leave out the command.
QString helpText(const QCommandLineParser &parser, const QString &usage, const QString &description)
{
    return QStringLiteral("Usage: morlank-cli %1\n\n%2\n%3")
        .arg(usage, description, parser.helpText().section(QLatin1Char('\n'), 1));
}
} // namespace

bool CliCommandLine::parse(const QStringList &arguments, Request &request, int &exitStatus)
{
    QCommandLineParser top;
    addHelpOption(top);
    top.addVersionOption();
    top.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const bool ok = [&] {
        if (!top.parse(arguments))
            return fail(top.errorText());
        if (top.isSet(QStringLiteral("version"))) {
            print(stdout, QStringLiteral("morlank-cli %1\n").arg(QCoreApplication::applicationVersion()));
            return false;
        }
        QStringList rest = top.positionalArguments();
        if (top.isSet(helpOption) || rest == QStringList{QStringLiteral("help")}) {
            print(stdout, helpText(top, QStringLiteral("COMMAND [options]"), overview()));
            return false;
        }
        if (rest.isEmpty())
            return fail(QStringLiteral("name a command: ports, clock get, clock set, download, watch or report."));
        QString command = rest.takeFirst();
        if (command == QLatin1String("help"))
            return showHelp(rest.join(QLatin1Char(' ')));
        if (isGroup(command) && !rest.isEmpty() && !rest.first().startsWith(QLatin1Char('-')))
            command += QLatin1Char(' ') + rest.takeFirst();
        if (const CliCommand *found = findCommand(command))
            return parseCommand(*found, rest, request);
        return commandsNamed(command).isEmpty() ? fail(unknownCommand(command)) : failGroup(command);
    }();
    exitStatus = status;
    return ok;
}

// Help, unknown options and the count of arguments are alike for every
// command; the command reads the rest.
bool CliCommandLine::parseCommand(const CliCommand &command, const QStringList &arguments, Request &request)
{
    const QString name = QString::fromLatin1(command.name);
    QCommandLineParser parser;
    configure(parser, command);
    if (!parser.parse(QStringList{QStringLiteral("morlank-cli")} + arguments))
        return fail(parser.errorText(), name);
    if (parser.isSet(helpOption))
        return showHelp(name);
    const QStringList positional = parser.positionalArguments();
    if (command.arguments >= 0 && positional.size() != command.arguments) {
        return fail(command.arguments ? QString::fromLatin1(command.argumentsWanted)
                                      : QStringLiteral("unexpected argument '%1'.").arg(positional.value(0)),
                    name);
    }
    request.command = command.command;
    QString error;
    return command.read(parser, request, error) || fail(error, name);
}

// The help of one command, or of each in a group.
bool CliCommandLine::showHelp(const QString &command)
{
    const QVector<const CliCommand *> commands = commandsNamed(command);
    if (commands.isEmpty())
        return fail(unknownCommand(command));
    QStringList texts;
    for (const CliCommand *help : commands) {
        QCommandLineParser parser;
        configure(parser, *help);
        texts << helpText(parser, QString::fromLatin1(help->usage), QString::fromLatin1(help->description));
    }
    print(stdout, texts.join(QLatin1Char('\n')));
    status = 0;
    return false;
}

// A group named without one of its commands: their usages.
bool CliCommandLine::failGroup(const QString &group)
{
    QString usages;
    for (const CliCommand *help : commandsNamed(group))
        usages += QStringLiteral("\n  morlank-cli ") + QLatin1String(help->usage);
    return fail(QStringLiteral("'%1' needs one of its commands:%2").arg(group, usages), group);
}

bool CliCommandLine::fail(const QString &message, const QString &command)
{
    const QString help = command.isEmpty() ? QStringLiteral("morlank-cli --help")
                                           : QStringLiteral("morlank-cli help ") + command;
    print(stderr, QStringLiteral("morlank-cli: %1\nTry '%2'.\n").arg(message, help));
    status = 2;
    return false;
}
