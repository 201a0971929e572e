// Opening "Výběr etiket" the first time: reading every installed label
// template file into products, and building the dialog with its list. The
// list must be there in under 100 ms.
//
//   build/bench/diroze/bench_label_products

#include "products/LabelProducts.h"
#include "ui/FormEtikety.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace diroze;

namespace {

void ReadCatalogue(benchmark::State& aState)
{
    size_t products = 0;
    for (auto _ : aState) {
        const TProductCatalogue catalogue = LoadProductCatalogue();
        products = catalogue.Products.size();
        benchmark::DoNotOptimize(products);
    }
    aState.counters["products"] = double(products);
}
BENCHMARK(ReadCatalogue)->Unit(benchmark::kMillisecond);

void OpenDialog(benchmark::State& aState)
{
    for (auto _ : aState) {
        TfrmEtikety dialog(LoadProductCatalogue());
        dialog.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(dialog.lstEtikety);
    }
}
BENCHMARK(OpenDialog)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
