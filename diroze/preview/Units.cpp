#include "Units.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace diroze {

const std::array<TPaperSizeInfo, kPaperTypeCount> PaperSizeTable = {{
    {1, 8500, 11000, mmHiEnglish},   // pLetter
    {2, 8500, 11000, mmHiEnglish},   // pLetterSmall
    {3, 11000, 17000, mmHiEnglish},  // pTabloid
    {4, 17000, 11000, mmHiEnglish},  // pLedger
    {5, 8500, 14000, mmHiEnglish},   // pLegal
    {6, 5500, 8500, mmHiEnglish},    // pStatement
    {7, 7250, 10500, mmHiEnglish},   // pExecutive
    {8, 2970, 4200, mmLoMetric},     // pA3
    {9, 2100, 2970, mmLoMetric},     // pA4
    {10, 2100, 2970, mmLoMetric},    // pA4Small
    {11, 1480, 2100, mmLoMetric},    // pA5
    {12, 2500, 3540, mmLoMetric},    // pB4
    {13, 1820, 2570, mmLoMetric},    // pB5
    {14, 8500, 13000, mmHiEnglish},  // pFolio
    {15, 2150, 2750, mmLoMetric},    // pQuatro
    {16, 10000, 14000, mmHiEnglish}, // p10x14
    {17, 11000, 17000, mmHiEnglish}, // p11x17
    {18, 8500, 11000, mmHiEnglish},  // pNote
    {19, 3875, 8875, mmHiEnglish},   // pEnv9
    {20, 4125, 9500, mmHiEnglish},   // pEnv10
    {21, 4500, 10375, mmHiEnglish},  // pEnv11
    {22, 4750, 11000, mmHiEnglish},  // pEnv12
    {23, 5000, 11500, mmHiEnglish},  // pEnv14
    {24, 17000, 22000, mmHiEnglish}, // pCSheet
    {25, 22000, 34000, mmHiEnglish}, // pDSheet
    {26, 34000, 44000, mmHiEnglish}, // pESheet
    {27, 1100, 2200, mmLoMetric},    // pEnvDL
    {28, 1620, 2290, mmLoMetric},    // pEnvC5
    {29, 3240, 4580, mmLoMetric},    // pEnvC3
    {30, 2290, 3240, mmLoMetric},    // pEnvC4
    {31, 1140, 1620, mmLoMetric},    // pEnvC6
    {32, 1140, 2290, mmLoMetric},    // pEnvC65
    {33, 2500, 3530, mmLoMetric},    // pEnvB4
    {34, 1760, 2500, mmLoMetric},    // pEnvB5
    {35, 1760, 1250, mmLoMetric},    // pEnvB6
    {36, 1100, 2300, mmLoMetric},    // pEnvItaly
    {37, 3875, 7500, mmHiEnglish},   // pEnvMonarch
    {38, 3625, 6500, mmHiEnglish},   // pEnvPersonal
    {39, 14875, 11000, mmHiEnglish}, // pFanfoldUSStd
    {40, 8500, 12000, mmHiEnglish},  // pFanfoldGermanStd
    {41, 8500, 13000, mmHiEnglish},  // pFanfoldGermanLegal
    {42, 2500, 3530, mmLoMetric},    // pB4ISO
    {43, 1000, 1480, mmLoMetric},    // pJapanesePostcard
    {44, 9000, 11000, mmHiEnglish},  // p9x11
    {45, 10000, 11000, mmHiEnglish}, // p10x11
    {46, 15000, 11000, mmHiEnglish}, // p15x11
    {47, 2200, 2200, mmLoMetric},    // pEnvInvite
    {50, 9500, 12000, mmHiEnglish},  // pLetterExtra
    {51, 9500, 15000, mmHiEnglish},  // pLegalExtra
    {52, 11690, 18000, mmHiEnglish}, // pTabloidExtra
    {53, 9270, 12690, mmHiEnglish},  // pA4Extra
    {54, 8500, 11000, mmHiEnglish},  // pLetterTransverse
    {55, 2100, 2970, mmLoMetric},    // pA4Transverse
    {56, 9500, 12000, mmHiEnglish},  // pLetterExtraTransverse
    {57, 2270, 3560, mmLoMetric},    // pAPlus
    {58, 3050, 4870, mmLoMetric},    // pBPlus
    {59, 8500, 12690, mmHiEnglish},  // pLetterPlus
    {60, 2100, 3300, mmLoMetric},    // pA4Plus
    {61, 1480, 2100, mmLoMetric},    // pA5Transverse
    {62, 1820, 2570, mmLoMetric},    // pB5Transverse
    {63, 3220, 4450, mmLoMetric},    // pA3Extra
    {64, 1740, 2350, mmLoMetric},    // pA5Extra
    {65, 2010, 2760, mmLoMetric},    // pB5Extra
    {66, 4200, 5940, mmLoMetric},    // pA2
    {67, 2970, 4200, mmLoMetric},    // pA3Transverse
    {68, 3220, 4450, mmLoMetric},    // pA3ExtraTransverse
    {256, 0, 0, mmPixel},            // pCustom
}};

namespace {

int32_t Saturate(int64_t aValue)
{
    constexpr int64_t lo = std::numeric_limits<int32_t>::min();
    constexpr int64_t hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(aValue < lo ? lo : aValue > hi ? hi : aValue);
}

int64_t UnitsPerInch(TUnits aUnits, int32_t aPixelsPerInch)
{
    switch (aUnits) {
    case mmPixel:
        return aPixelsPerInch;
    case mmLoMetric:
        return 254;
    case mmHiMetric:
        return 2540;
    case mmLoEnglish:
        return 100;
    case mmHiEnglish:
        return 1000;
    case mmTWIPS:
        return 1440;
    case mmPoints:
        return 72;
    }
    return 1;
}

} // namespace

int64_t RoundHalfEven(long double aValue)
{
    if (!std::isfinite(aValue))
        return 0;
    const long double clamped = std::clamp<long double>(aValue, -9.0e18L, 9.0e18L);
    return static_cast<int64_t>(std::nearbyintl(clamped)); // the default rounding mode is to nearest even
}

int32_t MulDiv(int32_t aValue, int32_t aNumerator, int32_t aDenominator)
{
    if (aDenominator == 0)
        return -1;
    const int64_t product = int64_t{aValue} * aNumerator;
    int64_t quotient = product / aDenominator;
    const int64_t remainder = product % aDenominator;
    // Round half away from zero.
    if (2 * (remainder < 0 ? -remainder : remainder) >= (aDenominator < 0 ? -int64_t{aDenominator} : aDenominator))
        quotient += ((product < 0) != (aDenominator < 0)) ? -1 : 1;
    if (quotient < std::numeric_limits<int32_t>::min() || quotient > std::numeric_limits<int32_t>::max())
        return -1;
    return static_cast<int32_t>(quotient);
}

int32_t ConvertUnits(int32_t aValue, int32_t aPixelsPerInch, TUnits aInUnits, TUnits aOutUnits)
{
    if (aInUnits == aOutUnits)
        return aValue;
    const int64_t v = aValue;
    if ((aInUnits == mmLoMetric && aOutUnits == mmHiMetric) || (aInUnits == mmLoEnglish && aOutUnits == mmHiEnglish))
        return Saturate(v * 10);
    if (aInUnits == mmPoints && aOutUnits == mmTWIPS)
        return Saturate(v * 20);
    if ((aInUnits == mmHiMetric && aOutUnits == mmLoMetric) || (aInUnits == mmHiEnglish && aOutUnits == mmLoEnglish))
        return static_cast<int32_t>(v / 10);
    if (aInUnits == mmTWIPS && aOutUnits == mmPoints)
        return static_cast<int32_t>(v / 20);
    const int64_t inPerInch = UnitsPerInch(aInUnits, aPixelsPerInch);
    if (inPerInch == 0)
        return 0; // a resolution of 0 pixels per inch converts nothing
    const long double product = static_cast<long double>(v * UnitsPerInch(aOutUnits, aPixelsPerInch));
    return Saturate(RoundHalfEven(product / static_cast<long double>(inPerInch)));
}

} // namespace diroze
