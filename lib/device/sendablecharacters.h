#ifndef SENDABLECHARACTERS_H
#define SENDABLECHARACTERS_H

#include <QStringView>

// The position of the first character of a command line that cannot reach
// the device as it is, or -1 when every one can. Latin-1 turns what it cannot
// carry into '?', and a NUL would end the write early.
qsizetype firstUnsendableIndex(QStringView line);

#endif // SENDABLECHARACTERS_H
