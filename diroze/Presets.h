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

class TPresets {
public:
    // Loads aPath. A missing file gives an empty, active, unmodified document
    // (so that the first preset can be saved); a file that is not well-formed
    // XML throws EPresetsLoad and leaves the document inactive.
    // With aSeedPath, a missing aPath is read from aSeedPath instead (when that
    // exists); the document still belongs to aPath, and saving creates the
    // missing directories of aPath (mode 0700).
    void Load(const QString& aPath, const QString& aSeedPath = {});
    // Whether a document is loaded; every use of an inactive one throws "No active document".
    bool IsActive() const { return FActive; }
    bool Modified() const { return FModified; }
    const QString& Path() const { return FPath; }
    // Writes the document to its file, replacing it only when complete.
    // Throws "No active document", or EFCreateError when it cannot be written.
    void Save();

    // "predvolby" in "diroze", each created when missing.
    QDomElement Predvolby();
    // The "predvolba" elements in document order.
    std::vector<QDomElement> Elements();
    // The preset marked "vybrana" (the last of several), or a null element.
    QDomElement MarkedElement();
    // The preset named aName (exact match first, then without regard to case), or a null element.
    QDomElement FindByName(const QString& aName);

    static QString Name(const QDomElement& aPreset) { return aPreset.attribute(QStringLiteral("nazev")); }

    // Fills aControls from aPreset in the dialog's order: format (A4 for an
    // unknown one) with its sizes, orientation, sizes, margins, label grid,
    // font. Throws EConvertError for an integer or Boolean attribute that
    // cannot be converted; the controls set before it keep their new values.
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
