#pragma once
// Small widgets of the dialog: a collapsible category panel, the error
// balloon, a drop-down list that keeps its width, and a spin edit that keeps
// free text while typing.

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

class QHBoxLayout;
class QLabel;
class QToolButton;
class QVBoxLayout;

namespace diroze {

// A titled panel whose content collapses to the title bar.
class TCategoryPanel : public QWidget {
public:
    TCategoryPanel(const QString& aCaption, QWidget* aParent = nullptr);
    QWidget* Content() const { return FContent; }
    bool Collapsed() const { return FCollapsed; }
    void SetCollapsed(bool aValue);
    std::function<void()> OnExpand, OnCollapse;

private:
    QToolButton* FHeader = nullptr;
    QWidget* FContent = nullptr;
    bool FCollapsed = false;
};

// The balloon that points at a control with a title, an icon and a text;
// it hides itself after a while.
class TBalloonHint : public QFrame {
public:
    explicit TBalloonHint(QWidget* aParent);
    void ShowAt(QWidget* aControl, const QString& aTitle, const QString& aText);
    void HideHint();
    static constexpr int kHideAfterMs = 5000;
    QString Title() const;
    QString Text() const;

private:
    QLabel* FIcon = nullptr;
    QLabel* FTitle = nullptr;
    QLabel* FText = nullptr;
    QTimer FTimer;
};

// The white strip along a dialog's bottom edge, 37 pixels high with a line
// along its top edge, that holds the dialog's buttons in Row().
class TButtonStrip : public QWidget {
public:
    explicit TButtonStrip(QWidget* aParent);
    QHBoxLayout* Row() const { return FRow; }
    // Puts a default button aOkText and "Storno" (75 x 25 each) at the
    // right end of the row and returns them through aOk and aCancel.
    void AddOkCancel(const QString& aOkText, QPushButton*& aOk, QPushButton*& aCancel);
    static constexpr int kHeight = 37;

protected:
    void paintEvent(QPaintEvent* aEvent) override;

private:
    QHBoxLayout* FRow = nullptr;
};

// The frame of a small dialog: Content (margins 9, 9, 9, 6) above Strip, the
// button strip along the bottom edge, both edge to edge. The widgets go into
// Content, the buttons into Strip after them, so the focus reaches the
// buttons last.
struct TDialogFrame {
    QVBoxLayout* Content = nullptr;
    TButtonStrip* Strip = nullptr;
};
TDialogFrame MakeDialogFrame(QWidget& aDialog);

// Makes a drop-down take the mouse wheel only while it has the focus;
// otherwise the wheel scrolls what holds it (the settings column). Neither
// does the wheel give it the focus.
void TakeWheelOnlyWithFocus(QComboBox* aControl);

// A drop-down list whose width does not follow its items: closed, it elides
// the chosen item's text to its width; open, its list is wide enough to
// show every item whole. It takes the wheel only with the focus.
// aText as it fits aWidth: whole; else cut at the end when the words lost
// hold no digit; else with leading words dropped ("…100 × 150 mm"), so that a
// size or count is never shown cut ("100 × 15…").
QString ElidedKeepingNumbers(const QString& aText, const QFontMetrics& aMetrics, int aWidth);

class TDropDown : public QComboBox {
public:
    explicit TDropDown(QWidget* aParent = nullptr);
    void showPopup() override;
    // The current text as the closed list shows it.
    QString ShownText() const;
    // The width the open list needs for its longest item.
    int ListWidth() const;

protected:
    void paintEvent(QPaintEvent* aEvent) override;
};

// A whole number between a minimum and a maximum, typed freely: the text may
// hold anything while the user types; losing the focus puts the limited value
// back (a text that is no number becomes the minimum). Up and Down step,
// and so does the mouse wheel while the edit has the focus; without the
// focus the wheel scrolls what holds the edit.
class TSpinEdit : public QLineEdit {
public:
    TSpinEdit(int aMin, int aMax, QWidget* aParent = nullptr);
    void SetValue(int aValue);
    int Value() const;
    // Wide enough to show the longest value of the range beside the arrows.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void focusOutEvent(QFocusEvent* aEvent) override;
    void keyPressEvent(QKeyEvent* aEvent) override;
    void wheelEvent(QWheelEvent* aEvent) override;

private:
    void Step(int aDelta);
    int FMin, FMax;
};

} // namespace diroze
