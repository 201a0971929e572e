// "Etikety…" in the Papír panel and the dialog "Výběr etiket": a filter typed
// and Enter set the controls to the product's layout as one settings change;
// Esc leaves them as they were. The picker alone: the keys that move through
// the list from the filter, the line that describes the current product or
// says why there is none, lengths in the default locale.

#include "ParamParser.h"
#include "TestPeers.h"
#include "preview/PreviewView.h"
#include "products/LabelProducts.h"
#include "ui/DialogSeam.h"
#include "ui/FormEtikety.h"
#include "ui/MainDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace diroze;

namespace {

class TTypingSeam : public TDialogSeam {
public:
    bool ExecEtikety(TfrmEtikety& aDialog) override
    {
        ++Shown;
        aDialog.setResult(QDialog::Rejected);
        aDialog.show();
        QTest::keyClicks(aDialog.edtFiltr, Filter);
        Visible = 0;
        for (int i = 0; i < aDialog.lstEtikety->topLevelItemCount(); ++i)
            Visible += aDialog.lstEtikety->topLevelItem(i)->isHidden() ? 0 : 1;
        QTest::keyClick(aDialog.edtFiltr, Key);
        aDialog.hide();
        return aDialog.result() == QDialog::Accepted;
    }
    void Error(QWidget*, const QString& aText) override { Errors.append(aText); }

    QString Filter;
    Qt::Key Key = Qt::Key_Return;
    int Shown = 0, Visible = 0;
    QStringList Errors;
};

bool SameLayout(const TPapirControls& a, const TPapirControls& b)
{
    return a.Format == b.Format && a.Portrait == b.Portrait && a.Width == b.Width && a.Height == b.Height &&
           a.MarginX == b.MarginX && a.MarginY == b.MarginY && a.PocetX == b.PocetX && a.PocetY == b.PocetY &&
           a.SpaceX == b.SpaceX && a.SpaceY == b.SpaceY && a.PaddingX == b.PaddingX && a.PaddingY == b.PaddingY &&
           a.FontSize == b.FontSize && a.FontText == b.FontText;
}

TEST(FormEtikety, FilterAndEnterApplyTheProductEscKeepsTheSettings)
{
    if (!QFile::exists(QStringLiteral("/usr/share/libglabels-3.0/templates/paper-sizes.xml")))
        SKIP_WITHOUT_PEER("the label template set (glabels-data) is not installed");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    {
        QFile data(dir.filePath(QStringLiteral("data.txt")));
        ASSERT_TRUE(data.open(QIODevice::WriteOnly));
        data.write(";one\r\n;two\r\n");
    }
    hostutils::TParamParser params(QStringLiteral("diroze \"%1\"").arg(dir.filePath(QStringLiteral("data.txt"))));
    TTypingSeam seam;
    TfrmHlavni dialog(seam, params, dir.path() + u'/');
    dialog.FormCreate();
    dialog.show();
    QApplication::processEvents();
    dialog.lstFormat->setCurrentIndex(dialog.lstFormat->findData(int(pA5)));
    dialog.edtPaddingX->setText(QStringLiteral("3"));
    const QSize size = dialog.size();
    const TPapirControls before = dialog.Controls();
    const int pagesBefore = dialog.Nahled().TotalPages();

    seam.Filter = QStringLiteral("4283");
    seam.Key = Qt::Key_Return;
    QTest::mouseClick(dialog.btnEtikety, Qt::LeftButton);
    ASSERT_EQ(seam.Shown, 1);
    EXPECT_TRUE(seam.Errors.isEmpty()) << seam.Errors.join('\n').toStdString();
    EXPECT_GE(seam.Visible, 1);
    EXPECT_LT(seam.Visible, 10) << "the list narrows to the part number";
    TPapirControls expected = before;
    const TProductCatalogue catalogue = LoadProductCatalogue();
    ApplyProduct(FindProduct(catalogue, QStringLiteral("Herma 4283")), expected, QLocale());
    const TPapirControls chosen = dialog.Controls();
    EXPECT_TRUE(SameLayout(chosen, expected));
    EXPECT_EQ(chosen.Format, pA4);
    EXPECT_EQ(chosen.PocetX, QStringLiteral("1"));
    EXPECT_EQ(chosen.PocetY, QStringLiteral("6"));
    EXPECT_EQ(chosen.PaddingX, QStringLiteral("3")) << "padding stays the user's";
    EXPECT_TRUE(dialog.Changed());
    EXPECT_EQ(dialog.Nahled().TotalPages(), pagesBefore);
    EXPECT_EQ(dialog.Nahled().PageSize().Y, 29700) << "the preview shows the product's paper";
    EXPECT_EQ(dialog.size(), size);

    seam.Filter = QStringLiteral("avery 5160");
    seam.Key = Qt::Key_Escape;
    QTest::mouseClick(dialog.btnEtikety, Qt::LeftButton);
    EXPECT_EQ(seam.Shown, 2);
    EXPECT_TRUE(SameLayout(dialog.Controls(), chosen));

    // The product's label size stays, shown in the panel, until a margin is typed.
    EXPECT_EQ(chosen.Stitek, expected.Stitek);
    EXPECT_NE(chosen.Stitek, TPoint{});
    EXPECT_FALSE(dialog.lblStitek->isHidden());
    EXPECT_TRUE(dialog.lblStitek->text().contains(QLocale().toString(expected.Stitek.X / 100.0)));
    dialog.edtMarginX->setFocus();
    QTest::keyClick(dialog.edtMarginX, Qt::Key_End);
    QTest::keyClick(dialog.edtMarginX, Qt::Key_1);
    EXPECT_EQ(dialog.Controls().Stitek, TPoint{});
    EXPECT_TRUE(dialog.lblStitek->isHidden());
}

// Four products: usable ones on A4 and A5, and one whose labels form no grid.
TProductCatalogue TestCatalogue(const QTemporaryDir& aDir)
{
    QFile file(aDir.filePath(QStringLiteral("t.xml")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<Glabels-templates>
        <Template brand="T" part="1" size="A4" description="Adresní">
        <Label-rectangle width="63.99mm" height="38.1mm">
        <Layout nx="3" ny="7" x0="7.2mm" y0="15.15mm" dx="66mm" dy="38.1mm"/></Label-rectangle></Template>
        <Template brand="T" part="2" size="A4" description="Malé">
        <Label-rectangle width="50mm" height="20mm">
        <Layout nx="3" ny="10" x0="20mm" y0="26mm" dx="60mm" dy="25mm"/></Label-rectangle></Template>
        <Template brand="T" part="3" size="A4" description="Posunuté">
        <Label-rectangle width="50mm" height="20mm"><Layout nx="2" ny="1" x0="20mm" y0="20mm" dx="60mm"/>
        <Layout nx="1" ny="1" x0="50mm" y0="45mm"/></Label-rectangle></Template>
        <Template brand="T" part="4" size="A5" description="Velké">
        <Label-rectangle width="139.95mm" height="101.63mm">
        <Layout nx="1" ny="2" x0="4mm" y0="3mm" dx="0" dy="103mm"/></Label-rectangle></Template>
        </Glabels-templates>)");
    file.close();
    TProductCatalogue catalogue = LoadProductCatalogue({aDir.path()});
    EXPECT_EQ(catalogue.Products.size(), 4u);
    EXPECT_FALSE(catalogue.Products.size() == 4 && catalogue.Products[2].Usable());
    return catalogue;
}

// The picker shown and active, the filter focused as before each showing.
void Show(TfrmEtikety& aDialog)
{
    aDialog.show();
    QApplication::setActiveWindow(&aDialog);
    aDialog.Prepare();
    QApplication::processEvents();
}

QString CurrentPart(const TfrmEtikety& aDialog)
{
    const QTreeWidgetItem* item = aDialog.lstEtikety->currentItem();
    return item && !item->isHidden() ? item->text(TfrmEtikety::colPart) : QString();
}

// Restores the default locale.
struct TDefaultLocale {
    QLocale Saved;
    ~TDefaultLocale() { QLocale::setDefault(Saved); }
};

TEST(FormEtikety, KeysInTheFilterMoveThroughTheList)
{
    QTemporaryDir dir;
    const TProductCatalogue catalogue = TestCatalogue(dir);
    using TKeys = std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>;
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier;
    const struct {
        const char* what;
        TKeys keys;
        const char* part;
    } cases[] = {
        {"Down to the next", {{Qt::Key_Down, none}}, "2"},
        {"Down onto a product that cannot be used", {{Qt::Key_Down, none}, {Qt::Key_Down, none}}, "3"},
        {"Up back", {{Qt::Key_Down, none}, {Qt::Key_Down, none}, {Qt::Key_Up, none}}, "2"},
        {"PageDown to the last", {{Qt::Key_PageDown, none}}, "4"},
        {"PageUp to the first", {{Qt::Key_PageDown, none}, {Qt::Key_PageUp, none}}, "1"},
        {"Ctrl+End to the last", {{Qt::Key_End, ctrl}}, "4"},
        {"Ctrl+Home to the first", {{Qt::Key_End, ctrl}, {Qt::Key_Home, ctrl}}, "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TfrmEtikety dialog(catalogue);
        Show(dialog);
        ASSERT_EQ(CurrentPart(dialog), QStringLiteral("1"));
        for (const auto& [key, modifiers] : c.keys)
            QTest::keyClick(dialog.edtFiltr, key, modifiers);
        EXPECT_EQ(CurrentPart(dialog), QString::fromUtf8(c.part));
        EXPECT_TRUE(dialog.edtFiltr->hasFocus());
        EXPECT_TRUE(dialog.edtFiltr->text().isEmpty());
        ASSERT_TRUE(dialog.lstEtikety->currentItem());
        const TLabelProduct& current = catalogue.Products[CurrentPart(dialog).toUInt() - 1];
        EXPECT_TRUE(dialog.lblDetail->text().startsWith(current.Name())) << dialog.lblDetail->text().toStdString();
        EXPECT_EQ(dialog.btnOk->isEnabled(), current.Usable());
    }
}

TEST(FormEtikety, TheLineUnderTheListDescribesTheCurrentProductOrSaysNoneMatches)
{
    QTemporaryDir dir;
    const TProductCatalogue catalogue = TestCatalogue(dir);
    const QString refusal = QStringLiteral("Nelze použít: ") + catalogue.Products[2].Refusal;
    const struct {
        const char* what;
        QString typed;
        const char* part; // "" for none
        QString detail;
        int backspaces = 0; // typed after it
    } cases[] = {
        {"its description, paper, counts and size", QStringLiteral("mal"), "2",
         QStringLiteral("T 2 – Malé. Papír A4, 3 × 10 štítků po 50 × 20 mm.")},
        {"why it cannot be used", QStringLiteral("posunut"), "3", refusal},
        {"nothing matches", QStringLiteral("a4 zzz"), "", QStringLiteral("Žádná etiketa neodpovídá hledání „a4 zzz“.")},
        {"a match again", QStringLiteral("zzz"), "1", QStringLiteral("T 1 – Adresní."), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TfrmEtikety dialog(catalogue);
        Show(dialog);
        QTest::keyClicks(dialog.edtFiltr, c.typed);
        for (int i = 0; i < c.backspaces; ++i)
            QTest::keyClick(dialog.edtFiltr, Qt::Key_Backspace);
        EXPECT_EQ(CurrentPart(dialog), QString::fromUtf8(c.part));
        EXPECT_TRUE(dialog.lblDetail->text().contains(c.detail)) << dialog.lblDetail->text().toStdString();
        const bool usable = *c.part && catalogue.Products[QString::fromUtf8(c.part).toUInt() - 1].Usable();
        EXPECT_EQ(dialog.btnOk->isEnabled(), usable);
        EXPECT_EQ(dialog.Selected() != nullptr, usable);
        QTest::keyClick(dialog.edtFiltr, Qt::Key_Return);
        EXPECT_EQ(dialog.result() == QDialog::Accepted, usable);
    }
    TfrmEtikety dialog(catalogue);
    EXPECT_TRUE(
        dialog.lstEtikety->topLevelItem(2)->toolTip(TfrmEtikety::colNote).contains(catalogue.Products[2].Refusal))
        << "the note that the column cuts";
}

TEST(FormEtikety, SizesInTheDefaultLocaleInAColumnThatFitsThem)
{
    QTemporaryDir dir;
    const TProductCatalogue catalogue = TestCatalogue(dir);
    const TDefaultLocale restore;
    const struct {
        QLocale::Language language;
        QString size;
    } cases[] = {{QLocale::C, QStringLiteral("63.99 × 38.1")}, {QLocale::Czech, QStringLiteral("63,99 × 38,1")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size.toStdString());
        QLocale::setDefault(QLocale(c.language));
        TfrmEtikety dialog(catalogue);
        Show(dialog);
        EXPECT_EQ(dialog.lstEtikety->topLevelItem(0)->text(TfrmEtikety::colSize), c.size);
        EXPECT_TRUE(dialog.lblDetail->text().contains(c.size + QStringLiteral(" mm")))
            << dialog.lblDetail->text().toStdString();
        const QAbstractItemModel* model = dialog.lstEtikety->model();
        for (int row = 0; row < model->rowCount(); ++row)
            EXPECT_GE(dialog.lstEtikety->header()->sectionSize(TfrmEtikety::colSize),
                      dialog.lstEtikety->sizeHintForIndex(model->index(row, TfrmEtikety::colSize)).width())
                << "whole in its column";
    }
}

TEST(FormEtikety, WithoutProductsNamesThePackageAndKeepsItsSize)
{
    TProductCatalogue empty;
    empty.Folders = {QStringLiteral("/home/jana/.config/diroze/templates"),
                     QStringLiteral("/usr/local/share/libglabels-3.0/templates"),
                     QStringLiteral("/usr/share/libglabels-3.0/templates")};
    TfrmEtikety dialog(empty);
    Show(dialog);
    const QString text = dialog.lblDetail->text();
    EXPECT_TRUE(text.contains(QStringLiteral("nainstalujte balíček glabels-data"))) << text.toStdString();
    EXPECT_TRUE(text.contains(empty.Folders.join(QStringLiteral(", ")))) << text.toStdString();
    EXPECT_EQ(dialog.width(), TfrmEtikety::kWidth);
    EXPECT_FALSE(dialog.btnOk->isEnabled());
}

} // namespace
