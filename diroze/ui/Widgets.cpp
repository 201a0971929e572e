#include "Widgets.h"

#include "AssignChanged.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QScreen>
#include <QStyle>
#include <QStylePainter>
#include <QWheelEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace diroze {

namespace {

void SetBold(QWidget& aWidget)
{
    QFont bold = aWidget.font();
    bold.setBold(true);
    aWidget.setFont(bold);
}

} // namespace

TCategoryPanel::TCategoryPanel(const QString& aCaption, QWidget* aParent) : QWidget(aParent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FHeader = new QToolButton(this);
    FHeader->setText(aCaption);
    FHeader->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    FHeader->setArrowType(Qt::DownArrow);
    FHeader->setAutoRaise(true);
    FHeader->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    SetBold(*FHeader);
    FContent = new QWidget(this);
    layout->addWidget(FHeader);
    layout->addWidget(FContent);
    QObject::connect(FHeader, &QToolButton::clicked, this, [this] { SetCollapsed(!FCollapsed); });
}

void TCategoryPanel::SetCollapsed(bool aValue)
{
    if (!hostutils::AssignChanged(FCollapsed, aValue))
        return;
    FContent->setVisible(!aValue);
    FHeader->setArrowType(aValue ? Qt::RightArrow : Qt::DownArrow);
    if (aValue && OnCollapse)
        OnCollapse();
    if (!aValue && OnExpand)
        OnExpand();
}

TBalloonHint::TBalloonHint(QWidget* aParent) : QFrame(aParent, Qt::ToolTip)
{
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::ToolTipBase));
    p.setColor(QPalette::WindowText, p.color(QPalette::ToolTipText));
    setPalette(p);
    auto* layout = new QHBoxLayout(this);
    FIcon = new QLabel(this);
    FIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    FIcon->setAlignment(Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    FTitle = new QLabel(this);
    SetBold(*FTitle);
    FText = new QLabel(this);
    texts->addWidget(FTitle);
    texts->addWidget(FText);
    layout->addWidget(FIcon);
    layout->addLayout(texts);
    FTimer.setSingleShot(true);
    QObject::connect(&FTimer, &QTimer::timeout, this, [this] { HideHint(); });
}

void TBalloonHint::ShowAt(QWidget* aControl, const QString& aTitle, const QString& aText)
{
    FTitle->setText(aTitle);
    // Carriage returns break the text into lines.
    FText->setText(QString(aText).replace(u'\r', u'\n').trimmed());
    adjustSize();
    if (aControl)
        move(aControl->mapToGlobal(QPoint(aControl->width() / 2, aControl->height())));
    show();
    raise();
    FTimer.start(kHideAfterMs);
}

void TBalloonHint::HideHint()
{
    FTimer.stop();
    hide();
}

QString TBalloonHint::Title() const { return FTitle->text(); }
QString TBalloonHint::Text() const { return FText->text(); }

TButtonStrip::TButtonStrip(QWidget* aParent) : QWidget(aParent)
{
    setAutoFillBackground(true);
    // White whatever the theme, so its own texts are dark in every theme.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Active, QPalette::WindowText, Qt::black);
    white.setColor(QPalette::Inactive, QPalette::WindowText, Qt::black);
    white.setColor(QPalette::Disabled, QPalette::WindowText, Qt::darkGray);
    setPalette(white);
    setFixedHeight(kHeight);
    FRow = new QHBoxLayout(this);
    FRow->setContentsMargins(6, 5, 6, 4);
}

void TButtonStrip::AddOkCancel(const QString& aOkText, QPushButton*& aOk, QPushButton*& aCancel)
{
    FRow->addStretch();
    aOk = new QPushButton(aOkText, this);
    aCancel = new QPushButton(QStringLiteral("Storno"), this);
    for (QPushButton* button : {aOk, aCancel}) {
        button->setFixedSize(75, 25);
        FRow->addWidget(button);
    }
    aOk->setDefault(true);
}

void TButtonStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Active, QPalette::Mid));
    painter.drawLine(0, 0, width() - 1, 0);
}

TDialogFrame MakeDialogFrame(QWidget& aDialog)
{
    auto* outer = new QVBoxLayout(&aDialog);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    TDialogFrame frame;
    frame.Content = new QVBoxLayout;
    frame.Content->setContentsMargins(9, 9, 9, 6);
    outer->addLayout(frame.Content, 1);
    frame.Strip = new TButtonStrip(&aDialog);
    outer->addWidget(frame.Strip);
    return frame;
}

namespace {

// Passes the wheel over an unfocused drop-down on to its parents.
class TWheelWithFocusOnly : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* aWatched, QEvent* aEvent) override
    {
        if (aEvent->type() != QEvent::Wheel)
            return false;
        auto* control = static_cast<QWidget*>(aWatched);
        while (control && !qobject_cast<QComboBox*>(control))
            control = control->parentWidget();
        const QWidget* focus = QApplication::focusWidget();
        if (control && focus && (focus == control || control->isAncestorOf(focus)))
            return false;
        // Ignored and filtered out: the application offers the wheel to the parents.
        aEvent->ignore();
        return true;
    }
};

} // namespace

void TakeWheelOnlyWithFocus(QComboBox* aControl)
{
    // One filter a drop-down, also when called again for an edit added later
    // (found by its name: the filter class has no meta-object of its own).
    const QString name = QStringLiteral("wheelWithFocusOnly");
    QObject* filter = aControl->findChild<QObject*>(name, Qt::FindDirectChildrenOnly);
    if (!filter) {
        filter = new TWheelWithFocusOnly(aControl);
        filter->setObjectName(name);
    }
    aControl->setFocusPolicy(Qt::StrongFocus);
    aControl->installEventFilter(filter);
    if (QLineEdit* edit = aControl->lineEdit()) {
        edit->setFocusPolicy(Qt::StrongFocus);
        edit->installEventFilter(filter);
    }
}

QString ElidedKeepingNumbers(const QString& aText, const QFontMetrics& aMetrics, int aWidth)
{
    if (aMetrics.horizontalAdvance(aText) <= aWidth)
        return aText;
    const QString right = aMetrics.elidedText(aText, Qt::ElideRight, aWidth);
    // What the ellipsis stands for; without a digit in it nothing misleads.
    const QString lost = aText.mid(std::max<qsizetype>(right.size() - 1, 0));
    if (std::none_of(lost.begin(), lost.end(), [](QChar c) { return c.isDigit(); }))
        return right;
    QStringList words = aText.split(u' ');
    while (words.size() > 1) {
        words.removeFirst();
        const QString left = QStringLiteral("…") + words.join(u' ');
        if (aMetrics.horizontalAdvance(left) <= aWidth)
            return left;
    }
    return right;
}

TDropDown::TDropDown(QWidget* aParent) : QComboBox(aParent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(4);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    TakeWheelOnlyWithFocus(this);
}

int TDropDown::ListWidth() const
{
    QAbstractItemView* list = view();
    int width = 0;
    const QFontMetrics metrics(list->font());
    for (int i = 0; i < count(); ++i)
        width = std::max(width, metrics.horizontalAdvance(itemText(i)));
    // The item's own margins, the list's frame and a scroll bar.
    return width + 4 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 2 * list->frameWidth() +
           style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list) + 16;
}

void TDropDown::showPopup()
{
    view()->setMinimumWidth(ListWidth());
    QComboBox::showPopup();
}

void TDropDown::paintEvent(QPaintEvent* aEvent)
{
    if (isEditable())
        return QComboBox::paintEvent(aEvent);
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = ElidedKeepingNumbers(option.currentText, fontMetrics(), field.width() - 2);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

QString TDropDown::ShownText() const
{
    if (isEditable())
        return currentText();
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return ElidedKeepingNumbers(currentText(), fontMetrics(), field.width() - 2);
}

TSpinEdit::TSpinEdit(int aMin, int aMax, QWidget* aParent) : QLineEdit(aParent), FMin(aMin), FMax(aMax)
{
    QAction* up = addAction(style()->standardIcon(QStyle::SP_ArrowUp), QLineEdit::TrailingPosition);
    QAction* down = addAction(style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
    QObject::connect(up, &QAction::triggered, this, [this] { Step(1); });
    QObject::connect(down, &QAction::triggered, this, [this] { Step(-1); });
}

int TSpinEdit::Value() const
{
    bool ok = false;
    const int value = text().toInt(&ok);
    return ok ? std::clamp(value, FMin, FMax) : FMin;
}

QSize TSpinEdit::minimumSizeHint() const
{
    ensurePolished();
    const QFontMetrics metrics(font());
    const int text =
        std::max(metrics.horizontalAdvance(QString::number(FMin)), metrics.horizontalAdvance(QString::number(FMax)));
    // The arrows stand inside the edit, right of the text, each as wide as
    // the line edit makes its icon buttons.
    const int icon = style()->pixelMetric(QStyle::PM_LineEditIconSize, nullptr, this);
    const int iconMargin = style()->pixelMetric(QStyle::PM_LineEditIconMargin, nullptr, this);
    const int arrows = int(actions().size()) * (icon + 6 + iconMargin);
    const QMargins margins = textMargins();
    QStyleOptionFrame option;
    initStyleOption(&option);
    // 2 pixels each side are the edit's own text margin, 1 the cursor.
    const QSize content(text + 2 * 2 + 1 + arrows + margins.left() + margins.right(),
                        QLineEdit::minimumSizeHint().height());
    return {style()->sizeFromContents(QStyle::CT_LineEdit, &option, content, this).width(),
            QLineEdit::minimumSizeHint().height()};
}

QSize TSpinEdit::sizeHint() const { return {minimumSizeHint().width(), QLineEdit::sizeHint().height()}; }

void TSpinEdit::SetValue(int aValue) { setText(QString::number(std::clamp(aValue, FMin, FMax))); }

void TSpinEdit::Step(int aDelta) { SetValue(Value() + aDelta); }

void TSpinEdit::focusOutEvent(QFocusEvent* aEvent)
{
    const QString limited = QString::number(Value());
    if (text() != limited)
        setText(limited);
    QLineEdit::focusOutEvent(aEvent);
}

void TSpinEdit::wheelEvent(QWheelEvent* aEvent)
{
    if (!hasFocus() || aEvent->angleDelta().y() == 0)
        return aEvent->ignore(); // the column scrolls
    Step(aEvent->angleDelta().y() > 0 ? 1 : -1);
    aEvent->accept();
}

void TSpinEdit::keyPressEvent(QKeyEvent* aEvent)
{
    if (aEvent->key() == Qt::Key_Up)
        return Step(1);
    if (aEvent->key() == Qt::Key_Down)
        return Step(-1);
    QLineEdit::keyPressEvent(aEvent);
}

} // namespace diroze
