#pragma once
// Sheets written to a PDF file without any window.

#include "Papir.h"
#include "preview/PrintPreview.h"

#include <QString>

namespace hostutils {
class TParamParser;
}

namespace diroze {

// Writes every recorded page of aNahled to aFileName at true size, one PDF
// page per recorded page, fetching the pages one at a time. The file is
// replaced only when it is complete. Throws hostutils::EFCreateError("Cannot create file
// \"%s\". %s") when it cannot be written.
void WritePdf(TPrintPreview& aNahled, const QString& aFileName);

// The settings a run without the dialog uses: the dialog's defaults with A4
// chosen, and the installed fonts.
TPapirControls StartControls();

// The "-pdf:FILE" job: loads the data file named on the command line with its
// switches, renders every sheet for printing and writes the PDF. Throws the
// data file's, the layout's and the file's failures.
void RunPdfJob(const hostutils::TParamParser& aParams);

} // namespace diroze
