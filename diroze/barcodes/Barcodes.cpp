#include "Barcodes.h"

#include "Exceptions.h"

#include <array>
#include <algorithm>
#include <numeric>

namespace diroze {

namespace {

// Run lengths of number set A (space, bar, space, bar). Set C has the same runs
// starting with a bar; set B has set C's runs in reverse order.
constexpr std::array<std::array<uint8_t, 4>, 10> kSetA = {{
    {3, 2, 1, 1}, // 0
    {2, 2, 2, 1}, // 1
    {2, 1, 2, 2}, // 2
    {1, 4, 1, 1}, // 3
    {1, 1, 3, 2}, // 4
    {1, 2, 3, 1}, // 5
    {1, 1, 1, 4}, // 6
    {1, 3, 1, 2}, // 7
    {1, 2, 1, 3}, // 8
    {3, 1, 1, 2}, // 9
}};

// Number set of the second to seventh digit of EAN-13 by the first digit:
// bit 5 - k set means digit k + 2 uses set B.
constexpr std::array<uint8_t, 10> kFirstDigitParity = {
    0b000000, // 0: AAAAAA
    0b001011, // 1: AABABB
    0b001101, // 2: AABBAB
    0b001110, // 3: AABBBA
    0b010011, // 4: ABAABB
    0b011001, // 5: ABBAAB
    0b011100, // 6: ABBBAA
    0b010101, // 7: ABABAB
    0b010110, // 8: ABABBA
    0b011010, // 9: ABBABA
};

int Digit(const QString& aData, int aIndex) { return aData[aIndex].unicode() - u'0'; }

// Writes one digit's four runs from set A (or C, the same runs) or, reversed, set B.
void PutDigit(TEncodedData& aOut, size_t aAt, int aDigit, bool aSetB)
{
    const auto& runs = kSetA[static_cast<size_t>(aDigit)];
    for (size_t k = 0; k < 4; ++k)
        aOut[aAt + k] = aSetB ? runs[3 - k] : runs[k];
}

bool FitsInt64(const QString& aDigits)
{
    qsizetype first = 0;
    while (first < aDigits.size() && aDigits[first] == u'0')
        ++first;
    const QStringView significant = QStringView(aDigits).sliced(first);
    constexpr QStringView kMax = u"9223372036854775807";
    if (significant.size() != kMax.size())
        return significant.size() < kMax.size();
    return significant.compare(kMax) <= 0;
}

} // namespace

void TCustomBarCode::SetData(const QString& aValue)
{
    if (aValue.size() > MaxDataLength())
        throw hostutils::Exception("Data can have max " + std::to_string(MaxDataLength()) + " characters");
    FData = aValue;
}

void T1DBarCode::Draw(TCanvas& aCanvas, const TRect& aPaintRect) const
{
    const TRect& r = aPaintRect;
    if (r.Right < r.Left || r.Bottom < r.Top)
        return;
    const TEncodedData encoded = GetEncodedData();
    int64_t modules = std::accumulate(encoded.begin(), encoded.end(), int64_t{0});
    aCanvas.Brush().Style = TBrushStyle::bsSolid;
    if (FBackground != clNone) {
        aCanvas.Brush().Color = FBackground;
        aCanvas.FillRect(r);
    }
    if (FAddQuietZones)
        modules += 20;
    if (modules == 0)
        return;
    // 64 bits: the width of a rectangle spanning the whole 32-bit range fits.
    const int64_t m = (int64_t{r.Right} - r.Left) / modules;
    if (m == 0)
        return;
    aCanvas.Brush().Color = FForeground;
    // The quiet zones end inside the rectangle, so both edges fit.
    const int64_t quiet = FAddQuietZones ? 10 : 0;
    const int64_t x = int64_t{r.Left} + quiet * m;
    aCanvas.Bars(TRect{static_cast<int32_t>(x), r.Top, static_cast<int32_t>(int64_t{r.Right} - quiet * m), r.Bottom},
                 static_cast<int32_t>(std::min<int64_t>(m, INT32_MAX)), encoded, static_cast<uint8_t>(quiet));
}

void TNumeric1DBarCode::SetData(const QString& aValue)
{
    const bool digitsOnly =
        !aValue.isEmpty() && std::all_of(aValue.begin(), aValue.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!digitsOnly || !FitsInt64(aValue))
        throw hostutils::Exception("Data must be numeric value");
    T1DBarCode::SetData(aValue);
}

void TEAN13BarCode::SetData(const QString& aValue)
{
    const int missing = MaxDataLength() - static_cast<int>(aValue.size());
    if (missing > 0)
        TNumeric1DBarCode::SetData(QString(missing, u'0') + aValue);
    else
        TNumeric1DBarCode::SetData(aValue);
}

TEncodedData TEAN13BarCode::GetEncodedData() const
{
    if (FData.size() != 13)
        return {};
    TEncodedData out(59, 1); // guards are runs of one module
    const uint8_t parity = kFirstDigitParity[static_cast<size_t>(Digit(FData, 0))];
    for (int k = 0; k < 6; ++k)
        PutDigit(out, 3 + 4 * static_cast<size_t>(k), Digit(FData, 1 + k), (parity >> (5 - k)) & 1);
    for (int k = 0; k < 6; ++k)
        PutDigit(out, 32 + 4 * static_cast<size_t>(k), Digit(FData, 7 + k), false);
    return out;
}

TEncodedData TEAN8BarCode::GetEncodedData() const
{
    if (FData.size() != 8)
        return {};
    TEncodedData out(43, 1);
    for (int k = 0; k < 4; ++k)
        PutDigit(out, 3 + 4 * static_cast<size_t>(k), Digit(FData, k), false);
    for (int k = 0; k < 4; ++k)
        PutDigit(out, 24 + 4 * static_cast<size_t>(k), Digit(FData, 4 + k), false);
    return out;
}

} // namespace diroze
