#include "Render.h"
#include "preview/PreviewView.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace diroze;

namespace {

class View : public ::testing::Test {
protected:
    View()
    {
        FView.SetScreenPixelsPerInch(96);
        FView.resize(263, 364);
        FView.show();
        FView.OnChange = [this] { ++FChanges; };
        FView.OnZoomChange = [this] { ++FZoomChanges; };
    }

    void Record(int aPages)
    {
        FView.BeginDoc();
        for (int p = 1; p <= aPages; ++p) {
            if (p > 1)
                FView.NewPage();
            FView.Canvas()->Brush().Color = clBlack;
            FView.Canvas()->FillRect(TRect{1000 * p, 1000, 1000 * p + 500, 28000});
        }
        FView.EndDoc();
        FView.SetZoomState(zsZoomToFit);
        QApplication::processEvents();
    }
    TPaperPreview& Sheet() { return FView.PaperViewControl(); }
    void Key(int aKey, Qt::KeyboardModifiers aMods = Qt::NoModifier) { QTest::keyClick(&FView, Qt::Key(aKey), aMods); }
    void Wheel(int aDelta, Qt::KeyboardModifiers aMods = Qt::NoModifier, Qt::MouseButtons aButtons = Qt::NoButton)
    {
        const QPointF at(100, 100);
        QWheelEvent e(at, FView.mapToGlobal(at), QPoint(), QPoint(0, aDelta), aButtons, aMods, Qt::NoScrollPhase,
                      false);
        QApplication::sendEvent(FView.viewport(), &e); // wheel events reach the area through its viewport
    }

    TPrintPreviewView FView;
    int FChanges = 0;
    int FZoomChanges = 0;
};

TEST_F(View, EmptyStoreHidesTheSheet)
{
    EXPECT_EQ(FView.CurrentPage(), 0);
    EXPECT_FALSE(Sheet().isVisible());
    Record(1);
    EXPECT_EQ(FView.CurrentPage(), 1);
    EXPECT_TRUE(Sheet().isVisible());
    FView.Clear();
    EXPECT_EQ(FView.CurrentPage(), 0);
    EXPECT_FALSE(Sheet().isVisible());
}

TEST_F(View, FittedA4InTheExampleArea)
{
    Record(1);
    ASSERT_EQ(FView.viewport()->size(), QSize(263, 364));
    EXPECT_EQ(FView.PageLogicalPixels(), (TPoint{794, 1123}));
    EXPECT_EQ(FView.Zoom(), 32);
    EXPECT_EQ(Sheet().geometry(), QRect(2, 0, 259, 364));
    EXPECT_EQ(Sheet().PageRect(), QRect(1, 1, 254, 359));
    EXPECT_FALSE(FView.CanScrollHorz());
    EXPECT_FALSE(FView.CanScrollVert());
    EXPECT_EQ(Sheet().cursor().shape(), Qt::ArrowCursor);

    FView.resize(600, 364); // wider: the height still limits, the sheet is centred
    QApplication::processEvents();
    EXPECT_EQ(Sheet().geometry(), QRect((600 - 259) / 2, 0, 259, 364));
    FView.resize(263, 900); // taller: the width limits
    QApplication::processEvents();
    EXPECT_EQ(Sheet().width(), 263);
    EXPECT_EQ(Sheet().x(), 0);
    EXPECT_GT(Sheet().y(), 0);
}

TEST_F(View, KeypadZoomStepsAndLimits)
{
    Record(1);
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(FView.Zoom(), 42);
    EXPECT_EQ(FView.ZoomState(), zsZoomOther);
    EXPECT_EQ(Sheet().size(), QSize(Sheet().BoxWidth(MulDiv(794, 42, 100)), Sheet().BoxHeight(MulDiv(1123, 42, 100))));
    Key(Qt::Key_Plus); // the main keyboard's plus is not a zoom key
    EXPECT_EQ(FView.Zoom(), 42);

    FView.resize(400, 61); // fitted zoom 5
    FView.SetZoomState(zsZoomToFit);
    QApplication::processEvents();
    EXPECT_EQ(FView.Zoom(), 5);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(FView.Zoom(), 10) << "ZoomMin";

    FView.SetZoom(5000);
    EXPECT_EQ(FView.Zoom(), 1000) << "ZoomMax";
    FView.SetZoomMax(500);
    EXPECT_EQ(FView.Zoom(), 500);
    FView.SetZoomMin(0);
    EXPECT_EQ(FView.ZoomMin(), 10) << "0 is refused";
    FView.SetZoomMin(600);
    EXPECT_EQ(FView.ZoomMin(), 10) << "above ZoomMax is refused";
}

TEST_F(View, PageKeysStopAtTheEnds)
{
    Record(3);
    const int changes = FChanges;
    Key(Qt::Key_PageUp);
    EXPECT_EQ(FView.CurrentPage(), 1);
    EXPECT_EQ(FChanges, changes) << "nothing fired on page 1";
    Key(Qt::Key_PageDown);
    EXPECT_EQ(FView.CurrentPage(), 2);
    Key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(FView.CurrentPage(), 3);
    const int atEnd = FChanges;
    Key(Qt::Key_PageDown);
    EXPECT_EQ(FView.CurrentPage(), 3);
    EXPECT_EQ(FChanges, atEnd);
    Key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(FView.CurrentPage(), 1);
    Key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(FView.CurrentPage(), 1) << "Shift is not in the table";
}

TEST_F(View, ScrollKeysMoveByLinesPagesAndPixels)
{
    Record(1);
    FView.SetZoom(100);
    QScrollBar& h = *FView.horizontalScrollBar();
    QScrollBar& v = *FView.verticalScrollBar();
    ASSERT_TRUE(FView.CanScrollHorz());
    ASSERT_TRUE(FView.CanScrollVert());
    h.setValue(0);
    v.setValue(0);
    Key(Qt::Key_Right);
    EXPECT_EQ(h.value(), 8);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(h.value(), 9);
    Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(v.value(), v.pageStep());
    Key(Qt::Key_End);
    EXPECT_EQ(h.value(), h.maximum());
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(v.value(), v.maximum());
    Key(Qt::Key_Home);
    EXPECT_EQ(h.value(), 0);
    Key(Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(h.value(), 0);
    h.setValue(50);
    Key(Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(h.value(), 50) << "Shift+Ctrl+Left is not a navigation key";
    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(v.value(), 0);
}

TEST_F(View, WheelAccumulatesNotches)
{
    Record(3);
    FView.SetZoom(100);
    QScrollBar& v = *FView.verticalScrollBar();
    v.setValue(0);
    Wheel(-60);
    EXPECT_EQ(v.value(), 0) << "half a notch does nothing";
    Wheel(-60);
    EXPECT_EQ(v.value(), 40) << "a notch is five lines of 8 pixels";
    Wheel(-240);
    EXPECT_EQ(v.value(), 120);
    Wheel(120);
    EXPECT_EQ(v.value(), 80);

    Wheel(-120, Qt::ShiftModifier);
    EXPECT_EQ(FView.CurrentPage(), 2);
    Wheel(-120, Qt::NoModifier, Qt::MiddleButton);
    EXPECT_EQ(FView.CurrentPage(), 3);
    Wheel(120, Qt::ShiftModifier);
    EXPECT_EQ(FView.CurrentPage(), 2);
    Wheel(120, Qt::ControlModifier);
    EXPECT_EQ(FView.Zoom(), 110);
    Wheel(-120, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(FView.Zoom(), 110) << "any other combination does nothing";
    EXPECT_EQ(FView.CurrentPage(), 2);
}

TEST_F(View, DraggingOnlyWhenTheSheetScrolls)
{
    Record(1);
    QTest::mousePress(&Sheet(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    EXPECT_FALSE(FView.IsDragging());
    EXPECT_NE(Sheet().cursor().shape(), Qt::ClosedHandCursor);
    QTest::mouseMove(&Sheet(), QPoint(50, 50));
    QTest::mouseRelease(&Sheet(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_EQ(Sheet().geometry(), QRect(2, 0, 259, 364)) << "a sheet that fits does not move";
    EXPECT_TRUE(FView.hasFocus()) << "a click gives the view the focus";

    FView.SetZoom(200);
    EXPECT_EQ(Sheet().cursor().shape(), Qt::OpenHandCursor);
    QScrollBar& h = *FView.horizontalScrollBar();
    QScrollBar& v = *FView.verticalScrollBar();
    h.setValue(100);
    v.setValue(100);
    const QPoint grab(300, 300);
    QTest::mousePress(&Sheet(), Qt::LeftButton, Qt::NoModifier, grab);
    EXPECT_TRUE(FView.IsDragging());
    EXPECT_EQ(Sheet().cursor().shape(), Qt::ClosedHandCursor);
    QMouseEvent move(QEvent::MouseMove, QPointF(grab - QPoint(30, 20)),
                     Sheet().mapToGlobal(QPointF(grab - QPoint(30, 20))), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Sheet(), &move);
    EXPECT_EQ(h.value(), 130) << "the sheet follows the pointer";
    EXPECT_EQ(v.value(), 120);
    QTest::mouseRelease(&Sheet(), Qt::LeftButton, Qt::NoModifier, grab);
    EXPECT_FALSE(FView.IsDragging());
    EXPECT_EQ(Sheet().cursor().shape(), Qt::OpenHandCursor);
}

TEST_F(View, ZoomIsCutToWhatTheWindowingSystemTakes)
{
    FView.SetPaperType(pCustom);
    FView.SetPaperWidth(200000); // 2 m: 7559 pixels at zoom 100
    FView.SetPaperHeight(200000);
    Record(1);
    FView.SetZoom(1000);
    EXPECT_EQ(FView.Zoom(), 430) << "the largest multiple of 10 under 32767 pixels";
    EXPECT_LE(Sheet().width(), TPrintPreviewView::kMaxSheetSize);
}

TEST_F(View, ScrollPositionIsKeptInRelativeTerms)
{
    Record(1);
    FView.SetZoom(100);
    QScrollBar& v = *FView.verticalScrollBar();
    v.setValue(v.maximum() / 2);
    const double before = double(v.value()) / v.maximum();
    FView.SetZoom(200);
    EXPECT_NEAR(double(v.value()) / v.maximum(), before, 0.02);
}

TEST_F(View, RepaintInsideTheBufferDoesNotPlayThePageAgain)
{
    Record(1);
    FView.SetZoom(100);
    QApplication::processEvents();
    Sheet().repaint();
    const int played = Sheet().PageDrawCount();
    EXPECT_GT(played, 0);
    Sheet().repaint(QRect(50, 50, 40, 40));
    Sheet().repaint(QRect(10, 10, 100, 100));
    EXPECT_EQ(Sheet().PageDrawCount(), played) << "copied from the buffer";
    Sheet().InvalidatePage();
    Sheet().repaint(QRect(50, 50, 40, 40));
    EXPECT_EQ(Sheet().PageDrawCount(), played + 1) << "an invalidated page is drawn again";
    FView.SetCurrentPage(1);
    EXPECT_EQ(Sheet().PageDrawCount(), played + 1) << "the same page: nothing to do";
}

TEST_F(View, SheetFrameAndOptions)
{
    Record(1);
    const QImage image = Sheet().grab().toImage();
    const int W = image.width(), H = image.height();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black)) << "border";
    EXPECT_EQ(image.pixelColor(W - 4, H - 4), QColor(Qt::black)) << "border's bottom-right corner";
    EXPECT_EQ(image.pixel(W - 1, H - 1), FView.PaperView().ShadowColor().rgb()) << "shadow";
    const QRgb face = FView.palette().color(QPalette::Window).rgb(); // the parent's colour
    ASSERT_NE(face, QColor(Qt::white).rgb());
    EXPECT_EQ(image.pixel(W - 1, 0), face) << "corner beside the shadow";
    EXPECT_EQ(image.pixel(0, H - 1), face) << "corner beside the shadow";
    EXPECT_EQ(image.pixelColor(W / 2, 5), QColor(Qt::white)) << "paper";
    FView.clearFocus(); // with the focus its edge shows the focus's frame
    const QImage area = FView.grab().toImage();
    EXPECT_EQ(area.pixel(0, 0), face) << "the area around the sheet";
    EXPECT_EQ(area.pixel(area.width() - 1, area.height() - 1), face);

    FView.SetZoom(50);
    const QRect paper = Sheet().PageRect();
    const QSize box = Sheet().size();
    FView.PaperView().SetBorderWidth(2);
    EXPECT_EQ(Sheet().PageRect().size(), paper.size()) << "the paper keeps its size";
    EXPECT_EQ(Sheet().size(), box + QSize(2, 2));
    const QSize at50 = Sheet().size();
    FView.PaperView().SetPaperColor(Qt::yellow);
    EXPECT_EQ(Sheet().size(), at50) << "a colour does not lay the sheet out";
    EXPECT_EQ(Sheet().grab().toImage().pixelColor(at50.width() / 2, 5), QColor(Qt::yellow));
}

TEST_F(View, PlainPlaybackDrawsTooAndSmoothsLess)
{
    Record(1);
    FView.SetZoom(33);             // bar edges fall between pixels
    QApplication::processEvents(); // the layout the zoom asked for
    const QImage smooth = Sheet().grab().toImage();
    FView.SetAntialiasing(false);
    const QImage plain = Sheet().grab().toImage();
    ASSERT_EQ(smooth.size(), plain.size());
    // Only the visible page: the frame and shadow are the same either way,
    // and the sheet paints nothing of what lies outside the viewport.
    const QRect page = Sheet().PageRect() & Sheet().visibleRegion().boundingRect() & plain.rect();
    ASSERT_FALSE(page.isEmpty());
    int smoothGrey = 0, plainGrey = 0, plainInk = 0;
    for (int y = page.top(); y <= page.bottom(); ++y)
        for (int x = page.left(); x <= page.right(); ++x) {
            const int gs = qGray(smooth.pixel(x, y)), gp = qGray(plain.pixel(x, y));
            smoothGrey += gs > 10 && gs < 245;
            plainGrey += gp > 10 && gp < 245;
            plainInk += gp < 10;
        }
    EXPECT_GT(plainInk, 100) << "the plain path draws the bars";
    EXPECT_GT(smoothGrey, plainGrey) << "antialiasing greys the edges";
}

} // namespace
