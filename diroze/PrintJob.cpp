#include "PrintJob.h"

#include "DataFile.h"
#include "ParamParser.h"
#include "PdfOutput.h"
#include "Render.h"
#include "preview/PrinterSetup.h"

#include <QPrinter>

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
    preview.Print();
}

} // namespace diroze
