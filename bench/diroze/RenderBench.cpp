// The preview render after a settings change: the first sheet of 40 labels
// (EAN-13 and two text lines each) with cell frames.
//
//   build/bench/diroze/bench_render

#include "BenchSupport.h"
#include "Render.h"

using namespace diroze;

namespace {

void BM_PreviewRender(benchmark::State& state)
{
    TStitekList labels;
    for (int i = 0; i < static_cast<int>(state.range(0)); ++i)
        labels.push_back(std::make_unique<TStitek>(QStringLiteral("8590000123455;Šroubek M6 × 20;balení %1 ks").arg(i),
                                                   TStitekOptions{soBarCode, soEan}));
    const TPapir papir = DefaultPapir();
    TPrintPreview preview;
    for (auto _ : state)
        Render(preview, labels, papir, true);
    state.counters["pages"] = preview.TotalPages();
}
BENCHMARK(BM_PreviewRender)->Arg(40)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) { return diroze::bench::RunWithApplication(argc, argv); }
