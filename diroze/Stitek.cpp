#include "Stitek.h"

#include "Exceptions.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace diroze {

namespace {

[[noreturn]] void Fail(const QString& aMessage) { throw hostutils::Exception(aMessage.toStdString()); }

bool IsDigit(QChar aChar) { return aChar >= u'0' && aChar <= u'9'; }

// The letters of a style prefix: font styles and text alignments.
constexpr std::pair<char16_t, TFontStyle> kStyleLetters[] = {
    {u'b', fsBold}, {u'i', fsItalic}, {u'u', fsUnderline}, {u's', fsStrikeOut}};
constexpr std::pair<char16_t, TZarovnaniTextu> kAlignmentLetters[] = {
    {u'l', ztLeft}, {u'r', ztRight}, {u'c', ztCenter}};

// The length of "KIND" when aLine starts with "KIND:" (a letter, then letters
// or digits), else 0.
qsizetype KindPrefix(QStringView aLine)
{
    const auto letter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    if (aLine.isEmpty() || !letter(aLine[0]))
        return 0;
    for (qsizetype i = 1; i < aLine.size(); ++i) {
        if (aLine[i] == u':')
            return i;
        if (!letter(aLine[i]) && !IsDigit(aLine[i]))
            return 0;
    }
    return 0;
}

} // namespace

TStitek::TStitek(QStringView aLine, TStitekOptions aDefaultOptions) : FOptions(aDefaultOptions)
{
    // A symbol's field 0 ends at its first unescaped semicolon.
    const qsizetype kindLength = FOptions.Contains(soBarCode) ? KindPrefix(aLine) : 0;
    qsizetype field0End = -1;
    if (kindLength > 0) {
        const QStringView data = aLine.sliced(kindLength + 1);
        const qsizetype end = TSymbolBarCode::EscapedFieldEnd(data);
        field0End = end < data.size() ? kindLength + 1 + end : -1;
    }

    // Fields 0 to 8; anything after the ninth field is ignored.
    std::array<QStringView, 1 + kLineCount> fields;
    qsizetype fieldCount = 0;
    for (qsizetype from = 0; fieldCount < qsizetype(fields.size());) {
        const qsizetype at = kindLength > 0 && fieldCount == 0 ? field0End : aLine.indexOf(u';', from);
        fields[size_t(fieldCount++)] = aLine.sliced(from, (at < 0 ? aLine.size() : at) - from);
        if (at < 0)
            break;
        from = at + 1;
    }

    QStringView& field0 = fields[0];
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

    if (field0.isEmpty())
        FOptions.Exclude(soBarCode);
    if (FOptions.Contains(soBarCode) && kindLength > 0) {
        const QStringView name = field0.first(kindLength);
        const std::optional<TSymbolKind> kind = TSymbolBarCode::KindFromName(name);
        if (!kind)
            Fail(QStringLiteral("Neznámý druh čárového kódu \"") + name.toString() + u'"');
        FBarCode =
            std::make_unique<TSymbolBarCode>(*kind, TSymbolBarCode::Unescape(*kind, field0.sliced(kindLength + 1)));
    } else if (FOptions.Contains(soBarCode)) {
        const qsizetype length = field0.size();
        if (length > 13)
            Fail(QStringLiteral("Příliš dlouhý EAN kód: ") + field0.toString());
        TNumeric1DBarCode& code = length >= 9 ? static_cast<TNumeric1DBarCode&>(FBarCode.emplace<TEAN13BarCode>())
                                              : FBarCode.emplace<TEAN8BarCode>();
        code.SetData(field0.toString());
    }

    for (int i = 0; i + 1 < fieldCount; ++i)
        if (FOptions.Contains(soOverrideStyle) && fields[size_t(i) + 1].startsWith(u'@'))
            ReadStylePrefix(i, fields[size_t(i) + 1]);

    qsizetype total = 0;
    for (qsizetype i = 0; i < fieldCount; ++i)
        total += fields[size_t(i)].size();
    if (total > qsizetype(UINT32_MAX))
        Fail(QStringLiteral("Řádek je příliš dlouhý"));
    FText.reserve(total);
    for (size_t i = 0; i < FEnds.size(); ++i) {
        if (qsizetype(i) < fieldCount)
            FText += fields[i];
        FEnds[i] = static_cast<uint32_t>(FText.size());
    }
}

const TNumeric1DBarCode* TStitek::BarCode() const
{
    if (const auto* code = std::get_if<TEAN13BarCode>(&FBarCode))
        return code;
    return std::get_if<TEAN8BarCode>(&FBarCode);
}

QStringView TStitek::Piece(int aPiece) const
{
    if (aPiece < 0 || aPiece >= int(FEnds.size()))
        return {};
    const uint32_t begin = aPiece == 0 ? 0 : FEnds[size_t(aPiece) - 1];
    return QStringView(FText).sliced(begin, FEnds[size_t(aPiece)] - begin);
}

TRadkyStitku TStitek::Radky() const
{
    TRadkyStitku lines;
    for (int i = 0; i < kLineCount; ++i)
        lines[size_t(i)] = Radek(i).toString();
    return lines;
}

void TStitek::ReadStylePrefix(int aLine, QStringView& aText)
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
        const auto style = std::find_if(std::begin(kStyleLetters), std::end(kStyleLetters),
                                        [&](const auto& aEntry) { return aEntry.first == c; });
        const auto alignment = std::find_if(std::begin(kAlignmentLetters), std::end(kAlignmentLetters),
                                            [&](const auto& aEntry) { return aEntry.first == c; });
        if (style != std::end(kStyleLetters))
            pismo.Styl.Include(style->second);
        else if (alignment != std::end(kAlignmentLetters))
            pismo.Zarovnani = alignment->second;
        else
            Fail(QStringLiteral("Neplatný příkaz pro formátování \"") + c + u'"');
    }
    aText = rest;
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
