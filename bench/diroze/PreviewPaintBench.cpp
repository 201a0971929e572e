// Painting the preview: a fitted A4 page of 40 labels with barcodes on a
// 1000 x 1400 sheet, drawn in full and repainted from the off-screen buffer.
//
//   build/bench/diroze/bench_preview_paint

#include "BenchSupport.h"
#include "Render.h"
#include "preview/PreviewView.h"

#include <QApplication>

using namespace diroze;

namespace {

struct Fixture {
    Fixture()
    {
        for (int i = 0; i < 40; ++i)
            labels.push_back(std::make_unique<TStitek>(
                QStringLiteral("8590000123455;Šroubek M6 × 20;balení %1 ks").arg(i), TStitekOptions{soBarCode, soEan}));
        const TPapir p = DefaultPapir();
        view.SetScreenPixelsPerInch(96);
        // A fitted sheet of about 1000 x 1400 pixels.
        view.resize(1000, 1420);
        view.show();
        Render(view, labels, p, true);
        QApplication::processEvents();
    }
    TStitekList labels;
    TPrintPreviewView view;
};

void BM_FullPaint(benchmark::State& state)
{
    Fixture f;
    TPaperPreview& sheet = f.view.PaperViewControl();
    for (auto _ : state) {
        sheet.InvalidatePage();
        sheet.repaint();
    }
    state.counters["sheet_w"] = sheet.width();
    state.counters["sheet_h"] = sheet.height();
}
BENCHMARK(BM_FullPaint)->Unit(benchmark::kMillisecond);

void BM_FullPaintPlain(benchmark::State& state)
{
    Fixture f;
    f.view.SetAntialiasing(false);
    TPaperPreview& sheet = f.view.PaperViewControl();
    for (auto _ : state) {
        sheet.InvalidatePage();
        sheet.repaint();
    }
}
BENCHMARK(BM_FullPaintPlain)->Unit(benchmark::kMillisecond);

void BM_BufferedRepaint(benchmark::State& state)
{
    Fixture f;
    TPaperPreview& sheet = f.view.PaperViewControl();
    sheet.repaint();
    const int before = sheet.PageDrawCount();
    for (auto _ : state)
        sheet.repaint();
    state.counters["page_draws"] = sheet.PageDrawCount() - before;
}
BENCHMARK(BM_BufferedRepaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return diroze::bench::RunWithApplication(argc, argv); }
