#pragma once
// The page layout a printer or PDF writer needs for the engine's paper.

#include "Units.h"

#include <QPageLayout>
#include <QPageSize>

namespace diroze {

// The page size of a portrait sheet of aWidth x aHeight hundredths of a
// millimetre: a named size only where its dimensions equal these to 0.1 mm,
// otherwise a custom size in millimetres. Paper codes never enter here: a
// platform id may stand for another size of the same name (JIS and ISO B4).
QPageSize PageSizeFor(int32_t aWidth, int32_t aHeight);

// Whether aSize measures aWidth x aHeight hundredths of a millimetre to 0.1 mm.
bool SameSizeToTenth(const QPageSize& aSize, int32_t aWidth, int32_t aHeight);

// The layout of the oriented page aPageSize (hundredths of a millimetre):
// its portrait page size from PageSizeFor, the orientation, no margins.
QPageLayout PageLayoutFor(TPrinterOrientation aOrientation, TPoint aPageSize);

} // namespace diroze
