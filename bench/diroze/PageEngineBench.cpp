// Recording long documents: 40 labels a page (an EAN-13 symbol and two text
// lines each), pages per second, bytes per serialised page, and the peak
// resident memory of the whole process, which must stay flat as the page
// count grows. Run one size per process for clean peaks:
//
//   build/bench/diroze/bench_page_engine --benchmark_filter=/2500

#include "BenchSupport.h"
#include "barcodes/Barcodes.h"
#include "preview/PrintPreview.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <string>

using namespace diroze;

namespace {

void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// One A4 page of 4 x 10 cells as the label sheet lays them out.
void DrawPage(TCanvas& aCanvas, TEAN13BarCode& aCode, int aPage)
{
    aCanvas.Font().Size = 10;
    for (int i = 0; i < 40; ++i) {
        const int32_t left = 1000 + 4800 * (i % 4), top = 1000 + 2790 * (i / 4);
        const TRect cell{left + 200, top + 200, left + 4400, top + 2390};
        aCanvas.Brush().Style = TBrushStyle::bsClear;
        aCanvas.Font().Style = {};
        aCanvas.TextRect(TRect{cell.Left, cell.Bottom - 1200, cell.Right, cell.Bottom}, aCode.Data(),
                         tfSingleLine | tfCenter);
        aCanvas.TextRect(TRect{cell.Left, cell.Bottom - 800, cell.Right, cell.Bottom},
                         QStringLiteral("Šroubek M6 × 20, strana %1").arg(aPage), tfSingleLine | tfRight);
        aCanvas.Font().Style = {fsBold};
        aCanvas.TextRect(TRect{cell.Left, cell.Bottom - 400, cell.Right, cell.Bottom}, QStringLiteral("balení 100 ks"),
                         tfSingleLine | tfRight);
        aCode.Draw(aCanvas, TRect{cell.Left, cell.Top, cell.Right, cell.Bottom - 1200});
    }
}

void BM_RecordPages(benchmark::State& state)
{
    const int pages = static_cast<int>(state.range(0));
    TEAN13BarCode code;
    code.SetData(QStringLiteral("8590000123455"));
    long peak = 0;
    double bytesPerPage = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TPrintPreview preview;
        ResetPeakRss();
        state.ResumeTiming();
        preview.BeginDoc();
        for (int p = 1; p <= pages; ++p) {
            if (p > 1)
                preview.NewPage();
            DrawPage(*preview.Canvas(), code, p);
        }
        preview.EndDoc();
        state.PauseTiming();
        peak = std::max(peak, bench::PeakRssKiB());
        bytesPerPage = double(preview.PageList().GetEntry(pages - 1).Metafile()->Serialize().size());
        state.ResumeTiming();
    }
    state.counters["pages/s"] =
        benchmark::Counter(double(pages) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes/page"] = bytesPerPage;
    state.counters["peak_rss_MiB"] = double(peak) / 1024.0;
}
BENCHMARK(BM_RecordPages)->Arg(250)->Arg(1000)->Arg(2500)->Unit(benchmark::kMillisecond)->MinTime(2);

} // namespace

int main(int argc, char** argv) { return diroze::bench::RunWithApplication(argc, argv); }
