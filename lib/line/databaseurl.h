#ifndef DATABASEURL_H
#define DATABASEURL_H

#include <QString>

namespace DatabaseUrl {
// `url` as it may be shown or kept: any password in it masked, in both URL
// forms libpq takes (postgresql:// and postgres://) and in key=value words.
QString masked(const QString &url);
// A warning for a password written in `url` itself (any form libpq takes),
// empty when it holds none: a command line can be read by every user of
// the computer from its process list.
QString passwordWarning(const QString &url);
} // namespace DatabaseUrl

#endif // DATABASEURL_H
