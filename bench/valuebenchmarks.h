#ifndef VALUEBENCHMARKS_H
#define VALUEBENCHMARKS_H

// Filling a configuration's placeholders for one unit, and reserving one
// unit's values in a state file, empty or holding 100,000 handed-out rows.
void registerValueBenchmarks();

#endif // VALUEBENCHMARKS_H
