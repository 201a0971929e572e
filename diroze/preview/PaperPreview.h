#pragma once
// The sheet of paper the preview shows: paper, border and drop shadow, with
// the page drawn into the paper area by its owner. Paints through an
// off-screen buffer holding the visible part, so that a repaint inside that
// part copies the buffer and the page is drawn again only when its visible
// part grows or it was invalidated.

#include "AssignChanged.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>

class QPainter;

namespace diroze {

enum TUpdateSeverity : uint8_t { usNone, usRedraw, usRecreate };

// Cursor numbers of the sheet: 0 the arrow, 10 the open hand, 11 the grabbing hand.
constexpr int crDefault = 0;
constexpr int crHand = 10;
constexpr int crGrab = 11;
Qt::CursorShape CursorShapeOf(int aCursor);

class TPaperPreview;

// The look of the sheet. Every setter stores a different value and reports
// the change with its severity.
class TPaperPreviewOptions {
public:
    TPaperPreviewOptions();

    QColor PaperColor() const { return FPaperColor; }
    void SetPaperColor(const QColor& aValue) { Set(FPaperColor, aValue, usRedraw); }
    QColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(const QColor& aValue) { Set(FBorderColor, aValue, usRedraw); }
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int aValue) { Set(FBorderWidth, std::max(aValue, 0), usRecreate); }
    QColor ShadowColor() const { return FShadowColor; }
    void SetShadowColor(const QColor& aValue) { Set(FShadowColor, aValue, usRedraw); }
    int ShadowWidth() const { return FShadowWidth; }
    void SetShadowWidth(int aValue) { Set(FShadowWidth, std::max(aValue, 0), usRecreate); }
    int Cursor() const { return FCursor; }
    void SetCursor(int aValue) { Set(FCursor, aValue, usNone); }
    int DragCursor() const { return FDragCursor; }
    void SetDragCursor(int aValue) { Set(FDragCursor, aValue, usNone); }
    int GrabCursor() const { return FGrabCursor; }
    void SetGrabCursor(int aValue) { Set(FGrabCursor, aValue, usNone); }
    const QString& Hint() const { return FHint; }
    void SetHint(const QString& aValue) { Set(FHint, aValue, usNone); }

    void Assign(const TPaperPreviewOptions& aSource);
    // Colours, widths, cursor and hint onto the sheet; the drag and grab
    // cursors stay with the view.
    void AssignTo(TPaperPreview& aSheet) const;

    std::function<void(TUpdateSeverity)> OnChange;

private:
    template <typename T>
    void Set(T& aField, const T& aValue, TUpdateSeverity aSeverity)
    {
        if (hostutils::AssignChanged(aField, aValue) && OnChange)
            OnChange(aSeverity);
    }

    QColor FPaperColor = Qt::white;
    QColor FBorderColor = Qt::black;
    int FBorderWidth = 1;
    QColor FShadowColor;
    int FShadowWidth = 3;
    int FCursor = crDefault;
    int FDragCursor = crHand;
    int FGrabCursor = crGrab;
    QString FHint;
};

class TPaperPreview : public QWidget {
public:
    // Draws the page into aPageRect (widget coordinates) with aPainter.
    using TPaperPaintEvent = std::function<void(QPainter& aPainter, const QRect& aPageRect)>;
    using TMouseEvent = std::function<void(QMouseEvent& aEvent)>;

    explicit TPaperPreview(QWidget* aParent = nullptr);

    QRect PageRect() const { return FPageRect; }
    int BoxWidth(int aPaperWidth) const { return aPaperWidth + 2 * FBorderWidth + FShadowWidth; }
    int BoxHeight(int aPaperHeight) const { return aPaperHeight + 2 * FBorderWidth + FShadowWidth; }
    int PaperWidthOf(int aBoxWidth) const { return aBoxWidth - 2 * FBorderWidth - FShadowWidth; }
    int PaperHeightOf(int aBoxHeight) const { return aBoxHeight - 2 * FBorderWidth - FShadowWidth; }
    QPoint ClientToPaper(QPoint aPoint) const { return aPoint - QPoint(FBorderWidth, FBorderWidth); }
    QPoint PaperToClient(QPoint aPoint) const { return aPoint + QPoint(FBorderWidth, FBorderWidth); }

    // The page part must be drawn again.
    void InvalidatePage();
    // Frame and page must be drawn again.
    void InvalidateAll();

    void SetPaperColor(const QColor& aValue);
    void SetBorderColor(const QColor& aValue);
    void SetShadowColor(const QColor& aValue);
    void SetBorderWidth(int aValue);
    void SetShadowWidth(int aValue);
    int BorderWidth() const { return FBorderWidth; }
    int ShadowWidth() const { return FShadowWidth; }
    QColor PaperColor() const { return FPaperColor; }
    // The colour of the control around the shadow's corners.
    void SetControlColor(const QColor& aValue);
    bool PreservePaperSize() const { return FPreservePaperSize; }
    void SetPreservePaperSize(bool aValue) { FPreservePaperSize = aValue; }
    void SetCursorNumber(int aCursor) { setCursor(CursorShapeOf(aCursor)); }

    // How often the page has been drawn into the buffer (for diagnostics).
    int PageDrawCount() const { return FPageDrawCount; }

    TPaperPaintEvent OnPaint;
    TMouseEvent OnMouseDown, OnMouseMove, OnMouseUp;
    std::function<void()> OnClick, OnDblClick;

protected:
    virtual void DrawFrame(QPainter& aPainter);
    void paintEvent(QPaintEvent* aEvent) override;
    void resizeEvent(QResizeEvent* aEvent) override;
    void mousePressEvent(QMouseEvent* aEvent) override;
    void mouseMoveEvent(QMouseEvent* aEvent) override;
    void mouseReleaseEvent(QMouseEvent* aEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* aEvent) override;

private:
    void ChangeFrameWidths(int aBorderWidth, int aShadowWidth);
    void ChangeColor(QColor& aField, const QColor& aValue);

    bool FPreservePaperSize = true;
    QColor FPaperColor = Qt::white;
    QColor FBorderColor = Qt::black;
    QColor FShadowColor;
    QColor FControlColor;
    int FBorderWidth = 1;
    int FShadowWidth = 3;
    QRect FPageRect;
    QImage OffScreen;
    bool IsOffScreenPrepared = false;
    bool IsOffScreenReady = false;
    QRect LastVisibleRect;
    QRect LastVisiblePageRect;
    int FPageDrawCount = 0;
    bool FPressed = false;
};

} // namespace diroze
