#pragma once
// Text helpers of the label printer.

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace hostutils {

// Cuts aText at every occurrence of aDelimiter. Pieces are not trimmed and
// empty pieces count: n occurrences give n + 1 pieces, an empty text gives one
// empty piece. An empty delimiter cuts nothing. The views point into aText.
QList<QStringView> SplitViewsByDelimiter(QStringView aDelimiter, QStringView aText);

// As SplitViewsByDelimiter, as owned strings.
QStringList SplitByDelimiter(QStringView aDelimiter, QStringView aText);

// A UTF-8 exception text as a QString.
inline QString MessageText(const std::exception& e) { return QString::fromUtf8(e.what()); }

} // namespace hostutils
