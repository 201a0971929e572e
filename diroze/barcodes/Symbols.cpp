#include "Symbols.h"

#include "Exceptions.h"

#include <zint.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <numeric>

namespace diroze {

namespace {

struct TKindInfo {
    TSymbolKind Kind;
    const char16_t* Name;
    int Symbology;
    int InputMode;
    bool Linear;
    int32_t QuietZone; // modules on each side
};

constexpr TKindInfo kKinds[] = {
    {TSymbolKind::skC128, u"C128", BARCODE_CODE128, UNICODE_MODE, true, 10},
    {TSymbolKind::skGS1, u"GS1", BARCODE_GS1_128, GS1_MODE | GS1PARENS_MODE, true, 10},
    {TSymbolKind::skC39, u"C39", BARCODE_CODE39, UNICODE_MODE, true, 10},
    {TSymbolKind::skITF14, u"ITF14", BARCODE_ITF14, UNICODE_MODE, true, 10},
    {TSymbolKind::skUPCA, u"UPCA", BARCODE_UPCA, UNICODE_MODE, true, 10},
    {TSymbolKind::skUPCE, u"UPCE", BARCODE_UPCE, UNICODE_MODE, true, 10},
    {TSymbolKind::skQR, u"QR", BARCODE_QRCODE, UNICODE_MODE, false, 4},
    {TSymbolKind::skDM, u"DM", BARCODE_DATAMATRIX, UNICODE_MODE, false, 2},
    {TSymbolKind::skGS1DM, u"GS1DM", BARCODE_DATAMATRIX, GS1_MODE | GS1PARENS_MODE, false, 2},
    {TSymbolKind::skPDF417, u"PDF417", BARCODE_PDF417, UNICODE_MODE, false, 2},
};

const TKindInfo& Info(TSymbolKind aKind)
{
    for (const TKindInfo& info : kKinds)
        if (info.Kind == aKind)
            return info;
    return kKinds[0];
}

[[noreturn]] void Fail(TSymbolKind aKind, const QString& aReason)
{
    throw hostutils::Exception((QString::fromUtf16(Info(aKind).Name) + QStringLiteral(": ") + aReason).toStdString());
}

int HexDigit(QChar aChar)
{
    const char16_t c = aChar.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

QString Reason(int aError, bool aLinear)
{
    switch (aError) {
    case ZINT_ERROR_TOO_LONG:
        return aLinear ? QStringLiteral("data mají nepřípustnou délku") : QStringLiteral("data jsou příliš dlouhá");
    case ZINT_ERROR_INVALID_DATA:
        return QStringLiteral("data obsahují znaky, které tento druh kódu nezapíše");
    case ZINT_ERROR_INVALID_CHECK:
        return QStringLiteral("chybná kontrolní číslice");
    default:
        return QStringLiteral("kód nelze vytvořit");
    }
}

struct TZintDeleter {
    void operator()(zint_symbol* aSymbol) const { ZBarcode_Delete(aSymbol); }
};

} // namespace

std::optional<TSymbolKind> TSymbolBarCode::KindFromName(QStringView aName)
{
    for (const TKindInfo& info : kKinds)
        if (aName.compare(QStringView(info.Name), Qt::CaseInsensitive) == 0)
            return info.Kind;
    return std::nullopt;
}

QString TSymbolBarCode::KindName(TSymbolKind aKind) { return QString::fromUtf16(Info(aKind).Name); }

qsizetype TSymbolBarCode::EscapedFieldEnd(QStringView aLine)
{
    for (qsizetype i = 0; i < aLine.size(); ++i) {
        if (aLine[i] == u'\\')
            ++i;
        else if (aLine[i] == u';')
            return i;
    }
    return aLine.size();
}

QString TSymbolBarCode::Unescape(TSymbolKind aKind, QStringView aEscaped)
{
    QString out;
    out.reserve(aEscaped.size());
    for (qsizetype i = 0; i < aEscaped.size(); ++i) {
        const QChar c = aEscaped[i];
        if (c != u'\\') {
            out += c;
            continue;
        }
        const QChar next = i + 1 < aEscaped.size() ? aEscaped[i + 1] : QChar();
        if (next == u';' || next == u'\\') {
            out += next;
            ++i;
        } else if (next == u'G') {
            out += QChar(0x1D);
            ++i;
        } else if (next == u'x' && i + 3 < aEscaped.size() && HexDigit(aEscaped[i + 2]) >= 0 &&
                   HexDigit(aEscaped[i + 3]) >= 0) {
            out += QChar(char16_t(HexDigit(aEscaped[i + 2]) * 16 + HexDigit(aEscaped[i + 3])));
            i += 3;
        } else {
            Fail(aKind, QStringLiteral("neplatná úniková sekvence \"%1\"")
                            .arg(aEscaped.sliced(i, std::min<qsizetype>(4, aEscaped.size() - i))));
        }
    }
    return out;
}

TSymbolBarCode::TSymbolBarCode(TSymbolKind aKind, const QString& aData) : FKind(aKind)
{
    const TKindInfo& info = Info(aKind);
    if (aData.isEmpty())
        Fail(aKind, QStringLiteral("chybí data"));
    const std::unique_ptr<zint_symbol, TZintDeleter> symbol(ZBarcode_Create());
    if (!symbol)
        Fail(aKind, QStringLiteral("kód nelze vytvořit (nedostatek paměti)"));
    symbol->symbology = info.Symbology;
    symbol->input_mode = info.InputMode;
    if (info.Symbology == BARCODE_DATAMATRIX)
        symbol->option_3 = DM_SQUARE;
    // Text beyond Latin-1 goes into a matrix symbol as UTF-8, announced so
    // that a reader gives back the same characters.
    if (!info.Linear && info.InputMode == UNICODE_MODE &&
        std::any_of(aData.begin(), aData.end(), [](QChar c) { return c.unicode() > 0xFF; }))
        symbol->eci = 26;
    const QByteArray utf8 = aData.toUtf8();
    const int result = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(utf8.constData()),
                                       static_cast<int>(utf8.size()));
    if (result >= ZINT_ERROR)
        Fail(aKind, QStringLiteral("%1 (%2)").arg(Reason(result, info.Linear), QString::fromUtf8(symbol->errtxt)));

    const int rows = info.Linear ? 1 : symbol->rows;
    const int width = symbol->width;
    if (rows <= 0 || width <= 0 || rows > int(std::size(symbol->row_height)) || width > 8 * 144)
        Fail(aKind, Reason(ZINT_ERROR_ENCODING_PROBLEM, info.Linear));
    FColumns = width;
    FCells.reserve(size_t(rows) * size_t(width));
    for (int row = 0; row < rows; ++row) {
        if (info.Linear) {
            FRowHeights.push_back(0);
        } else {
            // Matrix rows are one module high; stacked rows (PDF417) say theirs.
            const float given = symbol->row_height[row] > 0 ? symbol->row_height[row] : symbol->height / rows;
            FRowHeights.push_back(static_cast<uint8_t>(std::clamp<long>(std::lround(given), 1, 255)));
        }
        for (int col = 0; col < width; ++col)
            FCells.push_back((symbol->encoded_data[row][col >> 3] >> (col & 7)) & 1);
    }
    if (info.Linear)
        FHumanText = QString::fromUtf8(reinterpret_cast<const char*>(symbol->text));
}

bool TSymbolBarCode::Linear() const { return Info(FKind).Linear; }

void TSymbolBarCode::Draw(TCanvas& aCanvas, const TRect& aPaintRect, uint32_t aFormat) const
{
    const int64_t left = aPaintRect.Left, top = aPaintRect.Top;
    const int64_t width = int64_t{aPaintRect.Right} - left, height = int64_t{aPaintRect.Bottom} - top;
    if (width <= 0 || height <= 0)
        return;
    const int64_t quiet = Info(FKind).QuietZone;
    const int64_t modulesHigh = std::accumulate(FRowHeights.begin(), FRowHeights.end(), int64_t{0});
    const int64_t across = FColumns + 2 * quiet;
    const int64_t module = Linear() ? width / across : std::min(width / across, height / (modulesHigh + 2 * quiet));
    if (module <= 0)
        Fail(FKind, QStringLiteral("kód se na štítek nevejde (%1 modulů na %2 mm)")
                        .arg(across)
                        .arg(QString::number(double(Linear() ? width : std::min(width, height)) / 100, 'f', 2)));
    rec::Modules grid;
    grid.Quiet = static_cast<uint8_t>(quiet);
    grid.Module = static_cast<int32_t>(std::min<int64_t>(module, INT32_MAX));
    grid.Columns = static_cast<uint32_t>(FColumns);
    grid.RowHeights = FRowHeights;
    grid.Bits.assign((FCells.size() + 7) / 8, 0);
    for (size_t i = 0; i < FCells.size(); ++i)
        grid.Bits[i / 8] |= uint8_t(FCells[i] << (i % 8));
    // x and y stay inside the paint rectangle, so they fit.
    int64_t x = left;
    int64_t y = top;
    if (!Linear()) {
        const int64_t spareX = width - across * module;
        if (aFormat & tfCenter)
            x += spareX / 2;
        else if (aFormat & tfRight)
            x += spareX;
        y += (height - (modulesHigh + 2 * quiet) * module) / 2;
    }
    const int64_t margin = quiet * module;
    grid.R = TRect{static_cast<int32_t>(x + margin), static_cast<int32_t>(Linear() ? top : y + margin),
                   static_cast<int32_t>(int64_t{aPaintRect.Right} - margin),
                   static_cast<int32_t>(Linear() ? aPaintRect.Bottom : int64_t{aPaintRect.Bottom} - margin)};
    aCanvas.Brush().Style = TBrushStyle::bsSolid;
    aCanvas.Brush().Color = clBlack;
    aCanvas.Modules(std::move(grid));
}

} // namespace diroze
