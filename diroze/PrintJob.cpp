#include "PrintJob.h"

#include "ConfigFiles.h"
#include "DataFile.h"
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
    TStitekList labels;
    LoadFile(labels, aParams.GetArgument(QString()), DefaultOptionsFromParams(aParams), aParams);
    const TPapir papir = ReadPapir(StartControls(aParams), QLocale());
    TPrintPreview preview;
    Render(preview, labels, papir, false);
    // Print does nothing without a printer; a run without the dialog says so.
    if (!AnyPrinterListed())
        throw EPrinter("No printer is installed");
    // The printer the dialog would preselect, when printer.ini names an installed one.
    const QString chosen = PrinterFromIni(LocateConfigFiles().PrinterIni, QPrinterInfo::availablePrinterNames());
    if (!chosen.isEmpty())
        preview.Printer().setPrinterName(chosen);
    preview.Print();
}

} // namespace diroze
