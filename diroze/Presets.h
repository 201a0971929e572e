#pragma once
// Layout presets in "diroze.xml": a document element "diroze" holding
// "predvolby", which holds one "predvolba" element per preset with the
// settings controls' texts in "papir", "stitek" and "pismo". Content the
// program does not know (other elements, attributes, comments) is kept.
//
// Every change of a node or attribute marks the document modified; loading
// and saving clear the mark.

#include "Papir.h"

#include <QDomDocument>
#include <QDomElement>
#include <QString>

#include <vector>

namespace diroze {

// The presets file could not be loaded: the parser's reason, "Line: N" and
// the start of the offending line, each on its own line.
class EPresetsLoad : public hostutils::Exception {
public:
    using Exception::Exception;
};

// A preset's attribute that holds no value the dialog's control could: the
// message names the preset, the element and the attribute with its value,
// and what is expected ("předvolba "A4", prvek stitek, atribut pocet-x="0":
// čeká se celé číslo od 1 do 1000"). The file is the caller's to name.
class EPresetValue : public hostutils::EConvertError {
public:
    using EConvertError::EConvertError;
};

// The most elements the presets file may nest; the format itself needs four
// (diroze, predvolby, predvolba, papir).
constexpr int kMaxPresetsDepth = 64;
// The largest presets file that is read.
constexpr qint64 kMaxPresetsBytes = qint64{16} << 20;

class TPresets {
public:
    // Loads aPath. A missing file gives an empty, active, unmodified document
    // (so that the first preset can be saved); a file that is not well-formed
    // XML, nests elements deeper than kMaxPresetsDepth or is larger than
    // kMaxPresetsBytes throws EPresetsLoad and leaves the document inactive;
    // a file that cannot be read (a directory, no permission) throws
    // EFOpenError with the system's reason.
    // With aSeedPath, a missing aPath is read from aSeedPath instead (when that
    // exists); the document still belongs to aPath, and saving creates the
    // missing directories of aPath (mode 0700).
    void Load(const QString& aPath, const QString& aSeedPath = {});
    // Whether a document is loaded; every use of an inactive one throws "No active document".
    bool IsActive() const { return FActive; }
    bool Modified() const { return FModified; }
    const QString& Path() const { return FPath; }
    // Writes the document to its file, replacing it only when complete.
    // Throws "No active document", or EFCreateError when it cannot be written
    // (with the folder and the system's reason when the folder cannot be made).
    void Save();

    // "predvolby" in "diroze", each created when missing.
    QDomElement Predvolby();
    // The "predvolba" elements in document order.
    std::vector<QDomElement> Elements();
    // The preset marked "vybrana" (the last of several), or a null element.
    // Throws EPresetValue for a mark that is no Boolean.
    QDomElement MarkedElement();
    // The preset named aName (exact match first, then without regard to case), or a null element.
    QDomElement FindByName(const QString& aName);

    static QString Name(const QDomElement& aPreset) { return aPreset.attribute(QStringLiteral("nazev")); }

    // Fills aControls from aPreset in the dialog's order: format (A4 for an
    // unknown one) with its sizes, orientation, sizes, margins, label grid,
    // font. Throws EPresetValue for an integer or Boolean attribute that
    // cannot be converted and for label counts outside the spin edits' range
    // (kSpinEditMin to kSpinEditMax); the controls set before it keep their
    // new values.
    void Apply(QDomElement aPreset, TPapirControls& aControls, const QLocale& aLocale);
    // Writes every attribute from aControls (not the name, not the mark).
    void Store(QDomElement aPreset, const TPapirControls& aControls);
    // A new preset at the end of "predvolby", named aName as typed.
    QDomElement Add(const QString& aName);
    void Remove(QDomElement aPreset);
    // "vybrana" becomes "true" for aSelected and "false" for every other preset.
    void MarkUsed(const QDomElement& aSelected);

    // Converts an attribute text: "true"/"false" in any case, or a number (0 is false).
    static bool ToBool(const QString& aText);
    // aAttribute of aElement (aDefault when missing) as ToBool converts it;
    // throws EPresetValue.
    static bool BoolAttribute(const QDomElement& aElement, const QString& aAttribute, const QString& aDefault);

private:
    void RequireActive() const;
    QDomElement LookUp(QDomElement aParent, const QString& aName);
    void SetAttribute(QDomElement& aElement, const QString& aName, const QString& aValue);

    QDomDocument FDocument;
    QString FPath;
    bool FActive = false;
    bool FModified = false;
    bool FCreateDirectory = false;
};

// Width and height texts for the chosen format in the chosen orientation;
// a custom format keeps the texts it has.
void ApplyFormatChange(TPapirControls& aControls, const QLocale& aLocale);

} // namespace diroze
