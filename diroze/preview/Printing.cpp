// The page engine's printing half: the paper pushed into the printer's page
// layout, the printer form search, and jobs that play recorded pages onto the
// printer at true size.

#include "PageLayout.h"
#include "PrintPreview.h"
#include "PrinterSetup.h"
#include "ScopeGuard.h"

#include <QPageLayout>
#include <QPointF>
#include <QPrinter>
#include <QRect>

#include <cmath>

namespace diroze {

namespace {

// The largest paper side a printer's device mode can hold: 3276.7 mm.
constexpr int32_t kMaxPaperLoMetric = 32767;

// Dots per inch of a job to a file.
constexpr int kFileResolution = 1200;

QString MillimetreText(int32_t aHiMetric) { return QString::number(aHiMetric / 100.0); }

[[noreturn]] void ThrowPrinter(const QString& aText) { throw EPrinter(aText.toStdString()); }

// The printer a job can go to: a file, or a printer the spooler lists.
void CheckPrinter(const QPrinter& aPrinter)
{
    if (!aPrinter.outputFileName().isEmpty())
        return;
    if (aPrinter.outputFormat() != QPrinter::NativeFormat || !PrinterListed(aPrinter.printerName()))
        ThrowPrinter(QStringLiteral("Printer selected is not valid"));
}

// Where the printer's dots start on the page, in its pixels: a driver's
// raster begins at the corner of the printable area, which lies a fraction
// of a dot off the page's own pixels when its margins are no whole dots
// (2 pt at 300 dpi is 8.33 dots). Only the fraction counts.
QPointF DotGridOrigin(const QPrinter& aPrinter)
{
    QPageLayout layout = aPrinter.pageLayout();
    layout.setUnits(QPageLayout::Point);
    const QMarginsF margins = layout.minimumMargins();
    const auto fraction = [](double aPoints, int aDpi) {
        const double dots = aPoints * aDpi / 72;
        return dots - std::floor(dots + 1e-6);
    };
    return QPointF(fraction(margins.left(), aPrinter.resolution()), fraction(margins.top(), aPrinter.resolution()));
}

} // namespace

QPrinter& TPrintPreview::Printer()
{
    if (!FPrinter) {
        FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
        // The destination the spooler's own clients would print on; Qt's
        // default printer misses the one a user's lpoptions set.
        if (const QString destination = DefaultDestination(); PrinterListed(destination))
            FPrinter->setPrinterName(destination);
    }
    return *FPrinter;
}

bool TPrintPreview::PrinterInstalled() const { return AnyPrinterListed(); }

void TPrintPreview::Print() { PrintPages(1, TotalPages()); }

void TPrintPreview::PrintPages(int aFromPage, int aToPage)
{
    aFromPage = std::max(aFromPage, 1);
    aToPage = std::min(aToPage, TotalPages());
    if (aFromPage > TotalPages())
        return;
    TIntegerList pages;
    for (int page = aFromPage; page <= aToPage; ++page)
        pages.push_back(page);
    PrintPagesEx(pages);
}

void TPrintPreview::PrintPagesEx(const TIntegerList& aPages)
{
    // A printer object told to write a file needs no installed printer.
    const bool toFile = FPrinter && !FPrinter->outputFileName().isEmpty();
    if (FState != psReady || aPages.empty() || !(toFile || PrinterInstalled()))
        return;
    SetState(psPrinting);
    // Every way out leaves the engine ready and without a job.
    const hostutils::TScopeExit ready([this] {
        FPrinterJob.reset();
        SetState(psReady);
    });
    PrintBegin();
    bool succeeded = false;
    int printed = 0;
    {
        // A failure while the pages play aborts the job.
        const hostutils::TScopeFail abort([this] { PrintEnd(false); });
        const int count = static_cast<int>(aPages.size());
        bool cancelled = false;
        for (int i = 0; i < count && !cancelled; ++i) {
            const int pageNo = aPages[size_t(i)];
            DoProgress(i, count);
            switch (DoPageProcessing(pageNo)) {
            case pcAccept:
                if (printed > 0)
                    FPrinterJob->NewPage(pageNo);
                PrintPage(pageNo, FPrinterJob->Canvas(), FJobTarget);
                ++printed;
                break;
            case pcIgnore:
                break;
            case pcCancellAll:
                cancelled = true;
                break;
            }
        }
        if (!cancelled) {
            DoProgress(count, count);
            succeeded = true;
        }
    }
    // A job in which every page was skipped is dropped rather than handed
    // over as a blank sheet.
    PrintEnd(succeeded && printed > 0);
}

void TPrintPreview::DoProgress(int aDone, int aTotal)
{
    if (OnProgress)
        OnProgress(aDone, aTotal);
}

TPageProcessingChoice TPrintPreview::DoPageProcessing(int aPageNo)
{
    TPageProcessingChoice choice = pcAccept;
    if (OnPageProcessing)
        OnPageProcessing(aPageNo, choice);
    return choice;
}

void TPrintPreview::PrintPage(int aPageNo, QPainter& aCanvas, const QRect& aRect)
{
    if (OnPrintBackground)
        OnPrintBackground(aPageNo, aCanvas);
    // Pages are fetched one at a time; the store's cache bounds the memory.
    // Played plain, with every bar module a whole number of printer dots.
    FPageList.GetEntry(aPageNo - 1).Metafile()->Play(aCanvas, QRectF(aRect), false, FJobDots);
    if (OnPrintAnnotation)
        OnPrintAnnotation(aPageNo, aCanvas);
}

TPrinterJobPage TPrintPreview::PrepareJobPage()
{
    QPrinter& printer = Printer();
    CheckPrinter(printer);
    if (!FUsePrinterOptions)
        SetPrinterOptions();
    // Logical (0, 0) is the paper's corner, whatever the printer's margins.
    printer.setFullPage(true);
    // Pages are drawn at the resolution the printer prints the job at, so
    // that each bar module is a whole number of its own dots.
    // A file, or a printer that names no resolution, gets 1200 dots per inch.
    const bool toFile = !printer.outputFileName().isEmpty();
    const int dpi = toFile ? 0 : PrinterResolution(printer.printerName(), JobOptions(printer));
    printer.setResolution(dpi > 0 ? dpi : kFileResolution);
    // A file keeps the page's geometry; a printer gets its calibration.
    TPrinterJobPage page;
    page.Printer = toFile ? printer.outputFileName() : printer.printerName();
    page.Dpi = printer.resolution();
    page.Calibration = toFile                 ? TPrinterCalibration{TPoint{}, 0, 0}
                       : OnPrinterCalibration ? OnPrinterCalibration(printer.printerName())
                                              : TPrinterCalibration{};
    const TRect bounds = PrinterPhysicalPageBounds();
    FJobTarget = QRect(bounds.Left, bounds.Top, bounds.Right - bounds.Left, bounds.Bottom - bounds.Top);
    FJobTarget.translate(ConvertUnits(page.Calibration.Offset.X, printer.logicalDpiX(), mmHiMetric, mmPixel),
                         ConvertUnits(page.Calibration.Offset.Y, printer.logicalDpiY(), mmHiMetric, mmPixel));
    FJobDots = TDotPlayback{page.Calibration.BarWidthReduction, toFile ? QPointF() : DotGridOrigin(printer)};
    if (!toFile) {
        QPageLayout layout = printer.pageLayout();
        layout.setUnits(QPageLayout::Millimeter);
        page.Unprintable = layout.minimumMargins();
    }
    if (FPageExt.X > 0 && FPageExt.Y > 0) {
        page.PageToDevice = QTransform::fromTranslate(FJobTarget.left() - FJobDots.GridOrigin.x(),
                                                      FJobTarget.top() - FJobDots.GridOrigin.y());
        page.PageToDevice.scale(double(FJobTarget.width()) / FPageExt.X, double(FJobTarget.height()) / FPageExt.Y);
    }
    return page;
}

void TPrintPreview::PrintBegin()
{
    if (OnBeforePrint)
        OnBeforePrint();
    const TPrinterJobPage page = PrepareJobPage();
    QPrinter& printer = Printer();
    if (printer.outputFileName().isEmpty() && OnCheckPrinterJob)
        OnCheckPrinterJob(page);
    printer.setDocName(FPrintJobTitle);
    FPrinterJob = std::make_unique<TPrinterJob>(printer, FPrintJobTitle);
}

void TPrintPreview::PrintEnd(bool aSucceeded)
{
    std::unique_ptr<TPrinterJob> job = std::move(FPrinterJob);
    // Printer().docName() is the job title only while the job runs.
    Printer().setDocName(QString());
    const hostutils::TScopeExit afterPrint([this] {
        if (OnAfterPrint)
            OnAfterPrint();
    });
    if (job && aSucceeded) {
        job->Finish();
        FLastJobId = job->JobId();
    } else if (job)
        job->Abort();
}

void TPrintPreview::SetPrinterOptions()
{
    const bool toFile = FPrinter && !FPrinter->outputFileName().isEmpty();
    if (!toFile && !PrinterInstalled())
        return;
    QPrinter& printer = Printer();
    CheckPrinter(printer);
    const int32_t widthLo = ConvertX(FPageExt.X, FUnits, mmLoMetric);
    const int32_t heightLo = ConvertY(FPageExt.Y, FUnits, mmLoMetric);
    if (widthLo > kMaxPaperLoMetric || heightLo > kMaxPaperLoMetric)
        ThrowPrinter(QStringLiteral("Paper of %1 x %2 mm is larger than a printer accepts (3276.7 mm)")
                         .arg(MillimetreText(ConvertX(FPageExt.X, FUnits, mmHiMetric)),
                              MillimetreText(ConvertY(FPageExt.Y, FUnits, mmHiMetric))));
    TPoint hiMetric{ConvertX(FPageExt.X, FUnits, mmHiMetric), ConvertY(FPageExt.Y, FUnits, mmHiMetric)};
    QPageLayout layout = PageLayoutFor(FOrientation, hiMetric);
    // The printer's own medium replaces the size where it measures the paper
    // to half a millimetre: a label printer's driver knows its labels by
    // their rounded sizes, and some take no other.
    const bool turned = FOrientation == poLandscape;
    const QPageSize medium =
        PrinterMedium(printer.printerName(), turned ? hiMetric.Y : hiMetric.X, turned ? hiMetric.X : hiMetric.Y);
    if (medium.isValid() && printer.outputFileName().isEmpty())
        layout.setPageSize(medium);
    // The layout keeps the printer's unprintable margins of the size, or Qt
    // refuses it; the pages are drawn from the paper's corner all the same.
    printer.setFullPage(true);
    if (printer.outputFileName().isEmpty() && printer.setPageOrientation(layout.orientation()) &&
        printer.setPageSize(layout.pageSize())) {
        const QPageLayout probe = printer.pageLayout();
        layout.setUnits(probe.units());
        layout.setMinimumMargins(probe.minimumMargins());
        layout.setMargins(probe.minimumMargins());
    }
    layout.setMode(QPageLayout::FullPageMode);
    if (!printer.setPageLayout(layout))
        ThrowPrinter(QStringLiteral("Printer \"%1\" cannot take paper of %2 x %3 mm")
                         .arg(printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName(),
                              MillimetreText(hiMetric.X), MillimetreText(hiMetric.Y)));
}

QString TPrintPreview::FormName()
{
    if (!FFormName.isEmpty())
        return FFormName;
    if (FVirtualFormName.isEmpty() && PrinterInstalled()) {
        // The paper in portrait position, whole millimetres.
        const bool turned = FOrientation == poLandscape;
        TPoint portrait;
        if (FPaperType != pCustom) {
            const TPaperSizeInfo& row = PaperSizeTable[FPaperType];
            portrait = {ConvertX(row.Width, row.Units, mmHiMetric), ConvertY(row.Height, row.Units, mmHiMetric)};
        } else {
            portrait = {ConvertX(FPageExt.X, FUnits, mmHiMetric), ConvertY(FPageExt.Y, FUnits, mmHiMetric)};
            if (turned)
                std::swap(portrait.X, portrait.Y);
        }
        auto wholeMillimetres = [](int32_t aHiMetric) {
            return RoundHalfEven(static_cast<long double>(aHiMetric) / 100);
        };
        const TFormNames names = SearchForms(PrinterForms(Printer().printerName()), wholeMillimetres(portrait.X),
                                             wholeMillimetres(portrait.Y), turned);
        FFormName = names.FormName;
        FVirtualFormName = names.VirtualFormName;
        if (!FFormName.isEmpty())
            return FFormName;
    }
    return FVirtualFormName;
}

bool TPrintPreview::IsDummyFormName() { return FormName().compare(FVirtualFormName, Qt::CaseInsensitive) == 0; }

TRect TPrintPreview::PrinterPageBounds()
{
    if (!PrinterInstalled())
        return PageBounds();
    QPageLayout layout = Printer().pageLayout();
    layout.setMode(QPageLayout::StandardMode);
    layout.setUnits(QPageLayout::Millimeter);
    layout.setMargins(layout.minimumMargins());
    const QRectF area = layout.paintRect(QPageLayout::Millimeter);
    auto units = [](qreal aMillimetres) {
        return static_cast<int32_t>(RoundHalfEven(static_cast<long double>(aMillimetres) * 100));
    };
    return TRect{XFrom(mmHiMetric, units(area.left())), YFrom(mmHiMetric, units(area.top())),
                 XFrom(mmHiMetric, units(area.right())), YFrom(mmHiMetric, units(area.bottom()))};
}

TRect TPrintPreview::PrinterPhysicalPageBounds()
{
    const bool toFile = FPrinter && !FPrinter->outputFileName().isEmpty();
    if (!toFile && !PrinterInstalled())
        return TRect{};
    // In full-page mode the printer's origin is the paper's corner: there is
    // no unprintable offset to step back over.
    const QPrinter& printer = Printer();
    return TRect{0, 0, ConvertUnits(FPageExt.X, printer.logicalDpiX(), FUnits, mmPixel),
                 ConvertUnits(FPageExt.Y, printer.logicalDpiY(), FUnits, mmPixel)};
}

} // namespace diroze
