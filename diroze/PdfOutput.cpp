#include "PdfOutput.h"

#include "ConfigFiles.h"
#include "DataFile.h"
#include "Fonts.h"
#include "JobFailure.h"
#include "Presets.h"
#include "ParamParser.h"
#include "Render.h"
#include "UtilsFile.h"
#include "preview/PageLayout.h"
#include "products/LabelProducts.h"

#include <QPainter>
#include <QPdfWriter>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace diroze {

namespace {

[[noreturn]] void CannotCreate(const QString& aFileName, const QString& aReason)
{
    throw hostutils::EFCreateError("Cannot create file \"" + hostutils::ExpandFileName(aFileName).toStdString() +
                                   "\". " + aReason.toStdString());
}

} // namespace

void WritePdf(TPrintPreview& aNahled, const QString& aFileName)
{
    hostutils::TOutputFile file(aFileName);
    if (!file.Open())
        CannotCreate(aFileName, file.ErrorString());
    {
        QPdfWriter writer(file.Device());
        writer.setCreator(QStringLiteral("diroze"));
        writer.setResolution(1200);
        writer.setPageLayout(PageLayoutFor(aNahled.Orientation(), aNahled.PageSize()));
        QPainter painter;
        if (!painter.begin(&writer))
            CannotCreate(aFileName, QStringLiteral("The PDF writer could not start"));
        // True size from the paper's corner: the writer's page is in whole
        // points and may differ from the paper by a fraction of one, which
        // must neither move nor scale the labels.
        const TPoint size = aNahled.PageSize();
        const double dotsPerHiMetric = writer.resolution() / 2540.0;
        const QRectF page(0, 0, size.X * dotsPerHiMetric, size.Y * dotsPerHiMetric);
        const int total = aNahled.TotalPages();
        for (int i = 0; i < total; ++i) {
            if (aNahled.OnProgress)
                aNahled.OnProgress(i, total);
            if (i > 0)
                writer.newPage();
            aNahled.PageList().GetEntry(i).Metafile()->Play(painter, page);
        }
        painter.end();
        if (aNahled.OnProgress)
            aNahled.OnProgress(total, total);
    }
    if (!file.Commit())
        CannotCreate(aFileName, file.ErrorString());
}

TTerminalProgress::TTerminalProgress(TPrintPreview& aNahled) : FNahled(aNahled)
{
    if (isatty(STDERR_FILENO))
        FNahled.OnProgress = [this](int aDone, int aTotal) { Show(aDone, aTotal); };
}

TTerminalProgress::~TTerminalProgress()
{
    FNahled.OnProgress = nullptr;
    if (FLineOpen)
        std::fputs("\n", stderr);
}

void TTerminalProgress::Show(int aDone, int aTotal)
{
    if (aTotal <= 0)
        return;
    // Standard error is unbuffered: each update reaches the terminal at once.
    std::fprintf(stderr, "\rHotovo %d z %d stran", std::clamp(aDone, 0, aTotal), aTotal);
    FLineOpen = aDone < aTotal;
    if (!FLineOpen)
        std::fputs("\n", stderr);
}

TPapirControls StartControls(const hostutils::TParamParser& aParams, QString* aLayoutSource, QString* aPresetName)
{
    TPapirControls controls;
    controls.FontItems = InstalledFontNames();
    TPresets presets;
    const TConfigFiles files = LocateConfigFiles();
    WithSubject(files.Presets, [&] { presets.Load(files.Presets, files.PresetsSeed); });
    QDomElement preset;
    if (aParams.IsSet(QStringLiteral("preset"))) {
        const QString name = aParams.GetArgument(QStringLiteral("preset"));
        preset = presets.FindByName(name);
        if (preset.isNull())
            throw hostutils::Exception(QStringLiteral("Předvolba \"%1\" neexistuje.").arg(name).toStdString());
    } else {
        preset = WithSubject(files.Presets, [&] { return presets.MarkedElement(); });
    }
    if (!preset.isNull()) {
        // On a copy in memory: the file is not touched.
        WithSubject(presets.Path(), [&] { presets.Apply(preset, controls, QLocale()); });
        if (aLayoutSource)
            *aLayoutSource = presets.Path();
        if (aPresetName)
            *aPresetName = TPresets::Name(preset);
    } else {
        controls.Format = pA4;
        ApplyFormatChange(controls, QLocale());
    }
    // A label product replaces the paper and the grid; padding and font stay the preset's.
    if (aParams.IsSet(QStringLiteral("sheet"))) {
        const TProductCatalogue catalogue = LoadProductCatalogue();
        const TLabelProduct& product = FindProduct(catalogue, aParams.GetArgument(QStringLiteral("sheet")));
        ApplyProduct(product, controls, QLocale());
        if (aLayoutSource)
            *aLayoutSource = product.Source;
    }
    return controls;
}

void RenderJobSheets(const hostutils::TParamParser& aParams, TPrintPreview& aNahled, TPlacedSymbols* aSymbols)
{
    const QString dataFile = aParams.GetArgument(QString());
    TStitekList labels;
    WithSubject(dataFile, [&] { LoadFile(labels, dataFile, DefaultOptionsFromParams(aParams), aParams); });
    RenderLabelSheets(labels, aParams, aNahled, aSymbols);
}

void RenderLabelSheets(const TStitekList& aLabels, const hostutils::TParamParser& aParams, TPrintPreview& aNahled,
                       TPlacedSymbols* aSymbols)
{
    QString layoutSource, presetName;
    const TPapirControls controls = StartControls(aParams, &layoutSource, &presetName);
    const TPapir papir = WithSubject(layoutSource, [&] {
        try {
            return ReadPapir(controls, QLocale());
        } catch (const EInvalidInput& e) {
            // A product's values are always sound: a value that fails is the preset's; it is named
            // where it stands, as for values no control could hold.
            const auto setting = std::find_if(kTextSettings.begin(), kTextSettings.end(),
                                              [&](const TTextSetting& s) { return s.Control == e.Control(); });
            if (presetName.isNull() || setting == kTextSettings.end() || !setting->Element)
                throw;
            const EPresetValue named(QStringLiteral("předvolba \"%1\", prvek %2, atribut %3=\"%4\": %5")
                                         .arg(presetName, QString::fromLatin1(setting->Element),
                                              QString::fromLatin1(setting->Attribute), controls.*setting->Text,
                                              hostutils::MessageText(e).replace(u'\r', u' ').simplified())
                                         .toStdString());
            throw EJobFailure(LocateConfigFiles().Presets, named);
        }
    });
    Render(aNahled, aLabels, papir, false, aSymbols);
}

void RunPdfJob(const hostutils::TParamParser& aParams)
{
    const QString output = aParams.GetArgument(QStringLiteral("pdf"));
    TPrintPreview preview;
    RenderJobSheets(aParams, preview);
    const TTerminalProgress progress(preview);
    WithSubject(output.isEmpty() ? QStringLiteral("-pdf") : output, [&] { WritePdf(preview, output); });
}

} // namespace diroze
