// The command-line parser, in its two forms. The input is read twice:
// as one raw command line (UTF-8), and as an argv (arguments separated by
// NUL bytes, as /proc/self/cmdline gives them). What must hold:
// - raw text: splitting it, building the raw line from the pieces again and
//   parsing that gives the same parameters (names, arguments, indexes) and
//   the same failure: the raw form and the argv form agree. The one
//   exception is an empty parameter, which only raw text can hold (a lone
//   double quote at the end of the line): argv has no way to say it, as an
//   empty argument is the empty quoted pair that makes no parameter;
// - argv: every argument without double quotes comes back unchanged from
//   the raw line built for it, in order (an empty argument is the documented
//   empty quoted pair and makes no parameter);
// - parsing fails only with EUnexpectedParam, and only with an accepted list;
// - lookups never fail for indexes 0..Count-1 and fail with EListError
//   outside.
// The first input byte sets case sensitivity and the accepted list.

#include "FuzzSupport.h"
#include "ParamParser.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

using hostutils::TParamParser;

struct Outcome {
    std::vector<std::tuple<QString, QString, QStringList, int>> params;
    std::optional<QString> refused;
    bool operator==(const Outcome&) const = default;
};

Outcome ParseWith(const QString& aLine, uint8_t aFlags)
{
    TParamParser withLine(aLine); // the default settings accept every parameter
    withLine.AddAlias(QStringLiteral("cp"), QStringLiteral("codePage"));
    Outcome outcome;
    try {
        withLine.SetCaseSensitive(aFlags & 1);
        if (aFlags & 2) {
            withLine.SetAcceptList({QStringLiteral("codePage"), QStringLiteral("numbers"), QStringLiteral("fontBold")});
            withLine.SetFailIfNotAccepted(aFlags & 4);
            withLine.SetUseOnlyAccepted(true);
        }
        withLine.Parse();
    } catch (const hostutils::EUnexpectedParam& e) {
        FUZZ_CHECK((aFlags & 2) && (aFlags & 4));
        outcome.refused = e.ParamName();
    }
    for (int i = 0; i < withLine.Count(); ++i) {
        const auto& param = withLine.GetParam(i);
        FUZZ_CHECK(!param.Arguments().isEmpty());
        outcome.params.emplace_back(param.Name(), param.Argument(), param.Arguments(), param.Index());
    }
    try {
        withLine.GetParam(withLine.Count());
        FUZZ_CHECK(!"an index past the end was accepted");
    } catch (const hostutils::EListError&) {
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (aSize == 0)
        return 0;
    const uint8_t flags = aData[0];
    const QByteArray bytes(reinterpret_cast<const char*>(aData) + 1, qsizetype(aSize - 1));

    // Raw text.
    const QString raw = QString::fromUtf8(bytes);
    const QStringList pieces = TParamParser::SplitCommandLine(raw);
    for (const QString& piece : pieces)
        FUZZ_CHECK(!piece.contains(u'"'));
    if (!pieces.contains(QString())) {
        const QString rebuilt = TParamParser::CommandLineFromArgs(pieces);
        FUZZ_CHECK(TParamParser::SplitCommandLine(rebuilt) == pieces);
        FUZZ_CHECK(ParseWith(raw, flags) == ParseWith(rebuilt, flags));
    }

    // Argv.
    QStringList argv;
    for (const QByteArray& arg : bytes.split('\0'))
        argv.append(QString::fromUtf8(arg));
    const QStringList back = TParamParser::SplitCommandLine(TParamParser::CommandLineFromArgs(argv));
    QStringList expected;
    bool quoteFree = true;
    for (const QString& arg : argv) {
        quoteFree = quoteFree && !arg.contains(u'"');
        if (!arg.isEmpty())
            expected.append(arg);
    }
    if (quoteFree)
        FUZZ_CHECK(back == expected);
    return 0;
}
