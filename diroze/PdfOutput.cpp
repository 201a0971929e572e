#include "PdfOutput.h"

#include "DataFile.h"
#include "Fonts.h"
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

TPapirControls StartControls()
{
    TPapirControls controls;
    controls.Format = pA4;
    std::tie(controls.Width, controls.Height) = PaperSizeTexts(pA4, poPortrait, QLocale());
    controls.FontItems = InstalledFontNames();
    return controls;
}

void RunPdfJob(const hostutils::TParamParser& aParams)
{
    const QString output = aParams.GetArgument(QStringLiteral("pdf"));
    TStitekList labels;
    LoadFile(labels, aParams.GetArgument(QString()), DefaultOptionsFromParams(aParams), aParams);
    const TPapir papir = ReadPapir(StartControls(), QLocale());
    TPrintPreview preview;
    Render(preview, labels, papir, false);
    WritePdf(preview, output);
}

} // namespace diroze
