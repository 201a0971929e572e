#include "ParamParser.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

using hostutils::EListError;
using hostutils::EUnexpectedParam;
using hostutils::TParamParser;

namespace {

struct SplitCase {
    const char* what;
    const char16_t* line;
    QStringList params; // program name first
};

TEST(CommandLineSplit, FollowsTheQuotingRules)
{
    const SplitCase cases[] = {
        {"blanks and control characters separate",
         u"p  a\tb\x01"
         u"c",
         {"p", "a", "b", "c"}},
        {"an empty quoted pair makes no parameter", u"p \"\" a.txt", {"p", "a.txt"}},
        {"pairs of quotes repeat before a parameter", u"p \"\"\"\"a", {"p", "a"}},
        {"quotes keep blanks and are dropped", u"p \"a b.txt\"", {"p", "a b.txt"}},
        {"a quoted stretch inside a switch", u"p -file:\"C:\\my dir\\x.txt\" z", {"p", "-file:C:\\my dir\\x.txt", "z"}},
        {"an unclosed quote runs to the end", u"p \"a b", {"p", "a b"}},
        {"quotes in the middle glue pieces", u"p a\"b c\"d", {"p", "ab cd"}},
        {"nothing at all", u"", {}},
        {"quoted program name", u"\"/opt/my app/diroze\" x", {"/opt/my app/diroze", "x"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TParamParser::SplitCommandLine(QString::fromUtf16(c.line)), c.params);
    }
}

TEST(CommandLineSplit, NulEndsTheLine)
{
    const char16_t raw[] = u"p a\0b";
    EXPECT_EQ(TParamParser::SplitCommandLine(QStringView(raw, 5)), (QStringList{"p", "a"}));
}

TEST(CommandLineSplit, CommandIsTheRawTextAfterTheProgramName)
{
    EXPECT_EQ(TParamParser(QStringLiteral("diroze  a.txt -numbers")).Command(), QStringLiteral("  a.txt -numbers"));
    EXPECT_EQ(TParamParser(QStringLiteral("\"my diroze\" \"a b\"")).Command(), QStringLiteral(" \"a b\""));
    EXPECT_EQ(TParamParser(QStringLiteral("diroze")).Command(), QString());
}

TEST(CommandLineSplit, ArgvGivesTheSameResultAsRawText)
{
    // Every argv maps to a raw line whose splitting gives back the non-empty
    // arguments; an empty argument is the documented empty quoted pair.
    const QStringList argv = {"/usr/bin/diroze", "my labels.txt", "-codePage:1250", "", "-x:a\tb", "plain"};
    const QString raw = TParamParser::CommandLineFromArgs(argv);
    EXPECT_EQ(raw, QStringLiteral("/usr/bin/diroze \"my labels.txt\" -codePage:1250 \"\" \"-x:a\tb\" plain"));
    EXPECT_EQ(TParamParser::SplitCommandLine(raw),
              (QStringList{"/usr/bin/diroze", "my labels.txt", "-codePage:1250", "-x:a\tb", "plain"}));

    const TParamParser p(raw);
    EXPECT_EQ(p.Count(), 4);
    EXPECT_EQ(p.GetArgument(QString()), QStringLiteral("my labels.txt"));
    EXPECT_EQ(p.GetArgument(QStringLiteral("codepage")), QStringLiteral("1250"));
    EXPECT_EQ(p.GetParam(3).Argument(), QStringLiteral("plain"));
    EXPECT_EQ(p.GetParam(3).Index(), 3);
}

TEST(ParamParser, SwitchesAndPlainArguments)
{
    const TParamParser p(QStringLiteral("diroze -numbers a.txt -codePage:a:b -: -:x - C:\\x.txt /numbers -empty:"));
    ASSERT_EQ(p.Count(), 9);
    EXPECT_EQ(p.GetParam(0).Name(), QStringLiteral("numbers"));
    EXPECT_EQ(p.GetParam(0).Argument(), QString());
    EXPECT_EQ(p.GetArgument(QString()), QStringLiteral("a.txt")) << "the switch does not take the file name";
    EXPECT_EQ(p.GetArgument(QStringLiteral("codePage")), QStringLiteral("a:b"));
    EXPECT_EQ(p.GetParam(3).Name(), QStringLiteral(":")) << "a colon right after the minus belongs to the name";
    EXPECT_EQ(p.GetParam(4).Name(), QStringLiteral(":x"));
    EXPECT_EQ(p.GetParam(5).Name(), QString()) << "a lone minus has an empty name";
    EXPECT_EQ(p.GetParam(6).Argument(), QStringLiteral("C:\\x.txt"));
    EXPECT_EQ(p.GetParam(6).Name(), QString());
    EXPECT_EQ(p.GetParam(7).Name(), QString()) << "a slash starts no switch";
    EXPECT_EQ(p.GetParam(7).Argument(), QStringLiteral("/numbers"));
    EXPECT_TRUE(p.IsSet(QStringLiteral("empty")));
    EXPECT_EQ(p.GetArgument(QStringLiteral("empty")), QString());
    EXPECT_FALSE(p.IsSet(QStringLiteral("fontBold")));
    EXPECT_EQ(p.GetArgument(QStringLiteral("fontBold")), QString());
}

TEST(ParamParser, LoneMinusBeforeTheFileIsFoundAsFirstPlainArgument)
{
    const TParamParser p(QStringLiteral("diroze - a.txt"));
    EXPECT_TRUE(p.IsSet(QString()));
    EXPECT_EQ(p.GetArgument(QString()), QString());
}

TEST(ParamParser, NoParameters)
{
    const TParamParser p(QStringLiteral("diroze"));
    EXPECT_EQ(p.Count(), 0);
    EXPECT_EQ(p.GetArgument(QString()), QString());
    EXPECT_FALSE(p.IsSet(QString()));
}

TEST(ParamParser, FirstDuplicateWinsByNameLaterOnesByIndex)
{
    const TParamParser p(QStringLiteral("diroze -x:1 -X:2"));
    EXPECT_EQ(p.GetArgument(QStringLiteral("x")), QStringLiteral("1"));
    EXPECT_EQ(p.GetParam(1).Argument(), QStringLiteral("2"));
}

TEST(ParamParser, IndexOutsideTheListFails)
{
    const TParamParser p(QStringLiteral("diroze a"));
    EXPECT_THROW(p.GetParam(1), EListError);
    EXPECT_THROW(p.GetParam(-1), EListError);
    try {
        p.GetParam(5);
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (5)");
    }
}

TEST(ParamParser, ArgumentListsAndDelimiter)
{
    TParamParser p(QStringLiteral("diroze -list:a;b;c -e: -t:a;;b -u:a; -v:x|y"));
    EXPECT_EQ(p.GetArgument(QStringLiteral("list"), 2), QStringLiteral("c"));
    EXPECT_EQ(p.GetArgument(QStringLiteral("list"), 3), QString());
    EXPECT_EQ(p.GetArgument(QStringLiteral("list"), -1), QString());
    EXPECT_EQ(p.GetArgument(QStringLiteral("missing"), 0), QString());
    EXPECT_EQ(p.GetParam(QStringLiteral("e"))->Arguments(), QStringList{QString()});
    EXPECT_EQ(p.GetParam(QStringLiteral("t"))->Arguments(), (QStringList{"a", "", "b"}));
    EXPECT_EQ(p.GetParam(QStringLiteral("u"))->Arguments(), (QStringList{"a", ""}));
    EXPECT_EQ(p.GetParam(QStringLiteral("v"))->Arguments(), QStringList{"x|y"});

    p.SetArgumentDelimiter(QStringLiteral("|")); // re-parses
    EXPECT_EQ(p.GetParam(QStringLiteral("v"))->Arguments(), (QStringList{"x", "y"}));
    EXPECT_EQ(p.GetParam(QStringLiteral("list"))->Arguments(), QStringList{"a;b;c"});
}

TEST(ParamParser, CaseSensitivityReparses)
{
    TParamParser p(QStringLiteral("diroze -NumBers -Čára"));
    EXPECT_TRUE(p.IsSet(QStringLiteral("numbers")));
    EXPECT_TRUE(p.IsSet(QStringLiteral("čÁRA")));
    p.SetCaseSensitive(true);
    EXPECT_FALSE(p.IsSet(QStringLiteral("numbers")));
    EXPECT_TRUE(p.IsSet(QStringLiteral("NumBers")));
}

TEST(ParamParser, AliasesApplyAtTheNextParseAndIgnoreCase)
{
    TParamParser p(QStringLiteral("diroze -CP:1250 -n plain"));
    p.AddAlias(QStringLiteral("cp"), QStringLiteral("codePage"));
    p.AddAlias(QStringLiteral("N"), QStringLiteral("numbers"));
    EXPECT_FALSE(p.IsSet(QStringLiteral("codePage"))) << "adding an alias does not re-parse";
    p.Parse();
    EXPECT_EQ(p.GetArgument(QStringLiteral("codePage")), QStringLiteral("1250"));
    EXPECT_EQ(p.GetParam(0).Name(), QStringLiteral("codePage"));
    EXPECT_TRUE(p.IsSet(QStringLiteral("numbers")));
    EXPECT_EQ(p.GetArgument(QString()), QStringLiteral("plain")) << "plain arguments are not aliased";
}

TEST(ParamParser, AcceptedList)
{
    TParamParser p(QStringLiteral("diroze -a -B plain -c"));
    p.AddAccepted(QStringLiteral("a"));
    p.AddAccepted(QStringLiteral("b"));
    EXPECT_TRUE(p.UseOnlyAccepted());
    EXPECT_EQ(p.Count(), 4) << "adding accepted names does not re-parse";

    try {
        p.Parse();
        FAIL() << "the plain argument has no empty entry in the accepted list";
    } catch (const EUnexpectedParam& e) {
        EXPECT_EQ(e.ParamName(), QString());
        EXPECT_STREQ(e.what(), "Unexpected param \"\"");
    }
    EXPECT_EQ(p.Count(), 2) << "the parameters before the refused one stay";

    p.AddAccepted(QString());
    try {
        p.Parse();
        FAIL();
    } catch (const EUnexpectedParam& e) {
        EXPECT_STREQ(e.what(), "Unexpected param \"c\"");
    }
    EXPECT_EQ(p.Count(), 3);

    p.SetFailIfNotAccepted(false);
    p.Parse();
    EXPECT_EQ(p.Count(), 3) << "a refused parameter is left out quietly";
    EXPECT_FALSE(p.IsSet(QStringLiteral("c")));

    p.SetCaseSensitive(true); // "-B" no longer matches "b"
    EXPECT_EQ(p.Count(), 2);
    EXPECT_FALSE(p.IsSet(QStringLiteral("B")));

    p.SetUseOnlyAccepted(false);
    EXPECT_EQ(p.Count(), 4);
}

TEST(ParamParser, AcceptedListSetterDoesNotReparse)
{
    TParamParser p(QStringLiteral("diroze -a"));
    p.SetAcceptList(QStringList{"z"});
    EXPECT_EQ(p.AcceptList(), QStringList{"z"});
    EXPECT_FALSE(p.UseOnlyAccepted());
    EXPECT_THROW(p.SetUseOnlyAccepted(true), EUnexpectedParam);
}

TEST(ParamParser, ProcessCommandLineIsThisProgramsArgv)
{
    const QStringList args = TParamParser::ProcessArgs();
    ASSERT_FALSE(args.isEmpty());
    EXPECT_TRUE(args.first().endsWith(QStringLiteral("test_common")));
    EXPECT_EQ(&hostutils::GlobalParamParser(), &hostutils::GlobalParamParser());
    EXPECT_EQ(hostutils::GlobalParamParser().Count(), args.size() - 1);
}

} // namespace
