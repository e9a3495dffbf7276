#ifndef REPLYLATENCY_H
#define REPLYLATENCY_H

#include <QString>

// The median time, over `rounds` exchanges, from writing a command to the
// terminal at `ttyPath` until the first reply byte can be read. Measured with
// plain system calls, without the link and its waits. Negative on failure.
double replyLatencySeconds(const QString &ttyPath, int rounds);

#endif // REPLYLATENCY_H
