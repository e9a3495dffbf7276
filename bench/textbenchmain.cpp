// Google Benchmark runner for the text work of the device library: reading
// configuration files and parsing query answers.
#include "conffiles.h"
#include "parsebenchmarks.h"
#include "readbenchmarks.h"

#include <benchmark/benchmark.h>

#include <cstdio>

#include <malloc.h>

int main(int argc, char **argv)
{
    // Freed memory stays with the process, so every reading after the first
    // measures the code rather than how fast the machine hands out fresh
    // pages, and no reading depends on which one ran before it. The first
    // reading in a fresh process is measured apart, by the driver.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const ConfFiles files(1000000);
    if (!files.isValid()) {
        std::fprintf(stderr, "cannot write the configuration files\n");
        return 1;
    }
    registerReadBenchmarks(files);
    registerParseBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
