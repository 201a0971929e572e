#pragma once
// The text report of "diroze FILE -check": what each label of a data file holds.

#include "DataFile.h"

#include <QString>

namespace diroze {

// One line per label: its number, barcode kind and digits or heading,
// aSymbolNote in brackets when given, the layout flags and its non-empty
// text lines.
QString DescribeLabel(int aNumber, const TStitek& aStitek, const QString& aSymbolNote = QString());

} // namespace diroze
