#include "PageLayout.h"

#include <QPageSize>
#include <QSizeF>

namespace diroze {

QPageLayout PageLayoutFor(TPaperType aType, TPrinterOrientation aOrientation, TPoint aPageSize)
{
    QPageSize size;
    if (aType != pCustom)
        size = QPageSize(QPageSize::id(PaperSizeTable[aType].PaperCode));
    if (aType == pCustom || !size.isValid() || size.id() == QPageSize::Custom) {
        TPoint portrait = aPageSize;
        if (aOrientation == poLandscape)
            std::swap(portrait.X, portrait.Y);
        size = QPageSize(QSizeF(portrait.X / 100.0, portrait.Y / 100.0), QPageSize::Millimeter, QString(),
                         QPageSize::ExactMatch);
    }
    return QPageLayout(size, aOrientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

} // namespace diroze
