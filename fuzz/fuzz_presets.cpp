// The presets file "diroze.xml". Loading hostile bytes fails only with
// EPresetsLoad, whose text names the line ("\nLine: N\n"); applying a loaded
// preset to the settings controls fails only with EConvertError (a number
// attribute that is no whole number). What a preset holds survives the
// program's own round trip: the texts applied to the controls, stored back,
// saved and loaded again give the same controls, and the presets keep their
// names and order. A file declared in another encoding is saved as UTF-8
// under a UTF-8 declaration; control characters, which XML cannot hold, come
// back as U+FFFD; a lax document that would not load again is refused.

#include "FuzzSupport.h"
#include "Presets.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace {

using diroze::TPapirControls;

bool SameControls(const TPapirControls& a, const TPapirControls& b)
{
    return a.Format == b.Format && a.Portrait == b.Portrait && a.Width == b.Width && a.Height == b.Height &&
           a.MarginX == b.MarginX && a.MarginY == b.MarginY && a.PocetX == b.PocetX && a.PocetY == b.PocetY &&
           a.PaddingX == b.PaddingX && a.PaddingY == b.PaddingY && a.SpaceX == b.SpaceX && a.SpaceY == b.SpaceY &&
           a.FontSize == b.FontSize && a.FontText == b.FontText && a.AlignmentIndex == b.AlignmentIndex &&
           a.Radky == b.Radky;
}

const QString& FilePath()
{
    static const QString path = QDir::tempPath() + QStringLiteral("/fuzz-presets-%1.xml").arg(::getpid());
    return path;
}

// Applies every preset; nothing when one of them fails with its documented failure.
std::optional<std::vector<TPapirControls>> ApplyAll(diroze::TPresets& aPresets)
{
    std::vector<TPapirControls> all;
    for (const QDomElement& preset : aPresets.Elements()) {
        TPapirControls controls;
        try {
            aPresets.Apply(preset, controls, QLocale::c());
        } catch (const hostutils::EConvertError&) {
            return std::nullopt;
        }
        all.push_back(controls);
    }
    return all;
}

// What a text of the controls reads after a save: the control characters
// other than tab, CR and LF replaced.
QString Saved(QString aText)
{
    for (QChar& c : aText)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n')
            c = QChar(0xFFFD);
    return aText;
}

TPapirControls Saved(TPapirControls a)
{
    for (QString* text : {&a.Width, &a.Height, &a.MarginX, &a.MarginY, &a.PocetX, &a.PocetY, &a.PaddingX, &a.PaddingY,
                          &a.SpaceX, &a.SpaceY, &a.FontSize, &a.FontText})
        *text = Saved(*text);
    return a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    {
        QFile file(FilePath());
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char*>(aData), qint64(aSize)) == qint64(aSize));
    }
    diroze::TPresets presets;
    try {
        presets.Load(FilePath());
    } catch (const diroze::EPresetsLoad& e) {
        FUZZ_CHECK(std::string_view(e.what()).find("\nLine: ") != std::string_view::npos);
        FUZZ_CHECK(!presets.IsActive());
        return 0;
    }
    FUZZ_CHECK(presets.IsActive());
    QStringList names;
    for (const QDomElement& preset : presets.Elements())
        names.append(Saved(diroze::TPresets::Name(preset)));
    const auto applied = ApplyAll(presets);
    if (!applied)
        return 0;
    const std::vector<QDomElement> elements = presets.Elements();
    FUZZ_CHECK(elements.size() == applied->size());
    for (size_t i = 0; i < elements.size(); ++i)
        presets.Store(elements[i], (*applied)[i]);
    try {
        presets.Save();
    } catch (const hostutils::EFCreateError& e) {
        // The documented refusal: a lax document that would not load again is not written.
        FUZZ_CHECK(std::string_view(e.what()).find("cannot be written as well-formed XML") != std::string_view::npos);
        FUZZ_CHECK(presets.Modified());
        return 0;
    }
    FUZZ_CHECK(!presets.Modified());

    diroze::TPresets again;
    try {
        again.Load(FilePath());
    } catch (const diroze::EPresetsLoad& e) {
        std::fprintf(stderr, "the saved presets file does not load: %s\n", e.what());
        FUZZ_CHECK(!"the program's own presets file loads");
    }
    QStringList namesAgain;
    for (const QDomElement& preset : again.Elements())
        namesAgain.append(diroze::TPresets::Name(preset));
    FUZZ_CHECK(namesAgain == names);
    const auto reapplied = ApplyAll(again);
    FUZZ_CHECK(reapplied.has_value());
    FUZZ_CHECK(reapplied->size() == applied->size());
    for (size_t i = 0; i < applied->size(); ++i)
        FUZZ_CHECK(SameControls((*reapplied)[i], Saved((*applied)[i])));
    return 0;
}
