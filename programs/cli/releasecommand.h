#ifndef RELEASECOMMAND_H
#define RELEASECOMMAND_H

#include "cli/request.h"
#include "line/linereleases.h"

// morlank-cli release add, list, show and revoke: the configurations
// released to a line's stations.
class ReleaseCommand
{
public:
    explicit ReleaseCommand(const Request &request);

    // The exit status.
    int run();

private:
    int add(LineReleases &releases, const QByteArray &bytes);
    int list(LineReleases &releases);
    int show(LineReleases &releases);
    int revoke(LineReleases &releases);
    static QString text(const LineReleases::Release &release);

    const Request request;
};

#endif // RELEASECOMMAND_H
