#pragma once
// "Výběr etiket": the installed label products (LabelProducts.h) in a list
// that narrows as the filter is typed (brand, part number, words of the
// description, paper). The arrow and page keys in the filter move through the
// list; the line under the list describes the current product whole, with
// the reason a product cannot be used. Enter or a double click on a usable
// product accepts, Esc cancels. Products that cannot be used are listed greyed.

#include "products/LabelProducts.h"

#include <QDialog>
#include <QLocale>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace diroze {

class TfrmEtikety : public QDialog {
public:
    // Lists aCatalogue's products, lengths written in the default locale; a
    // catalogue without products says where they were looked for and which
    // package brings them.
    explicit TfrmEtikety(TProductCatalogue aCatalogue, QWidget* aParent = nullptr);

    // Before each showing: the filter is selected and focused.
    void Prepare();
    // The chosen usable product, or nullptr.
    const TLabelProduct* Selected() const;
    const TProductCatalogue& Catalogue() const { return FCatalogue; }

    // The dialog's size before the user changes it.
    static constexpr int kWidth = 760, kHeight = 440;
    // The list's columns.
    enum TColumn { colBrand, colPart, colDescription, colPaper, colLabels, colSize, colNote };

    QLineEdit* edtFiltr = nullptr;
    QTreeWidget* lstEtikety = nullptr;
    QLabel* lblDetail = nullptr; // the current product, or why there is none
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent* aEvent) override;
    bool eventFilter(QObject* aWatched, QEvent* aEvent) override;

private:
    void FilterChanged();
    void CurrentChanged();
    void Choose();

    const TLabelProduct& ProductOf(const QTreeWidgetItem* aItem) const;

    TProductCatalogue FCatalogue;
    QLocale FLocale; // writes the lengths
};

} // namespace diroze
