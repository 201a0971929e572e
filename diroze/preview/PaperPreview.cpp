#include "PaperPreview.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

namespace diroze {

namespace {

QColor ButtonShadowColor() { return QGuiApplication::palette().color(QPalette::Dark); }

} // namespace

Qt::CursorShape CursorShapeOf(int aCursor)
{
    switch (aCursor) {
    case crHand:
        return Qt::OpenHandCursor;
    case crGrab:
        return Qt::ClosedHandCursor;
    default:
        return Qt::ArrowCursor;
    }
}

TPaperPreviewOptions::TPaperPreviewOptions() : FShadowColor(ButtonShadowColor()) {}

void TPaperPreviewOptions::Assign(const TPaperPreviewOptions& aSource)
{
    SetPaperColor(aSource.FPaperColor);
    SetBorderColor(aSource.FBorderColor);
    SetBorderWidth(aSource.FBorderWidth);
    SetShadowColor(aSource.FShadowColor);
    SetShadowWidth(aSource.FShadowWidth);
    SetCursor(aSource.FCursor);
    SetDragCursor(aSource.FDragCursor);
    SetGrabCursor(aSource.FGrabCursor);
    SetHint(aSource.FHint);
}

void TPaperPreviewOptions::AssignTo(TPaperPreview& aSheet) const
{
    aSheet.SetPaperColor(FPaperColor);
    aSheet.SetBorderColor(FBorderColor);
    aSheet.SetBorderWidth(FBorderWidth);
    aSheet.SetShadowColor(FShadowColor);
    aSheet.SetShadowWidth(FShadowWidth);
    aSheet.SetCursorNumber(FCursor);
    aSheet.setToolTip(FHint);
}

TPaperPreview::TPaperPreview(QWidget* aParent) : QWidget(aParent), FShadowColor(ButtonShadowColor())
{
    // Opaque: the system never erases it, the buffer covers every pixel painted.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    FControlColor = palette().color(QPalette::Window);
}

void TPaperPreview::InvalidatePage()
{
    IsOffScreenReady = false;
    update(FPageRect);
}

void TPaperPreview::InvalidateAll()
{
    IsOffScreenPrepared = false;
    update();
}

void TPaperPreview::ChangeColor(QColor& aField, const QColor& aValue)
{
    if (hostutils::AssignChanged(aField, aValue))
        InvalidateAll();
}

void TPaperPreview::SetPaperColor(const QColor& aValue) { ChangeColor(FPaperColor, aValue); }

void TPaperPreview::SetBorderColor(const QColor& aValue) { ChangeColor(FBorderColor, aValue); }

void TPaperPreview::SetShadowColor(const QColor& aValue) { ChangeColor(FShadowColor, aValue); }

void TPaperPreview::SetControlColor(const QColor& aValue) { ChangeColor(FControlColor, aValue); }

void TPaperPreview::SetBorderWidth(int aValue) { ChangeFrameWidths(std::max(aValue, 0), FShadowWidth); }

void TPaperPreview::SetShadowWidth(int aValue) { ChangeFrameWidths(FBorderWidth, std::max(aValue, 0)); }

void TPaperPreview::ChangeFrameWidths(int aBorderWidth, int aShadowWidth)
{
    if (aBorderWidth == FBorderWidth && aShadowWidth == FShadowWidth)
        return;
    const QSize paper(PaperWidthOf(width()), PaperHeightOf(height()));
    FBorderWidth = aBorderWidth;
    FShadowWidth = aShadowWidth;
    if (FPreservePaperSize)
        resize(BoxWidth(paper.width()), BoxHeight(paper.height()));
    FPageRect = QRect(QPoint(FBorderWidth, FBorderWidth), QSize(PaperWidthOf(width()), PaperHeightOf(height())));
    InvalidateAll();
}

void TPaperPreview::resizeEvent(QResizeEvent* aEvent)
{
    QWidget::resizeEvent(aEvent);
    FPageRect = QRect(QPoint(FBorderWidth, FBorderWidth), QSize(PaperWidthOf(width()), PaperHeightOf(height())));
    InvalidateAll();
}

void TPaperPreview::DrawFrame(QPainter& aPainter)
{
    const int W = width(), H = height(), S = FShadowWidth, B = FBorderWidth;
    if (S > 0) {
        aPainter.fillRect(QRect(QPoint(W - S, 0), QPoint(W - 1, S - 1)), FControlColor);
        aPainter.fillRect(QRect(QPoint(0, H - S), QPoint(S - 1, H - 1)), FControlColor);
        aPainter.fillRect(QRect(QPoint(W - S, S), QPoint(W - 1, H - 1)), FShadowColor);
        aPainter.fillRect(QRect(QPoint(S, H - S), QPoint(W - 1, H - 1)), FShadowColor);
    }
    if (B > 0) {
        // An inside frame B wide around (0, 0) .. (W - S, H - S).
        const QRect outer(QPoint(0, 0), QPoint(W - S - 1, H - S - 1));
        aPainter.fillRect(QRect(outer.left(), outer.top(), outer.width(), B), FBorderColor);
        aPainter.fillRect(QRect(outer.left(), outer.bottom() - B + 1, outer.width(), B), FBorderColor);
        aPainter.fillRect(QRect(outer.left(), outer.top(), B, outer.height()), FBorderColor);
        aPainter.fillRect(QRect(outer.right() - B + 1, outer.top(), B, outer.height()), FBorderColor);
    }
}

void TPaperPreview::paintEvent(QPaintEvent* aEvent)
{
    const QRect V = rect() & aEvent->rect() & visibleRegion().boundingRect();
    if (V.isEmpty())
        return;
    if (!IsOffScreenPrepared || !LastVisibleRect.contains(V)) {
        OffScreen = QImage(V.size(), QImage::Format_RGB32);
        OffScreen.fill(FControlColor);
        QPainter frame(&OffScreen);
        frame.translate(-V.topLeft());
        DrawFrame(frame);
        LastVisibleRect = V;
        IsOffScreenPrepared = true;
        IsOffScreenReady = false;
    }
    const QRect P = V & FPageRect;
    if (!P.isEmpty() && (!IsOffScreenReady || !LastVisiblePageRect.contains(P))) {
        QPainter page(&OffScreen);
        page.translate(-LastVisibleRect.topLeft());
        page.setClipRect(P);
        page.fillRect(P, FPaperColor);
        page.save();
        ++FPageDrawCount;
        try {
            if (OnPaint)
                OnPaint(page, FPageRect);
        } catch (...) {
            // A page that cannot be read (its storage file failed) leaves the
            // paper empty; nothing may leave a paint handler.
        }
        page.restore();
        LastVisiblePageRect = P;
        IsOffScreenReady = true;
    }
    QPainter(this).drawImage(LastVisibleRect.topLeft(), OffScreen);
}

void TPaperPreview::mousePressEvent(QMouseEvent* aEvent)
{
    FPressed = aEvent->button() == Qt::LeftButton;
    if (OnMouseDown)
        OnMouseDown(*aEvent);
}

void TPaperPreview::mouseMoveEvent(QMouseEvent* aEvent)
{
    if (OnMouseMove)
        OnMouseMove(*aEvent);
}

void TPaperPreview::mouseReleaseEvent(QMouseEvent* aEvent)
{
    if (OnMouseUp)
        OnMouseUp(*aEvent);
    if (FPressed && aEvent->button() == Qt::LeftButton && rect().contains(aEvent->position().toPoint()) && OnClick)
        OnClick();
    FPressed = false;
}

void TPaperPreview::mouseDoubleClickEvent(QMouseEvent* aEvent)
{
    if (OnDblClick)
        OnDblClick();
    QWidget::mouseDoubleClickEvent(aEvent);
}

} // namespace diroze
