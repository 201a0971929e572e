#pragma once
// What the label printer's benchmarks share: the default sheet layout, the
// peak resident size, and a main for benchmarks that paint.

#include "Papir.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace diroze::bench {

// A4 portrait, 4 x 10 labels, margins 10 mm, gaps and padding 2 mm, Arial 10 pt.
inline TPapir DefaultPapir()
{
    TPapir p;
    p.Format = pA4;
    p.Velikost = {21000, 29700};
    p.Pocet = {4, 10};
    p.Okraj = {1000, 1000};
    p.Mezery = {200, 200};
    p.Vycpavka = {200, 200};
    p.Zacatek = {1, 1};
    p.Pismo.Nazev = QStringLiteral("Arial");
    p.Pismo.Velikost = 10;
    p.Pismo.Zarovnani = ztLeft;
    return p;
}

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
