#pragma once
// The label data file: one label a line, decoded from a code page.

#include "Exceptions.h"
#include "Stitek.h"

#include <QString>

#include <memory>
#include <string_view>
#include <vector>

namespace hostutils {
class TParamParser;
}

namespace diroze {

using TStitekList = std::vector<std::unique_ptr<TStitek>>;

// A line of the data file that failed: the line's own message, unchanged, and
// the line's number (1-based).
class EBadLine : public hostutils::Exception {
public:
    EBadLine(const std::exception& aCause, int aLineNumber) : Exception(aCause.what()), FLineNumber(aLineNumber) {}
    int LineNumber() const { return FLineNumber; }

private:
    int FLineNumber = 0;
};

constexpr int kDefaultCodePage = 852;

// The most a data file may hold up to the NUL that ends its text: 64 MiB.
constexpr size_t kMaxDataFileBytes = size_t{64} << 20;

// The code page the "codePage" switch names, kDefaultCodePage without it.
// Throws EConvertError for an argument that is not a whole number.
int CodePageFromParams(const hostutils::TParamParser& aParams);

// soBarCode, plus soEan for the "numbers" switch, plus soOverrideStyle for "fontBold".
TStitekOptions DefaultOptionsFromParams(const hostutils::TParamParser& aParams);

// Clears aDiroze and appends one label per line of the file, decoded with the
// "codePage" switch of aParams. Lines end at CR LF, LF or CR; a NUL ends the
// text, and the file is read no further than that NUL (a device such as
// /dev/zero ends at once); a break at the very end adds no empty line. A
// byte-order mark is skipped only when it belongs to the chosen encoding.
//
// Throws: EConvertError (switch argument), EEncodingError("Invalid code page"),
// EFOpenError (file), Exception("Soubor je prázdný") when there is no line,
// Exception("Soubor je větší než 64 MiB, tolik dat se nečte") when the text goes on beyond kMaxDataFileBytes, and
// EBadLine with a line's own message. When a line fails, the labels before it stay in
// aDiroze and the rest of the text is only searched for its end: a text going on
// beyond kMaxDataFileBytes fails with the size message all the same, and then, as
// after every failure but a bad line, aDiroze is left empty. The file is read
// and decoded in pieces: its whole bytes are never held at once.
void LoadFile(TStitekList& aDiroze, const QString& aFileName, TStitekOptions aDefaultOptions,
              const hostutils::TParamParser& aParams);

// The same on bytes already read, with a code page number.
void LoadLabels(TStitekList& aDiroze, std::string_view aBytes, int aCodePage, TStitekOptions aDefaultOptions);

} // namespace diroze
