#pragma once
// The page layout a printer or PDF writer needs for the engine's paper.

#include "Units.h"

#include <QPageLayout>

namespace diroze {

// The paper type's Windows paper code as a Qt page size, or, for pCustom (and
// a code Qt does not know), the portrait size in millimetres; the
// orientation; no margins. aPageSize is the oriented size in hundredths of a
// millimetre.
QPageLayout PageLayoutFor(TPaperType aType, TPrinterOrientation aOrientation, TPoint aPageSize);

} // namespace diroze
