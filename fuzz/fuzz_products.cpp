// Label template files and paper sizes. Reading hostile bytes never throws:
// a file that is not well-formed gives its reason with the line, and every
// product it held is either refused with a reason or usable. A usable product
// holds a layout the settings accept (ApplyProduct then ReadPapir succeed),
// with counts in the spin edits' range, and the renderer's cells start within
// the tolerance of its labels: the fit error it reports is at most
// kProductTolerance.

#include "FuzzSupport.h"
#include "products/LabelProducts.h"

#include <QByteArray>
#include <QLocale>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    const QByteArray bytes(reinterpret_cast<const char*>(aData), static_cast<qsizetype>(aSize));
    diroze::TPaperSizes sizes = diroze::BuiltInPaperSizes();
    const QString paperFault = diroze::ReadPaperSizes(bytes, sizes);
    FUZZ_CHECK(paperFault.isEmpty() || paperFault.contains(QStringLiteral("řádek ")));
    for (const auto& [name, size] : sizes)
        FUZZ_CHECK(size.first > 0 && size.second > 0 && size.first <= diroze::kMaxTemplateLength);

    std::vector<diroze::TLabelProduct> products;
    const QString fault = diroze::ReadTemplates(bytes, QStringLiteral("fuzz.xml"), sizes, products);
    diroze::ResolveEquivalents(products);
    for (const diroze::TLabelProduct& p : products) {
        if (!fault.isEmpty() && fault.startsWith(QStringLiteral("řádek ")))
            FUZZ_CHECK(!p.Usable());
        if (!p.Usable())
            continue;
        FUZZ_CHECK(p.Pocet.X >= diroze::kSpinEditMin && p.Pocet.X <= diroze::kSpinEditMax);
        FUZZ_CHECK(p.Pocet.Y >= diroze::kSpinEditMin && p.Pocet.Y <= diroze::kSpinEditMax);
        FUZZ_CHECK(p.Okraj.X >= 0 && p.Okraj.Y >= 0 && p.Mezery.X >= 0 && p.Mezery.Y >= 0);
        FUZZ_CHECK(p.FitError >= 0 && p.FitError <= diroze::kProductTolerance);
        diroze::TPapirControls controls;
        controls.FontItems = {controls.FontText};
        diroze::ApplyProduct(p, controls, QLocale::c());
        const diroze::TPapir papir = diroze::ReadPapir(controls, QLocale::c());
        FUZZ_CHECK(papir.Pocet == p.Pocet && papir.Okraj == p.Okraj && papir.Mezery == p.Mezery &&
                   papir.Velikost == p.Velikost);
        // The renderer's cells are not empty.
        FUZZ_CHECK(papir.Velikost.X - 2 * int64_t{papir.Okraj.X} - (papir.Pocet.X - 1) * int64_t{papir.Mezery.X} >=
                   papir.Pocet.X);
        FUZZ_CHECK(papir.Velikost.Y - 2 * int64_t{papir.Okraj.Y} - (papir.Pocet.Y - 1) * int64_t{papir.Mezery.Y} >=
                   papir.Pocet.Y);
    }
    return 0;
}
