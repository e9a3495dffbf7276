#ifndef CLICOMMANDLINE_H
#define CLICOMMANDLINE_H

#include "cli/request.h"

#include <QStringList>

struct CliCommand;

// The command line of morlank-cli: any command of CliCommand::all(). Prints
// help, the version and every error itself; an error is a usage error (exit
// status 2).
class CliCommandLine
{
public:
    // False when the program should end now with `exitStatus`.
    bool parse(const QStringList &arguments, Request &request, int &exitStatus);

private:
    bool parseCommand(const CliCommand &command, const QStringList &arguments, Request &request);
    bool showHelp(const QString &command);
    bool failGroup(const QString &group);
    bool fail(const QString &message, const QString &command = QString());

    int status = 0;
};

#endif // CLICOMMANDLINE_H
