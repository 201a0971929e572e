#include "PrintJob.h"

#include "ConfigFiles.h"
#include "ParamParser.h"
#include "PdfOutput.h"
#include "PrinterIni.h"
#include "preview/PrinterSetup.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace diroze {

void RunPrintJob(const hostutils::TParamParser& aParams)
{
    TPrintPreview preview;
    RenderJobSheets(aParams, preview);
    // Print does nothing without a printer; a run without the dialog says so.
    if (!AnyPrinterListed())
        throw EPrinter("No printer is installed");
    // The printer the dialog would preselect, when printer.ini names an installed one.
    const QString printerIni = LocateConfigFiles().PrinterIni;
    const QString chosen = PrinterFromIni(printerIni, QPrinterInfo::availablePrinterNames());
    if (!chosen.isEmpty())
        preview.Printer().setPrinterName(chosen);
    preview.OnPrinterOffset = PrinterOffsetsFromFile(printerIni);
    const TTerminalProgress progress(preview);
    preview.Print();
}

} // namespace diroze
