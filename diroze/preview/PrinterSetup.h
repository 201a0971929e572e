#pragma once
// The spooler's side of printing: which printers it lists, the forms (page
// sizes) a printer knows, and the search for the form that fits a paper.

#include <QPageSize>
#include <QString>

#include <cstdint>
#include <vector>

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

// The supported page size of aPrinterName called aFormName (exact name); an
// invalid QPageSize when there is none.
QPageSize PrinterFormPageSize(const QString& aPrinterName, const QString& aFormName);

// Whether the spooler lists a printer called aPrinterName.
bool PrinterListed(const QString& aPrinterName);

// Whether the spooler lists at least one printer.
bool AnyPrinterListed();

// The spooler's verdict on the job that the last QPrinter::end() of a native
// printer on this thread submitted (Qt hands the job over there and keeps
// the answer to itself): empty when the job was accepted, otherwise the
// spooler's reason.
QString SpoolerRefusal();

} // namespace diroze
