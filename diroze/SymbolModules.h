#pragma once
// The module each symbol of a job gets on the printer, and the floor below
// which a printed symbol is refused: a one-dot space does not survive a
// thermal head, so every module needs at least two dots, and a printer's
// calibration may ask for more (MinModuleMm).

#include "Render.h"

#include <QString>

#include <optional>

namespace diroze {

struct TPrintedModule {
    int64_t Dots = 0;      // 0 when not one dot a module fits
    int64_t FloorDots = 0; // the fewest dots this printer's modules may have
    bool BelowFloor() const { return Dots < FloorDots; }
};

// The module aSymbol gets on aPage, played as the printer plays it.
// Nothing when the page does not play in whole dots (a transformation
// other than a plain scale and shift).
std::optional<TPrintedModule> PrintedModule(const TPlacedSymbol& aSymbol, const TPrinterJobPage& aPage);

// "1 tečka", "2 tečky", "5 teček": aCount dots; aObject: as the object of
// a sentence ("1 tečku").
QString DotsText(int64_t aCount, bool aObject);

// The note -check adds to a symbol label: "modul 3 tečky (0.38 mm)", and
// when it is below the floor ", méně než 2 tečky (0.25 mm)".
QString DescribeModule(const TPrintedModule& aModule, int aDpi);

// Throws EPrinter for the first of aSymbols whose module on aPage is below
// the floor: "Řádek 3: čárový kód C128 by na tiskárně \"P\" (203 dpi) měl
// modul 1 tečku (0.13 mm), potřebuje nejméně 2 tečky (0.25 mm); zkraťte
// data, zvolte širší štítek nebo tiskárnu s vyšším rozlišením".
void CheckSymbolModules(const TPlacedSymbols& aSymbols, const TPrinterJobPage& aPage);

} // namespace diroze
