#include "PreviewView.h"

#include "AssignChanged.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <cmath>

namespace diroze {

namespace {

constexpr int kLineStep = 8; // pixels a scroll line moves
constexpr int kFocusSignWidth = 2;
constexpr int kWheelNotch = 120;
constexpr int kLinesPerNotch = 5;

// A frame in the highlight colour at the edge of the view, above the sheet,
// that the mouse passes through.
class TFocusSign : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QPen pen(palette().color(QPalette::Highlight), kFocusSignWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.drawRect(QRectF(rect()).adjusted(kFocusSignWidth / 2.0, kFocusSignWidth / 2.0, -kFocusSignWidth / 2.0,
                                                 -kFocusSignWidth / 2.0));
    }
};

} // namespace

TPrintPreviewView::TPrintPreviewView(QWidget* aParent) : QAbstractScrollArea(aParent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    horizontalScrollBar()->setSingleStep(kLineStep);
    verticalScrollBar()->setSingleStep(kLineStep);
    // The area around the sheet has its parent's colour (a scroll area's
    // viewport would be the white of an editing field).
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);

    FPaperView = new TPaperPreview(viewport());
    FPaperView->hide();
    // Beside the viewport, not in it: scrolling the viewport moves its children.
    FFocusSign = new TFocusSign(this);
    FFocusSign->setAttribute(Qt::WA_TransparentForMouseEvents);
    FFocusSign->hide();
    FPaperView->SetControlColor(viewport()->palette().color(viewport()->backgroundRole()));
    FPaperView->OnPaint = [this](QPainter& aPainter, const QRect& aRect) {
        if (FCurrentPage >= 1 && FCurrentPage <= TotalPages())
            DrawPage(FCurrentPage, aPainter, aRect);
    };
    FPaperView->OnMouseDown = [this](QMouseEvent& e) { PaperMouseDown(e); };
    FPaperView->OnMouseMove = [this](QMouseEvent& e) { PaperMouseMove(e); };
    FPaperView->OnMouseUp = [this](QMouseEvent& e) { PaperMouseUp(e); };
    FPaperViewOptions.OnChange = [this](TUpdateSeverity aSeverity) { OptionsChanged(aSeverity); };
    FPaperViewOptions.AssignTo(*FPaperView);

    FPageList.OnMultipleChange = [this](TMetafileList&, int aStart, int aEnd) { PagesChanged(aStart, aEnd); };
    FPageList.OnSingleChange = [this](TMetafileList&, int aIndex) { PageChanged(aIndex); };
}

TPrintPreviewView::~TPrintPreviewView()
{
    FPageList.OnMultipleChange = nullptr;
    FPageList.OnSingleChange = nullptr;
}

void TPrintPreviewView::OptionsChanged(TUpdateSeverity aSeverity)
{
    FPaperViewOptions.AssignTo(*FPaperView);
    if (aSeverity == usRecreate)
        LayoutPaperView(-1, -1);
}

void TPrintPreviewView::SetAntialiasing(bool aValue)
{
    if (hostutils::AssignChanged(FAntialiasing, aValue))
        FPaperView->InvalidatePage();
}

void TPrintPreviewView::DrawPage(int aPageNo, QPainter& aPainter, const QRect& aRect)
{
    if (aPageNo < 1 || aPageNo > TotalPages())
        return;
    const TMetafile* page = FPageList.GetEntry(aPageNo - 1).Metafile();
    if (page)
        page->Play(aPainter, QRectF(aRect), FAntialiasing);
}

void TPrintPreviewView::PagesChanged(int aStartIndex, int aEndIndex)
{
    if (aEndIndex < 0) {
        FCurrentPage = 0;
        FPaperView->hide();
        viewport()->update();
    } else {
        if (FCurrentPage == 0) {
            FCurrentPage = 1;
            LayoutPaperView(-1, -1);
            FPaperView->show();
        }
        if (FCurrentPage >= aStartIndex + 1 && FCurrentPage <= aEndIndex + 1) {
            FPaperView->InvalidatePage();
            FPaperView->repaint(FPaperView->PageRect());
        }
    }
    if (OnChange)
        OnChange();
}

void TPrintPreviewView::PageChanged(int aIndex)
{
    if (aIndex + 1 == FCurrentPage) {
        FPaperView->InvalidatePage();
        FPaperView->repaint(FPaperView->PageRect());
    }
    if (OnChange)
        OnChange();
}

void TPrintPreviewView::SetCurrentPage(int aValue)
{
    if (TotalPages() == 0)
        return;
    aValue = std::clamp(aValue, 1, TotalPages());
    if (!hostutils::AssignChanged(FCurrentPage, aValue))
        return;
    FPaperView->InvalidatePage();
    FPaperView->repaint(FPaperView->PageRect());
    if (OnChange)
        OnChange();
}

void TPrintPreviewView::FireZoomChange()
{
    if (OnZoomChange)
        OnZoomChange();
}

void TPrintPreviewView::SetZoom(int aValue)
{
    aValue = std::clamp(aValue, FZoomMin, FZoomMax);
    if (aValue == FZoom && FZoomState == zsZoomOther)
        return;
    const int before = FZoom;
    FZoom = aValue;
    FZoomState = zsZoomOther;
    LayoutPaperView(-1, -1);
    if (FZoom == before)
        FireZoomChange();
}

void TPrintPreviewView::SetZoomState(TZoomState aValue)
{
    if (!hostutils::AssignChanged(FZoomState, aValue))
        return;
    const int before = FZoom;
    LayoutPaperView(-1, -1);
    if (FZoom == before)
        FireZoomChange();
}

void TPrintPreviewView::SetZoomMin(int aValue)
{
    if (aValue == FZoomMin || aValue <= 0 || aValue > FZoomMax)
        return;
    FZoomMin = aValue;
    if (FZoomState == zsZoomOther && FZoom < FZoomMin)
        SetZoom(FZoomMin);
}

void TPrintPreviewView::SetZoomMax(int aValue)
{
    if (aValue == FZoomMax || aValue < FZoomMin)
        return;
    FZoomMax = aValue;
    if (FZoomState == zsZoomOther && FZoom > FZoomMax)
        SetZoom(FZoomMax);
}

QSize TPrintPreviewView::CalcPaperBoxSize(int AW, int AH)
{
    const TPoint L = PageLogicalPixels();
    const TPaperPreview& sheet = *FPaperView;
    int BW = 0, BH = 0;
    auto byWidth = [&] {
        BW = AW;
        BH = sheet.BoxHeight(MulDiv(sheet.PaperWidthOf(AW), L.Y, L.X));
    };
    auto byHeight = [&] {
        BH = AH;
        BW = sheet.BoxWidth(MulDiv(sheet.PaperHeightOf(AH), L.X, L.Y));
    };
    switch (FZoomState) {
    case zsZoomOther:
        BW = sheet.BoxWidth(MulDiv(L.X, FZoom, 100));
        BH = sheet.BoxHeight(MulDiv(L.Y, FZoom, 100));
        break;
    case zsZoomToWidth:
        byWidth();
        break;
    case zsZoomToHeight:
        byHeight();
        break;
    case zsZoomToFit:
        if (double(AH) / double(AW) > double(L.Y) / double(L.X))
            byWidth();
        else
            byHeight();
        break;
    }
    if (FZoomState != zsZoomOther && L.Y > 0)
        FZoom = static_cast<int>(RoundHalfEven(static_cast<long double>(sheet.PaperHeightOf(BH)) * 100 / L.Y));
    return QSize(BW, BH);
}

void TPrintPreviewView::LayoutPaperView(int aX, int aY)
{
    if (FInLayout || TotalPages() == 0)
        return;
    QScrollBar& hbar = *horizontalScrollBar();
    QScrollBar& vbar = *verticalScrollBar();
    const int barExtent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    int AW = viewport()->width();
    int AH = viewport()->height();
    if (AW <= 0 || AH <= 0)
        return;
    const TPoint L = PageLogicalPixels();
    if (L.X <= 0 || L.Y <= 0)
        return;

    int PX = 0, PY = 0;
    if (FZoomSavePos && FCurrentPage > 0) {
        PX = std::max(0, MulDiv(hbar.value(), 100, hbar.maximum()));
        PY = std::max(0, MulDiv(vbar.value(), 100, vbar.maximum()));
    }
    if (FCanScrollHorz)
        AH += barExtent;
    if (FCanScrollVert)
        AW += barExtent;

    FInLayout = true;
    setUpdatesEnabled(false);
    hbar.setValue(0);
    vbar.setValue(0);

    QSize box = CalcPaperBoxSize(AW, AH);
    FCanScrollHorz = box.width() > AW;
    FCanScrollVert = box.height() > AH;
    if (FCanScrollHorz) {
        AH -= barExtent;
        FCanScrollVert = box.height() > AH;
        if (FCanScrollVert)
            AW -= barExtent;
        box = CalcPaperBoxSize(AW, AH);
    } else if (FCanScrollVert) {
        AW -= barExtent;
        FCanScrollHorz = box.width() > AW;
        if (FCanScrollHorz)
            AH -= barExtent;
        box = CalcPaperBoxSize(AW, AH);
    }
    const int BW = box.width(), BH = box.height();

    FSheetOrigin = QPoint(FCanScrollHorz ? 0 : (AW - BW) / 2, FCanScrollVert ? 0 : (AH - BH) / 2);
    FPaperView->setMaximumSize(kMaxSheetSize, kMaxSheetSize);
    FPaperView->resize(std::max(BW, 0), std::max(BH, 0));
    const QSize actual = FPaperView->size();

    setHorizontalScrollBarPolicy(FCanScrollHorz ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(FCanScrollVert ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    hbar.setRange(0, FCanScrollHorz ? std::max(0, actual.width() - AW) : 0);
    vbar.setRange(0, FCanScrollVert ? std::max(0, actual.height() - AH) : 0);
    hbar.setPageStep(std::max(AW, 1));
    vbar.setPageStep(std::max(AH, 1));

    if (FCurrentPage > 0) {
        if (FCanScrollHorz) {
            if (aX >= 0)
                hbar.setValue(MulDiv(aX, actual.width(), L.X));
            else if (FZoomSavePos)
                hbar.setValue(MulDiv(PX, hbar.maximum(), 100));
        }
        if (FCanScrollVert) {
            if (aY >= 0)
                vbar.setValue(MulDiv(aY, actual.height(), L.Y));
            else if (FZoomSavePos)
                vbar.setValue(MulDiv(PY, vbar.maximum(), 100));
        }
    }
    FInLayout = false;
    PlaceSheet();
    setUpdatesEnabled(true);
    viewport()->update();

    FIsDragging = false;
    FPaperView->SetCursorNumber(FCanScrollHorz || FCanScrollVert ? FPaperViewOptions.DragCursor()
                                                                 : FPaperViewOptions.Cursor());

    if (actual == QSize(BW, BH)) {
        if (FZoom != FLastZoom) {
            FLastZoom = FZoom;
            FireZoomChange();
        }
        return;
    }
    // The windowing system refused the size: the largest zoom on the step grid that fits.
    const int step = std::max(FZoomStep, 1);
    const int zoom =
        std::min(MulDiv(100, actual.width(), L.X) / step * step, MulDiv(100, actual.height(), L.Y) / step * step);
    if (FZoomState == zsZoomOther && zoom > 0 && zoom < FZoom) {
        FZoom = zoom;
        LayoutPaperView(aX, aY);
    }
}

void TPrintPreviewView::PlaceSheet()
{
    FPaperView->move(FSheetOrigin - QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()));
}

void TPrintPreviewView::scrollContentsBy(int aDx, int aDy)
{
    // Scrolling moves the sheet and copies what is on screen; only the
    // uncovered strip is painted.
    if (!FInLayout)
        viewport()->scroll(aDx, aDy);
}

void TPrintPreviewView::resizeEvent(QResizeEvent* aEvent)
{
    QAbstractScrollArea::resizeEvent(aEvent);
    LayoutPaperView(-1, -1);
    FFocusSign->setGeometry(viewport()->geometry());
}

void TPrintPreviewView::focusInEvent(QFocusEvent* aEvent)
{
    QAbstractScrollArea::focusInEvent(aEvent);
    FFocusSign->setGeometry(viewport()->geometry());
    FFocusSign->raise();
    FFocusSign->show();
}

void TPrintPreviewView::focusOutEvent(QFocusEvent* aEvent)
{
    QAbstractScrollArea::focusOutEvent(aEvent);
    FFocusSign->hide();
}

void TPrintPreviewView::keyPressEvent(QKeyEvent* aEvent)
{
    const Qt::KeyboardModifiers mods =
        aEvent->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool none = mods == Qt::NoModifier, ctrl = mods == Qt::ControlModifier, shift = mods == Qt::ShiftModifier;
    const bool keypad = aEvent->modifiers() & Qt::KeypadModifier;
    QScrollBar& h = *horizontalScrollBar();
    QScrollBar& v = *verticalScrollBar();
    switch (aEvent->key()) {
    case Qt::Key_Home:
    case Qt::Key_End: {
        const auto action =
            aEvent->key() == Qt::Key_Home ? QAbstractSlider::SliderToMinimum : QAbstractSlider::SliderToMaximum;
        if (none)
            return h.triggerAction(action);
        if (ctrl)
            return v.triggerAction(action);
        break;
    }
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const bool horizontal = aEvent->key() == Qt::Key_Left || aEvent->key() == Qt::Key_Right;
        const bool back = aEvent->key() == Qt::Key_Left || aEvent->key() == Qt::Key_Up;
        QScrollBar& bar = horizontal ? h : v;
        if (none)
            return bar.triggerAction(back ? QAbstractSlider::SliderSingleStepSub
                                          : QAbstractSlider::SliderSingleStepAdd);
        if (ctrl)
            return bar.triggerAction(back ? QAbstractSlider::SliderPageStepSub : QAbstractSlider::SliderPageStepAdd);
        if (shift)
            return bar.setValue(bar.value() + (back ? -1 : 1));
        break;
    }
    case Qt::Key_PageDown:
        if (none)
            return SetCurrentPage(FCurrentPage + 1);
        if (ctrl)
            return SetCurrentPage(TotalPages());
        break;
    case Qt::Key_PageUp:
        if (none)
            return SetCurrentPage(FCurrentPage - 1);
        if (ctrl)
            return SetCurrentPage(1);
        break;
    case Qt::Key_Plus:
        if (none && keypad)
            return SetZoom(FZoom + FZoomStep);
        break;
    case Qt::Key_Minus:
        if (none && keypad)
            return SetZoom(FZoom - FZoomStep);
        break;
    default:
        break;
    }
    // Not a navigation key: the plain widget's handling, which scrolls nothing.
    QWidget::keyPressEvent(aEvent);
}

void TPrintPreviewView::wheelEvent(QWheelEvent* aEvent)
{
    if (!rect().contains(aEvent->position().toPoint())) {
        aEvent->ignore();
        return;
    }
    aEvent->accept();
    const int delta = aEvent->angleDelta().y() != 0 ? aEvent->angleDelta().y() : aEvent->angleDelta().x();
    WheelAccumulator += delta;
    const Qt::KeyboardModifiers mods =
        aEvent->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool middle = aEvent->buttons() & Qt::MiddleButton;
    const bool otherButtons = aEvent->buttons() & ~Qt::MouseButtons(Qt::MiddleButton);
    while (std::abs(WheelAccumulator) >= kWheelNotch) {
        const bool towardsUser = WheelAccumulator < 0;
        WheelAccumulator += towardsUser ? kWheelNotch : -kWheelNotch;
        if (mods == Qt::NoModifier && !middle && !otherButtons) {
            for (int i = 0; i < kLinesPerNotch; ++i)
                verticalScrollBar()->triggerAction(towardsUser ? QAbstractSlider::SliderSingleStepAdd
                                                               : QAbstractSlider::SliderSingleStepSub);
        } else if (!otherButtons && ((mods == Qt::ShiftModifier && !middle) || (mods == Qt::NoModifier && middle))) {
            SetCurrentPage(FCurrentPage + (towardsUser ? 1 : -1));
        } else if (mods == Qt::ControlModifier && !middle && !otherButtons) {
            SetZoom(FZoom + (towardsUser ? -FZoomStep : FZoomStep));
        } else {
            aEvent->ignore();
        }
    }
}

void TPrintPreviewView::PaperMouseDown(QMouseEvent& aEvent)
{
    if (!hasFocus() && isEnabled())
        setFocus(Qt::MouseFocusReason);
    if (FCanScrollHorz || FCanScrollVert) {
        FIsDragging = true;
        FPaperView->SetCursorNumber(FPaperViewOptions.GrabCursor());
    }
    FOldMousePos = aEvent.position().toPoint();
}

void TPrintPreviewView::PaperMouseMove(QMouseEvent& aEvent)
{
    if (!(aEvent.buttons() & Qt::LeftButton))
        return;
    const QPoint at = aEvent.position().toPoint();
    if (FCanScrollHorz)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - (at.x() - FOldMousePos.x()));
    if (FCanScrollVert)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - (at.y() - FOldMousePos.y()));
}

void TPrintPreviewView::PaperMouseUp(QMouseEvent&)
{
    if (!FIsDragging)
        return;
    FIsDragging = false;
    FPaperView->SetCursorNumber(FPaperViewOptions.DragCursor());
}

} // namespace diroze
