#pragma once
// The page engine as a widget: the recording half with a view that shows the
// current page on a sheet of paper, zoomed, scrolled and turned by keyboard,
// wheel and dragging. The sheet is a child of the viewport; the scroll bars
// follow it.

#include "PaperPreview.h"
#include "PrintPreview.h"

#include <QAbstractScrollArea>

namespace diroze {

class TPrintPreviewView : public QAbstractScrollArea, public TPrintPreview {
public:
    explicit TPrintPreviewView(QWidget* aParent = nullptr);
    ~TPrintPreviewView() override;

    int CurrentPage() const { return FCurrentPage; }
    void SetCurrentPage(int aValue);
    int Zoom() const { return FZoom; }
    void SetZoom(int aValue);
    void SetZoomState(TZoomState aValue) override;
    int ZoomMin() const { return FZoomMin; }
    void SetZoomMin(int aValue);
    int ZoomMax() const { return FZoomMax; }
    void SetZoomMax(int aValue);
    int ZoomStep() const { return FZoomStep; }
    void SetZoomStep(int aValue) { FZoomStep = std::max(aValue, 1); }
    bool ZoomSavePos() const { return FZoomSavePos; }
    void SetZoomSavePos(bool aValue) { FZoomSavePos = aValue; }
    bool CanScrollHorz() const { return FCanScrollHorz; }
    bool CanScrollVert() const { return FCanScrollVert; }
    bool IsDragging() const { return FIsDragging; }
    void UpdateZoom() { LayoutPaperView(-1, -1); }

    TPaperPreviewOptions& PaperView() { return FPaperViewOptions; }
    TPaperPreview& PaperViewControl() { return *FPaperView; }
    // Antialiased playback; false draws with the plain path.
    bool Antialiasing() const { return FAntialiasing; }
    void SetAntialiasing(bool aValue);

    // Draws page aPageNo (from 1) stretched into aRect; nothing for a page outside the store.
    virtual void DrawPage(int aPageNo, QPainter& aPainter, const QRect& aRect);

    // The largest sheet the windowing system takes, in pixels each way.
    static constexpr int kMaxSheetSize = 32767;

    std::function<void()> OnZoomChange, OnChange;

protected:
    void LayoutPaperView(int aX, int aY) override;
    virtual QSize CalcPaperBoxSize(int aAvailableWidth, int aAvailableHeight);
    void PagesChanged(int aStartIndex, int aEndIndex);
    void PageChanged(int aIndex);

    void resizeEvent(QResizeEvent* aEvent) override;
    void focusInEvent(QFocusEvent* aEvent) override;
    void focusOutEvent(QFocusEvent* aEvent) override;
    void keyPressEvent(QKeyEvent* aEvent) override;
    void wheelEvent(QWheelEvent* aEvent) override;
    void scrollContentsBy(int aDx, int aDy) override;

private:
    void PlaceSheet();
    void PaperMouseDown(QMouseEvent& aEvent);
    void PaperMouseMove(QMouseEvent& aEvent);
    void PaperMouseUp(QMouseEvent& aEvent);
    void OptionsChanged(TUpdateSeverity aSeverity);
    void FireZoomChange();

    TPaperPreview* FPaperView = nullptr; // owned by the viewport
    QWidget* FFocusSign = nullptr;       // a frame over the viewport while the view has the focus
    TPaperPreviewOptions FPaperViewOptions;
    int FCurrentPage = 0;
    int FZoom = 100;
    int FZoomMin = 10;
    int FZoomMax = 1000;
    int FZoomStep = 10;
    bool FZoomSavePos = true;
    int FLastZoom = 0;
    bool FCanScrollHorz = false;
    bool FCanScrollVert = false;
    bool FIsDragging = false;
    QPoint FOldMousePos;
    int WheelAccumulator = 0;
    bool FAntialiasing = true;
    QPoint FSheetOrigin; // the sheet's place with both scroll positions at 0
    bool FInLayout = false;
};

} // namespace diroze
