#pragma once
// What of a job's first sheet falls where the printer prints nothing: a
// label printer's driver leaves strips of the paper unprinted (the top
// 5 mm of a LabelWriter's label), and what lies there is lost.

#include "preview/PrintPreview.h"

#include <QString>

namespace diroze {

// Empty when everything drawn on aNahled's first page, moved by the
// printer's calibration, lies inside the printable area of aPage; else
// "Obsah první strany zasahuje do okraje, který tiskárna \"P\" netiskne:
// nahoře 5.26 mm, vlevo 0.71 mm; co v něm leží, se nevytiskne", naming each
// side reached with the width of that margin. Measured to a tenth of a
// millimetre on the page as played.
QString UnprintableNote(TPrintPreview& aNahled, const TPrinterJobPage& aPage);

} // namespace diroze
