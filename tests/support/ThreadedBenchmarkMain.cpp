// The main of benchmark programs that measure locks and look-ups meant for programs with several
// threads. glibc takes shortcuts without atomic instructions in some of its locks (std::mutex among
// them) while a process has only ever had one thread, so one short-lived thread first puts the
// comparators on the path that a real program takes.
#include <benchmark/benchmark.h>

#include <thread>

int main(int argc, char** argv) {
    std::thread([] {}).join();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
