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
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
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

class TSheetRenderer {
public:
    TSheetRenderer(TPrintPreview& aNahled, const TPapir& aPapir, bool aPreviewOnly)
        : N(aNahled), P(aPapir), FPreviewOnly(aPreviewOnly)
    {
        W = (int64_t{P.Velikost.X} - Mul(2, P.Okraj.X) - Mul(int64_t{P.Pocet.X} - 1, P.Mezery.X)) / P.Pocet.X;
        H = (int64_t{P.Velikost.Y} - Mul(2, P.Okraj.Y) - Mul(int64_t{P.Pocet.Y} - 1, P.Mezery.Y)) / P.Pocet.Y;
        col = int64_t{P.Zacatek.X} - 1;
        row = int64_t{P.Zacatek.Y} - 1;
        ApplyZarovnani(P.Pismo, fmt);
    }

    void Run(const TStitekList& aDiroze)
    {
        N.BeginDoc();
        TCanvas& c = *N.Canvas();
        SetSheetFont(c);
        LineH = c.TextHeight(kLineSample);
        c.Brush().Style = TBrushStyle::bsClear;
        if (FPreviewOnly)
            DrawFrames(c);
        for (size_t i = 0; i < aDiroze.size(); ++i)
            if (!DrawLabel(*aDiroze[i], i + 1 < aDiroze.size()))
                break;
        N.EndDoc();
    }

private:
    TRect64 Cell(int64_t aCol, int64_t aRow) const
    {
        TRect64 r;
        r.Left = Add(P.Okraj.X, Mul(Add(P.Mezery.X, W), aCol));
        r.Top = Add(P.Okraj.Y, Mul(Add(P.Mezery.Y, H), aRow));
        r.Right = Add(r.Left, W);
        r.Bottom = Add(r.Top, H);
        return r;
    }

    void SetSheetFont(TCanvas& c) const
    {
        c.Font().Name = P.Pismo.Nazev;
        c.Font().Size = P.Pismo.Velikost;
        c.Font().Color = clBlack;
    }

    void DrawFrames(TCanvas& c) const
    {
        c.Pen().Color = clSilver;
        c.Pen().Style = TPenStyle::psDot;
        for (int32_t x = 0; x < P.Pocet.X; ++x)
            for (int32_t y = 0; y < P.Pocet.Y; ++y)
                c.Rectangle(Cell(x, y).ToRect());
    }

    void StartNewPage()
    {
        N.NewPage();
        col = 0;
        row = 0;
        SetSheetFont(*N.Canvas());
    }

    // False when preview-only rendering stops at this label.
    bool DrawLabel(const TStitek& L, bool aAnotherFollows)
    {
        N.Canvas()->Brush().Style = TBrushStyle::bsClear;
        const TStitekOptions o = L.Options();
        if (o.Contains(soNewPage) && (col > 0 || row > 0) && !first) {
            if (FPreviewOnly)
                return false;
            StartNewPage();
        } else {
            if (o.Contains(soNewLine) && col > 0) {
                ++row;
                col = 0;
            }
            if (o.Contains(soSkipLine) && (col > 0 || row > 0) && !first)
                ++row;
            if (row >= P.Pocet.Y) {
                if (FPreviewOnly)
                    return false;
                StartNewPage();
            }
        }
        TCanvas& c = *N.Canvas();

        TRect64 R = Cell(col, row);
        R.Left = Add(R.Left, P.Vycpavka.X);
        R.Right = Add(R.Right, -int64_t{P.Vycpavka.X});
        R.Top = Add(R.Top, P.Vycpavka.Y);
        R.Bottom = Add(R.Bottom, -int64_t{P.Vycpavka.Y});

        int n = 0;
        for (int i = 0; i < kLineCount; ++i)
            if (!L.Radek(i).isEmpty())
                n = i + 1;

        TRect64 T = R;
        const int64_t numberLine = LineH / 2 + LineH;
        if (o.Contains(soBarCode) || o.Contains(soBreak))
            T.Top = Add(R.Bottom, -Mul(n, LineH));
        if (o.Contains(soEan) && o.Contains(soBarCode))
            T.Top = Add(T.Top, -numberLine);
        if (!o.Contains(soBreak))
            R.Bottom = T.Top;

        c.Font().Size = P.Pismo.Velikost;
        if (o.Contains(soEan)) {
            c.Font().Style = {};
            c.TextRect(T.ToRect(), L.EAN().toString(), tfSingleLine | tfCenter);
            T.Top = Add(T.Top, numberLine);
        }
        for (int i = 0; i < n; ++i) {
            fmt = tfSingleLine | tfRight;
            ApplyPismo(P.Pismo, c.Font());
            ApplyZarovnani(P.Pismo, fmt);
            if (o.Contains(soOverrideStyle)) {
                ApplyPismo(L.Pisma()[size_t(i)], c.Font());
                ApplyZarovnani(L.Pisma()[size_t(i)], fmt);
            } else {
                c.Font().Style = P.Radky[size_t(i)] ? TFontStyles{fsBold} : TFontStyles{};
            }
            c.TextRect(T.ToRect(), L.Radek(i).toString(), fmt);
            T.Top = Add(T.Top, LineH);
        }
        if (o.Contains(soBreak)) {
            c.Font().Style = {fsBold};
            c.Font().Size = HeadingFontSize(P.Pismo.Velikost);
            c.TextRect(R.ToRect(), L.EAN().toString(), fmt | tfWordBreak);
        } else if (o.Contains(soBarCode) && L.BarCode()) {
            L.BarCode()->Draw(c, R.ToRect());
        }

        first = false;
        if (++col >= P.Pocet.X) {
            ++row;
            col = 0;
        }
        if (row >= P.Pocet.Y && aAnotherFollows) {
            if (FPreviewOnly)
                return false;
            StartNewPage();
        }
        return true;
    }

    TPrintPreview& N;
    const TPapir& P;
    bool FPreviewOnly;
    int64_t W = 0, H = 0;
    int64_t col = 0, row = 0;
    bool first = true;
    int32_t LineH = 0;
    uint32_t fmt = tfSingleLine;
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

void Render(TPrintPreview& aNahled, const TStitekList& aDiroze, const TPapir& aPapir, bool aPreviewOnly)
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
        TSheetRenderer(aNahled, aPapir, aPreviewOnly).Run(aDiroze);
    }
    aNahled.SetZoomState(zsZoomToFit);
}

} // namespace diroze
