#include "Exceptions.h"
#include "QtPrinters.h"
#include "Stitek.h"

#include <gtest/gtest.h>

#include <optional>

using namespace diroze;

namespace {

const TStitekOptions kDefault{soBarCode};
const TStitekOptions kNumbers{soBarCode, soEan};
const TStitekOptions kStyles{soBarCode, soOverrideStyle};

enum class Code { none, ean13, ean8 };

struct LabelCase {
    const char* what;
    const char16_t* line;
    TStitekOptions defaults;
    uint8_t options;
    Code code;
    QString ean;
    QStringList lines; // the first lines; the rest must be empty
};

TEST(Stitek, ParsesFieldsCommandsAndBarcodes)
{
    const LabelCase cases[] = {
        {"EAN-8 with one line", u"12345678;Text", kDefault, 0x01, Code::ean8, "12345678", {"Text"}},
        {"twelve digits make EAN-13", u"123456789012;A;B", kDefault, 0x01, Code::ean13, "123456789012", {"A", "B"}},
        {"nine digits make EAN-13", u"123456789", kDefault, 0x01, Code::ean13, "123456789", {}},
        {"one digit makes EAN-8", u"7;x", kDefault, 0x01, Code::ean8, "7", {"x"}},
        {"empty field 0: no barcode", u";Jen text", kDefault, 0x00, Code::none, "", {"Jen text"}},
        {"empty line", u"", kDefault, 0x00, Code::none, "", {}},
        {"numbers switch keeps soEan", u"12345678", kNumbers, 0x03, Code::ean8, "12345678", {}},
        {"new page command", u"@1Oddíl A;x", kNumbers, 0x14, Code::none, "Oddíl A", {"x"}},
        {"blank command is a new page too", u"@ Oddíl", kDefault, 0x14, Code::none, "Oddíl", {}},
        {"empty row command", u"@2", kDefault, 0x2C, Code::none, "", {}},
        {"new row command", u"@3Nadpis", kDefault, 0x0C, Code::none, "Nadpis", {}},
        {"a heading keeps digits as text", u"@11234;a", kDefault, 0x14, Code::none, "1234", {"a"}},
        {"ten fields: field 9 ignored",
         u";1;2;3;4;5;6;7;8;9",
         kDefault,
         0x00,
         Code::none,
         "",
         {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {"blanks stay part of fields", u"; a ;  ", kDefault, 0x00, Code::none, "", {" a ", "  "}},
        {"style prefixes without the switch stay text",
         u";@bc12Nadpis;@b1",
         kDefault,
         0x00,
         Code::none,
         "",
         {"@bc12Nadpis", "@b1"}},
        {"soOverrideStyle stays in the options", u";x", kStyles, 0x40, Code::none, "", {"x"}},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TStitek s(QStringView(c.line), c.defaults);
        EXPECT_EQ(s.Options().ToBits(), c.options);
        EXPECT_EQ(s.EAN(), c.ean);
        switch (c.code) {
        case Code::none:
            EXPECT_EQ(s.BarCode(), nullptr);
            break;
        case Code::ean13:
            ASSERT_NE(dynamic_cast<const TEAN13BarCode*>(s.BarCode()), nullptr);
            EXPECT_EQ(dynamic_cast<const TEAN8BarCode*>(s.BarCode()), nullptr);
            EXPECT_EQ(s.BarCode()->Data().size(), 13);
            EXPECT_TRUE(s.BarCode()->Data().endsWith(c.ean));
            break;
        case Code::ean8:
            ASSERT_NE(dynamic_cast<const TEAN8BarCode*>(s.BarCode()), nullptr);
            EXPECT_EQ(s.BarCode()->Data().size(), 8);
            EXPECT_TRUE(s.BarCode()->Data().endsWith(c.ean));
            break;
        }
        for (int i = 0; i < kLineCount; ++i)
            EXPECT_EQ(s.Radky()[i], i < c.lines.size() ? c.lines[i] : QString()) << "line " << i + 1;
        EXPECT_EQ(s.Pisma(), TPisma{}) << "no overrides without a style prefix";
    }
}

struct FailCase {
    const char* what;
    const char16_t* line;
    TStitekOptions defaults;
    const char* message;
};

TEST(Stitek, BadLinesFailWithTheirMessage)
{
    const FailCase cases[] = {
        {"unknown command", u"@9", kDefault, "Neznámý povel \"@9\""},
        {"unknown command letter", u"@xyz;a", kDefault, "Neznámý povel \"@x\""},
        {"a lone at-sign is barcode data", u"@;x", kDefault, "Data must be numeric value"},
        {"too long", u"12345678901234;X", kDefault, "Příliš dlouhý EAN kód: 12345678901234"},
        {"too long wins over not numeric", u"abcdefghijklmn", kDefault, "Příliš dlouhý EAN kód: abcdefghijklmn"},
        {"not numeric", u"12A4;x", kDefault, "Data must be numeric value"},
        {"bad style letter", u";@bNadpis", kStyles, "Neplatný příkaz pro formátování \"N\""},
        {"one digit then letter", u";@1x", kStyles, "Neplatný příkaz pro formátování \"x\""},
        {"one digit at the end", u";@b1", kStyles, "Neplatný příkaz pro formátování \"\""},
        {"upper-case letter", u";@B12x", kStyles, "Neplatný příkaz pro formátování \"B\""},
        {"blank in the prefix", u";@b 12x", kStyles, "Neplatný příkaz pro formátování \" \""},
        {"a later line fails too", u";ok;@iq", kStyles, "Neplatný příkaz pro formátování \"q\""},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            TStitek s(QStringView(c.line), c.defaults);
            ADD_FAILURE() << "parsed";
        } catch (const hostutils::Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

struct StyleCase {
    const char* what;
    const char16_t* field;
    QString text;
    TPismo pismo;
};

TEST(Stitek, StylePrefixesSetTheLinesFont)
{
    const StyleCase cases[] = {
        {"bold centred 12 pt", u"@bc12Nadpis", "Nadpis", {{}, 12, {fsBold}, ztCenter}},
        {"prefix only: empty italic underlined line", u"@iu", "", {{}, 0, {fsItalic, fsUnderline}, ztInherit}},
        {"blank after the size is text", u"@05 malé", " malé", {{}, 5, {}, ztInherit}},
        {"size 00 keeps the sheet size", u"@00x", "x", {}},
        {"later alignment wins, styles add up", u"@lbrsc99", "", {{}, 99, {fsBold, fsStrikeOut}, ztCenter}},
        {"only the first two digits are the size", u"@123", "3", {{}, 12, {}, ztInherit}},
        {"a bare at-sign is an empty line", u"@", "", {}},
        {"right alignment", u"@r", "", {{}, 0, {}, ztRight}},
        {"left alignment", u"@l10@b", "@b", {{}, 10, {}, ztLeft}},
    };
    for (const StyleCase& c : cases) {
        SCOPED_TRACE(c.what);
        const QString line = QStringLiteral(";plain;") + QString::fromUtf16(c.field);
        const TStitek s(line, kStyles);
        EXPECT_EQ(s.Radky()[0], QStringLiteral("plain"));
        EXPECT_EQ(s.Radky()[1], c.text);
        EXPECT_EQ(s.Pisma()[0], TPismo{});
        EXPECT_EQ(s.Pisma()[1].Velikost, c.pismo.Velikost);
        EXPECT_EQ(s.Pisma()[1].Styl.ToBits(), c.pismo.Styl.ToBits());
        EXPECT_EQ(s.Pisma()[1].Zarovnani, c.pismo.Zarovnani);
        EXPECT_EQ(s.Pisma()[1].Nazev, QString());
    }
}

TEST(Stitek, StylePrefixInHeadingAndBarcodeLabels)
{
    const TStitek heading(u"@1Oddíl;@b12Tučně", kStyles);
    EXPECT_EQ(heading.Options().ToBits(), 0x54);
    EXPECT_EQ(heading.Radky()[0], QStringLiteral("Tučně"));
    EXPECT_TRUE(heading.Pisma()[0].Styl.Contains(fsBold));
    EXPECT_EQ(heading.Pisma()[0].Velikost, 12);
}

} // namespace
