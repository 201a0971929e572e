#include "Render.h"

#include "ScopeGuard.h"

#include <algorithm>
#include <limits>

namespace diroze {

namespace {

// Sheet arithmetic runs in 64 bits and saturates, so no layout overflows;
// coordinates are clamped into the surface's 32-bit range when drawn.
int64_t Mul(int64_t a, int64_t b)
{
    int64_t r = 0;
    if (__builtin_mul_overflow(a, b, &r))
        return (a < 0) != (b < 0) ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return r;
}

int64_t Add(int64_t a, int64_t b)
{
    int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r))
        return a < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return r;
}

int32_t Clamp32(int64_t v)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

struct TRect64 {
    int64_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    TRect ToRect() const { return TRect{Clamp32(Left), Clamp32(Top), Clamp32(Right), Clamp32(Bottom)}; }
};

void ApplyPismo(const TPismo& aPismo, TCanvasFont& aFont)
{
    if (!aPismo.Nazev.isEmpty())
        aFont.Name = aPismo.Nazev;
    if (aPismo.Velikost != 0)
        aFont.Size = aPismo.Velikost;
    aFont.Style = aPismo.Styl;
}

void ApplyZarovnani(const TPismo& aPismo, uint32_t& aFormat)
{
    if (aPismo.Zarovnani == ztInherit)
        return;
    aFormat &= ~uint32_t{tfLeft | tfRight | tfCenter};
    aFormat |= aPismo.Zarovnani == ztLeft ? tfLeft : aPismo.Zarovnani == ztRight ? tfRight : tfCenter;
}

// The padded cell of a label split in two: the text block at its foot and
// the body above it, for the barcode or the heading. A heading's body is the
// whole padded cell: it shares it with the text.
struct TLabelAreas {
    TRect64 Body, Text;
};

class TSheetRenderer {
public:
    TSheetRenderer(TPrintPreview& aNahled, const TPapir& aPapir, bool aPreviewOnly, TPlacedSymbols* aSymbols)
            : FNahled(aNahled), FPapir(aPapir), FPreviewOnly(aPreviewOnly), FSymbols(aSymbols)
    {
        const TPapir& p = FPapir;
        if (p.Stitek.X > 0 && p.Stitek.Y > 0) {
            FCellWidth = p.Stitek.X;
            FCellHeight = p.Stitek.Y;
        } else {
            FCellWidth =
                (int64_t{p.Velikost.X} - Mul(2, p.Okraj.X) - Mul(int64_t{p.Pocet.X} - 1, p.Mezery.X)) / p.Pocet.X;
            FCellHeight =
                (int64_t{p.Velikost.Y} - Mul(2, p.Okraj.Y) - Mul(int64_t{p.Pocet.Y} - 1, p.Mezery.Y)) / p.Pocet.Y;
        }
        FCol = int64_t{p.Zacatek.X} - 1;
        FRow = int64_t{p.Zacatek.Y} - 1;
        ApplyZarovnani(p.Pismo, FLineFormat);
    }

    void Run(const TStitekList& aDiroze)
    {
        FNahled.BeginDoc();
        TCanvas& c = *FNahled.Canvas();
        SetSheetFont(c);
        FLineHeight = c.TextHeight(kLineSample);
        c.Brush().Style = TBrushStyle::bsClear;
        if (FPreviewOnly)
            DrawFrames(c);
        for (size_t i = 0; i < aDiroze.size(); ++i)
            if (!DrawLabel(*aDiroze[i], static_cast<int>(i) + 1, i + 1 < aDiroze.size()))
                break;
        FNahled.EndDoc();
    }

private:
    TRect64 Cell(int64_t aCol, int64_t aRow) const
    {
        TRect64 r;
        r.Left = Add(FPapir.Okraj.X, Mul(Add(FPapir.Mezery.X, FCellWidth), aCol));
        r.Top = Add(FPapir.Okraj.Y, Mul(Add(FPapir.Mezery.Y, FCellHeight), aRow));
        r.Right = Add(r.Left, FCellWidth);
        r.Bottom = Add(r.Top, FCellHeight);
        return r;
    }

    void SetSheetFont(TCanvas& c) const
    {
        c.Font().Name = FPapir.Pismo.Nazev;
        c.Font().Size = FPapir.Pismo.Velikost;
        c.Font().Color = clBlack;
    }

    void DrawFrames(TCanvas& c) const
    {
        c.Pen().Color = clSilver;
        c.Pen().Style = TPenStyle::psDot;
        // Only frames that reach onto the paper, and no more a side than the
        // spin edits allow: a count typed far beyond them does not stall the preview.
        const auto onPaper = [](int64_t aFrom, int64_t aTo, int64_t aSize) {
            return std::max(aFrom, aTo) > 0 && std::min(aFrom, aTo) < aSize;
        };
        const int64_t columns = std::min<int64_t>(FPapir.Pocet.X, kSpinEditMax);
        const int64_t rows = std::min<int64_t>(FPapir.Pocet.Y, kSpinEditMax);
        for (int64_t x = 0; x < columns; ++x) {
            const TRect64 column = Cell(x, 0);
            if (!onPaper(column.Left, column.Right, FPapir.Velikost.X))
                continue;
            for (int64_t y = 0; y < rows; ++y) {
                const TRect64 cell = Cell(x, y);
                if (onPaper(cell.Top, cell.Bottom, FPapir.Velikost.Y))
                    c.Rectangle(cell.ToRect());
            }
        }
    }

    // Starts the next sheet at its first cell; false instead when only the
    // preview's first sheet is drawn.
    bool BreakPage()
    {
        if (FPreviewOnly)
            return false;
        FNahled.NewPage();
        FCol = 0;
        FRow = 0;
        SetSheetFont(*FNahled.Canvas());
        return true;
    }

    // False when preview-only rendering stops at this label.
    bool DrawLabel(const TStitek& aStitek, int aLine, bool aAnotherFollows)
    {
        FNahled.Canvas()->Brush().Style = TBrushStyle::bsClear;
        if (!MoveToCell(aStitek.Options()))
            return false;
        TCanvas& c = *FNahled.Canvas();
        const int lineCount = LineCount(aStitek);
        const TLabelAreas areas = LabelAreas(aStitek, lineCount);
        DrawTextBlock(c, aStitek, lineCount, areas.Text);
        const size_t recorded = c.Recording().Records().size();
        DrawBody(c, aStitek, areas.Body);
        if (FSymbols && c.Recording().Records().size() > recorded)
            PlaceSymbol(aStitek, aLine, c.Recording().Records().back());
        return MoveToNextCell(aAnotherFollows);
    }

    // The label's commands move the cursor before it: to a new sheet, a new
    // row, or a row further; a full sheet breaks to the next.
    bool MoveToCell(TStitekOptions aOptions)
    {
        if (aOptions.Contains(soNewPage) && !AtSheetStart())
            return BreakPage();
        if (aOptions.Contains(soNewLine) && FCol > 0) {
            ++FRow;
            FCol = 0;
        }
        if (aOptions.Contains(soSkipLine) && !AtSheetStart())
            ++FRow;
        if (FRow >= FPapir.Pocet.Y)
            return BreakPage();
        return true;
    }

    // At the first label of the document or the first cell of a sheet there
    // is nothing to move on from.
    bool AtSheetStart() const { return FFirst || (FCol == 0 && FRow == 0); }

    // After a label the cursor moves to the next cell of its row, or to the
    // first of the next row; a full sheet breaks when another label follows.
    bool MoveToNextCell(bool aAnotherFollows)
    {
        FFirst = false;
        if (++FCol >= FPapir.Pocet.X) {
            ++FRow;
            FCol = 0;
        }
        if (FRow >= FPapir.Pocet.Y && aAnotherFollows)
            return BreakPage();
        return true;
    }

    // The lines up to the last one that holds text.
    static int LineCount(const TStitek& aStitek)
    {
        int count = 0;
        for (int i = 0; i < kLineCount; ++i)
            if (!aStitek.Radek(i).isEmpty())
                count = i + 1;
        return count;
    }

    // A text line's format under the sheet's alignment (right when it sets none).
    uint32_t SheetLineFormat() const
    {
        uint32_t format = tfSingleLine | tfRight;
        ApplyZarovnani(FPapir.Pismo, format);
        return format;
    }

    // A barcode's number line: one and a half text lines.
    int64_t NumberLineHeight() const { return int64_t{FLineHeight} / 2 + FLineHeight; }

    TLabelAreas LabelAreas(const TStitek& aStitek, int aLineCount) const
    {
        const TStitekOptions options = aStitek.Options();
        TRect64 body = Cell(FCol, FRow);
        body.Left = Add(body.Left, FPapir.Vycpavka.X);
        body.Right = Add(body.Right, -int64_t{FPapir.Vycpavka.X});
        body.Top = Add(body.Top, FPapir.Vycpavka.Y);
        body.Bottom = Add(body.Bottom, -int64_t{FPapir.Vycpavka.Y});
        TRect64 text = body;
        if (options.Contains(soBarCode) || options.Contains(soBreak))
            text.Top = Add(body.Bottom, -Mul(aLineCount, FLineHeight));
        if (options.Contains(soEan) && options.Contains(soBarCode) && aStitek.HasNumberLine())
            text.Top = Add(text.Top, -NumberLineHeight());
        if (!options.Contains(soBreak))
            body.Bottom = text.Top;
        return {body, text};
    }

    // The number line of an EAN label, then the lines, each in the sheet's
    // font with its own bold mark or, with soOverrideStyle, its own font.
    void DrawTextBlock(TCanvas& c, const TStitek& aStitek, int aLineCount, TRect64 aText)
    {
        const TStitekOptions options = aStitek.Options();
        c.Font().Size = FPapir.Pismo.Velikost;
        if (options.Contains(soEan) && aStitek.HasNumberLine()) {
            c.Font().Style = {};
            c.TextRect(aText.ToRect(), aStitek.NumberText(), tfSingleLine | tfCenter);
            aText.Top = Add(aText.Top, NumberLineHeight());
        }
        for (int i = 0; i < aLineCount; ++i) {
            FLineFormat = SheetLineFormat();
            ApplyPismo(FPapir.Pismo, c.Font());
            if (options.Contains(soOverrideStyle)) {
                ApplyPismo(aStitek.Pisma()[size_t(i)], c.Font());
                ApplyZarovnani(aStitek.Pisma()[size_t(i)], FLineFormat);
            } else {
                c.Font().Style = FPapir.Radky[size_t(i)] ? TFontStyles{fsBold} : TFontStyles{};
            }
            c.TextRect(aText.ToRect(), aStitek.Radek(i).toString(), FLineFormat);
            aText.Top = Add(aText.Top, FLineHeight);
        }
    }

    // A heading (soBreak) in bold a tenth larger, aligned as the last line
    // drawn; otherwise the barcode, when the label has one: a matrix symbol
    // takes the sheet's alignment.
    void DrawBody(TCanvas& c, const TStitek& aStitek, const TRect64& aBody) const
    {
        const TStitekOptions options = aStitek.Options();
        if (options.Contains(soBreak)) {
            c.Font().Style = {fsBold};
            c.Font().Size = HeadingFontSize(FPapir.Pismo.Velikost);
            c.TextRect(aBody.ToRect(), aStitek.EAN().toString(), FLineFormat | tfWordBreak);
        } else if (options.Contains(soBarCode) && aStitek.BarCode()) {
            aStitek.BarCode()->Draw(c, aBody.ToRect());
        } else if (options.Contains(soBarCode) && aStitek.Symbol()) {
            aStitek.Symbol()->Draw(c, aBody.ToRect(), SheetLineFormat());
        }
    }

    void PlaceSymbol(const TStitek& aStitek, int aLine, const TMetaRecord& aRecord) const
    {
        const QString kind = aStitek.Symbol()    ? TSymbolBarCode::KindName(aStitek.Symbol()->Kind())
                             : aStitek.BarCode() ? QStringLiteral("EAN-%1").arg(aStitek.BarCode()->MaxDataLength())
                                                 : QString();
        if (const auto* bars = std::get_if<rec::Bars>(&aRecord))
            FSymbols->push_back(TPlacedSymbol{aLine, kind, SymbolGeometry(*bars)});
        else if (const auto* grid = std::get_if<rec::Modules>(&aRecord))
            FSymbols->push_back(TPlacedSymbol{aLine, kind, SymbolGeometry(*grid)});
    }

    TPrintPreview& FNahled;
    const TPapir& FPapir;
    bool FPreviewOnly;
    TPlacedSymbols* FSymbols;
    int64_t FCellWidth = 0, FCellHeight = 0;
    int64_t FCol = 0, FRow = 0; // the cursor: the next label's cell
    bool FFirst = true;         // no label drawn yet
    int32_t FLineHeight = 0;
    // The format of the last line drawn, which a heading keeps.
    uint32_t FLineFormat = tfSingleLine;
};

} // namespace

int32_t HeadingFontSize(int32_t aSize)
{
    const int64_t tenfold = int64_t{aSize} * 11;
    int64_t q = tenfold / 10;
    const int64_t r = tenfold % 10;
    if (r > 5 || r < -5 || ((r == 5 || r == -5) && (q % 2 != 0)))
        q += r > 0 ? 1 : -1;
    return Clamp32(q);
}

void Render(TPrintPreview& aNahled, const TStitekList& aDiroze, const TPapir& aPapir, bool aPreviewOnly,
            TPlacedSymbols* aSymbols)
{
    aNahled.SetPaperType(aPapir.Format);
    aNahled.SetOrientation(aPapir.Orientace);
    if (aPapir.Format == pCustom) {
        aNahled.SetPaperWidth(aPapir.Velikost.X);
        aNahled.SetPaperHeight(aPapir.Velikost.Y);
    }
    if (aPapir.Pocet.X == 0 || aPapir.Pocet.Y == 0)
        throw hostutils::Exception("Division by zero");
    {
        const hostutils::TScopeFail abort([&aNahled] { aNahled.AbortDoc(); });
        if (aSymbols)
            aSymbols->clear();
        TSheetRenderer(aNahled, aPapir, aPreviewOnly, aSymbols).Run(aDiroze);
    }
    aNahled.SetZoomState(zsZoomToFit);
}

} // namespace diroze
