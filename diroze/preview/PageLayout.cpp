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
        QPageSize named(id);
        if (SameSizeToTenth(named, aWidth, aHeight))
            return named;
    }
    return QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
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
