#pragma once
// "printer.ini": the printer to preselect (section "Printer", key "Name")
// and the calibration of each printer (a section named like the printer).

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

// The calibration of a printer from the section named like it (matched as
// SamePrinterName does) in an INI text: "OffsetX" and "OffsetY", the shift
// of everything it prints in millimetres (right and down, at most 1000 either
// way); "BarWidthReduction", how much narrower bars are drawn on each side,
// in printer dots from 0 to 1 (0.25 when missing); "MinModuleMm", the
// smallest module a symbol may get, in millimetres from 0 to 10. Numbers
// take a decimal point. A missing section or key keeps the default. Throws
// EPrinter naming the printer, the key and the text when a value is not
// such a number.
TPrinterCalibration PrinterCalibration(const QString& aIniText, const QString& aPrinterName);

// A calibration handler for the engine that reads aIniPath each time a job
// starts; no file gives the defaults.
TPrintPreview::TPrinterCalibrationEvent PrinterCalibrationsFromFile(const QString& aIniPath);

} // namespace diroze
