#include "TestPeers.h"
#include "Exceptions.h"
#include "QtPrinters.h"
#include "barcodes/Barcodes.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

using namespace diroze;

namespace {

// Exposes the encoder to the tests.
template <typename Base>
struct Open : Base {
    using Base::GetEncodedData;
};
using Ean13 = Open<TEAN13BarCode>;
using Ean8 = Open<TEAN8BarCode>;

std::string MessageOf(TCustomBarCode& aCode, const QString& aData)
{
    try {
        aCode.SetData(aData);
    } catch (const hostutils::Exception& e) {
        return e.what();
    }
    return {};
}

// The symbol as a row of modules, '1' for bar and '0' for space.
std::string Modules(const TEncodedData& aElements)
{
    std::string row;
    for (size_t i = 0; i < aElements.size(); ++i)
        row.append(aElements[i], i % 2 == 0 ? '1' : '0');
    return row;
}

TEST(Barcode, SetterChainPadsChecksAndStores)
{
    struct Case {
        const char* what;
        bool ean8;
        QString input;
        QString stored; // empty when the assignment fails
        std::string message;
    } cases[] = {
        {"short EAN-8 text is padded, wrong check digit kept", true, "123", "00000123", ""},
        {"EAN-13 of nine digits", false, "123456789", "0000123456789", ""},
        {"empty text becomes thirteen zeros", false, "", "0000000000000", ""},
        {"full length passes unchanged", false, "5901234123457", "5901234123457", ""},
        {"letters fail after padding", true, "12A4", "", "Data must be numeric value"},
        {"plus sign", true, "+1234567", "", "Data must be numeric value"},
        {"blank", true, " 1234567", "", "Data must be numeric value"},
        {"dollar hex", true, "$1234567", "", "Data must be numeric value"},
        {"minus", false, "-123456789012", "", "Data must be numeric value"},
        {"non-ASCII digit", true, QString::fromUtf16(u"1234567\u0663"), "", "Data must be numeric value"},
        {"14 digits exceed EAN-13", false, "12345678901234", "", "Data can have max 13 characters"},
        {"9 digits exceed EAN-8", true, "123456789", "", "Data can have max 8 characters"},
        {"largest 64-bit value is numeric, then too long", false, "9223372036854775807", "",
         "Data can have max 13 characters"},
        {"leading zeros do not count against the range", false, "000009223372036854775807", "",
         "Data can have max 13 characters"},
        {"one past the 64-bit range is not numeric", false, "9223372036854775808", "", "Data must be numeric value"},
        {"twenty nines are not numeric", false, "99999999999999999999", "", "Data must be numeric value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<TEAN13BarCode> code =
            c.ean8 ? std::make_unique<TEAN8BarCode>() : std::make_unique<TEAN13BarCode>();
        EXPECT_EQ(MessageOf(*code, c.input), c.message);
        EXPECT_EQ(code->Data(), c.stored);
    }
}

TEST(Barcode, FailedAssignmentKeepsPreviousData)
{
    TEAN8BarCode code;
    code.SetData(QStringLiteral("1234567"));
    EXPECT_THROW(code.SetData(QStringLiteral("x")), hostutils::Exception);
    EXPECT_THROW(code.SetData(QStringLiteral("123456789")), hostutils::Exception);
    EXPECT_EQ(code.Data(), QStringLiteral("01234567"));
}

TEST(Barcode, DefaultsOfANewObject)
{
    TEAN13BarCode code;
    EXPECT_EQ(code.Data(), QString());
    EXPECT_EQ(code.Foreground(), clBlack);
    EXPECT_EQ(code.Background(), clNone);
    EXPECT_TRUE(code.AddQuietZones());
    EXPECT_EQ(code.Alignment(), TAlignment::taLeftJustify);
    EXPECT_EQ(code.MaxDataLength(), 13);
    EXPECT_EQ(TEAN8BarCode().MaxDataLength(), 8);
}

TEST(Barcode, UnassignedDataEncodesToNothing)
{
    EXPECT_TRUE(Ean13().GetEncodedData().empty());
    EXPECT_TRUE(Ean8().GetEncodedData().empty());
}

// Module patterns of the number sets as the EAN/UPC standard prints them.
const char* const kSetA[] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                             "0110001", "0101111", "0111011", "0110111", "0001011"};
const char* const kSetB[] = {"0100111", "0110011", "0011011", "0100001", "0011101",
                             "0111001", "0000101", "0010001", "0001001", "0010111"};
const char* const kSetC[] = {"1110010", "1100110", "1101100", "1000010", "1011100",
                             "1001110", "1010000", "1000100", "1001000", "1110100"};
const char* const kParity[] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                               "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};

TEST(Barcode, Ean13MatchesTheStandardsPatternsForEveryFirstDigit)
{
    for (int first = 0; first <= 9; ++first) {
        const QString data = QString::number(first) + QStringLiteral("123456789012");
        SCOPED_TRACE(data.toStdString());
        Ean13 code;
        code.SetData(data);
        const TEncodedData elements = code.GetEncodedData();
        ASSERT_EQ(elements.size(), 59u);
        std::string expected = "101";
        for (int k = 0; k < 6; ++k) {
            const int d = data[1 + k].unicode() - u'0';
            expected += kParity[first][k] == 'A' ? kSetA[d] : kSetB[d];
        }
        expected += "01010";
        for (int k = 0; k < 6; ++k)
            expected += kSetC[data[7 + k].unicode() - u'0'];
        expected += "101";
        EXPECT_EQ(Modules(elements), expected);
    }
}

TEST(Barcode, Ean8MatchesTheStandardsPatterns)
{
    Ean8 code;
    code.SetData(QStringLiteral("01234567"));
    const TEncodedData elements = code.GetEncodedData();
    ASSERT_EQ(elements.size(), 43u);
    EXPECT_EQ(std::accumulate(elements.begin(), elements.end(), 0), 67);
    std::string expected = "101";
    for (int d : {0, 1, 2, 3})
        expected += kSetA[d];
    expected += "01010";
    for (int d : {4, 5, 6, 7})
        expected += kSetC[d];
    expected += "101";
    EXPECT_EQ(Modules(elements), expected);
}

// Draws the modules into a greyscale image with quiet zones and lets a real
// barcode reader decode it.
QString DecodeWithReader(const TEncodedData& aElements, const QString& aDir)
{
    const std::string row = std::string(10, '0') + Modules(aElements) + std::string(10, '0');
    const int scale = 3, height = 80;
    const QString path = aDir + QStringLiteral("/code.pgm");
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << "P5\n" << row.size() * scale << ' ' << height << "\n255\n";
    std::string line;
    for (char m : row)
        line.append(scale, m == '1' ? '\0' : '\xff');
    for (int y = 0; y < height; ++y)
        out << line;
    out.close();
    QProcess reader;
    reader.start(QStringLiteral("zbarimg"), {QStringLiteral("-q"), QStringLiteral("--raw"), path});
    reader.waitForFinished(30000);
    return QString::fromLatin1(reader.readAllStandardOutput()).trimmed();
}

TEST(Barcode, RealReaderDecodesTheSymbols)
{
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        SKIP_WITHOUT_PEER("zbarimg (zbar-tools) is not installed");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Valid check digits, first digits covering several parity rows.
    for (const char* data :
         {"5901234123457", "4006381333931", "8590000123455", "9780201379624", "2012345678903", "7612345678900"}) {
        SCOPED_TRACE(data);
        Ean13 code;
        code.SetData(QString::fromLatin1(data));
        EXPECT_EQ(DecodeWithReader(code.GetEncodedData(), dir.path()), QString::fromLatin1(data));
    }
    for (const char* data : {"96385074", "40063812", "85900011"}) {
        SCOPED_TRACE(data);
        Ean8 code;
        code.SetData(QString::fromLatin1(data));
        EXPECT_EQ(DecodeWithReader(code.GetEncodedData(), dir.path()), QString::fromLatin1(data));
    }
}

} // namespace
