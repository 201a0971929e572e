#include "UtilsString.h"

namespace hostutils {

QList<QStringView> SplitViewsByDelimiter(QStringView aDelimiter, QStringView aText)
{
    QList<QStringView> pieces;
    if (aDelimiter.isEmpty()) {
        pieces.append(aText);
        return pieces;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = aText.indexOf(aDelimiter, from);
        if (at < 0)
            break;
        pieces.append(aText.sliced(from, at - from));
        from = at + aDelimiter.size();
    }
    pieces.append(aText.sliced(from));
    return pieces;
}

QStringList SplitByDelimiter(QStringView aDelimiter, QStringView aText)
{
    QStringList result;
    const QList<QStringView> views = SplitViewsByDelimiter(aDelimiter, aText);
    result.reserve(views.size());
    for (QStringView v : views)
        result.append(v.toString());
    return result;
}

} // namespace hostutils
