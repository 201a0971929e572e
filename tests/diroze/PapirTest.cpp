#include "Papir.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace diroze;
using enum TSettingsControl;

namespace {

const QLocale kCzech(QLocale::Czech, QLocale::CzechRepublic);

std::string FailureOf(const std::function<void()>& aCall, TSettingsControl* aControl = nullptr)
{
    try {
        aCall();
    } catch (const EInvalidInput& e) {
        if (aControl)
            *aControl = e.Control();
        return e.what();
    }
    return "(accepted)";
}

TEST(ReadMillimetres, LocaleFormatAndExactRounding)
{
    struct Case {
        const char* text;
        int32_t hundredths;
    } good[] = {{"10,5", 1050}, {"0,125", 12}, {"0,375", 38}, {"0,995", 99}, {"10,005", 1001},
                {"0,996", 100}, {"0", 0},      {"2", 200},    {"-0", 0},     {"21474836,47", 2147483647}};
    for (const Case& c : good) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReadMillimetres(QString::fromUtf8(c.text), edtMarginX, kCzech), c.hundredths);
    }
    const std::string decimal = "Hodnota musí být zadána\rv milimetrech jako\rdesetiné číslo.";
    for (const char* bad : {"10.5", "", "abc", "1,2,3", "inf", "nan", "21474836,48", "1e300"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(FailureOf([&] { ReadMillimetres(QString::fromUtf8(bad), edtMarginX, kCzech); }), decimal);
    }
    // A group separator is no part of the plain number form, in any locale.
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    for (const auto& [locale, text] : {std::pair{QLocale::c(), "1,000"}, std::pair{english, "1,000"},
                                       std::pair{english, "1,000.5"}, std::pair{kCzech, "1\u00a0000"}}) {
        SCOPED_TRACE(locale.name().toStdString() + " " + text);
        EXPECT_EQ(FailureOf([&] { ReadMillimetres(QString::fromUtf8(text), edtMarginX, locale); }), decimal);
    }
    EXPECT_EQ(FailureOf([] { ReadMillimetres(QStringLiteral("-0,5"), edtMarginX, kCzech); }),
              "Hodnota nesmí být záporná.");
    EXPECT_EQ(ReadMillimetres(QStringLiteral("10.5"), edtMarginX, english), 1050);
    EXPECT_EQ(ReadMillimetres(QStringLiteral("1000"), edtMarginX, QLocale::c()), 100000);
}

TEST(ReadNonNegativeInt, WholeNumbersOnly)
{
    EXPECT_EQ(ReadNonNegativeInt(QStringLiteral("0"), edtPocetX), 0);
    EXPECT_EQ(ReadNonNegativeInt(QStringLiteral("+12"), edtPocetX), 12);
    EXPECT_EQ(ReadNonNegativeInt(QStringLiteral("2147483647"), edtPocetX), 2147483647);
    for (const char* bad : {"", "-", "1,5", "12a", " 1", "2147483648", "99999999999999999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(FailureOf([&] { ReadNonNegativeInt(QString::fromUtf8(bad), edtPocetX); }),
                  "Hodnota musí být celočíselná.");
    }
    EXPECT_EQ(FailureOf([] { ReadNonNegativeInt(QStringLiteral("-3"), edtFirstY); }), "Hodnota nesmí být záporná.");
}

TPapirControls A4Controls()
{
    TPapirControls c;
    c.Format = pA4;
    c.Width = QStringLiteral("210");
    c.Height = QStringLiteral("297");
    c.FontItems = {"Arial", "Courier New", "Liberation Sans"};
    return c;
}

TEST(ReadPapir, DefaultsGiveTheDefaultLayout)
{
    const TPapir p = ReadPapir(A4Controls(), kCzech);
    EXPECT_EQ(p.Format, pA4);
    EXPECT_EQ(p.Orientace, poPortrait);
    EXPECT_EQ(p.Velikost, (TPoint{21000, 29700}));
    EXPECT_EQ(p.Okraj, (TPoint{1000, 1000}));
    EXPECT_EQ(p.Pocet, (TPoint{4, 10}));
    EXPECT_EQ(p.Vycpavka, (TPoint{200, 200}));
    EXPECT_EQ(p.Mezery, (TPoint{200, 200}));
    EXPECT_EQ(p.Zacatek, (TPoint{1, 1}));
    EXPECT_EQ(p.Pismo.Nazev, QStringLiteral("Arial"));
    EXPECT_EQ(p.Pismo.Velikost, 10);
    EXPECT_EQ(p.Pismo.Zarovnani, ztLeft);
    EXPECT_TRUE(p.Pismo.Styl.Empty());
    EXPECT_EQ(DefaultPapir(), p);
}

TEST(ReadPapir, FirstBadValueInReadingOrderIsReported)
{
    struct Case {
        const char* what;
        std::function<void(TPapirControls&)> change;
        TSettingsControl control;
        const char* message;
    } cases[] = {
        {"no format beats a bad padding",
         [](auto& c) {
             c.Format.reset();
             c.PaddingX = "-1";
         },
         lstFormat, "Prosím vyberte formát papíru."},
        {"width below 1 mm", [](auto& c) { c.Width = "0,995"; }, edtWidth, "Zadejte reálnou velikost."},
        {"width 0,99", [](auto& c) { c.Width = "0,99"; }, edtWidth, "Zadejte reálnou velikost."},
        {"height below 1 mm", [](auto& c) { c.Height = "0"; }, edtHeight, "Zadejte reálnou velikost."},
        {"bad width before bad height",
         [](auto& c) {
             c.Width = "x";
             c.Height = "0";
         },
         edtWidth, "Hodnota musí být zadána\rv milimetrech jako\rdesetiné číslo."},
        {"margins before counts",
         [](auto& c) {
             c.MarginY = "-1";
             c.PocetX = "x";
         },
         edtMarginY, "Hodnota nesmí být záporná."},
        {"counts before padding",
         [](auto& c) {
             c.PocetY = "1,5";
             c.PaddingX = "-1";
         },
         edtPocetY, "Hodnota musí být celočíselná."},
        {"padding before gaps",
         [](auto& c) {
             c.PaddingY = "x";
             c.SpaceX = "-1";
         },
         edtPaddingY, "Hodnota musí být zadána\rv milimetrech jako\rdesetiné číslo."},
        {"gaps before start",
         [](auto& c) {
             c.SpaceY = "-2";
             c.FirstX = "x";
         },
         edtSpaceY, "Hodnota nesmí být záporná."},
        {"start before font size",
         [](auto& c) {
             c.FirstY = "-1";
             c.FontSize = "x";
         },
         edtFirstY, "Hodnota nesmí být záporná."},
        {"font size", [](auto& c) { c.FontSize = "10,5"; }, lstFontSize, "Hodnota musí být celočíselná."},
        {"unknown font", [](auto& c) { c.FontText = "Nonexistent Sans"; }, lstFont, "Prosím vyberte existující font."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TPapirControls controls = A4Controls();
        c.change(controls);
        TSettingsControl control{};
        EXPECT_EQ(FailureOf([&] { ReadPapir(controls, kCzech); }, &control), c.message);
        EXPECT_EQ(control, c.control);
    }
}

TEST(ReadPapir, ValuesPassWithoutCrossChecks)
{
    TPapirControls c = A4Controls();
    c.PocetX = QStringLiteral("0");
    c.MarginX = QStringLiteral("500");
    c.FirstY = QStringLiteral("0");
    c.FontText = QStringLiteral("arial");
    c.Portrait = false;
    c.AlignmentIndex = 2;
    c.Radky[1] = true;
    const TPapir p = ReadPapir(c, kCzech);
    EXPECT_EQ(p.Pocet.X, 0);
    EXPECT_EQ(p.Okraj.X, 50000);
    EXPECT_EQ(p.Zacatek.Y, 0);
    EXPECT_EQ(p.Pismo.Nazev, QStringLiteral("Arial")) << "the list's spelling";
    EXPECT_EQ(p.Orientace, poLandscape);
    EXPECT_EQ(p.Pismo.Zarovnani, ztCenter);
    EXPECT_EQ(p.Radky, (std::array<bool, 8>{false, true}));

    c.FontIndex = 1;
    EXPECT_EQ(ReadPapir(c, kCzech).Pismo.Nazev, QStringLiteral("Courier New")) << "a selection wins over the text";
}

TEST(PaperFormats, NamesAndOfferedList)
{
    EXPECT_EQ(PaperFormatName(pLetter), QStringLiteral("Letter"));
    EXPECT_EQ(PaperFormatName(pA4Small), QStringLiteral("A4Small"));
    EXPECT_EQ(PaperFormatName(p10x14), QStringLiteral("10x14"));
    EXPECT_EQ(PaperFormatName(pA3ExtraTransverse), QStringLiteral("A3ExtraTransverse"));
    EXPECT_EQ(PaperFormatName(pCustom), QStringLiteral("Vlastní formát..."));
    EXPECT_EQ(OfferedPaperFormats, (std::array<TPaperType, 7>{pA2, pA3, pA4, pA5, pB4, pB5, pCustom}));

    EXPECT_EQ(PaperSizeTexts(pA4, poPortrait, kCzech), (std::pair{QStringLiteral("210"), QStringLiteral("297")}));
    EXPECT_EQ(PaperSizeTexts(pA4, poLandscape, kCzech), (std::pair{QStringLiteral("297"), QStringLiteral("210")}));
    EXPECT_EQ(PaperSizeTexts(pB4, poPortrait, kCzech), (std::pair{QStringLiteral("250"), QStringLiteral("354")}));
    EXPECT_EQ(PaperSizeTexts(pLetter, poPortrait, kCzech),
              (std::pair{QStringLiteral("215,9"), QStringLiteral("279,4")}));
}

} // namespace
