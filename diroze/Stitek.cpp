#include "Stitek.h"

#include "Exceptions.h"
#include "UtilsString.h"

namespace diroze {

namespace {

[[noreturn]] void Fail(const QString& aMessage) { throw hostutils::Exception(aMessage.toStdString()); }

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

} // namespace

TStitek::TStitek(QStringView aLine, TStitekOptions aDefaultOptions) : FOptions(aDefaultOptions)
{
    const QList<QStringView> fields = hostutils::SplitViewsByDelimiter(u";", aLine);
    QStringView field0 = fields[0];

    if (field0.size() >= 2 && field0[0] == u'@') {
        FOptions = FOptions + soBreak - soBarCode - soEan;
        switch (field0[1].unicode()) {
        case u' ':
        case u'1':
            FOptions.Include(soNewPage);
            break;
        case u'2':
            FOptions.Include(soNewLine).Include(soSkipLine);
            break;
        case u'3':
            FOptions.Include(soNewLine);
            break;
        default:
            Fail(QStringLiteral("Neznámý povel \"@") + field0[1] + u'"');
        }
        field0 = field0.sliced(2);
    }

    FEAN = field0.toString();
    if (FEAN.isEmpty())
        FOptions.Exclude(soBarCode);

    if (FOptions.Contains(soBarCode)) {
        const qsizetype length = FEAN.size();
        if (length > 13)
            Fail(QStringLiteral("Příliš dlouhý EAN kód: ") + FEAN);
        if (length >= 9)
            FBarCode = std::make_unique<TEAN13BarCode>();
        else
            FBarCode = std::make_unique<TEAN8BarCode>();
        FBarCode->SetData(FEAN);
    }

    const qsizetype lines = std::min<qsizetype>(fields.size() - 1, kLineCount);
    for (int i = 0; i < lines; ++i) {
        const QStringView text = fields[i + 1];
        if (FOptions.Contains(soOverrideStyle) && text.startsWith(u'@'))
            ReadStylePrefix(i, text);
        else
            FRadky[static_cast<size_t>(i)] = text.toString();
    }
}

void TStitek::ReadStylePrefix(int aLine, QStringView aText)
{
    TPismo pismo;
    QStringView rest; // the text after a size; empty when the line was all prefix
    for (qsizetype p = 1; p < aText.size(); ++p) {
        const QChar c = aText[p];
        if (IsDigit(c)) {
            if (p + 1 >= aText.size())
                Fail(QStringLiteral("Neplatný příkaz pro formátování \"\""));
            const QChar second = aText[p + 1];
            if (!IsDigit(second))
                Fail(QStringLiteral("Neplatný příkaz pro formátování \"") + second + u'"');
            pismo.Velikost = (c.unicode() - u'0') * 10 + (second.unicode() - u'0');
            rest = aText.sliced(p + 2);
            break;
        }
        switch (c.unicode()) {
        case u'b':
            pismo.Styl.Include(fsBold);
            break;
        case u'i':
            pismo.Styl.Include(fsItalic);
            break;
        case u'u':
            pismo.Styl.Include(fsUnderline);
            break;
        case u's':
            pismo.Styl.Include(fsStrikeOut);
            break;
        case u'l':
            pismo.Zarovnani = ztLeft;
            break;
        case u'r':
            pismo.Zarovnani = ztRight;
            break;
        case u'c':
            pismo.Zarovnani = ztCenter;
            break;
        default:
            Fail(QStringLiteral("Neplatný příkaz pro formátování \"") + c + u'"');
        }
    }
    FRadky[static_cast<size_t>(aLine)] = rest.toString();
    if (pismo != TPismo{}) {
        if (!FPisma)
            FPisma = std::make_unique<TPisma>();
        (*FPisma)[static_cast<size_t>(aLine)] = pismo;
    }
}

const TPisma& TStitek::Pisma() const
{
    static const TPisma kDefault{};
    return FPisma ? *FPisma : kDefault;
}

} // namespace diroze
