#include "products/LabelProducts.h"

#include "Presets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace diroze {

namespace {

constexpr int kMaxTemplateDepth = 64;
// Two label edges this close (mm) are one column or row.
constexpr double kSameEdge = 0.01;
// How far (mm) labels may reach beyond the paper.
constexpr double kMaxOverhang = 1.0;

const QString kTemplatesSubfolder = QStringLiteral("libglabels-3.0/templates");

int64_t Hundredths(double aMillimetres) { return static_cast<int64_t>(std::llround(aMillimetres * 100.0)); }

// One axis of the grid: where the first cell starts, the gap between cells and the cell.
struct TAxisFit {
    int64_t Margin = 0, Gap = 0, Cell = 0;
    int64_t Error = -1; // the largest distance of a cell's start or end from its label's
};

// Fits cells of the label's size aSize (mm) to labels starting at aStarts
// (sorted, mm, the first on the paper): the pitch is the whole hundredths
// next to the labels' mean pitch, the first cell starts where the starts'
// errors are smallest and the gap is the pitch less the label. A pitch a
// little under the label (a size rounded up) narrows the cell to the pitch.
TAxisFit FitAxis(const std::vector<double>& aStarts, double aSize)
{
    TAxisFit best;
    const auto n = static_cast<int64_t>(aStarts.size());
    const int64_t label = Hundredths(aSize);
    std::vector<int64_t> pitches = {label};
    if (n > 1) {
        const double pitch = (aStarts.back() - aStarts.front()) * 100.0 / static_cast<double>(n - 1);
        pitches = {static_cast<int64_t>(std::floor(pitch)), static_cast<int64_t>(std::ceil(pitch))};
    }
    for (const int64_t pitch : pitches) {
        double low = 0, high = 0;
        for (int64_t c = 0; c < n; ++c) {
            const double offset = aStarts[size_t(c)] * 100.0 - static_cast<double>(pitch * c);
            low = c == 0 ? offset : std::min(low, offset);
            high = c == 0 ? offset : std::max(high, offset);
        }
        TAxisFit fit;
        fit.Margin = std::max<int64_t>(std::llround((low + high) / 2.0), 0);
        fit.Cell = std::min(label, pitch);
        fit.Gap = pitch - fit.Cell;
        fit.Error = 0;
        for (int64_t c = 0; c < n; ++c) {
            const double start = static_cast<double>(fit.Margin + pitch * c) - aStarts[size_t(c)] * 100.0;
            const double end = start + static_cast<double>(fit.Cell - label);
            fit.Error = std::max({fit.Error, static_cast<int64_t>(std::ceil(std::abs(start))),
                                  static_cast<int64_t>(std::ceil(std::abs(end)))});
        }
        if (best.Error < 0 || fit.Error < best.Error)
            best = fit;
    }
    return best;
}

// The distinct values of aValues (sorted, within kSameEdge).
std::vector<double> DistinctEdges(std::vector<double> aValues)
{
    std::sort(aValues.begin(), aValues.end());
    std::vector<double> out;
    for (const double v : aValues)
        if (out.empty() || v - out.back() > kSameEdge)
            out.push_back(v);
    return out;
}

size_t EdgeIndex(const std::vector<double>& aEdges, double aValue)
{
    const auto it = std::lower_bound(aEdges.begin(), aEdges.end(), aValue - kSameEdge);
    // aValue is one of the edges' values; the last one also takes a rounding beyond it.
    return std::min(static_cast<size_t>(it - aEdges.begin()), aEdges.size() - 1);
}

class TTemplateReader {
public:
    TTemplateReader(const QByteArray& aXml, const QString& aSource, const TPaperSizes& aPaperSizes,
                    std::vector<TLabelProduct>& aProducts)
            : FXml(aXml), FSource(aSource), FPaperSizes(aPaperSizes), FProducts(aProducts)
    {
    }

    QString Read()
    {
        const size_t firstOfFile = FProducts.size();
        bool root = true;
        while (!FXml.atEnd() && !FXml.hasError()) {
            FXml.readNext();
            if (!FXml.isStartElement())
                continue;
            if (root) {
                root = false;
                if (FXml.name() != u"Glabels-templates")
                    return QStringLiteral("není soubor šablon etiket (kořen %1)").arg(FXml.name());
                continue;
            }
            if (FXml.name() == u"Template")
                ReadTemplate();
            else if (!SkipElement())
                break;
        }
        if (FXml.hasError()) {
            const QString reason = QStringLiteral("řádek %1: %2").arg(FXml.lineNumber()).arg(FXml.errorString());
            for (size_t i = firstOfFile; i < FProducts.size(); ++i)
                FProducts[i].Refusal = QStringLiteral("soubor šablon je poškozený (%1)").arg(reason);
            return reason;
        }
        if (root)
            return QStringLiteral("prázdný soubor");
        return {};
    }

private:
    // Reads the content of the current element up to its end. At the start of
    // each child element aChild is called: it answers true when it has read
    // the child through its end, false to have the child skipped. A document
    // that fails (also by nesting too deep) ends the reading.
    template <typename TChild>
    void ReadChildren(TChild&& aChild)
    {
        const int depth = ++FDepth;
        while (!FXml.atEnd()) {
            FXml.readNext();
            if (FXml.isEndElement())
                break;
            if (FXml.isStartElement() && !aChild() && !SkipElement())
                break;
        }
        FDepth = depth - 1;
    }

    // Skips the current element with its content; false when the document fails.
    bool SkipElement()
    {
        int depth = 1;
        while (depth > 0 && !FXml.atEnd()) {
            FXml.readNext();
            if (FXml.isStartElement() && ++depth + FDepth > kMaxTemplateDepth) {
                FXml.raiseError(QStringLiteral("prvky vnořené hlouběji než %1").arg(kMaxTemplateDepth));
                return false;
            }
            if (FXml.isEndElement())
                --depth;
        }
        return !FXml.hasError();
    }

    bool Length(const QXmlStreamAttributes& aAttributes, const char* aName, double& aValue, QString& aRefusal,
                bool aRequired = true)
    {
        const QString name = QString::fromLatin1(aName);
        if (!aAttributes.hasAttribute(name)) {
            if (aRequired && aRefusal.isEmpty())
                aRefusal = QStringLiteral("chybí atribut %1").arg(name);
            return false;
        }
        if (!ParseTemplateLength(aAttributes.value(name), aValue)) {
            if (aRefusal.isEmpty())
                aRefusal = QStringLiteral("atribut %1=\"%2\" není délka").arg(name, aAttributes.value(name));
            return false;
        }
        return true;
    }

    static bool Count(const QXmlStreamAttributes& aAttributes, const char* aName, int64_t& aValue, QString& aRefusal)
    {
        const QString name = QString::fromLatin1(aName);
        bool ok = false;
        const qlonglong value = aAttributes.value(name).toLongLong(&ok);
        if (!ok || value < 1 || value > kMaxProductLabels) {
            if (aRefusal.isEmpty())
                aRefusal = aAttributes.hasAttribute(name) ? QStringLiteral("atribut %1=\"%2\" není počet od 1 do %3")
                                                                .arg(name, aAttributes.value(name))
                                                                .arg(kMaxProductLabels)
                                                          : QStringLiteral("chybí atribut %1").arg(name);
            return false;
        }
        aValue = value;
        return true;
    }

    void ReadTemplate()
    {
        TLabelProduct p;
        p.Source = FSource;
        const QXmlStreamAttributes a = FXml.attributes();
        p.Brand = a.value(QLatin1String("brand")).toString().simplified();
        p.Part = a.value(QLatin1String("part")).toString().simplified();
        if (p.Brand.isEmpty() && p.Part.isEmpty()) {
            // The older form: name="Brand Part".
            const QString name = a.value(QLatin1String("name")).toString().simplified();
            p.Brand = name.section(u' ', 0, 0);
            p.Part = name.section(u' ', 1);
        }
        p.Description = a.hasAttribute(QLatin1String("_description"))
                            ? a.value(QLatin1String("_description")).toString().simplified()
                            : a.value(QLatin1String("description")).toString().simplified();
        p.Equiv = a.value(QLatin1String("equiv")).toString().simplified();
        QString refusal;
        if (p.Brand.isEmpty() || p.Part.isEmpty())
            refusal = QStringLiteral("chybí značka nebo číslo výrobku");

        // The paper.
        const QString size = a.value(QLatin1String("size")).toString();
        bool roll = false;
        if (!p.Equiv.isEmpty()) {
            // Takes its paper from the product it names.
        } else if (size.isEmpty() || size.compare(u"Other", Qt::CaseInsensitive) == 0) {
            Length(a, "width", p.PaperWidth, refusal);
            Length(a, "height", p.PaperHeight, refusal);
            p.PaperName = QStringLiteral("vlastní");
        } else if (size.compare(u"roll", Qt::CaseInsensitive) == 0) {
            roll = true;
            p.PaperName = QStringLiteral("role");
        } else if (const auto known = FPaperSizes.find(size); known != FPaperSizes.end()) {
            std::tie(p.PaperWidth, p.PaperHeight) = known->second;
            p.PaperName = size;
        } else if (refusal.isEmpty()) {
            refusal = QStringLiteral("neznámý formát papíru \"%1\"").arg(size);
        }

        std::vector<std::pair<double, double>> positions;
        int labels = 0;
        ReadChildren([&] {
            if (!FXml.name().startsWith(u"Label-"))
                return false;
            if (++labels > 1 && refusal.isEmpty())
                refusal = QStringLiteral("víc tvarů štítků na jednom archu");
            ReadLabel(p, positions, refusal);
            return true;
        });
        if (FXml.hasError())
            refusal = QStringLiteral("soubor šablon je poškozený");
        if (p.Equiv.isEmpty() && labels == 0 && refusal.isEmpty())
            refusal = QStringLiteral("šablona nepopisuje žádný štítek");
        if (roll && refusal.isEmpty()) {
            // A roll: one label is the page.
            p.PaperWidth = p.LabelWidth;
            p.PaperHeight = p.LabelHeight;
            positions = {{0.0, 0.0}};
        }
        p.Refusal = refusal;
        if (p.Equiv.isEmpty() && p.Refusal.isEmpty())
            ComputeProductLayout(p, positions);
        FProducts.push_back(std::move(p));
    }

    void ReadLabel(TLabelProduct& aProduct, std::vector<std::pair<double, double>>& aPositions, QString& aRefusal)
    {
        const QXmlStreamAttributes a = FXml.attributes();
        const QStringView kind = FXml.name().mid(6);
        aProduct.Shape = kind.toString();
        if (kind == u"rectangle" || kind == u"ellipse") {
            Length(a, "width", aProduct.LabelWidth, aRefusal);
            Length(a, "height", aProduct.LabelHeight, aRefusal);
        } else if (kind == u"round" || kind == u"cd") {
            double radius = 0;
            Length(a, "radius", radius, aRefusal);
            aProduct.LabelWidth = aProduct.LabelHeight = 2 * radius;
            // A CD cut to a card: its width and height clip the disc.
            double clip = 0;
            if (kind == u"cd" && Length(a, "width", clip, aRefusal, false))
                aProduct.LabelWidth = std::min(aProduct.LabelWidth, clip);
            if (kind == u"cd" && Length(a, "height", clip, aRefusal, false))
                aProduct.LabelHeight = std::min(aProduct.LabelHeight, clip);
        } else if (aRefusal.isEmpty()) {
            aRefusal = QStringLiteral("neznámý tvar štítku %1").arg(FXml.name());
        }
        if (aRefusal.isEmpty() && (aProduct.LabelWidth <= 0 || aProduct.LabelHeight <= 0))
            aRefusal = QStringLiteral("štítek nemá kladnou velikost");

        ReadChildren([&] {
            // A layout is all attributes; whatever it holds is skipped.
            if (FXml.name() == u"Layout")
                ReadLayout(aPositions, aRefusal);
            return false;
        });
    }

    void ReadLayout(std::vector<std::pair<double, double>>& aPositions, QString& aRefusal)
    {
        const QXmlStreamAttributes a = FXml.attributes();
        int64_t nx = 0, ny = 0;
        double x0 = 0, y0 = 0, dx = 0, dy = 0;
        if (!Count(a, "nx", nx, aRefusal) || !Count(a, "ny", ny, aRefusal))
            return;
        if (!Length(a, "x0", x0, aRefusal) || !Length(a, "y0", y0, aRefusal))
            return;
        // The step is needed only where there is a second label.
        if (!Length(a, "dx", dx, aRefusal, nx > 1) && nx > 1)
            return;
        if (!Length(a, "dy", dy, aRefusal, ny > 1) && ny > 1)
            return;
        if (static_cast<int64_t>(aPositions.size()) + nx * ny > kMaxProductLabels) {
            if (aRefusal.isEmpty())
                aRefusal = QStringLiteral("víc než %1 štítků na archu").arg(kMaxProductLabels);
            return;
        }
        if ((nx > 1 && dx <= 0) || (ny > 1 && dy <= 0)) {
            if (aRefusal.isEmpty())
                aRefusal = QStringLiteral("rozteč štítků není kladná");
            return;
        }
        for (int64_t j = 0; j < ny; ++j)
            for (int64_t i = 0; i < nx; ++i)
                aPositions.emplace_back(x0 + static_cast<double>(i) * dx, y0 + static_cast<double>(j) * dy);
    }

    QXmlStreamReader FXml;
    QString FSource;
    const TPaperSizes& FPaperSizes;
    std::vector<TLabelProduct>& FProducts;
    int FDepth = 1;
};

// "1 štítek", "3 štítky", "5 štítků": aCount with the word's form for it.
QString CzechCount(qsizetype aCount, const char* aOne, const char* aFew, const char* aMany)
{
    const char* word = aCount == 1 ? aOne : aCount >= 2 && aCount <= 4 ? aFew : aMany;
    return QStringLiteral("%1 %2").arg(aCount).arg(QString::fromUtf8(word));
}

QString CountText(const TLabelProduct& aProduct)
{
    return QStringLiteral("%1 × %2").arg(aProduct.Pocet.X).arg(aProduct.Pocet.Y);
}

} // namespace

QString MillimetreText(double aMillimetres, const QLocale& aLocale)
{
    return aLocale.toString(std::round(aMillimetres * 100.0) / 100.0, 'g', QLocale::FloatingPointShortest);
}

QString HundredthsText(int64_t aHundredths, const QLocale& aLocale)
{
    return aLocale.toString(static_cast<double>(aHundredths) / 100.0, 'g', QLocale::FloatingPointShortest);
}

bool ParseTemplateLength(QStringView aText, double& aMillimetres)
{
    const QStringView text = aText.trimmed();
    // The number: sign, digits, point, an exponent only where digits follow ("1e-2", not the "e" of a unit).
    qsizetype end = 0;
    const auto digitAt = [&](qsizetype i) { return i < text.size() && text[i] >= u'0' && text[i] <= u'9'; };
    while (end < text.size()) {
        const QChar c = text[end];
        if ((c >= u'0' && c <= u'9') || c == u'.' || ((c == u'-' || c == u'+') && end == 0)) {
            ++end;
        } else if ((c == u'e' || c == u'E') &&
                   (digitAt(end + 1) ||
                    (end + 2 < text.size() && (text[end + 1] == u'-' || text[end + 1] == u'+') && digitAt(end + 2)))) {
            end += 2;
        } else {
            break;
        }
    }
    bool ok = false;
    const double value = text.left(end).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    const QStringView unit = text.mid(end).trimmed();
    double factor = 0;
    if (unit.isEmpty() || unit == u"pt")
        factor = 25.4 / 72.0;
    else if (unit == u"mm")
        factor = 1.0;
    else if (unit == u"cm")
        factor = 10.0;
    else if (unit == u"in")
        factor = 25.4;
    else if (unit == u"pc")
        factor = 25.4 / 6.0;
    else
        return false;
    const double mm = value * factor;
    if (!(std::abs(mm) <= kMaxTemplateLength))
        return false;
    aMillimetres = mm;
    return true;
}

QString ReadPaperSizes(const QByteArray& aXml, TPaperSizes& aSizes)
{
    QXmlStreamReader xml(aXml);
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement())
            --depth;
        if (!xml.isStartElement())
            continue;
        if (++depth > kMaxTemplateDepth) {
            xml.raiseError(QStringLiteral("prvky vnořené hlouběji než %1").arg(kMaxTemplateDepth));
            break;
        }
        if (xml.name() != u"Paper-size")
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        double width = 0, height = 0;
        const QString id = a.value(QLatin1String("id")).toString();
        if (!id.isEmpty() && ParseTemplateLength(a.value(QLatin1String("width")), width) &&
            ParseTemplateLength(a.value(QLatin1String("height")), height) && width > 0 && height > 0)
            aSizes.emplace(id, std::pair{width, height});
    }
    if (xml.hasError())
        return QStringLiteral("řádek %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return {};
}

TPaperSizes BuiltInPaperSizes()
{
    return {
        {QStringLiteral("A3"), {297.0, 420.0}},       {QStringLiteral("A4"), {210.0, 297.0}},
        {QStringLiteral("A5"), {148.0, 210.0}},       {QStringLiteral("US-Letter"), {215.9, 279.4}},
        {QStringLiteral("US-Legal"), {215.9, 355.6}},
    };
}

QString ReadTemplates(const QByteArray& aXml, const QString& aSource, const TPaperSizes& aPaperSizes,
                      std::vector<TLabelProduct>& aProducts)
{
    TTemplateReader reader(aXml, aSource, aPaperSizes, aProducts);
    return reader.Read();
}

void ComputeProductLayout(TLabelProduct& aProduct, const std::vector<std::pair<double, double>>& aPositions)
{
    TLabelProduct& p = aProduct;
    auto refuse = [&](const QString& aReason) { p.Refusal = aReason; };
    if (aPositions.empty())
        return refuse(QStringLiteral("šablona nepopisuje žádný štítek"));
    if (!(p.PaperWidth >= 1.0 && p.PaperHeight >= 1.0))
        return refuse(QStringLiteral("papír menší než 1 mm"));
    if (!(p.LabelWidth > 0 && p.LabelHeight > 0))
        return refuse(QStringLiteral("štítek nemá kladnou velikost"));

    // The paper: an offered format within 0.1 mm either way round, else own sizes.
    p.Format = pCustom;
    p.Orientace = poPortrait;
    p.Velikost = {static_cast<int32_t>(Hundredths(p.PaperWidth)), static_cast<int32_t>(Hundredths(p.PaperHeight))};
    for (const TPaperType type : OfferedPaperFormats) {
        if (type == pCustom)
            continue;
        const TPaperSizeInfo& row = PaperSizeTable[type];
        const int32_t w = ConvertUnits(row.Width, 96, row.Units, mmHiMetric);
        const int32_t h = ConvertUnits(row.Height, 96, row.Units, mmHiMetric);
        const auto near = [](double aMm, int32_t aHundredths) { return std::abs(aMm * 100.0 - aHundredths) <= 10.0; };
        if (near(p.PaperWidth, w) && near(p.PaperHeight, h)) {
            p.Format = type;
            p.Velikost = {w, h};
            break;
        }
        if (near(p.PaperWidth, h) && near(p.PaperHeight, w)) {
            p.Format = type;
            p.Orientace = poLandscape;
            p.Velikost = {h, w};
            break;
        }
    }
    if (p.PaperName == u"vlastní" || p.PaperName == u"role" || p.PaperName.isEmpty())
        p.PaperName = p.Format != pCustom ? PaperFormatName(p.Format)
                                          : QStringLiteral("%1 × %2 mm")
                                                .arg(MillimetreText(p.PaperWidth, QLocale::c()),
                                                     MillimetreText(p.PaperHeight, QLocale::c()));

    // One grid: every column edge with every row edge, each label once.
    std::vector<double> xs, ys;
    for (const auto& [x, y] : aPositions) {
        xs.push_back(x);
        ys.push_back(y);
    }
    xs = DistinctEdges(std::move(xs));
    ys = DistinctEdges(std::move(ys));
    if (xs.size() > size_t(kSpinEditMax) || ys.size() > size_t(kSpinEditMax))
        return refuse(QStringLiteral("víc než %1 štítků v řadě").arg(kSpinEditMax));
    std::vector<char> taken(xs.size() * ys.size(), 0);
    for (const auto& [x, y] : aPositions) {
        char& cell = taken[EdgeIndex(ys, y) * xs.size() + EdgeIndex(xs, x)];
        if (cell)
            return refuse(QStringLiteral("štítky se překrývají"));
        cell = 1;
    }
    if (std::find(taken.begin(), taken.end(), 0) != taken.end())
        return refuse(QStringLiteral("štítky netvoří jednu mřížku (%1, %2, %3)")
                          .arg(CzechCount(qsizetype(aPositions.size()), "štítek", "štítky", "štítků"),
                               CzechCount(qsizetype(xs.size()), "sloupec", "sloupce", "sloupců"),
                               CzechCount(qsizetype(ys.size()), "řada", "řady", "řad")));
    // Neighbouring labels must not overlap by more than the tolerance (some products' sizes are rounded up).
    const double overlap = kProductTolerance / 100.0;
    for (size_t i = 1; i < xs.size(); ++i)
        if (xs[i] - xs[i - 1] < p.LabelWidth - overlap)
            return refuse(QStringLiteral("štítky se překrývají"));
    for (size_t i = 1; i < ys.size(); ++i)
        if (ys[i] - ys[i - 1] < p.LabelHeight - overlap)
            return refuse(QStringLiteral("štítky se překrývají"));

    // Labels that reach beyond the paper by a millimetre or more are a fault
    // of the template; less is a rounded size (and the cells start on the labels).
    const double beyond =
        std::max(xs.back() + p.LabelWidth - p.Velikost.X / 100.0, ys.back() + p.LabelHeight - p.Velikost.Y / 100.0);
    if (beyond >= kMaxOverhang)
        return refuse(QStringLiteral("štítky přesahují arch o %1 mm").arg(QLocale::c().toString(beyond, 'f', 2)));

    if (std::min(xs.front(), ys.front()) < -kProductTolerance / 100.0)
        return refuse(QStringLiteral("štítky začínají mimo arch"));

    const TAxisFit x = FitAxis(xs, p.LabelWidth);
    const TAxisFit y = FitAxis(ys, p.LabelHeight);
    p.FitError = static_cast<int32_t>(std::max(x.Error, y.Error));
    if (p.FitError > kProductTolerance)
        return refuse(QStringLiteral("štítky nejsou v pravidelné mřížce (odchylka %1 mm)")
                          .arg(QLocale::c().toString(p.FitError / 100.0, 'f', 2)));
    p.Pocet = {static_cast<int32_t>(xs.size()), static_cast<int32_t>(ys.size())};
    p.Okraj = {static_cast<int32_t>(x.Margin), static_cast<int32_t>(y.Margin)};
    p.Mezery = {static_cast<int32_t>(x.Gap), static_cast<int32_t>(y.Gap)};
    p.Stitek = {static_cast<int32_t>(x.Cell), static_cast<int32_t>(y.Cell)};
}

void ResolveEquivalents(std::vector<TLabelProduct>& aProducts)
{
    // Products by brand and part, without regard to case; the first of a name counts.
    QHash<QString, size_t> byName;
    const auto key = [](const QString& aBrand, const QString& aPart) {
        return aBrand.toCaseFolded() + u'\n' + aPart.toCaseFolded();
    };
    for (size_t i = aProducts.size(); i-- > 0;)
        byName[key(aProducts[i].Brand, aProducts[i].Part)] = i;

    enum : uint8_t { Open, OnChain, Done };
    std::vector<uint8_t> state(aProducts.size(), Open);
    const auto unresolved = [&](size_t i) {
        return state[i] == Open && !aProducts[i].Equiv.isEmpty() && aProducts[i].Refusal.isEmpty();
    };
    for (size_t first = 0; first < aProducts.size(); ++first) {
        // Follows the chain of part numbers to a product with a layout of its
        // own, to one that is refused, to a name no product has or round to
        // one of the chain; then resolves the chain from its end.
        constexpr size_t kNone = ~size_t{0};
        std::vector<size_t> chain;
        size_t end = kNone;
        for (size_t at = first; unresolved(at);) {
            state[at] = OnChain;
            chain.push_back(at);
            const auto found = byName.constFind(key(aProducts[at].Brand, aProducts[at].Equiv));
            end = kNone;
            if (found == byName.constEnd())
                break;
            end = at = *found;
        }
        const bool circular = end != kNone && state[end] == OnChain;
        for (size_t k = chain.size(); k-- > 0;) {
            TLabelProduct& p = aProducts[chain[k]];
            state[chain[k]] = Done;
            const TLabelProduct* target = k + 1 < chain.size()        ? &aProducts[chain[k + 1]]
                                          : end != kNone && !circular ? &aProducts[end]
                                                                      : nullptr;
            if (circular) {
                p.Refusal =
                    QStringLiteral("odkazy na stejné výrobky se uzavírají do kruhu (%1 → %2)").arg(p.Part, p.Equiv);
                continue;
            }
            if (!target) {
                p.Refusal = QStringLiteral("odkazuje na výrobek %1, který není nainstalován").arg(p.Equiv);
                continue;
            }
            TLabelProduct resolved = *target;
            resolved.Brand = p.Brand;
            resolved.Part = p.Part;
            resolved.Equiv = p.Equiv;
            resolved.Source = p.Source;
            resolved.Note.clear();
            if (!p.Description.isEmpty())
                resolved.Description = p.Description;
            if (!target->Usable())
                resolved.Refusal = QStringLiteral("stejný jako %1: %2").arg(p.Equiv, target->Refusal);
            p = std::move(resolved);
        }
    }
}

QStringList ProductFolders()
{
    QStringList folders;
    QString configHome = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    // A relative value is invalid and ignored.
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    folders.append(QDir::cleanPath(configHome + QStringLiteral("/diroze/templates")));
    QString dataDirs = QFile::decodeName(qgetenv("XDG_DATA_DIRS"));
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    QStringList data = dataDirs.split(u':', Qt::SkipEmptyParts);
    data.append(QStringLiteral("/usr/share"));
    for (const QString& dir : data) {
        if (QDir::isRelativePath(dir))
            continue;
        const QString folder = QDir::cleanPath(dir + u'/' + kTemplatesSubfolder);
        if (!folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

namespace {

// The file's bytes, or the reason it is not read: only regular files up to kMaxTemplateBytes.
QString ReadSmallFile(const QString& aPath, QByteArray& aBytes)
{
    const QFileInfo info(aPath);
    if (!info.isFile())
        return QStringLiteral("není obyčejný soubor");
    if (info.size() > kMaxTemplateBytes)
        return QStringLiteral("větší než %1 bajtů").arg(kMaxTemplateBytes);
    QFile file(aPath);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    aBytes = file.read(kMaxTemplateBytes + 1);
    if (aBytes.size() > kMaxTemplateBytes)
        return QStringLiteral("větší než %1 bajtů").arg(kMaxTemplateBytes);
    return {};
}

} // namespace

TProductCatalogue LoadProductCatalogue(const QStringList& aFolders)
{
    TProductCatalogue catalogue;
    catalogue.Folders = aFolders;
    // A folder reached again through a link is read once.
    QStringList folders;
    QSet<QString> seen;
    for (const QString& folder : aFolders) {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || !seen.contains(real))
            folders.append(folder);
        if (!real.isEmpty())
            seen.insert(real);
    }
    TPaperSizes sizes;
    for (const QString& folder : folders) {
        const QString path = folder + QStringLiteral("/paper-sizes.xml");
        if (!QFileInfo::exists(path))
            continue;
        QByteArray bytes;
        QString fault = ReadSmallFile(path, bytes);
        if (fault.isEmpty())
            fault = ReadPaperSizes(bytes, sizes);
        if (!fault.isEmpty())
            catalogue.FileFaults.append(path + QStringLiteral(": ") + fault);
    }
    for (auto& [name, size] : BuiltInPaperSizes())
        sizes.emplace(name, size);

    static const QSet<QString> notTemplates = {QStringLiteral("paper-sizes.xml"), QStringLiteral("vendors.xml"),
                                               QStringLiteral("categories.xml")};
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name :
             dir.entryList({QStringLiteral("*.xml")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
            if (notTemplates.contains(name))
                continue;
            const QString path = dir.filePath(name);
            QByteArray bytes;
            QString fault = ReadSmallFile(path, bytes);
            if (fault.isEmpty())
                fault = ReadTemplates(bytes, path, sizes, catalogue.Products);
            if (!fault.isEmpty())
                catalogue.FileFaults.append(path + QStringLiteral(": ") + fault);
        }
    }
    ResolveEquivalents(catalogue.Products);

    // A product of a folder read earlier (the user's) hides one of the same
    // name read later; both stay listed, each saying which it is.
    QHash<QString, size_t> first;
    for (size_t i = 0; i < catalogue.Products.size(); ++i) {
        TLabelProduct& p = catalogue.Products[i];
        const QString name = p.Name().simplified().toCaseFolded();
        const auto found = first.constFind(name);
        if (found == first.constEnd()) {
            first.insert(name, i);
            continue;
        }
        TLabelProduct& shown = catalogue.Products[*found];
        if (QFileInfo(shown.Source).absolutePath() == QFileInfo(p.Source).absolutePath())
            continue;
        p.Note = QStringLiteral("zakrytá etiketou ze souboru %1").arg(shown.Source);
        if (shown.Note.isEmpty())
            shown.Note = QStringLiteral("zakrývá etiketu ze souboru %1").arg(p.Source);
    }
    return catalogue;
}

bool ProductMatches(const TLabelProduct& aProduct, const QString& aFilter)
{
    const QString haystack =
        QStringList{aProduct.Brand, aProduct.Part, aProduct.Description, aProduct.PaperName}.join(u' ');
    for (const QString& word : aFilter.split(u' ', Qt::SkipEmptyParts))
        if (!haystack.contains(word, Qt::CaseInsensitive))
            return false;
    return true;
}

const TLabelProduct& FindProduct(const TProductCatalogue& aCatalogue, const QString& aName)
{
    const QString wanted = aName.simplified();
    const TLabelProduct* found = nullptr;
    QStringList samePart;
    for (const TLabelProduct& p : aCatalogue.Products) {
        if (p.Part.compare(wanted, Qt::CaseInsensitive) == 0 && !samePart.contains(p.Name()))
            samePart.append(p.Name());
        if (p.Name().compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        if (p.Usable())
            return p;
        if (!found)
            found = &p;
    }
    if (found)
        return *found;
    const QString where = aCatalogue.Folders.join(QStringLiteral(", "));
    QString message;
    if (aCatalogue.Products.empty())
        message = QStringLiteral("Etiketa \"%1\" nenalezena: nejsou nainstalované žádné šablony "
                                 "etiket (hledáno v %2; nainstalujte balíček glabels-data)")
                      .arg(wanted, where);
    else if (!samePart.isEmpty())
        message = QStringLiteral("Etiketa \"%1\" nenalezena: zadejte značku i číslo výrobku, číslo %1 má %2")
                      .arg(wanted, samePart.join(QStringLiteral(", ")));
    else
        message = QStringLiteral("Etiketa \"%1\" nenalezena (značka a číslo výrobku, hledáno v %2; seznam "
                                 "vypíše -sheets)")
                      .arg(wanted, where);
    // A file that could not be read may have held it.
    if (!aCatalogue.FileFaults.isEmpty())
        message += QStringLiteral("; nelze přečíst: ") + aCatalogue.FileFaults.join(QStringLiteral("; "));
    throw hostutils::Exception(message.toStdString());
}

QString DescribeProduct(const TLabelProduct& aProduct)
{
    const QLocale c = QLocale::c();
    QStringList fields = {aProduct.Brand, aProduct.Part, aProduct.Description, aProduct.PaperName};
    if (aProduct.Usable()) {
        fields.append(CountText(aProduct));
        fields.append(QStringLiteral("%1 × %2 mm")
                          .arg(MillimetreText(aProduct.LabelWidth, c), MillimetreText(aProduct.LabelHeight, c)));
        fields.append(aProduct.Note);
    } else {
        fields.append(QString());
        fields.append(QString());
        fields.append(QStringLiteral("nelze použít: ") + aProduct.Refusal);
    }
    return fields.join(u'\t');
}

void RequireUsable(const TLabelProduct& aProduct)
{
    if (!aProduct.Usable())
        throw hostutils::Exception(
            QStringLiteral("Etiketu \"%1\" nelze použít: %2").arg(aProduct.Name(), aProduct.Refusal).toStdString());
}

void ApplyProduct(const TLabelProduct& aProduct, TPapirControls& aControls, const QLocale& aLocale)
{
    RequireUsable(aProduct);
    aControls.Format = aProduct.Format;
    aControls.Portrait = aProduct.Orientace == poPortrait;
    ApplyFormatChange(aControls, aLocale);
    if (aProduct.Format == pCustom) {
        aControls.Width = HundredthsText(aProduct.Velikost.X, aLocale);
        aControls.Height = HundredthsText(aProduct.Velikost.Y, aLocale);
    }
    aControls.MarginX = HundredthsText(aProduct.Okraj.X, aLocale);
    aControls.MarginY = HundredthsText(aProduct.Okraj.Y, aLocale);
    aControls.PocetX = QString::number(aProduct.Pocet.X);
    aControls.PocetY = QString::number(aProduct.Pocet.Y);
    aControls.SpaceX = HundredthsText(aProduct.Mezery.X, aLocale);
    aControls.SpaceY = HundredthsText(aProduct.Mezery.Y, aLocale);
    aControls.Stitek = aProduct.Stitek;
}

} // namespace diroze
