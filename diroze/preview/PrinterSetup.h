#pragma once
// The spooler's side of printing: which printers it lists, the forms (page
// sizes) a printer knows, and the search for the form that fits a paper.

#include <QPageSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QPainter;
class QPrinter;

namespace diroze {

// A printer form as the spooler lists it: its name and its size in
// thousandths of a millimetre, in the position the printer gives it.
struct TPrinterForm {
    QString Name;
    int64_t Width = 0;
    int64_t Height = 0;
};

// The result of a form search. FormName: a form whose size is the paper's,
// empty when none fits directly. VirtualFormName: otherwise the last form
// that fits only turned, or "%umm x %umm", with " Rotated" appended when the
// sheet is to be turned; empty when FormName is set.
struct TFormNames {
    QString FormName;
    QString VirtualFormName;
};

// Searches aForms in their order for the paper aWidthMm x aHeightMm (whole
// millimetres, portrait position); aTurned: the paper is printed in landscape.
// Each form's size is rounded to whole millimetres, halves to even.
TFormNames SearchForms(const std::vector<TPrinterForm>& aForms, int64_t aWidthMm, int64_t aHeightMm, bool aTurned);

// The forms of the printer named aPrinterName (its supported page sizes);
// empty for a printer the spooler does not list.
std::vector<TPrinterForm> PrinterForms(const QString& aPrinterName);

// The medium of the printer aPrinterName (one of its supported page sizes)
// that measures within half a millimetre of aWidth x aHeight hundredths of
// a millimetre each way, as the paper is fed (portrait position); the
// nearest when several do. An invalid QPageSize when none does.
QPageSize PrinterMedium(const QString& aPrinterName, int32_t aWidth, int32_t aHeight);

// Whether the spooler lists a printer called aPrinterName.
bool PrinterListed(const QString& aPrinterName);

// Whether the spooler lists at least one printer.
bool AnyPrinterListed();

// The resolution, in dots per inch, that a job on the printer aPrinterName
// prints at: the job's own "Resolution" or "printer-resolution" option in
// aJobOptions (name, value pairs), else the one the user's options for the
// destination choose, else the printer's default (for a queue with a PPD,
// its DefaultResolution). 0 when none is known (no such printer, or it
// names no resolution). Values such as "300dpi", "300x600dpi" (the first
// figure counts) and "118dpcm".
int PrinterResolution(const QString& aPrinterName, const QStringList& aJobOptions);

// A printer object's job options for the spooler as name, value pairs
// (kept by the print engine; none without one).
QStringList JobOptions(const QPrinter& aPrinter);
// Replaces them, where the printer object's engine keeps job options.
void SetJobOptions(QPrinter& aPrinter, const QStringList& aOptions);
// The value of the first option aName of aOptions (name, value pairs); empty when none.
QString JobOptionValue(const QStringList& aOptions, QLatin1StringView aName);

// Empty when the print service (the scheduler the spooler's clients talk
// to) answers; otherwise "The print service cannot be reached at WHERE
// (REASON)", WHERE being its address and port or its socket.
QString PrintServiceUnreachable();

// The destination a job goes to when nobody chooses one, found as the
// spooler's own clients find it: LPDEST, else PRINTER, else the user's
// lpoptions "Default", else the print service's default. Empty when none
// is set or the service cannot be reached. An instance ("queue/instance")
// gives its queue's name.
QString DefaultDestination();

// Empty when the user's default destination, named by the environment
// variable LPDEST or else PRINTER, exists or none is named; otherwise
// "The printer or class \"NAME\" (VARIABLE) does not exist". PRINTER=lp, an
// old convention, names no destination unless one is called so.
QString MissingDefaultDestination();

// One print job. Its pages are written as PDF into a private temporary file
// with the printer object's page layout (full page: the origin at the
// paper's corner) and resolution, and handed over only by Finish: to the
// spooler for the printer object's printer with its copies, collation, sides
// and colour mode and the layout's paper as the medium, or, when the printer
// object names an output file, to that file. Abort, or destroying an
// unfinished job, drops it: nothing reaches the printer. (QPrinter's own
// abort cannot take back a job once its pages are drawn.)
class TPrinterJob {
public:
    // Starts the document. Throws EPrinter("Printer \"%s\" cannot start the
    // document") when no temporary file or PDF writer can be had.
    TPrinterJob(const QPrinter& aPrinter, const QString& aTitle);
    ~TPrinterJob();
    TPrinterJob(const TPrinterJob&) = delete;
    TPrinterJob& operator=(const TPrinterJob&) = delete;

    // Draws on the current page in the printer's pixels.
    QPainter& Canvas() { return *FPainter; }
    // Starts the next page. Throws EPrinter("Printer \"%s\" failed while
    // printing page %d").
    void NewPage(int aPageNo);
    void Abort();
    // Ends the document and hands it over. Throws EPrinter("Printer \"%s\" did
    // not accept the job. %s") with the spooler's or the file's reason.
    void Finish();
    // The spooler's id of the job Finish handed over; 0 before that and for
    // a job written to a file.
    int JobId() const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
    QPainter* FPainter = nullptr;
};

} // namespace diroze
