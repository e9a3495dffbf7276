#ifndef SERVECOMMAND_H
#define SERVECOMMAND_H

#include "cli/request.h"

// morlank-cli serve: the line's page over HTTP until Ctrl-C or SIGTERM.
class ServeCommand
{
public:
    explicit ServeCommand(const Request &request);

    // The exit status.
    int run();

private:
    bool checkDatabase(QString &error) const;

    const Request request;
};

#endif // SERVECOMMAND_H
