#include "PrintJob.h"

#include "ConfigFiles.h"
#include "ParamParser.h"
#include "PdfOutput.h"
#include "PrinterIni.h"
#include "SymbolModules.h"
#include "UnprintableArea.h"
#include "UtilsString.h"
#include "preview/PrinterSetup.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <QTextStream>

namespace diroze {

void UseCurrentPrinter(TPrintPreview& aPreview)
{
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
        aPreview.Printer().setPrinterName(chosen);
    } else if (const QString missing = MissingDefaultDestination(); !missing.isEmpty()) {
        // The default destination the user named is gone: printing on some
        // other printer instead would surprise.
        throw EPrinter(missing.toStdString());
    }
    aPreview.OnPrinterCalibration = PrinterCalibrationsFromFile(printerIni);
}

TPrinterModules PrinterModules(const TStitekList& aLabels, const hostutils::TParamParser& aParams)
{
    TPrinterModules result;
    result.Notes.resize(aLabels.size());
    try {
        TPrintPreview preview;
        TPlacedSymbols symbols;
        RenderLabelSheets(aLabels, aParams, preview, &symbols);
        UseCurrentPrinter(preview);
        const TPrinterJobPage page = preview.PrepareJobPage();
        result.Printer = QStringLiteral("Tiskárna: %1 (%2 dpi)").arg(page.Printer).arg(page.Dpi);
        result.Unprintable = UnprintableNote(preview, page);
        for (const TPlacedSymbol& symbol : symbols)
            if (const std::optional<TPrintedModule> module = PrintedModule(symbol, page);
                module && symbol.Line >= 1 && size_t(symbol.Line) <= aLabels.size())
                result.Notes[size_t(symbol.Line) - 1] = DescribeModule(*module, page.Dpi);
        try {
            CheckSymbolModules(symbols, page);
        } catch (const EPrinter& e) {
            result.Refusal = QString::fromUtf8(e.what());
        }
    } catch (const std::exception& e) {
        result.Printer =
            QStringLiteral("Tiskárna: moduly čárových kódů nelze zjistit (%1)").arg(hostutils::MessageText(e));
    }
    return result;
}

void RunPrintJob(const hostutils::TParamParser& aParams)
{
    TPrintPreview preview;
    TPlacedSymbols symbols;
    RenderJobSheets(aParams, preview, &symbols);
    UseCurrentPrinter(preview);
    preview.OnCheckPrinterJob = [&](const TPrinterJobPage& aPage) {
        CheckSymbolModules(symbols, aPage);
        // What the printer cannot print is told once; the print goes on.
        if (const QString note = UnprintableNote(preview, aPage); !note.isEmpty())
            QTextStream(stderr) << "diroze: " << note << '\n';
    };
    const TTerminalProgress progress(preview);
    preview.Print();
}

} // namespace diroze
