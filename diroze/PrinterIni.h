#pragma once
// "printer.ini": the printer to preselect, section "Printer", key "Name".

#include <QString>
#include <QStringList>

namespace diroze {

// The value of aKey in aSection of an INI text; section and key names match
// without regard to case, the value is trimmed of blanks and control
// characters. Empty when missing.
QString IniValue(const QString& aText, const QString& aSection, const QString& aKey);

// Whether two printer names are equal when only the letters A to Z ignore case.
bool SamePrinterName(const QString& a, const QString& b);

// The first of aInstalled, in their order, whose name is the "Name" of
// section "Printer" in the file aIniPath; empty with no file, no name or no match.
QString PrinterFromIni(const QString& aIniPath, const QStringList& aInstalled);

} // namespace diroze
