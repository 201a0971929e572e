#include "ParamParser.h"

#include "AssignChanged.h"
#include "UtilsString.h"

#include <QFile>

#include <algorithm>

namespace hostutils {

namespace {

bool IsSeparator(QChar c) { return c.unicode() <= 32; }

} // namespace

EUnexpectedParam::EUnexpectedParam(const QString& aParamName)
        : Exception("Unexpected param \"" + aParamName.toStdString() + "\""), FParamName(aParamName)
{
}

TParamParserParam::TParamParserParam(QString aName, QString aArgument, const QString& aDelimiter, int aIndex)
        : FName(std::move(aName)), FArgument(std::move(aArgument)), FArguments(SplitByDelimiter(aDelimiter, FArgument)),
          FIndex(aIndex)
{
}

QStringList TParamParser::SplitCommandLine(QStringView aCommandLine, QString* aRest)
{
    QStringList params;
    // A NUL ends the command line, as it would in the raw text of a process.
    const qsizetype nul = aCommandLine.indexOf(QChar(0));
    const QStringView line = nul >= 0 ? aCommandLine.first(nul) : aCommandLine;
    qsizetype p = 0;
    const qsizetype n = line.size();
    for (;;) {
        for (;;) {
            while (p < n && IsSeparator(line[p]))
                ++p;
            if (p + 1 < n && line[p] == u'"' && line[p + 1] == u'"')
                p += 2;
            else
                break;
        }
        if (p >= n)
            break;
        QString param;
        while (p < n && !IsSeparator(line[p])) {
            if (line[p] == u'"') {
                ++p;
                while (p < n && line[p] != u'"')
                    param += line[p++];
                if (p < n)
                    ++p;
            } else {
                param += line[p++];
            }
        }
        if (aRest && params.isEmpty())
            *aRest = line.sliced(p).toString();
        params.append(param);
    }
    return params;
}

QString TParamParser::CommandLineFromArgs(const QStringList& aArgs)
{
    QString line;
    for (const QString& arg : aArgs) {
        if (!line.isEmpty())
            line += u' ';
        const bool quote = arg.isEmpty() || std::any_of(arg.begin(), arg.end(), IsSeparator);
        if (quote)
            line += u'"' + arg + u'"';
        else
            line += arg;
    }
    return line;
}

QStringList TParamParser::ProcessArgs()
{
    QFile file(QStringLiteral("/proc/self/cmdline"));
    QStringList args;
    if (!file.open(QIODevice::ReadOnly))
        return args;
    const QByteArray raw = file.readAll();
    for (const QByteArray& arg : raw.split('\0'))
        args.append(QFile::decodeName(arg));
    // The kernel ends the last argument with a NUL too.
    if (!args.isEmpty() && raw.endsWith('\0'))
        args.removeLast();
    return args;
}

TParamParser::TParamParser() : TParamParser(CommandLineFromArgs(ProcessArgs())) {}

TParamParser::TParamParser(QString aCommandLine) : FCommandLine(std::move(aCommandLine)) { Parse(); }

QString TParamParser::ResolveAlias(const QString& aName) const
{
    for (const QString& entry : FAliases) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq >= 0 && QStringView(entry).first(eq).compare(aName, Qt::CaseInsensitive) == 0)
            return entry.sliced(eq + 1);
    }
    return aName;
}

bool TParamParser::NameEquals(const QString& aLeft, const QString& aRight) const
{
    return aLeft.compare(aRight, FCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

bool TParamParser::IsAccepted(const QString& aName) const
{
    return std::any_of(FAcceptList.begin(), FAcceptList.end(),
                       [&](const QString& accepted) { return NameEquals(accepted, aName); });
}

void TParamParser::Parse()
{
    FParams.clear();
    FCommand.clear();
    const QStringList texts = SplitCommandLine(FCommandLine, &FCommand);
    for (int i = 1; i < texts.size(); ++i) {
        const QString& text = texts[i];
        QString name;
        QString argument;
        if (text.startsWith(u'-')) {
            const qsizetype colon = text.indexOf(u':'); // 0-based; a name needs at least one character
            if (colon > 1) {
                name = text.sliced(1, colon - 1);
                argument = text.sliced(colon + 1);
            } else {
                name = text.sliced(1);
            }
            name = ResolveAlias(name);
        } else {
            argument = text;
        }
        if (FUseOnlyAccepted && !IsAccepted(name)) {
            if (FFailIfNotAccepted)
                throw EUnexpectedParam(name);
            continue; // refused quietly: the parameter is left out
        }
        FParams.emplace_back(std::move(name), std::move(argument), FArgumentDelimiter, i - 1);
    }
}

void TParamParser::AddAccepted(const QString& aName)
{
    FAcceptList.append(aName);
    FUseOnlyAccepted = true;
}

void TParamParser::AddAlias(const QString& aAlias, const QString& aFor) { FAliases.append(aAlias + u'=' + aFor); }

const TParamParserParam& TParamParser::GetParam(int aIndex) const
{
    if (aIndex < 0 || aIndex >= Count())
        throw EListError("List index out of bounds (" + std::to_string(aIndex) + ")");
    return FParams[static_cast<size_t>(aIndex)];
}

const TParamParserParam* TParamParser::GetParam(const QString& aName) const
{
    for (const TParamParserParam& param : FParams)
        if (NameEquals(param.Name(), aName))
            return &param;
    return nullptr;
}

QString TParamParser::GetArgument(const QString& aName) const
{
    const TParamParserParam* param = GetParam(aName);
    return param ? param->Argument() : QString();
}

QString TParamParser::GetArgument(const QString& aName, int aIndex) const
{
    const TParamParserParam* param = GetParam(aName);
    if (!param || aIndex < 0 || aIndex >= param->Arguments().size())
        return {};
    return param->Arguments()[aIndex];
}

template <typename T>
void TParamParser::ChangeAndParse(T& aField, const T& aValue)
{
    if (hostutils::AssignChanged(aField, aValue))
        Parse();
}

void TParamParser::SetCaseSensitive(bool aValue) { ChangeAndParse(FCaseSensitive, aValue); }

void TParamParser::SetUseOnlyAccepted(bool aValue) { ChangeAndParse(FUseOnlyAccepted, aValue); }

void TParamParser::SetArgumentDelimiter(const QString& aValue) { ChangeAndParse(FArgumentDelimiter, aValue); }

TParamParser& GlobalParamParser()
{
    static TParamParser parser;
    return parser;
}

} // namespace hostutils
