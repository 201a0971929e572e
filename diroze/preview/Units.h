#pragma once
// Measurement units, paper types and the table of standard paper sizes.

#include <array>
#include <cstdint>

namespace diroze {

enum TUnits : uint8_t { mmPixel, mmLoMetric, mmHiMetric, mmLoEnglish, mmHiEnglish, mmTWIPS, mmPoints };

enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };

enum TPaperType : uint8_t {
    pLetter,
    pLetterSmall,
    pTabloid,
    pLedger,
    pLegal,
    pStatement,
    pExecutive,
    pA3,
    pA4,
    pA4Small,
    pA5,
    pB4,
    pB5,
    pFolio,
    pQuatro,
    p10x14,
    p11x17,
    pNote,
    pEnv9,
    pEnv10,
    pEnv11,
    pEnv12,
    pEnv14,
    pCSheet,
    pDSheet,
    pESheet,
    pEnvDL,
    pEnvC5,
    pEnvC3,
    pEnvC4,
    pEnvC6,
    pEnvC65,
    pEnvB4,
    pEnvB5,
    pEnvB6,
    pEnvItaly,
    pEnvMonarch,
    pEnvPersonal,
    pFanfoldUSStd,
    pFanfoldGermanStd,
    pFanfoldGermanLegal,
    pB4ISO,
    pJapanesePostcard,
    p9x11,
    p10x11,
    p15x11,
    pEnvInvite,
    pLetterExtra,
    pLegalExtra,
    pTabloidExtra,
    pA4Extra,
    pLetterTransverse,
    pA4Transverse,
    pLetterExtraTransverse,
    pAPlus,
    pBPlus,
    pLetterPlus,
    pA4Plus,
    pA5Transverse,
    pB5Transverse,
    pA3Extra,
    pA5Extra,
    pB5Extra,
    pA2,
    pA3Transverse,
    pA3ExtraTransverse,
    pCustom,
};
constexpr int kPaperTypeCount = pCustom + 1;

struct TPaperSizeInfo {
    int32_t PaperCode; // the Windows paper code (DMPAPER_*) of the size
    int32_t Width;     // portrait width in Units
    int32_t Height;    // portrait height in Units
    TUnits Units;
};

extern const std::array<TPaperSizeInfo, kPaperTypeCount> PaperSizeTable;

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    bool operator==(const TPoint&) const = default;
};

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    bool operator==(const TRect&) const = default;
};

// Rounds to the nearest integer, halves to the even neighbour.
int64_t RoundHalfEven(long double aValue);

// aValue * aNumerator / aDenominator rounded half away from zero, computed in
// 64 bits; -1 when aDenominator is 0 or the result leaves the 32-bit range.
int32_t MulDiv(int32_t aValue, int32_t aNumerator, int32_t aDenominator);

// Converts a length between units; aPixelsPerInch is the resolution that
// mmPixel means. Exact pairs (Lo/Hi metric and English by 10, points and twips
// by 20) multiply or divide (truncating); every other pair multiplies by the
// output's units per inch and divides by the input's in extended precision,
// rounding half to even. A result outside the 32-bit range saturates.
int32_t ConvertUnits(int32_t aValue, int32_t aPixelsPerInch, TUnits aInUnits, TUnits aOutUnits);

} // namespace diroze
