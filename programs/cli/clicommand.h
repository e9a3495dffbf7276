#ifndef CLICOMMAND_H
#define CLICOMMAND_H

#include "cli/request.h"

#include <vector>

class QCommandLineParser;

// One command of morlank-cli as its command line knows it: its help, its
// options and how they are read into a Request. A new command is a row of
// all(); CliCommandLine parses every row the same way.
struct CliCommand
{
    const char *name; // the commands of a group share its first word: "clock get"
    const char *summary; // its line in the overview
    const char *usage;
    const char *description;
    Request::Command command;
    int arguments; // how many positional arguments it takes; -1: `read` checks them
    const char *argumentsWanted; // the error when one argument is wanted and not given alone
    void (*addOptions)(QCommandLineParser &parser); // none when null; --help is added for it
    // False, with what is wrong in `error`; the arguments are counted already.
    bool (*read)(const QCommandLineParser &parser, Request &request, QString &error);

    // Every command, in the order of the overview.
    static const std::vector<CliCommand> &all();
};

#endif // CLICOMMAND_H
