#include "PrinterSetup.h"

#include "Units.h"

#include <QPrinterInfo>
#include <QSizeF>

#include <cups/cups.h>

#include <cmath>

namespace diroze {

namespace {

int64_t WholeMillimetres(int64_t aThousandths) { return RoundHalfEven(static_cast<long double>(aThousandths) / 1000); }

} // namespace

TFormNames SearchForms(const std::vector<TPrinterForm>& aForms, int64_t aWidthMm, int64_t aHeightMm, bool aTurned)
{
    TFormNames result;
    for (const TPrinterForm& form : aForms) {
        const int64_t w = WholeMillimetres(form.Width);
        const int64_t h = WholeMillimetres(form.Height);
        if (w == aWidthMm && h == aHeightMm)
            return TFormNames{form.Name, QString()};
        if (w == aHeightMm && h == aWidthMm)
            result.VirtualFormName = form.Name; // the last such form wins
    }
    if (!result.VirtualFormName.isEmpty())
        aTurned = !aTurned; // the form lies the other way round: the sheet turns
    else
        result.VirtualFormName = QStringLiteral("%1mm x %2mm")
                                     .arg(aTurned ? aHeightMm : aWidthMm)
                                     .arg(aTurned ? aWidthMm : aHeightMm);
    if (aTurned)
        result.VirtualFormName += QStringLiteral(" Rotated");
    return result;
}

std::vector<TPrinterForm> PrinterForms(const QString& aPrinterName)
{
    std::vector<TPrinterForm> forms;
    if (aPrinterName.isEmpty())
        return forms;
    const QPrinterInfo info = QPrinterInfo::printerInfo(aPrinterName);
    if (info.isNull())
        return forms;
    for (const QPageSize& size : info.supportedPageSizes()) {
        const QSizeF mm = size.size(QPageSize::Millimeter);
        forms.push_back(TPrinterForm{size.name(), std::llround(mm.width() * 1000), std::llround(mm.height() * 1000)});
    }
    return forms;
}

QPageSize PrinterFormPageSize(const QString& aPrinterName, const QString& aFormName)
{
    if (aPrinterName.isEmpty() || aFormName.isEmpty())
        return QPageSize();
    for (const QPageSize& size : QPrinterInfo::printerInfo(aPrinterName).supportedPageSizes())
        if (size.name() == aFormName)
            return size;
    return QPageSize();
}

bool PrinterListed(const QString& aPrinterName)
{
    return !aPrinterName.isEmpty() && QPrinterInfo::availablePrinterNames().contains(aPrinterName);
}

bool AnyPrinterListed() { return !QPrinterInfo::availablePrinterNames().isEmpty(); }

QString SpoolerRefusal()
{
    // Qt's print engine submits the job with cupsPrintFile in end(), on this
    // thread, and libcups keeps that request's status per thread.
    if (cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return QString();
    return QString::fromUtf8(cupsLastErrorString());
}

} // namespace diroze
