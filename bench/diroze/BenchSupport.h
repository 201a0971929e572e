#pragma once
// What the label printer's benchmarks share: the peak resident size, and a
// main for benchmarks that paint.

#include <QApplication>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace diroze::bench {

// The peak resident size of this process in KiB (VmHWM).
inline long PeakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        long value = 0;
        if (key == "VmHWM:" && status >> value)
            return value;
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

// Runs the registered benchmarks inside a widget application on the offscreen platform.
inline int RunWithApplication(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace diroze::bench
