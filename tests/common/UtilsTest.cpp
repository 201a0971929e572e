#include "Exceptions.h"
#include "QtPrinters.h"
#include "UtilsFile.h"
#include "UtilsNumber.h"
#include "UtilsString.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace hostutils;

namespace {

TEST(SplitByDelimiter, KeepsEveryPiece)
{
    struct Case {
        const char* what;
        QString delimiter, text;
        QStringList pieces;
    } cases[] = {
        {"empty text gives one empty piece", ";", "", {""}},
        {"n delimiters give n + 1 pieces", ";", "a;;b", {"a", "", "b"}},
        {"trailing delimiter", ";", "a;", {"a", ""}},
        {"leading delimiter", ";", ";x", {"", "x"}},
        {"blanks stay", ";", " a ; b ", {" a ", " b "}},
        {"longer delimiter", "::", "a::b:c", {"a", "b:c"}},
        {"empty delimiter cuts nothing", "", "a;b", {"a;b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SplitByDelimiter(c.delimiter, c.text), c.pieces);
    }
}

TEST(StrToInt, AcceptsWhatTheSwitchesWrite)
{
    struct Case {
        const char* text;
        int32_t value;
    } good[] = {{"852", 852},
                {"  1250", 1250},
                {"+7", 7},
                {"-12", -12},
                {"$1F", 31},
                {"0x1f", 31},
                {"0X10", 16},
                {"-$10", -16},
                {"2147483647", INT32_MAX},
                {"-2147483648", INT32_MIN},
                {"000123", 123}};
    for (const Case& c : good) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StrToInt(c.text), c.value);
    }
    for (const char* bad : {"", " ", "x", "12 ", "1.5", "2147483648", "-2147483649", "$", "0x", "+",
                            "99999999999999999999", "1e3", "١٢"}) {
        SCOPED_TRACE(bad);
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

TEST(Files, ReadWholeFileAndItsFailures)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    const std::string content("a\0b\xff", 4);
    std::ofstream(path.toStdString(), std::ios::binary) << content;
    EXPECT_EQ(ReadWholeFile(path), content);

    QDir::setCurrent(dir.path());
    try {
        ReadWholeFile(QStringLiteral("sub/../missing.txt"));
        ADD_FAILURE();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + dir.filePath("missing.txt").toStdString() + "\". No such file or directory");
    }
    try {
        ReadWholeFile(dir.path());
        ADD_FAILURE();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir.path().toStdString() + "\". Is a directory");
    }
    EXPECT_THROW(ReadWholeFile(QString()), EFOpenError);
}

TEST(Files, ApplicationDirIsThisProgramsDirectory)
{
    const QString dir = GetApplicationDir();
    EXPECT_TRUE(dir.endsWith(u'/'));
    EXPECT_TRUE(QFileInfo::exists(dir + QStringLiteral("test_common")));
}

} // namespace
