#ifndef READBENCHMARKS_H
#define READBENCHMARKS_H

class ConfFiles;

// readCommands over both files. References over the CR LF file: a plain
// QTextStream::readLine loop (what reading alone costs), and the same loop
// keeping every line (what storing a million strings adds).
void registerReadBenchmarks(const ConfFiles &files);

#endif // READBENCHMARKS_H
