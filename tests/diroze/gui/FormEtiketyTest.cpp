// "Etikety…" in the Papír panel and the dialog "Výběr etiket": a filter typed
// and Enter set the controls to the product's layout as one settings change;
// Esc leaves them as they were.

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
}

} // namespace
