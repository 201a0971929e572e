#include "PrintJob.h"

#include "ConfigFiles.h"
#include "DataFile.h"
#include "JobFailure.h"
#include "ParamParser.h"
#include "PdfOutput.h"
#include "PrinterIni.h"
#include "Render.h"
#include "preview/PrinterSetup.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace diroze {

void RunPrintJob(const hostutils::TParamParser& aParams)
{
    const QString dataFile = aParams.GetArgument(QString());
    TStitekList labels;
    WithSubject(dataFile, [&] { LoadFile(labels, dataFile, DefaultOptionsFromParams(aParams), aParams); });
    QString layoutSource;
    const TPapirControls controls = StartControls(aParams, &layoutSource);
    const TPapir papir = WithSubject(layoutSource, [&] { return ReadPapir(controls, QLocale()); });
    TPrintPreview preview;
    Render(preview, labels, papir, false);
    // Print does nothing without a printer; a run without the dialog says so.
    if (!AnyPrinterListed())
        throw EPrinter("No printer is installed");
    // The printer the dialog would preselect, when printer.ini names an installed one.
    const QString printerIni = LocateConfigFiles().PrinterIni;
    const QString chosen = PrinterFromIni(printerIni, QPrinterInfo::availablePrinterNames());
    if (!chosen.isEmpty())
        preview.Printer().setPrinterName(chosen);
    preview.OnPrinterOffset = PrinterOffsetsFromFile(printerIni);
    preview.Print();
}

} // namespace diroze
