#include "PrintJob.h"

#include "ConfigFiles.h"
#include "ParamParser.h"
#include "PdfOutput.h"
#include "PrinterIni.h"
#include "SymbolModules.h"
#include "preview/PrinterSetup.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace diroze {

void RunPrintJob(const hostutils::TParamParser& aParams)
{
    TPrintPreview preview;
    TPlacedSymbols symbols;
    RenderJobSheets(aParams, preview, &symbols);
    // Print does nothing without a printer; a run without the dialog says
    // so, and whether the print service itself is out of reach.
    if (!AnyPrinterListed()) {
        const QString unreachable = PrintServiceUnreachable();
        throw EPrinter(unreachable.isEmpty() ? std::string("No printer is installed") : unreachable.toStdString());
    }
    // The printer the dialog would preselect, when printer.ini names an installed one.
    const QString printerIni = LocateConfigFiles().PrinterIni;
    const QString chosen = PrinterFromIni(printerIni, QPrinterInfo::availablePrinterNames());
    if (!chosen.isEmpty()) {
        preview.Printer().setPrinterName(chosen);
    } else if (const QString missing = MissingDefaultDestination(); !missing.isEmpty()) {
        // The default destination the user named is gone: printing on some
        // other printer instead would surprise.
        throw EPrinter(missing.toStdString());
    }
    preview.OnPrinterCalibration = PrinterCalibrationsFromFile(printerIni);
    preview.OnCheckPrinterJob = [&symbols](const TPrinterJobPage& aPage) { CheckSymbolModules(symbols, aPage); };
    const TTerminalProgress progress(preview);
    preview.Print();
}

} // namespace diroze
