#ifndef SENTENCE_H
#define SENTENCE_H

#include <QString>

// `text` begun with a capital, as a sentence shown on its own: the engine's
// messages are written to follow "morlank-cli: ".
QString sentence(QString text);

#endif // SENTENCE_H
