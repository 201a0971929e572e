// The presets file "diroze.xml". Loading hostile bytes fails only with
// EPresetsLoad, whose text names the line ("\nLine: N\n"); applying a loaded
// preset to the settings controls fails only with EConvertError (a number
// attribute that is no whole number). What a preset holds survives the
// program's own round trip: the texts applied to the controls, stored back,
// saved and loaded again give the same controls, and the presets keep their
// names and order.
//
// Open finding, left out below until it is mended: a file whose XML
// declaration names another encoding than UTF-8 (say windows-1250) is saved
// as UTF-8 under the same declaration, so its non-ASCII names and texts come
// back garbled at the next load.
// Second open finding, also left out: a file holding control characters
// where XML allows none (a processing instruction "<?xm\x19...?>") loads,
// but the file saved from it does not; the round trip is skipped for such
// input, loading and applying are still checked.

#include "FuzzSupport.h"
#include "Presets.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <cctype>
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

// True when the input declares an encoding other than UTF-8 (the open finding above).
bool DeclaresOtherEncoding(std::string_view aBytes)
{
    const size_t at = aBytes.find("encoding");
    if (at == std::string_view::npos)
        return false;
    std::string value(aBytes.substr(at + 8, 16));
    for (char& c : value)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return value.find("utf-8") == std::string::npos && value.find("utf8") == std::string::npos;
}

// True when the input holds a character below the blank other than tab, CR
// and LF (the second open finding above).
bool HoldsControlCharacters(std::string_view aBytes)
{
    for (const char c : aBytes)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n')
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (DeclaresOtherEncoding(std::string_view(reinterpret_cast<const char*>(aData), aSize)))
        return 0;
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
        names.append(diroze::TPresets::Name(preset));
    const auto applied = ApplyAll(presets);
    if (!applied || HoldsControlCharacters(std::string_view(reinterpret_cast<const char*>(aData), aSize)))
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
        FUZZ_CHECK(SameControls((*reapplied)[i], (*applied)[i]));
    return 0;
}
