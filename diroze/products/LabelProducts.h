#pragma once
// Label products people buy (sheets and rolls of a maker's part number), read
// from template files in the label template format: a "Glabels-templates"
// document of "Template" elements (brand, part, paper "size", description)
// whose one label element ("Label-rectangle", "Label-ellipse",
// "Label-round", "Label-cd") holds "Layout" grids (nx, ny, x0, y0, dx, dy).
// Lengths carry a unit: "pt" (also a bare number), "mm", "cm", "in", "pc".
// Paper names resolve through "paper-sizes.xml".
//
// Each product becomes the layout values a preset sets (paper format or own
// millimetres, orientation, margins, counts, gaps) and the label's size, so
// that every cell is its label: all four edges of every cell lie within
// kProductTolerance of the label's, whatever the margins at the right and the
// bottom. A product that no such grid describes is kept with the reason in
// Refusal; reading never throws for a bad product or a bad file.

#include "Papir.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace diroze {

// How far a cell's edge may lie from the product's label, hundredths of a millimetre.
constexpr int32_t kProductTolerance = 20;
// The most label positions one product may describe, over all its layouts.
constexpr int64_t kMaxProductLabels = 10000;
// The largest template file that is read.
constexpr qint64 kMaxTemplateBytes = qint64{16} << 20;
// The longest length a template may give, in millimetres (ten metres).
constexpr double kMaxTemplateLength = 10000.0;

struct TLabelProduct {
    QString Brand;
    QString Part;
    QString Description;
    QString Equiv;                          // the part number whose layout this one shares, empty for its own
    QString Source;                         // the template file it was read from
    QString PaperName;                      // "A4", "US Letter", own sizes as "89 × 36 mm"
    double PaperWidth = 0, PaperHeight = 0; // millimetres, as the product gives them
    double LabelWidth = 0, LabelHeight = 0; // millimetres, the bounding rectangle of one label
    QString Shape;                          // "rectangle", "ellipse", "round", "cd"

    // The layout, in hundredths of a millimetre; valid when Refusal is empty.
    TPaperType Format = pCustom;
    TPrinterOrientation Orientace = poPortrait;
    TPoint Velikost; // paper width and height as laid out
    TPoint Pocet;
    TPoint Okraj;
    TPoint Mezery;
    TPoint Stitek;        // the cell: the label's width and height
    int32_t FitError = 0; // the largest distance of a cell's edge from its label's

    QString Note;    // for people choosing: what sets this product apart
    QString Refusal; // why the product cannot be used; empty when it can

    bool Usable() const { return Refusal.isEmpty(); }
    // "Brand Part", the name -sheet takes.
    QString Name() const { return Brand + u' ' + Part; }
};

// Paper names of "paper-sizes.xml" ("A4", "US-Letter") to width and height in millimetres.
using TPaperSizes = std::map<QString, std::pair<double, double>>;

// A length as the controls and listings show it, in aLocale's format: to
// the hundredth, as short as it can be ("63.5", "38,1").
QString MillimetreText(double aMillimetres, const QLocale& aLocale);
QString HundredthsText(int64_t aHundredths, const QLocale& aLocale);

// A length in millimetres: a number with an optional unit (pt when none).
// False for anything else, also for a value beyond kMaxTemplateLength either way.
bool ParseTemplateLength(QStringView aText, double& aMillimetres);

// Adds the paper sizes of a "Glabels-paper-sizes" document to aSizes (a name
// already there is kept). Returns the reason when the document is not
// well-formed, else an empty text; the sizes read before the fault stay.
QString ReadPaperSizes(const QByteArray& aXml, TPaperSizes& aSizes);

// The paper sizes when no "paper-sizes.xml" is installed: A4, A3, A5, US-Letter, US-Legal.
TPaperSizes BuiltInPaperSizes();

// Appends the products of one template document to aProducts, each with its
// layout or its refusal. A document that is not well-formed, nests too deep or
// is no template document gives its reason as the result ("řádek N: ...") and
// its products read so far are refused with that reason; else the result is empty.
// Equivalent part numbers stay unresolved (ResolveEquivalents).
QString ReadTemplates(const QByteArray& aXml, const QString& aSource, const TPaperSizes& aPaperSizes,
                      std::vector<TLabelProduct>& aProducts);

// Gives each product with an equivalent part number the layout of the product
// of the same brand with that part; one that names no such usable product is
// refused.
void ResolveEquivalents(std::vector<TLabelProduct>& aProducts);

// Turns the product's paper, label size and label positions (left and top
// edges, millimetres, any order) into its layout, or sets its refusal.
void ComputeProductLayout(TLabelProduct& aProduct, const std::vector<std::pair<double, double>>& aPositions);

// Everything found in the template folders.
struct TProductCatalogue {
    QStringList Folders; // where products were looked for, in order
    std::vector<TLabelProduct> Products;
    QStringList FileFaults; // "FILE: reason" for files that could not be read whole
};

// The template folders in reading order: the user's
// $XDG_CONFIG_HOME/diroze/templates (~/.config when unset), then
// libglabels-3.0/templates in each folder of $XDG_DATA_DIRS
// (/usr/local/share:/usr/share when unset) and in /usr/share.
QStringList ProductFolders();

// Reads every template file ("*.xml" but paper-sizes.xml, vendors.xml,
// categories.xml) of aFolders, regular files only, with the paper sizes of
// the folders' "paper-sizes.xml" (the first folder's name wins); resolves
// equivalent part numbers.
TProductCatalogue LoadProductCatalogue(const QStringList& aFolders = ProductFolders());

// Whether aProduct matches every blank-separated word of aFilter (brand,
// part, description, paper), without regard to case.
bool ProductMatches(const TLabelProduct& aProduct, const QString& aFilter);

// The first usable product named "Brand Part" (case and extra blanks
// ignored); else the first one of that name. Throws hostutils::Exception
// naming aName and the folders when none has that name or none is installed.
const TLabelProduct& FindProduct(const TProductCatalogue& aCatalogue, const QString& aName);

// One line for people and host programs, fields separated by tabs: brand,
// part, description, paper, "3 × 7", "63,5 × 38,1 mm", then a note (the
// asymmetry, or "nelze použít: reason").
QString DescribeProduct(const TLabelProduct& aProduct);

// Throws hostutils::Exception("Etiketu \"Brand Part\" nelze použít: reason")
// for a product that is not usable.
void RequireUsable(const TLabelProduct& aProduct);

// Sets the controls as choosing a preset with the product's layout would:
// format (with its sizes) or own sizes, orientation, margins, counts, gaps.
// Padding, font and start cell stay. Fails as RequireUsable for a product that is not usable.
void ApplyProduct(const TLabelProduct& aProduct, TPapirControls& aControls, const QLocale& aLocale);

} // namespace diroze
