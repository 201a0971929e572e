// Reading a data file of 1,000,000 labels: labels per second, and the memory a
// label costs beyond its text.
//
//   build/bench/diroze/bench_loadfile

#include "BenchSupport.h"
#include "DataFile.h"
#include "ParamParser.h"

#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <malloc.h>
#include <random>
#include <string>

using namespace diroze;

namespace {

constexpr int kLines = 1'000'000;

std::string Ean13(std::mt19937& aRandom)
{
    std::string digits = "859";
    for (int i = 0; i < 9; ++i)
        digits += static_cast<char>('0' + aRandom() % 10);
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += (digits[i] - '0') * (i % 2 ? 3 : 1);
    return digits + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// A realistic mix in code page 852: barcode labels with two lines, headings,
// text-only labels and lines with style prefixes (read under "fontBold").
const std::string& DataFile()
{
    static const std::string data = [] {
        std::mt19937 random(1250);
        const std::string names[] = {"\x8Aroubek M6 \x9E 20", "Matice M8 pozinkovan\xA0", "Podlo\xA7ka 6,4 mm",
                                     "Hmo\xA7\x84inka 8 \x9E 40", "Vrut do d\xD8\x65va 4 \x9E 30"};
        std::string out;
        out.reserve(static_cast<size_t>(kLines) * 48);
        for (int i = 0; i < kLines; ++i) {
            const unsigned kind = random() % 20;
            const std::string& name = names[random() % 5];
            if (kind < 12)
                out += Ean13(random) + ";" + name + ";balen\xA1 " + std::to_string(random() % 500) + " ks\r\n";
            else if (kind < 14)
                out += "@" + std::string(1, "123"[random() % 3]) + "Odd\xA1l " + std::to_string(i) + "\r\n";
            else if (kind < 17)
                out += ";" + name + ";cena " + std::to_string(random() % 1000) + ",00 K\x9F\r\n";
            else
                out += Ean13(random) + ";@bc12" + name + ";@i10balen\xA1 50 ks\r\n";
        }
        return out;
    }();
    return data;
}

const TStitekOptions kOptions{soBarCode, soOverrideStyle};

size_t TextBytes(const TStitekList& aLabels)
{
    size_t chars = 0;
    for (const auto& label : aLabels) {
        chars += static_cast<size_t>(label->EAN().size());
        for (int i = 0; i < kLineCount; ++i)
            chars += static_cast<size_t>(label->Radek(i).size());
    }
    return chars * sizeof(char16_t);
}

// Times aLoad filling a fresh list; freeing the labels is not timed.
template <typename TLoad>
void TimeLoads(benchmark::State& state, const TLoad& aLoad)
{
    for (auto _ : state) {
        TStitekList labels;
        aLoad(labels);
        benchmark::DoNotOptimize(labels.data());
        state.PauseTiming();
        labels.clear();
        state.ResumeTiming();
    }
    state.counters["labels/s"] =
        benchmark::Counter(double(kLines) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_LoadLabels(benchmark::State& state)
{
    const std::string& data = DataFile();
    TimeLoads(state, [&](TStitekList& aLabels) { LoadLabels(aLabels, data, 852, kOptions); });
}
BENCHMARK(BM_LoadLabels)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_LoadFileFromDisk(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stitky.txt"));
    std::ofstream(path.toStdString(), std::ios::binary) << DataFile();
    const hostutils::TParamParser params(QStringLiteral("diroze x -fontBold"));
    TimeLoads(state, [&](TStitekList& aLabels) { LoadFile(aLabels, path, kOptions, params); });
}
BENCHMARK(BM_LoadFileFromDisk)->Unit(benchmark::kMillisecond)->MinTime(3);

// Memory, measured once: the heap a label keeps after loading beyond its text
// (UTF-16), and the growth of the peak resident size per label.
void BM_MemoryPerLabel(benchmark::State& state)
{
    const std::string& data = DataFile();
    malloc_trim(0);
    for (auto _ : state) {
        const size_t heapBefore = mallinfo2().uordblks;
        const long peakBefore = bench::PeakRssKiB();
        TStitekList labels;
        LoadLabels(labels, data, 852, kOptions);
        const size_t heapAfter = mallinfo2().uordblks;
        const long peakAfter = bench::PeakRssKiB();
        const double n = double(labels.size());
        const double text = double(TextBytes(labels));
        state.counters["heap_B/label"] = double(heapAfter - heapBefore) / n;
        state.counters["text_B/label"] = text / n;
        state.counters["beyond_text_B/label"] = (double(heapAfter - heapBefore) - text) / n;
        state.counters["peak_rss_growth_B/label"] = double(peakAfter - peakBefore) * 1024.0 / n;
    }
}
BENCHMARK(BM_MemoryPerLabel)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
