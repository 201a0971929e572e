#pragma once
// Laying labels out on sheets and drawing them onto the page engine.

#include "DataFile.h"
#include "Papir.h"
#include "preview/PrintPreview.h"

namespace diroze {

// The sample whose height is one text line.
inline const QString kLineSample = QStringLiteral("WjpqČÁ9,!");

// A symbol as it was laid out: the data-file line of its label (labels are
// lines, from 1), its kind as -check names it ("EAN-13", "C128", ...), and
// where its record lies and how many modules it has.
struct TPlacedSymbol {
    int Line = 0;
    QString Kind;
    TSymbolGeometry Geometry;
};
using TPlacedSymbols = std::vector<TPlacedSymbol>;

// Replaces aNahled's document with the labels laid out on sheets of aPapir.
// Every cell is aPapir.Stitek when that is set, else what the margins and
// gaps leave, shared out. aPreviewOnly: cell frames on the first page (those that reach onto the
// paper, of the first kSpinEditMax columns and rows), and only that page is
// recorded; otherwise every sheet, without frames. Ends with the engine
// zoomed to fit.
//
// Throws Exception("Division by zero") for a count of 0, after the paper has
// been set and before the document begins (the engine keeps its pages); the
// engine's own failures pass through, with the engine back in psReady.
// aSymbols, when given, gets every symbol drawn, in the order drawn.
void Render(TPrintPreview& aNahled, const TStitekList& aDiroze, const TPapir& aPapir, bool aPreviewOnly,
            TPlacedSymbols* aSymbols = nullptr);

// aSize points enlarged by a tenth, rounded half to even: the heading size.
int32_t HeadingFontSize(int32_t aSize);

} // namespace diroze
