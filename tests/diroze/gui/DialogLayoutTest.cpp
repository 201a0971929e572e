// The dialog at its own size with the shipped presets: every control and
// text whole with the settings column's scroll bar shown or not, the preset
// list eliding long names only while closed, and the mouse wheel changing a
// drop-down or spin edit only when it has the focus.

#include "ParamParser.h"
#include "ui/DialogSeam.h"
#include "ui/MainDialog.h"
#include "ui/Widgets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QSet>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

#include <memory>

using namespace diroze;

namespace {

class DialogLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(DEFAULT_PRESETS), FDir.filePath(QStringLiteral("diroze.xml"))));
        FParams = std::make_unique<hostutils::TParamParser>(
            QStringLiteral("diroze \"%1\" -numbers").arg(QStringLiteral(EXAMPLES_DIR "/stitky.txt")));
        FDialog = std::make_unique<TfrmHlavni>(FSeam, *FParams, FDir.path() + u'/');
        FDialog->FormCreate();
        FDialog->show();
        QApplication::processEvents();
    }
    TfrmHlavni& D() { return *FDialog; }
    void Expand(bool aExpanded)
    {
        for (TCategoryPanel* panel : {D().panPapir, D().panStitky, D().panPismo})
            panel->SetCollapsed(!aExpanded);
        QApplication::processEvents();
    }
    // One notch of the wheel away from the user, over the middle of aControl.
    void Wheel(QWidget* aControl)
    {
        const QPoint centre = aControl->rect().center();
        QWidget* target = aControl->childAt(centre) ? aControl->childAt(centre) : aControl;
        const QPointF at = target->mapFrom(aControl, centre);
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        // As from the window system: only such a wheel goes on to the parents.
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        qApp->notify(target, &wheel);
        QApplication::processEvents();
    }

    QTemporaryDir FDir;
    TDialogSeam FSeam;
    std::unique_ptr<hostutils::TParamParser> FParams;
    std::unique_ptr<TfrmHlavni> FDialog;
};

TEST_F(DialogLayout, ClientAreaStaysWithTheShippedPresetsAndTheirNamesShowWholeInTheList)
{
    EXPECT_EQ(D().size(), QSize(505, 409));
    QComboBox& presets = *D().lstPredvolby;
    ASSERT_GT(presets.count(), 0);
    const QFontMetrics metrics(presets.view()->font());
    int longest = 0;
    for (int i = 0; i < presets.count(); ++i)
        longest = std::max(longest, metrics.horizontalAdvance(presets.itemText(i)));
    EXPECT_GT(longest, presets.width() - 30) << "the shipped names are longer than the closed list shows";
    presets.showPopup();
    EXPECT_GE(presets.view()->viewport()->width(), longest) << "the open list shows every name whole";
    presets.hidePopup();
}

// Every control of the settings column lies across the column's visible
// width, and every text fits its control, with the scroll bar (all panels
// open) and without it; the preset row fits the dialog.
TEST_F(DialogLayout, EveryControlAndTextIsWholeWithAndWithoutTheScrollBar)
{
    for (bool expanded : {false, true}) {
        SCOPED_TRACE(expanded ? "all panels open, scroll bar shown" : "panels closed, no scroll bar");
        Expand(expanded);
        QWidget* viewport = D().panSettings->viewport();
        EXPECT_EQ(D().panSettings->verticalScrollBar()->isVisible(), expanded);
        const QRect visible = viewport->rect();
        for (QWidget* w : D().panSettings->widget()->findChildren<QWidget*>()) {
            bool inList = false;
            // The parts of a list, a drop-down or an edit are theirs to place.
            for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
                inList = inList || qobject_cast<QAbstractItemView*>(p) || qobject_cast<QComboBox*>(p) ||
                         qobject_cast<QLineEdit*>(p);
            if (!w->isVisibleTo(D().panSettings->widget()) || !w->parentWidget()->isVisible() || inList ||
                qobject_cast<QScrollBar*>(w))
                continue;
            const QRect r(w->mapTo(viewport, QPoint(0, 0)), w->size());
            const std::string name = w->metaObject()->className() + std::string(" ") + w->objectName().toStdString();
            if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                SCOPED_TRACE(button->text().toStdString());
                EXPECT_GE(w->width(), w->sizeHint().width());
            }
            if (qobject_cast<QComboBox*>(w) || dynamic_cast<TSpinEdit*>(w)) {
                EXPECT_GE(w->width(), w->minimumSizeHint().width()) << name;
            }
            EXPECT_GE(r.left(), visible.left()) << name;
            EXPECT_LE(r.right(), visible.right()) << name;
        }
        // Every caption of the dialog, the preset row's included, fits its label.
        for (QLabel* label : D().findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty())
                continue;
            SCOPED_TRACE(label->text().toStdString());
            const QRect room = label->contentsRect();
            const QRect text = label->fontMetrics().boundingRect(
                QRect(0, 0, room.width(), 10000), (label->wordWrap() ? Qt::TextWordWrap : 0) | Qt::AlignLeft,
                label->text());
            EXPECT_LE(text.width(), room.width());
            EXPECT_LE(text.height(), room.height());
        }
        // The bold-line items of the list, whole beside their check boxes.
        QListWidget& radky = *D().lstRadky;
        for (int i = 0; i < radky.count() && radky.isVisible(); ++i) {
            const QRect item = radky.visualItemRect(radky.item(i));
            SCOPED_TRACE(radky.item(i)->text().toStdString());
            EXPECT_LE(item.right(), radky.viewport()->width() - 1);
            EXPECT_GE(item.width(), radky.sizeHintForColumn(0));
        }
    }
    for (QWidget* w : {static_cast<QWidget*>(D().lstPredvolby), static_cast<QWidget*>(D().btnSave),
                       static_cast<QWidget*>(D().btnDelete), static_cast<QWidget*>(D().btnOk),
                       static_cast<QWidget*>(D().btnCancel)}) {
        const QRect r(w->mapTo(&D(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(D().rect().contains(r)) << w->metaObject()->className();
    }
    // What the eye sees, with the scroll bar and the longest preset name chosen.
    QComboBox& presets = *D().lstPredvolby;
    for (int i = 0; i < presets.count(); ++i)
        if (presets.itemText(i).size() > presets.currentText().size())
            presets.setCurrentIndex(i);
    QApplication::processEvents();
    EXPECT_EQ(D().size(), QSize(505, 409));
    EXPECT_TRUE(D().grab().save(QStringLiteral(DIALOG_LAYOUT_SCREENSHOT_PATH)));
}

// Every item of a closed drop-down shows whole, or cut without losing any
// of its numbers: "Štítek 100 × 150 mm" never reads as "Štítek 100 × 15…".
TEST_F(DialogLayout, ClosedDropDownsShowTheirTextWholeOrWithEveryNumberWhole)
{
    Expand(true);
    const QRegularExpression number(QStringLiteral("\\d+([.,]\\d+)?"));
    for (TDropDown* list : {static_cast<TDropDown*>(D().lstFormat), static_cast<TDropDown*>(D().lstPredvolby)}) {
        for (int i = 0; i < list->count(); ++i) {
            list->setCurrentIndex(i);
            const QString text = list->itemText(i), shown = list->ShownText();
            SCOPED_TRACE(text.toStdString() + " shown as " + shown.toStdString());
            EXPECT_LE(list->fontMetrics().horizontalAdvance(shown), list->width());
            if (list == D().lstFormat) {
                EXPECT_EQ(shown, text);
                continue;
            }
            for (auto m = number.globalMatch(text); m.hasNext();) {
                const QString n = m.next().captured();
                EXPECT_TRUE(QRegularExpression(QStringLiteral("(^|\\D)%1($|\\D)").arg(n)).match(shown).hasMatch())
                    << n.toStdString();
            }
        }
    }
    for (const QString& cut : {QStringLiteral("Štítek 100 × 150"), QStringLiteral("Regál 7")}) {
        const QString shown =
            ElidedKeepingNumbers(cut, D().fontMetrics(), D().fontMetrics().horizontalAdvance(cut) - 1);
        EXPECT_TRUE(shown.startsWith(u'…') && cut.endsWith(shown.mid(1))) << shown.toStdString();
    }
}

// A dark desktop theme: the white strip's own texts stay dark on it.
TEST(DialogTheme, TheWhiteStripsCaptionIsDarkInADarkTheme)
{
    const QPalette saved = QApplication::palette();
    QPalette dark(QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    QTemporaryDir dir;
    const hostutils::TParamParser params(
        QStringLiteral("diroze \"%1\"").arg(QStringLiteral(EXAMPLES_DIR "/stitky.txt")));
    TDialogSeam seam;
    TfrmHlavni dialog(seam, params, dir.path() + u'/');
    dialog.FormCreate();
    dialog.show();
    QApplication::processEvents();
    const QList<QLabel*> captions = dialog.lstPredvolby->parentWidget()->findChildren<QLabel*>();
    ASSERT_FALSE(captions.isEmpty());
    for (QLabel* caption : captions) {
        SCOPED_TRACE(caption->text().toStdString());
        const QColor text = caption->palette().color(caption->foregroundRole());
        const QColor ground = dialog.lstPredvolby->parentWidget()->palette().color(QPalette::Window);
        EXPECT_EQ(ground, QColor(Qt::white));
        EXPECT_GT(ground.lightness() - text.lightness(), 128);
    }
    QApplication::setPalette(saved);
}

// Every stop of the Tab order shows that it has the focus: the control looks
// different with the focus than without it.
TEST_F(DialogLayout, EveryTabStopShowsItsFocus)
{
    Expand(true);
    D().activateWindow();
    // From a Tab key on: focus frames show for focus moved by the keyboard.
    D().btnOk->setFocus(Qt::TabFocusReason);
    QTest::keyClick(D().btnOk, Qt::Key_Tab);
    QApplication::processEvents();
    QWidget* first = QApplication::focusWidget();
    ASSERT_NE(first, nullptr);
    QSet<QWidget*> seen;
    for (QWidget* w = first; w && !seen.contains(w); w = QApplication::focusWidget()) {
        seen.insert(w);
        const std::string name = w->metaObject()->className() + std::string(" ") + w->objectName().toStdString() + " " +
                                 w->property("text").toString().toStdString();
        D().panSettings->ensureWidgetVisible(w);
        QApplication::processEvents();
        const QImage focused = w->grab().toImage();
        QWidget* before = w;
        // The same control without the focus: the focus parked on the dialog itself.
        D().setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        const QImage unfocused = before->grab().toImage();
        // The style draws the default button ("Tisknout", which Enter presses
        // wherever the focus is) with the focus's outline already.
        const auto* button = qobject_cast<QPushButton*>(before);
        if (!button || !button->isDefault()) {
            EXPECT_NE(focused, unfocused) << name;
        }
        before->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        QTest::keyClick(before, Qt::Key_Tab);
        QApplication::processEvents();
    }
    EXPECT_GT(seen.size(), 10);
}

TEST_F(DialogLayout, WheelChangesADropDownOrSpinEditOnlyWithTheFocus)
{
    Expand(true);
    QScrollBar& column = *D().panSettings->verticalScrollBar();
    ASSERT_TRUE(column.isVisible());
    struct Row {
        QWidget* control;
        std::function<QString()> value;
    };
    const Row rows[] = {
        {D().lstFont, [this] { return D().lstFont->currentText(); }},
        {D().lstFontSize, [this] { return D().lstFontSize->currentText(); }},
        {D().lstAlignment, [this] { return D().lstAlignment->currentText(); }},
        {D().lstFormat, [this] { return D().lstFormat->currentText(); }},
        {D().edtPocetX, [this] { return D().edtPocetX->text(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control->metaObject()->className());
        D().btnOk->setFocus();
        D().panSettings->ensureWidgetVisible(row.control);
        column.setValue(std::min(column.value(), column.maximum() - 1));
        QApplication::processEvents();
        const QString before = row.value();
        const bool changedBefore = D().Changed();
        const int scrolled = column.value();
        Wheel(row.control);
        EXPECT_EQ(row.value(), before) << "unfocused: the value stays";
        EXPECT_GT(column.value(), scrolled) << "and the column scrolls";
        EXPECT_EQ(D().Changed(), changedBefore);

        row.control->setFocus();
        QApplication::processEvents();
        Wheel(row.control);
        Wheel(row.control); // two notches: the first may land on the item the text already names
        EXPECT_NE(row.value(), before) << "focused: the wheel steps the value";
    }
}

} // namespace
