#pragma once
// EAN-13 and EAN-8 symbols: data checks and the bar pattern.
//
// Assigning Data runs the setter chain from the most derived class up:
// left padding with "0" to MaxDataLength (EAN), the numeric check
// (TNumeric1DBarCode), the length check and the store (TCustomBarCode).
// A failed check throws hostutils::Exception and leaves the previous data.
// No check digit is computed or verified.

#include "preview/Canvas.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace diroze {

enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

// Widths in modules of the symbol's elements, bar first, then alternating
// space and bar. Empty when there is nothing to draw.
using TEncodedData = std::vector<uint8_t>;

class TCustomBarCode {
public:
    TCustomBarCode() = default;
    virtual ~TCustomBarCode() = default;
    TCustomBarCode(const TCustomBarCode&) = delete;
    TCustomBarCode& operator=(const TCustomBarCode&) = delete;

    // Length check ("Data can have max %d characters") and store.
    virtual void SetData(const QString& aValue);
    // The number of digits of the symbol.
    virtual int MaxDataLength() const = 0;
    // Paints the symbol into aPaintRect of the canvas's logical units. Leaves
    // the canvas's brush changed.
    virtual void Draw(TCanvas& aCanvas, const TRect& aPaintRect) const = 0;

    TColor Foreground() const { return FForeground; }
    void SetForeground(TColor aValue) { FForeground = aValue; }
    // clNone: the background is not painted.
    TColor Background() const { return FBackground; }
    void SetBackground(TColor aValue) { FBackground = aValue; }
    // Reserve quiet zones of 10 modules on each side.
    bool AddQuietZones() const { return FAddQuietZones; }
    void SetAddQuietZones(bool aValue) { FAddQuietZones = aValue; }

protected:
    TColor FForeground = clBlack;
    TColor FBackground = clNone;
    QString FData;
    bool FAddQuietZones = true;
};

class T1DBarCode : public TCustomBarCode {
public:
    // Stored, never consulted: the symbol is always placed at the left.
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment aValue) { FAlignment = aValue; }

    // Nothing for an inverted rectangle; else the background when one is set,
    // then every bar the full height, modules of (width div N) units with N
    // the symbol's modules plus 20 for quiet zones, starting at the left
    // after the left quiet zone.
    void Draw(TCanvas& aCanvas, const TRect& aPaintRect) const override;

protected:
    virtual TEncodedData GetEncodedData() const = 0;

    TAlignment FAlignment = TAlignment::taLeftJustify;
};

class TNumeric1DBarCode : public T1DBarCode {
public:
    // Numeric check: decimal digits only, value at most 2^63 - 1 (leading zeros
    // allowed), else "Data must be numeric value".
    void SetData(const QString& aValue) override;
    const QString& Data() const { return FData; }
};

class TEAN13BarCode : public TNumeric1DBarCode {
public:
    // Pads on the left with "0" to MaxDataLength, then checks.
    void SetData(const QString& aValue) override;
    int MaxDataLength() const override { return 13; }

protected:
    // 59 elements, 95 modules; empty unless Data holds exactly 13 characters.
    TEncodedData GetEncodedData() const override;
};

class TEAN8BarCode : public TEAN13BarCode {
public:
    int MaxDataLength() const override { return 8; }

protected:
    // 43 elements, 67 modules; empty unless Data holds exactly 8 characters.
    TEncodedData GetEncodedData() const override;
};

} // namespace diroze
