// The label data file in every code page the program is commonly given. The
// first input byte picks the code page (852, 1250, 65001, 1200, 1201, 65000
// or 0) and the options ("numbers", "fontBold"); the rest is the file.
//
// LoadLabels decodes the file in chunks and hands out lines one at a time.
// What must hold, checked against a plain reference (decode everything at
// once, cut at the first NUL, split at CR LF, CR and LF, no line after a
// final break, one TStitek per line):
// - the same labels with the same text, options and font overrides;
// - a failing line gives EBadLine with that line's number and its own
//   message, the labels before it stay; an empty file "Soubor je prázdný";
//   nothing else is thrown;
// - a label's barcode number is at most 13 digits; a symbol of another kind
//   comes from a field 0 "KIND:..." that names its kind; no text holds a
//   line break.

#include "CodePage.h"
#include "DataFile.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr int kCodePages[] = {852, 1250, 65001, 1200, 1201, 65000, 0};

std::vector<std::u16string> ReferenceLines(std::u16string aText)
{
    if (const size_t nul = aText.find(u'\0'); nul != std::u16string::npos)
        aText.resize(nul);
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < aText.size()) {
        const size_t end = aText.find_first_of(u"\r\n", start);
        if (end == std::u16string::npos) {
            lines.push_back(aText.substr(start));
            break;
        }
        lines.push_back(aText.substr(start, end - start));
        start = end + 1;
        if (aText[end] == u'\r' && start < aText.size() && aText[start] == u'\n')
            ++start;
    }
    return lines;
}

QStringView View(const std::u16string& aText) { return QStringView(aText.data(), qsizetype(aText.size())); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    using namespace diroze;
    if (aSize == 0)
        return 0;
    const int codePage = kCodePages[aData[0] % std::size(kCodePages)];
    TStitekOptions options{soBarCode};
    if (aData[0] & 0x10)
        options.Include(soEan);
    if (aData[0] & 0x20)
        options.Include(soOverrideStyle);
    std::string_view bytes(reinterpret_cast<const char*>(aData) + 1, aSize - 1);

    // The reference.
    std::string_view body = bytes;
    if (const std::string_view bom = hostutils::ByteOrderMark(codePage); !bom.empty() && body.starts_with(bom))
        body.remove_prefix(bom.size());
    const std::u16string text = hostutils::TCodePageDecoder(codePage).DecodeAll(body);
    const std::vector<std::u16string> lines = ReferenceLines(text);

    TStitekList labels;
    try {
        LoadLabels(labels, bytes, codePage, options);
        FUZZ_CHECK(labels.size() == lines.size());
    } catch (const EBadLine& e) {
        FUZZ_CHECK(e.LineNumber() >= 1 && size_t(e.LineNumber()) <= lines.size());
        FUZZ_CHECK(labels.size() == size_t(e.LineNumber()) - 1);
        const std::u16string& bad = lines[labels.size()];
        try {
            TStitek reference(View(bad), options);
            FUZZ_CHECK(!"the reference took the line that failed");
        } catch (const hostutils::Exception& reason) {
            FUZZ_CHECK(std::string_view(reason.what()) == e.what());
        }
    } catch (const hostutils::Exception& e) {
        FUZZ_CHECK(std::string_view(e.what()) == "Soubor je prázdný");
        FUZZ_CHECK(lines.empty());
        FUZZ_CHECK(labels.empty());
    }

    for (size_t n = 0; n < labels.size(); ++n) {
        const TStitek& label = *labels[n];
        const TStitek reference(View(lines[n]), options);
        FUZZ_CHECK(label.EAN() == reference.EAN());
        FUZZ_CHECK(label.Radky() == reference.Radky());
        FUZZ_CHECK(label.Options() == reference.Options());
        FUZZ_CHECK(label.Pisma() == reference.Pisma());
        if (const TNumeric1DBarCode* code = label.BarCode()) {
            FUZZ_CHECK(label.EAN().size() <= 13);
            for (const QChar c : label.EAN())
                FUZZ_CHECK(c >= u'0' && c <= u'9');
            FUZZ_CHECK(label.Options().Contains(soBarCode));
        }
        if (const TSymbolBarCode* symbol = label.Symbol()) {
            FUZZ_CHECK(!label.BarCode() && label.Options().Contains(soBarCode));
            const qsizetype colon = label.EAN().indexOf(u':');
            FUZZ_CHECK(colon > 0 && TSymbolBarCode::KindFromName(label.EAN().first(colon)) == symbol->Kind());
            FUZZ_CHECK(symbol->Columns() > 0 && symbol->RowCount() > 0);
        }
        for (const QString& line : label.Radky())
            FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n') && !line.contains(QChar(0)));
    }
    return 0;
}
