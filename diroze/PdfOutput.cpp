#include "PdfOutput.h"

#include "ConfigFiles.h"
#include "DataFile.h"
#include "Fonts.h"
#include "Presets.h"
#include "ParamParser.h"
#include "Render.h"
#include "UtilsFile.h"
#include "preview/PageLayout.h"

#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace diroze {

namespace {

[[noreturn]] void CannotCreate(const QString& aFileName, const QString& aReason)
{
    throw hostutils::EFCreateError("Cannot create file \"" + hostutils::ExpandFileName(aFileName).toStdString() + "\". " +
                                 aReason.toStdString());
}

} // namespace

void WritePdf(TPrintPreview& aNahled, const QString& aFileName)
{
    QSaveFile file(aFileName);
    if (aFileName.isEmpty() || !file.open(QIODevice::WriteOnly))
        CannotCreate(aFileName, aFileName.isEmpty() ? QStringLiteral("No file name given") : file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("diroze"));
        writer.setResolution(1200);
        writer.setPageLayout(PageLayoutFor(aNahled.PaperType(), aNahled.Orientation(), aNahled.PageSize()));
        QPainter painter;
        if (!painter.begin(&writer))
            CannotCreate(aFileName, QStringLiteral("The PDF writer could not start"));
        const QRectF page(0, 0, writer.width(), writer.height());
        for (int i = 0; i < aNahled.TotalPages(); ++i) {
            if (i > 0)
                writer.newPage();
            aNahled.PageList().GetEntry(i).Metafile()->Play(painter, page);
        }
        painter.end();
    }
    if (!file.commit())
        CannotCreate(aFileName, file.errorString());
}

TPapirControls StartControls(const hostutils::TParamParser& aParams)
{
    TPapirControls controls;
    controls.FontItems = InstalledFontNames();
    TPresets presets;
    const TConfigFiles files = LocateConfigFiles();
    presets.Load(files.Presets, files.PresetsSeed);
    QDomElement preset;
    if (aParams.IsSet(QStringLiteral("preset"))) {
        const QString name = aParams.GetArgument(QStringLiteral("preset"));
        preset = presets.FindByName(name);
        if (preset.isNull())
            throw hostutils::Exception(QStringLiteral("Předvolba \"%1\" neexistuje.").arg(name).toStdString());
    } else {
        preset = presets.MarkedElement();
    }
    if (!preset.isNull()) {
        presets.Apply(preset, controls, QLocale()); // on a copy in memory: the file is not touched
    } else {
        controls.Format = pA4;
        ApplyFormatChange(controls, QLocale());
    }
    return controls;
}

void RunPdfJob(const hostutils::TParamParser& aParams)
{
    const QString output = aParams.GetArgument(QStringLiteral("pdf"));
    TStitekList labels;
    LoadFile(labels, aParams.GetArgument(QString()), DefaultOptionsFromParams(aParams), aParams);
    const TPapir papir = ReadPapir(StartControls(aParams), QLocale());
    TPrintPreview preview;
    Render(preview, labels, papir, false);
    WritePdf(preview, output);
}

} // namespace diroze
