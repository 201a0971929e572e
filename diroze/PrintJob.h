#pragma once
// Sheets printed without any window.

#include "DataFile.h"

#include <QString>

#include <vector>

namespace hostutils {
class TParamParser;
}

namespace diroze {

class TPrintPreview;

// Points aPreview's printer at the current printer, as "-print" and "-check"
// use it: the one printer.ini names, else the destination CUPS chooses
// (LPDEST, PRINTER, the user's lpoptions, the server's default), else the
// first installed; with printer.ini's calibration. Throws
// EPrinter("No printer is installed"), EPrinter with PrintServiceUnreachable's
// text when the spooler lists no printer because its service cannot be
// reached, and EPrinter with MissingDefaultDestination's text when
// printer.ini chooses no printer and LPDEST or PRINTER names one that does
// not exist.
void UseCurrentPrinter(TPrintPreview& aPreview);

// What "-check" tells of the symbols on the current printer. Printer:
// "Tiskárna: NAME (203 dpi)", or why the modules cannot be told.
// Unprintable: UnprintableNote of the first sheet, or empty. Notes: for
// each label, DescribeModule of its symbol, or empty. Refusal: the text a
// print would stop with (CheckSymbolModules), or empty.
struct TPrinterModules {
    QString Printer;
    QString Unprintable;
    std::vector<QString> Notes;
    QString Refusal;
};

// Lays aLabels out as "-print" would (switches and layout of aParams), sets
// the current printer up for the job without starting one, and tells the
// module each symbol gets there. Failures become the Printer line.
TPrinterModules PrinterModules(const TStitekList& aLabels, const hostutils::TParamParser& aParams);

// The "-print" job: loads the data file named on the command line with its
// switches, renders every sheet for printing with the layout the "-pdf" job
// uses, and prints all of them on the current printer: the system's default
// printer, or the first one the spooler lists when none is the default.
// What of the first sheet the printer would not print is said once on
// standard error (UnprintableNote); the print goes on.
// Returns once the job has been handed to the spooler. Throws the data
// file's and the layout's failures as EJobFailure about their file,
// UseCurrentPrinter's failures, CheckSymbolModules' refusal of a symbol too small
// for the printer (before anything reaches it), and the printing failures
// of TPrintPreview::Print.
void RunPrintJob(const hostutils::TParamParser& aParams);

} // namespace diroze
