#pragma once
// Sheets written to a PDF file without any window.

#include "Papir.h"
#include "Render.h"
#include "preview/PrintPreview.h"

#include <QString>

#include "ParamParser.h"

namespace diroze {

// Writes every recorded page of aNahled to aFileName at true size, one PDF
// page per recorded page, fetching the pages one at a time; aNahled's
// OnProgress hears of each page before it is written and of the end, as
// when printing. A regular file
// is replaced only when the PDF is complete; a FIFO, a character device or
// a descriptor such as "/dev/stdout" is written directly; other targets are
// refused (hostutils::TOutputFile). Throws hostutils::EFCreateError("Cannot create file
// \"%s\". %s") when it cannot be written.
void WritePdf(TPrintPreview& aNahled, const QString& aFileName);

// The settings a run without the dialog uses: the preset named by the
// "preset" switch, else the preset the dialog would start with (the one
// marked as used in the presets file, see ConfigFiles.h), else the dialog's
// defaults with A4 chosen; with the installed fonts. The "sheet" switch
// ("Brand Part") then takes the paper and the label grid from that label
// product (LabelProducts.h). aLayoutSource, when given, becomes the presets
// file's path when a preset was applied, the product's template file when a
// product was. Throws the product's failures of FindProduct and ApplyProduct,
// EJobFailure about the presets file when it cannot be read or a preset's
// value cannot be converted, and Exception("Předvolba \"%s\" neexistuje.")
// for an unknown preset name.
// aPresetName, when given, gets the name of the preset applied (empty for none).
TPapirControls StartControls(const hostutils::TParamParser& aParams = hostutils::GlobalParamParser(),
                             QString* aLayoutSource = nullptr, QString* aPresetName = nullptr);

// What a job without the dialog prints: loads the data file named on the
// command line with its switches and renders every sheet for printing into
// aNahled with the StartControls layout; aSymbols, when given, gets the
// symbols drawn. Throws EJobFailure about the data file or the presets file
// (a preset's invalid value).
void RenderJobSheets(const hostutils::TParamParser& aParams, TPrintPreview& aNahled,
                     TPlacedSymbols* aSymbols = nullptr);
// The same for labels already loaded.
void RenderLabelSheets(const TStitekList& aLabels, const hostutils::TParamParser& aParams, TPrintPreview& aNahled,
                       TPlacedSymbols* aSymbols = nullptr);

// While it lives, the pages done of all ("Hotovo 12 z 250 stran") on
// standard error, on one line that is rewritten from its start, taken from
// aNahled's OnProgress; the line ends with the last page. When standard
// error is no terminal nothing is written. A line still open when it dies
// (a job that stopped) is ended then, so that a following message starts a
// line of its own.
class TTerminalProgress {
public:
    explicit TTerminalProgress(TPrintPreview& aNahled);
    ~TTerminalProgress();
    TTerminalProgress(const TTerminalProgress&) = delete;
    TTerminalProgress& operator=(const TTerminalProgress&) = delete;

private:
    void Show(int aDone, int aTotal);
    TPrintPreview& FNahled;
    bool FLineOpen = false;
};

// The "-pdf:FILE" job: loads the data file named on the command line with its
// switches, renders every sheet for printing and writes the PDF. Throws
// EJobFailure about the data file, the presets file (a preset's invalid
// value) or the output file.
void RunPdfJob(const hostutils::TParamParser& aParams);

} // namespace diroze
