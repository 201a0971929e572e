#include "DataFile.h"

#include "CodePage.h"
#include "Exceptions.h"
#include "ParamParser.h"
#include "UtilsFile.h"
#include "UtilsNumber.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string>

namespace diroze {

namespace {

// Hands out the lines of a byte text that arrives in pieces, decoding each
// piece as it comes: neither the bytes nor the UTF-16 of the whole text need
// to exist at once.
class TLineReader {
public:
    explicit TLineReader(int aCodePage) : FDecoder(aCodePage), FBom(hostutils::ByteOrderMark(aCodePage)) {}

    // Appends the next bytes of the text; aFinal: no more follow. Views from
    // Next are invalid afterwards.
    void Feed(std::string_view aBytes, bool aFinal)
    {
        FBuffer.erase(0, FStart);
        FScanned = std::max(FScanned, FStart) - FStart;
        FStart = 0;
        FPending.append(aBytes);
        FFinal = aFinal;
        if (FAtStart) {
            // A byte-order mark cut by the piece's end waits for the rest.
            if (!aFinal && FPending.size() < FBom.size() && FBom.starts_with(FPending))
                return;
            if (!FBom.empty() && FPending.starts_with(FBom))
                FPending.erase(0, FBom.size());
            FAtStart = false;
        }
        // Bytes of a sequence cut by the piece's end wait for the next piece.
        FPending.erase(0, FDecoder.Decode(FPending, FBuffer, aFinal));
    }

    // The next whole line, or false when it needs more bytes or the text has ended.
    bool Next(QStringView& aLine)
    {
        if (FEnded)
            return false;
        // A long line is searched for its end once, not again for every piece.
        size_t at = std::max(FStart, FScanned);
        while (at < FBuffer.size()) {
            const char16_t c = FBuffer[at];
            if (c == u'\r' || c == u'\n' || c == u'\0')
                break;
            ++at;
        }
        FScanned = at;
        if (at == FBuffer.size()) {
            if (!FFinal)
                return false;
            // The end of the text: a line without a break, or nothing after one.
            FEnded = true;
            if (FStart == at)
                return false;
            aLine = Line(at);
            FStart = at;
            return true;
        }
        const char16_t c = FBuffer[at];
        if (c == u'\r' && at + 1 == FBuffer.size() && !FFinal)
            return false; // maybe the first half of CR LF
        if (c == u'\0') {
            FEnded = true;
            if (at == FStart) // nothing but the end after a break
                return false;
            aLine = Line(at);
            return true;
        }
        aLine = Line(at);
        FStart = at + 1;
        if (c == u'\r' && FStart < FBuffer.size() && FBuffer[FStart] == u'\n')
            ++FStart;
        return true;
    }

    // Whether the text has ended: at its NUL, or after the last piece.
    bool Ended() const { return FEnded; }

private:
    QStringView Line(size_t aEnd) const
    {
        return QStringView(FBuffer.data() + FStart, static_cast<qsizetype>(aEnd - FStart));
    }

    hostutils::TCodePageDecoder FDecoder;
    std::string_view FBom;
    std::string FPending; // bytes not decoded yet
    std::u16string FBuffer;
    size_t FStart = 0;
    size_t FScanned = 0; // FBuffer from FStart up to here holds no break
    bool FAtStart = true;
    bool FFinal = false;
    bool FEnded = false;
};

// Bytes handed to the reader at a time when the whole text is at hand.
constexpr size_t kChunk = 1 << 16;

// Adds a label for each whole line the reader has. Throws EBadLine.
void AddLabels(TLineReader& aReader, TStitekList& aDiroze, TStitekOptions aDefaultOptions, bool& aAny)
{
    QStringView line;
    while (aReader.Next(line)) {
        aAny = true;
        try {
            aDiroze.push_back(std::make_unique<TStitek>(line, aDefaultOptions));
        } catch (const hostutils::Exception& e) {
            throw EBadLine(e, static_cast<int>(aDiroze.size()) + 1);
        }
    }
}

} // namespace

int CodePageFromParams(const hostutils::TParamParser& aParams)
{
    if (!aParams.IsSet(QStringLiteral("codePage")))
        return kDefaultCodePage;
    return hostutils::StrToInt(aParams.GetArgument(QStringLiteral("codePage")).toStdString());
}

TStitekOptions DefaultOptionsFromParams(const hostutils::TParamParser& aParams)
{
    TStitekOptions options{soBarCode};
    if (aParams.IsSet(QStringLiteral("numbers")))
        options.Include(soEan);
    if (aParams.IsSet(QStringLiteral("fontBold")))
        options.Include(soOverrideStyle);
    return options;
}

void LoadLabels(TStitekList& aDiroze, std::string_view aBytes, int aCodePage, TStitekOptions aDefaultOptions)
{
    aDiroze.clear();
    TLineReader reader(aCodePage);
    bool any = false;
    for (bool final = false; !final && !reader.Ended();) {
        const size_t take = std::min(kChunk, aBytes.size());
        final = take == aBytes.size();
        reader.Feed(aBytes.substr(0, take), final);
        aBytes.remove_prefix(take);
        AddLabels(reader, aDiroze, aDefaultOptions, any);
    }
    if (!any)
        throw hostutils::Exception("Soubor je prázdný");
}

void LoadFile(TStitekList& aDiroze, const QString& aFileName, TStitekOptions aDefaultOptions,
              const hostutils::TParamParser& aParams)
{
    aDiroze.clear();
    // The text ends at its first NUL: the file is read only that far, decoded
    // and made into labels as it comes in (an unknown code page fails before
    // the file is read), and never beyond kMaxDataFileBytes. A text that goes
    // on beyond that fails as a whole, even after a bad line.
    TLineReader reader(CodePageFromParams(aParams));
    size_t read = 0;
    bool tooLong = false;
    bool any = false;
    std::exception_ptr badLine;
    auto take = [&](std::string_view aBytes, bool aFinal) {
        reader.Feed(aBytes, aFinal);
        if (!badLine) {
            try {
                AddLabels(reader, aDiroze, aDefaultOptions, any);
            } catch (const EBadLine&) {
                badLine = std::current_exception();
            }
        }
        // After a bad line only the text's end is still sought.
        for (QStringView line; badLine && reader.Next(line);) {
        }
    };
    try {
        hostutils::ReadFileChunks(aFileName, [&](std::string_view aChunk) {
            if (read + aChunk.size() > kMaxDataFileBytes) {
                tooLong = true;
                return false;
            }
            read += aChunk.size();
            take(aChunk, false);
            return !reader.Ended();
        });
        if (!tooLong && !reader.Ended())
            take(std::string_view(), true);
    } catch (...) {
        aDiroze.clear();
        throw;
    }
    if (tooLong) {
        aDiroze.clear();
        throw hostutils::Exception(QStringLiteral("Soubor je větší než %1 MiB, tolik dat se nečte")
                                       .arg(kMaxDataFileBytes >> 20)
                                       .toStdString());
    }
    if (badLine)
        std::rethrow_exception(badLine);
    if (!any)
        throw hostutils::Exception("Soubor je prázdný");
}

} // namespace diroze
