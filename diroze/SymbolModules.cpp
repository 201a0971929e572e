#include "SymbolModules.h"

#include <cmath>

namespace diroze {

namespace {

// Thermal heads lose a space of one dot.
constexpr int64_t kMinModuleDots = 2;

QString MillimetresText(int64_t aDots, int aDpi) { return QString::number(aDots * 25.4 / aDpi, 'f', 2); }

} // namespace

std::optional<TPrintedModule> PrintedModule(const TPlacedSymbol& aSymbol, const TPrinterJobPage& aPage)
{
    const std::optional<TDotLayout> layout = WholeDotLayout(aPage.PageToDevice, aSymbol.Geometry);
    if (!layout || aPage.Dpi <= 0)
        return std::nullopt;
    TPrintedModule module;
    module.Dots = layout->Module;
    // MinModule hundredths of a millimetre in dots, a hair's rounding allowed.
    const double wanted = aPage.Calibration.MinModule / 2540.0 * aPage.Dpi;
    module.FloorDots = std::max<int64_t>(kMinModuleDots, static_cast<int64_t>(std::ceil(wanted - 1e-6)));
    return module;
}

QString DotsText(int64_t aCount, bool aObject)
{
    const char* word = aCount == 1 ? (aObject ? "tečku" : "tečka") : aCount >= 2 && aCount <= 4 ? "tečky" : "teček";
    return QStringLiteral("%1 %2").arg(aCount).arg(QString::fromUtf8(word));
}

QString DescribeModule(const TPrintedModule& aModule, int aDpi)
{
    QString text =
        QStringLiteral("modul %1 (%2 mm)").arg(DotsText(aModule.Dots, false), MillimetresText(aModule.Dots, aDpi));
    if (aModule.BelowFloor())
        text += QStringLiteral(", méně než %1 (%2 mm)")
                    .arg(DotsText(aModule.FloorDots, false), MillimetresText(aModule.FloorDots, aDpi));
    return text;
}

void CheckSymbolModules(const TPlacedSymbols& aSymbols, const TPrinterJobPage& aPage)
{
    for (const TPlacedSymbol& symbol : aSymbols) {
        const std::optional<TPrintedModule> module = PrintedModule(symbol, aPage);
        if (!module || !module->BelowFloor())
            continue;
        throw EPrinter(QStringLiteral("Řádek %1: čárový kód %2 by na tiskárně \"%3\" (%4 dpi) měl modul %5 (%6 mm), "
                                      "potřebuje nejméně %7 (%8 mm); zkraťte data, zvolte širší štítek nebo "
                                      "tiskárnu s vyšším rozlišením")
                           .arg(QString::number(symbol.Line), symbol.Kind, aPage.Printer, QString::number(aPage.Dpi),
                                DotsText(module->Dots, true), MillimetresText(module->Dots, aPage.Dpi),
                                DotsText(module->FloorDots, true), MillimetresText(module->FloorDots, aPage.Dpi))
                           .toStdString());
    }
}

} // namespace diroze
