#pragma once
// Sheets printed without any window.

namespace hostutils {
class TParamParser;
}

namespace diroze {

// The "-print" job: loads the data file named on the command line with its
// switches, renders every sheet for printing with the layout the "-pdf" job
// uses, and prints all of them on the current printer: the system's default
// printer, or the first one the spooler lists when none is the default.
// Returns once the job has been handed to the spooler. Throws the data
// file's and the layout's failures as EJobFailure about their file,
// EPrinter("No printer is installed"), EPrinter with
// PrintServiceUnreachable's text when the spooler lists no printer because
// its service cannot be reached, EPrinter with MissingDefaultDestination's
// text when printer.ini chooses no printer and LPDEST or PRINTER names one
// that does not exist, CheckSymbolModules' refusal of a symbol too small
// for the printer (before anything reaches it), and the printing failures
// of TPrintPreview::Print.
void RunPrintJob(const hostutils::TParamParser& aParams);

} // namespace diroze
