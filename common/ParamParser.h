#pragma once
// Command-line parameters: switches written "-name" or "-name:argument" and
// plain arguments, with aliases and an optional list of accepted names.
//
// The raw command line is split the same way whether it comes as one text or
// as argv: characters up to code 32 separate parameters, a pair of double quotes
// before a parameter is skipped, a double quote inside one opens a stretch
// that runs to the next double quote and the quotes themselves are dropped.
// The first parameter is the program name and is not listed.

#include "Exceptions.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace hostutils {

// A parameter refused by the accepted list: "Unexpected param \"<name>\"".
class EUnexpectedParam : public Exception {
public:
    explicit EUnexpectedParam(const QString& aParamName);
    const QString& ParamName() const { return FParamName; }

private:
    QString FParamName;
};

class TParamParserParam {
public:
    TParamParserParam(QString aName, QString aArgument, const QString& aDelimiter, int aIndex);

    // Switch name after alias resolution; empty for a plain argument.
    const QString& Name() const { return FName; }
    // Text after the switch's first colon, or the whole plain argument.
    const QString& Argument() const { return FArgument; }
    // Argument cut at every delimiter; never empty.
    const QStringList& Arguments() const { return FArguments; }
    // Position on the command line, 0 for the first parameter after the program name.
    int Index() const { return FIndex; }

private:
    QString FName;
    QString FArgument;
    QStringList FArguments;
    int FIndex = 0;
};

class TParamParser {
public:
    // Parses the process command line (/proc/self/cmdline).
    TParamParser();
    // Parses a raw command line, program name first. Throws what Parse throws.
    explicit TParamParser(QString aCommandLine);

    // Rebuilds the parameter list. Throws EUnexpectedParam for a parameter
    // refused by the accepted list; the parameters before it stay.
    void Parse();

    void AddAccepted(const QString& aName);
    void AddAlias(const QString& aAlias, const QString& aFor);

    // Throws EListError("List index out of bounds (<index>)") outside 0..Count-1.
    const TParamParserParam& GetParam(int aIndex) const;
    // First parameter with that name, or nullptr.
    const TParamParserParam* GetParam(const QString& aName) const;
    bool IsSet(const QString& aParamName) const { return GetParam(aParamName) != nullptr; }
    QString GetArgument(const QString& aName) const;
    QString GetArgument(const QString& aName, int aIndex) const;

    const QString& Command() const { return FCommand; }
    int Count() const { return static_cast<int>(FParams.size()); }

    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool aValue);
    const QStringList& AcceptList() const { return FAcceptList; }
    void SetAcceptList(const QStringList& aValue) { FAcceptList = aValue; }
    bool UseOnlyAccepted() const { return FUseOnlyAccepted; }
    void SetUseOnlyAccepted(bool aValue);
    bool FailIfNotAccepted() const { return FFailIfNotAccepted; }
    void SetFailIfNotAccepted(bool aValue) { FFailIfNotAccepted = aValue; }
    const QString& ArgumentDelimiter() const { return FArgumentDelimiter; }
    void SetArgumentDelimiter(const QString& aValue);

    // The raw command line for an argv: arguments joined by blanks, an empty
    // argument or one holding a character up to code 32 put in double quotes.
    static QString CommandLineFromArgs(const QStringList& aArgs);
    // The process's own argv, from /proc/self/cmdline.
    static QStringList ProcessArgs();
    // Splits a raw command line into parameter texts, the program name first.
    // aRest, when given, receives the raw text after the first parameter.
    static QStringList SplitCommandLine(QStringView aCommandLine, QString* aRest = nullptr);

private:
    bool NameEquals(const QString& aLeft, const QString& aRight) const;
    bool IsAccepted(const QString& aName) const;
    QString ResolveAlias(const QString& aName) const;
    // Stores aValue and parses the command line again when it changed a setting.
    template <typename T>
    void ChangeAndParse(T& aField, const T& aValue);

    QString FCommandLine;
    std::vector<TParamParserParam> FParams;
    QStringList FAliases;
    bool FCaseSensitive = false;
    QStringList FAcceptList;
    bool FUseOnlyAccepted = false;
    QString FArgumentDelimiter = QStringLiteral(";");
    bool FFailIfNotAccepted = true;
    QString FCommand;
};

// The process-wide parser of the process command line, made on first use.
TParamParser& GlobalParamParser();

} // namespace hostutils
