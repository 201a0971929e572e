#include "Presets.h"

#include "UtilsFile.h"
#include "UtilsNumber.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <sys/stat.h>

namespace diroze {

namespace {

const QString kRoot = QStringLiteral("diroze");
const QString kList = QStringLiteral("predvolby");
const QString kPreset = QStringLiteral("predvolba");

// The source line of a parse error, for the message.
QString SourceLine(const QByteArray& aContent, int aLine)
{
    const QList<QByteArray> lines = aContent.split('\n');
    if (aLine < 1 || aLine > lines.size())
        return {};
    return QString::fromUtf8(lines[aLine - 1]).remove(u'\r').left(40);
}

int ToInt(const QString& aText) { return hostutils::StrToInt(aText.toStdString()); }

// The preset that holds aElement (itself, when it is one).
QDomElement PresetOf(QDomElement aElement)
{
    while (!aElement.isNull() && aElement.tagName() != kPreset)
        aElement = aElement.parentNode().toElement();
    return aElement;
}

[[noreturn]] void ThrowPresetValue(const QDomElement& aElement, const QString& aAttribute, const QString& aExpected)
{
    const QDomElement preset = PresetOf(aElement);
    QString where = QStringLiteral("předvolba \"%1\"").arg(TPresets::Name(preset));
    if (aElement != preset)
        where += QStringLiteral(", prvek %1").arg(aElement.tagName());
    throw EPresetValue(QStringLiteral("%1, atribut %2=\"%3\": čeká se %4")
                           .arg(where, aAttribute, aElement.attribute(aAttribute), aExpected)
                           .toStdString());
}

int IntAttribute(const QDomElement& aElement, const QString& aAttribute, const QString& aDefault)
{
    try {
        return ToInt(aElement.attribute(aAttribute, aDefault));
    } catch (const hostutils::EConvertError&) {
        ThrowPresetValue(aElement, aAttribute, QStringLiteral("celé číslo"));
    }
}

// A label count as its spin edit can hold it, or the failure.
void CheckCount(const QDomElement& aElement, const QString& aAttribute, const QString& aText)
{
    int32_t count = 0;
    try {
        count = ReadNonNegativeInt(aText, TSettingsControl::edtPocetX);
    } catch (const EInvalidInput&) {
        count = -1;
    }
    if (count < kSpinEditMin || count > kSpinEditMax)
        ThrowPresetValue(aElement, aAttribute,
                         QStringLiteral("celé číslo od %1 do %2").arg(kSpinEditMin).arg(kSpinEditMax));
}

// Refuses a document that nests elements deeper than kMaxPresetsDepth before
// the DOM is built, whose parser would take minutes over it. Other faults
// are left to the DOM parser, which reports them.
void CheckDepth(const QByteArray& aContent)
{
    QXmlStreamReader reader(aContent);
    int depth = 0;
    while (!reader.atEnd() && !reader.hasError()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement)
            --depth;
        if (token != QXmlStreamReader::StartElement || ++depth <= kMaxPresetsDepth)
            continue;
        const int line = static_cast<int>(reader.lineNumber());
        throw EPresetsLoad(QStringLiteral("Prvky jsou vnořeny hlouběji než %1 úrovní, předvolby jich potřebují 4"
                                          "\nLine: %2\n")
                               .arg(kMaxPresetsDepth)
                               .arg(line)
                               .toStdString() +
                           SourceLine(aContent, line).toStdString());
    }
}

// The order in which a preset's attributes are written, by element name.
const std::map<QString, QStringList>& AttributeOrder()
{
    static const std::map<QString, QStringList> order = {
        {kPreset, {QStringLiteral("nazev"), QStringLiteral("vybrana")}},
        {QStringLiteral("papir"),
         {QStringLiteral("format"), QStringLiteral("na-sirku"), QStringLiteral("sirka"), QStringLiteral("vyska"),
          QStringLiteral("okraj-x"), QStringLiteral("okraj-y")}},
        {QStringLiteral("stitek"),
         {QStringLiteral("pocet-x"), QStringLiteral("pocet-y"), QStringLiteral("mezera-x"), QStringLiteral("mezera-y"),
          QStringLiteral("okraj-x"), QStringLiteral("okraj-y"), QStringLiteral("sirka"), QStringLiteral("vyska")}},
        {QStringLiteral("pismo"),
         {QStringLiteral("font"), QStringLiteral("velikost"), QStringLiteral("mezera-x"), QStringLiteral("radek-0"),
          QStringLiteral("radek-1"), QStringLiteral("radek-2"), QStringLiteral("radek-3"), QStringLiteral("radek-4"),
          QStringLiteral("radek-5"), QStringLiteral("radek-6"), QStringLiteral("radek-7")}},
    };
    return order;
}

// The DOM keeps attributes in a hash, so its text lists them in an order that
// changes from run to run. This rewrites the text with every element's
// attributes in a fixed order: a preset's in the order of AttributeOrder,
// any others after them by name. Everything else is copied token by token.
QByteArray WithAttributesInOrder(const QByteArray& aContent)
{
    QXmlStreamReader reader(aContent);
    reader.setNamespaceProcessing(false);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.hasError())
            return aContent; // not expected for the DOM's own text; the caller checks it anyway
        // Around the document element each node stands on a line of its own.
        if (depth == 0 && reader.isCharacters())
            continue;
        if (depth == 0 && !reader.isStartDocument() && !reader.isEndDocument() && !reader.isEndElement())
            writer.writeCharacters(QStringLiteral("\n"));
        if (reader.isEndElement())
            --depth;
        if (reader.isDTD()) {
            writer.writeDTD(reader.text().toString().trimmed());
            continue;
        }
        if (!reader.isStartElement()) {
            writer.writeCurrentToken(reader);
            continue;
        }
        ++depth;
        const QString name = reader.qualifiedName().toString();
        const auto known = AttributeOrder().find(name);
        const QStringList noOrder;
        const QStringList& order = known != AttributeOrder().end() ? known->second : noOrder;
        QList<QXmlStreamAttribute> attributes = reader.attributes();
        auto rank = [&](const QXmlStreamAttribute& a) {
            const qsizetype at = order.indexOf(a.qualifiedName().toString());
            return at >= 0 ? at : order.size();
        };
        std::stable_sort(attributes.begin(), attributes.end(),
                         [&](const QXmlStreamAttribute& a, const QXmlStreamAttribute& b) {
                             const qsizetype ra = rank(a), rb = rank(b);
                             return ra != rb ? ra < rb : a.qualifiedName() < b.qualifiedName();
                         });
        writer.writeStartElement(name);
        for (const QXmlStreamAttribute& a : attributes)
            writer.writeAttribute(a.qualifiedName().toString(), a.value().toString());
    }
    return out;
}

const QString kLabelElement = QStringLiteral("stitek");
const QString kLabelWidth = QStringLiteral("sirka");
const QString kLabelHeight = QStringLiteral("vyska");

// A product's label size as a preset keeps it: millimetres with a decimal
// point, whatever the locale; a comma is read as well.
int32_t LabelLength(const QDomElement& aElement, const QString& aAttribute)
{
    QString text = aElement.attribute(aAttribute);
    text.replace(u',', u'.');
    try {
        return ReadMillimetres(text, TSettingsControl::edtWidth, QLocale::c());
    } catch (const EInvalidInput&) {
        ThrowPresetValue(aElement, aAttribute, QStringLiteral("délka v milimetrech"));
    }
}

QString LabelLengthText(int32_t aHundredths)
{
    return QLocale::c().toString(aHundredths / 100.0, 'f', 2).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

QString BoolText(bool aValue) { return aValue ? QStringLiteral("true") : QStringLiteral("false"); }

// Creates the missing directories of aDir, each only for its owner to enter.
// A failure shows when the file cannot be written into it.
void MakePrivateDirectories(const QString& aDir)
{
    if (aDir.isEmpty() || QFileInfo(aDir).isDir())
        return;
    MakePrivateDirectories(QFileInfo(aDir).absolutePath() == aDir ? QString() : QFileInfo(aDir).absolutePath());
    if (::mkdir(QFile::encodeName(aDir).constData(), 0700) != 0 && errno != EEXIST)
        throw hostutils::EFCreateError("Cannot create folder \"" + hostutils::ExpandFileName(aDir).toStdString() +
                                       "\". " + hostutils::SystemReason(errno).toStdString());
}

} // namespace

void ApplyFormatChange(TPapirControls& aControls, const QLocale& aLocale)
{
    if (!aControls.Format || *aControls.Format == pCustom)
        return;
    std::tie(aControls.Width, aControls.Height) =
        PaperSizeTexts(*aControls.Format, aControls.Portrait ? poPortrait : poLandscape, aLocale);
}

bool TPresets::ToBool(const QString& aText)
{
    if (aText.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (aText.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0)
        return false;
    int32_t whole = 0;
    if (hostutils::TryStrToInt(aText.toStdString(), whole))
        return whole != 0;
    bool ok = false;
    const double number = QLocale::c().toDouble(aText.trimmed(), &ok);
    if (ok)
        return number != 0;
    throw hostutils::EConvertError("'" + aText.toStdString() + "' is not a valid boolean value");
}

bool TPresets::BoolAttribute(const QDomElement& aElement, const QString& aAttribute, const QString& aDefault)
{
    try {
        return ToBool(aElement.attribute(aAttribute, aDefault));
    } catch (const hostutils::EConvertError&) {
        ThrowPresetValue(aElement, aAttribute, QStringLiteral("true nebo false"));
    }
}

void TPresets::Load(const QString& aPath, const QString& aSeedPath)
{
    FPath = aPath;
    FActive = false;
    FModified = false;
    FCreateDirectory = !aSeedPath.isEmpty();
    FDocument.clear();
    QFile file(FCreateDirectory && !QFile::exists(aPath) ? aSeedPath : aPath);
    if (!file.exists()) {
        FDocument.appendChild(FDocument.createProcessingInstruction(
            QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
        FDocument.appendChild(FDocument.createElement(kRoot)).appendChild(FDocument.createElement(kList));
        FActive = true;
        return;
    }
    // Read as far as the limit: a device or FIFO in its place ends there.
    QByteArray content;
    hostutils::ReadFileChunks(file.fileName(), [&](std::string_view aChunk) {
        if (content.size() + qint64(aChunk.size()) > kMaxPresetsBytes)
            throw EPresetsLoad(
                QStringLiteral("Soubor předvoleb je větší než %1 MiB").arg(kMaxPresetsBytes >> 20).toStdString());
        content.append(aChunk.data(), qsizetype(aChunk.size()));
        return true;
    });
    CheckDepth(content);
    QString reason;
    int line = 0, column = 0;
    if (!FDocument.setContent(content, &reason, &line, &column)) {
        FDocument.clear();
        // A NUL of the file may stand in the parser's reason; it must not cut the message short.
        QString message = reason + QStringLiteral("\nLine: %1\n").arg(line) + SourceLine(content, line);
        message.replace(QChar(0), QChar(0xFFFD));
        throw EPresetsLoad(message.toStdString());
    }
    FActive = true;
}

void TPresets::RequireActive() const
{
    if (!FActive)
        throw hostutils::Exception("No active document");
}

void TPresets::Save()
{
    RequireActive();
    // The document is written as UTF-8: its declaration must say so, or the
    // next load would read the texts in another encoding.
    for (QDomNode node = FDocument.firstChild(); !node.isNull(); node = node.nextSibling())
        if (node.isProcessingInstruction() && node.toProcessingInstruction().target() == QStringLiteral("xml"))
            node.toProcessingInstruction().setData(QStringLiteral("version=\"1.0\" encoding=\"UTF-8\""));
    const QByteArray content = WithAttributesInOrder(FDocument.toByteArray(2));
    // A document loaded from a lax file may hold what XML cannot express; it
    // is never written in a form that would not load again.
    if (!QDomDocument().setContent(content))
        throw hostutils::EFCreateError("Cannot create file \"" + hostutils::ExpandFileName(FPath).toStdString() +
                                       "\". The presets cannot be written as well-formed XML");
    if (FCreateDirectory)
        MakePrivateDirectories(QFileInfo(FPath).absolutePath());
    hostutils::TWholeSaveFile file(FPath);
    if (!file.Open() || file.write(content) != content.size() || !file.Commit())
        throw hostutils::EFCreateError("Cannot create file \"" + hostutils::ExpandFileName(FPath).toStdString() +
                                       "\". " + file.Reason().toStdString());
    FModified = false;
}

QDomElement TPresets::LookUp(QDomElement aParent, const QString& aName)
{
    QDomElement found = aParent.firstChildElement(aName);
    if (found.isNull()) {
        found = FDocument.createElement(aName);
        aParent.appendChild(found);
        FModified = true;
    }
    return found;
}

void TPresets::SetAttribute(QDomElement& aElement, const QString& aName, const QString& aValue)
{
    // Control characters cannot stand in XML: they become U+FFFD.
    QString value = aValue;
    for (QChar& c : value)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            c = QChar(0xFFFD);
    aElement.setAttribute(aName, value);
    FModified = true;
}

QDomElement TPresets::Predvolby()
{
    RequireActive();
    // A document has one root: a differently named one stands in for "diroze".
    QDomElement root = FDocument.documentElement();
    if (root.isNull()) {
        root = FDocument.createElement(kRoot);
        FDocument.appendChild(root);
        FModified = true;
    }
    return LookUp(root, kList);
}

std::vector<QDomElement> TPresets::Elements()
{
    std::vector<QDomElement> presets;
    for (QDomElement e = Predvolby().firstChildElement(kPreset); !e.isNull(); e = e.nextSiblingElement(kPreset))
        presets.push_back(e);
    return presets;
}

QDomElement TPresets::MarkedElement()
{
    QDomElement marked;
    for (const QDomElement& e : Elements())
        if (BoolAttribute(e, QStringLiteral("vybrana"), QStringLiteral("false")))
            marked = e;
    return marked;
}

QDomElement TPresets::FindByName(const QString& aName)
{
    const std::vector<QDomElement> presets = Elements();
    for (const QDomElement& e : presets)
        if (Name(e) == aName)
            return e;
    for (const QDomElement& e : presets)
        if (Name(e).compare(aName, Qt::CaseInsensitive) == 0)
            return e;
    return {};
}

void TPresets::Apply(QDomElement aPreset, TPapirControls& aControls, const QLocale& aLocale)
{
    RequireActive();
    QDomElement papir = LookUp(aPreset, QStringLiteral("papir"));
    const int format = IntAttribute(papir, QStringLiteral("format"), QString::number(pA4));
    const auto offered = std::find(OfferedPaperFormats.begin(), OfferedPaperFormats.end(), format);
    aControls.Format = offered != OfferedPaperFormats.end() ? *offered : pA4;
    ApplyFormatChange(aControls, aLocale);
    aControls.Portrait = !BoolAttribute(papir, QStringLiteral("na-sirku"), QStringLiteral("false"));
    ApplyFormatChange(aControls, aLocale);
    for (const TTextSetting& s : kTextSettings) {
        if (!s.Element)
            continue;
        // A missing attribute gives the preset default; without one the text stays.
        const QDomElement element = LookUp(aPreset, QString::fromLatin1(s.Element));
        const QString fallback = s.PresetDefault ? QString::fromLatin1(s.PresetDefault) : aControls.*s.Text;
        const QString attribute = QString::fromLatin1(s.Attribute);
        const QString text = element.attribute(attribute, fallback);
        // The counts are kept to what their spin edits allow.
        if (s.Control == TSettingsControl::edtPocetX || s.Control == TSettingsControl::edtPocetY)
            CheckCount(element, attribute, text);
        aControls.*s.Text = text;
    }
    aControls.FontIndex = -1;
    // The label size, which only a product gives, goes with both attributes.
    const QDomElement label = LookUp(aPreset, kLabelElement);
    aControls.Stitek = {};
    if (label.hasAttribute(kLabelWidth) && label.hasAttribute(kLabelHeight))
        aControls.Stitek = {LabelLength(label, kLabelWidth), LabelLength(label, kLabelHeight)};

    QDomElement pismo = LookUp(aPreset, QStringLiteral("pismo"));
    // The alignment is stored under the gap's name.
    aControls.AlignmentIndex = IntAttribute(pismo, QStringLiteral("mezera-x"), QStringLiteral("0"));
    for (int i = 0; i < kLineCount; ++i)
        aControls.Radky[size_t(i)] = BoolAttribute(pismo, QStringLiteral("radek-%1").arg(i), QStringLiteral("false"));
}

void TPresets::Store(QDomElement aPreset, const TPapirControls& aControls)
{
    RequireActive();
    QDomElement papir = LookUp(aPreset, QStringLiteral("papir"));
    SetAttribute(papir, QStringLiteral("format"), QString::number(aControls.Format.value_or(pA4)));
    SetAttribute(papir, QStringLiteral("na-sirku"), BoolText(!aControls.Portrait));
    for (const TTextSetting& s : kTextSettings) {
        if (!s.Element)
            continue;
        QDomElement element = LookUp(aPreset, QString::fromLatin1(s.Element));
        SetAttribute(element, QString::fromLatin1(s.Attribute), aControls.*s.Text);
    }
    QDomElement label = LookUp(aPreset, kLabelElement);
    if (aControls.Stitek.X > 0 && aControls.Stitek.Y > 0) {
        SetAttribute(label, kLabelWidth, LabelLengthText(aControls.Stitek.X));
        SetAttribute(label, kLabelHeight, LabelLengthText(aControls.Stitek.Y));
    } else if (label.hasAttribute(kLabelWidth) || label.hasAttribute(kLabelHeight)) {
        label.removeAttribute(kLabelWidth);
        label.removeAttribute(kLabelHeight);
        FModified = true;
    }
    QDomElement pismo = LookUp(aPreset, QStringLiteral("pismo"));
    SetAttribute(pismo, QStringLiteral("mezera-x"), QString::number(aControls.AlignmentIndex));
    for (int i = 0; i < kLineCount; ++i)
        SetAttribute(pismo, QStringLiteral("radek-%1").arg(i), BoolText(aControls.Radky[size_t(i)]));
}

QDomElement TPresets::Add(const QString& aName)
{
    QDomElement list = Predvolby();
    QDomElement preset = FDocument.createElement(kPreset);
    list.appendChild(preset);
    SetAttribute(preset, QStringLiteral("nazev"), aName);
    return preset;
}

void TPresets::Remove(QDomElement aPreset)
{
    RequireActive();
    aPreset.parentNode().removeChild(aPreset);
    FModified = true;
}

void TPresets::MarkUsed(const QDomElement& aSelected)
{
    for (QDomElement e : Elements())
        SetAttribute(e, QStringLiteral("vybrana"), BoolText(!aSelected.isNull() && e == aSelected));
}

} // namespace diroze
