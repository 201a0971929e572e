#include "CheckReport.h"

namespace diroze {

QString DescribeLabel(int aNumber, const TStitek& aStitek, const QString& aSymbolNote)
{
    QString text = QStringLiteral("%1:").arg(aNumber);
    const TStitekOptions o = aStitek.Options();
    if (o.Contains(soBreak))
        text += QStringLiteral(" nadpis \"%1\"").arg(aStitek.EAN().toString());
    if (o.Contains(soNewPage))
        text += QStringLiteral(" [nová stránka]");
    if (o.Contains(soSkipLine))
        text += QStringLiteral(" [prázdný řádek]");
    else if (o.Contains(soNewLine))
        text += QStringLiteral(" [nový řádek]");
    if (const TNumeric1DBarCode* code = aStitek.BarCode())
        text += QStringLiteral(" EAN-%1 %2").arg(code->MaxDataLength()).arg(code->Data());
    else if (const TSymbolBarCode* symbol = aStitek.Symbol())
        text += QStringLiteral(" %1 %2").arg(TSymbolBarCode::KindName(symbol->Kind()),
                                             aStitek.EAN().sliced(aStitek.EAN().indexOf(u':') + 1).toString());
    if (!aSymbolNote.isEmpty())
        text += QStringLiteral(" [%1]").arg(aSymbolNote);
    for (int i = 0; i < kLineCount; ++i)
        if (!aStitek.Radek(i).isEmpty())
            text += QStringLiteral(" | ") + aStitek.Radek(i).toString();
    return text;
}

} // namespace diroze
