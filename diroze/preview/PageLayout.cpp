#include "PageLayout.h"

#include <QSizeF>

#include <cmath>

namespace diroze {

bool SameSizeToTenth(const QPageSize& aSize, int32_t aWidth, int32_t aHeight)
{
    if (!aSize.isValid())
        return false;
    // The definition size is the one the size was made from; size() in
    // millimetres may have passed through whole points.
    const QSizeF mm =
        aSize.definitionUnits() == QPageSize::Millimeter ? aSize.definitionSize() : aSize.size(QPageSize::Millimeter);
    constexpr double kTolerance = 0.1 + 1e-9;
    return std::fabs(mm.width() - aWidth / 100.0) <= kTolerance &&
           std::fabs(mm.height() - aHeight / 100.0) <= kTolerance;
}

QPageSize PageSizeFor(int32_t aWidth, int32_t aHeight)
{
    const QSizeF mm(aWidth / 100.0, aHeight / 100.0);
    const QPageSize::PageSizeId id = QPageSize::id(mm, QPageSize::Millimeter, QPageSize::FuzzyMatch);
    if (id != QPageSize::Custom) {
        // A named size's page is its whole points, which for some sizes
        // (A6 297 × 420 pt) lie further from the millimetres than rounding
        // the size itself to points would.
        QPageSize named(id);
        const QSizeF points = named.sizePoints();
        constexpr double kHalfPointMm = 25.4 / 144 + 1e-9;
        if (SameSizeToTenth(named, aWidth, aHeight) &&
            std::fabs(points.width() * 25.4 / 72 - mm.width()) <= kHalfPointMm &&
            std::fabs(points.height() * 25.4 / 72 - mm.height()) <= kHalfPointMm)
            return named;
    }
    QPageSize own(mm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    // The exact millimetres of a name refused above would bring that name
    // back: a ten-thousandth of a millimetre more keeps the size its own.
    if (own.id() != QPageSize::Custom)
        own =
            QPageSize(QSizeF(mm.width() + 1e-4, mm.height()), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    return own;
}

QPageLayout PageLayoutFor(TPrinterOrientation aOrientation, TPoint aPageSize)
{
    TPoint portrait = aPageSize;
    if (aOrientation == poLandscape)
        std::swap(portrait.X, portrait.Y);
    return QPageLayout(PageSizeFor(portrait.X, portrait.Y),
                       aOrientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

} // namespace diroze
