#include "DataFile.h"

#include "CodePage.h"
#include "Exceptions.h"
#include "ParamParser.h"
#include "UtilsFile.h"
#include "UtilsNumber.h"

#include <string>

namespace diroze {

namespace {

// Hands out the lines of a byte text one at a time, decoding it in chunks so
// that the whole text never exists as UTF-16 at once.
class TLineReader {
public:
    TLineReader(std::string_view aBytes, int aCodePage) : FDecoder(aCodePage), FInput(aBytes)
    {
        const std::string_view bom = hostutils::ByteOrderMark(aCodePage);
        if (!bom.empty() && FInput.starts_with(bom))
            FInput.remove_prefix(bom.size());
    }

    // The next line, or false at the end of the text.
    bool Next(QStringView& aLine)
    {
        for (;;) {
            size_t at = FStart;
            while (at < FBuffer.size()) {
                const char16_t c = FBuffer[at];
                if (c == u'\r' || c == u'\n' || c == u'\0')
                    break;
                ++at;
            }
            // A CR at the end of the buffer may be the first half of CR LF.
            const bool needMore = at == FBuffer.size() || (FBuffer[at] == u'\r' && at + 1 == FBuffer.size());
            if (needMore && !FInput.empty()) {
                Refill();
                continue;
            }
            if (at == FBuffer.size()) { // end of the text
                if (FEnded || FStart == at)
                    return false;
                aLine = Line(at);
                FEnded = true;
                return true;
            }
            const char16_t c = FBuffer[at];
            if (FEnded || (c == u'\0' && at == FStart)) { // nothing but the end after a break
                FEnded = true;
                return false;
            }
            aLine = Line(at);
            if (c == u'\0') {
                FEnded = true;
                return true;
            }
            FStart = at + 1;
            if (c == u'\r' && FStart < FBuffer.size() && FBuffer[FStart] == u'\n')
                ++FStart;
            return true;
        }
    }

private:
    static constexpr size_t kChunk = 1 << 16;

    QStringView Line(size_t aEnd) const
    {
        return QStringView(FBuffer.data() + FStart, static_cast<qsizetype>(aEnd - FStart));
    }

    void Refill()
    {
        FBuffer.erase(0, FStart);
        FStart = 0;
        size_t take = std::min(kChunk, FInput.size());
        for (;;) {
            const bool final = take == FInput.size();
            const size_t used = FDecoder.Decode(FInput.substr(0, take), FBuffer, final);
            FInput.remove_prefix(used);
            if (used > 0 || final)
                return;
            take = FInput.size(); // a sequence longer than the chunk: take the rest
        }
    }

    hostutils::TCodePageDecoder FDecoder;
    std::string_view FInput;
    std::u16string FBuffer;
    size_t FStart = 0;
    bool FEnded = false;
};

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
    TLineReader reader(aBytes, aCodePage);
    QStringView line;
    bool any = false;
    while (reader.Next(line)) {
        any = true;
        try {
            aDiroze.push_back(std::make_unique<TStitek>(line, aDefaultOptions));
        } catch (const hostutils::Exception& e) {
            throw EBadLine(e, static_cast<int>(aDiroze.size()) + 1);
        }
    }
    if (!any)
        throw hostutils::Exception("Soubor je prázdný");
}

void LoadFile(TStitekList& aDiroze, const QString& aFileName, TStitekOptions aDefaultOptions,
              const hostutils::TParamParser& aParams)
{
    aDiroze.clear();
    const int codePage = CodePageFromParams(aParams);
    // The text ends at its first NUL: the file is read only that far, decoded
    // as it comes in (an unknown code page fails before the file is read),
    // and never beyond kMaxDataFileBytes.
    hostutils::TCodePageDecoder probe(codePage);
    std::string bytes;
    size_t decoded = 0;
    std::u16string text;
    hostutils::ReadFileChunks(aFileName, [&](std::string_view aChunk) {
        if (bytes.size() + aChunk.size() > kMaxDataFileBytes)
            throw hostutils::Exception(QStringLiteral("Soubor je větší než %1 MiB, tolik dat se nečte")
                                           .arg(kMaxDataFileBytes >> 20)
                                           .toStdString());
        bytes.append(aChunk);
        text.clear();
        decoded += probe.Decode(std::string_view(bytes).substr(decoded), text, false);
        return text.find(u'\0') == std::u16string::npos;
    });
    LoadLabels(aDiroze, bytes, codePage, aDefaultOptions);
}

} // namespace diroze
