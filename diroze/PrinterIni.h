#pragma once
// "printer.ini": the printer to preselect (section "Printer", key "Name")
// and the calibration of each printer (a section named like the printer, with
// "OffsetX" and "OffsetY" in millimetres).

#include "preview/PrintPreview.h"

#include <QString>
#include <QStringList>

namespace diroze {

// The value of aKey in aSection of an INI text; lines end at LF, CR LF or CR;
// section and key names match without regard to case, the value is trimmed
// of blanks and control characters and loses the double or single quotes
// around it. Empty when missing. The files are read as UTF-8, or as UTF-16
// when they start with its byte-order mark.
QString IniValue(const QString& aText, const QString& aSection, const QString& aKey);

// Why the printer file aIniPath cannot be used, or empty when it can (or
// aIniPath is empty): the system's reason when it cannot be read, text in
// no encoding it may have, or the first line that is neither a section, a
// comment nor key=value.
QString PrinterIniFault(const QString& aIniPath);

// Whether two printer names are equal when only the letters A to Z ignore case.
bool SamePrinterName(const QString& aLeft, const QString& aRight);

// The first of aInstalled, in their order, whose name is the "Name" of
// section "Printer" in the file aIniPath; empty with no file, no name or no match.
QString PrinterFromIni(const QString& aIniPath, const QStringList& aInstalled);

// The shift of everything a printer prints, in hundredths of a millimetre
// (right and down): "OffsetX" and "OffsetY" of the section named like the
// printer (matched as SamePrinterName does) in an INI text, each a number of
// millimetres with a decimal point, possibly negative, at most 1000 either way.
// Zero for a missing section or key. Throws EPrinter naming the printer, the
// key and the text when a value is not such a number.
TPoint PrinterOffset(const QString& aIniText, const QString& aPrinterName);

// A printer-offset handler for the engine that reads aIniPath each time a job
// starts; no file gives no shift.
TPrintPreview::TPrinterOffsetEvent PrinterOffsetsFromFile(const QString& aIniPath);

} // namespace diroze
