#ifndef PARSEBENCHMARKS_H
#define PARSEBENCHMARKS_H

// parseQueryReply on a clock answer and on answers with many fields.
void registerParseBenchmarks();

#endif // PARSEBENCHMARKS_H
