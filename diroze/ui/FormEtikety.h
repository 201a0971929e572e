#pragma once
// "Výběr etiket": the installed label products (LabelProducts.h) in a list
// that narrows as the filter is typed (brand, part number, words of the
// description, paper). Enter or a double click on a usable product accepts,
// Esc cancels. Products that cannot be used are listed greyed with the reason.

#include "products/LabelProducts.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace diroze {

class TfrmEtikety : public QDialog {
public:
    // Lists aCatalogue's products; a catalogue without products shows where
    // they were looked for.
    explicit TfrmEtikety(TProductCatalogue aCatalogue, QWidget* aParent = nullptr);

    // Before each showing: the filter is selected and focused.
    void Prepare();
    // The chosen usable product, or nullptr.
    const TLabelProduct* Selected() const;
    const TProductCatalogue& Catalogue() const { return FCatalogue; }

    QLineEdit* edtFiltr = nullptr;
    QTreeWidget* lstEtikety = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent* aEvent) override;

private:
    void FilterChanged();
    void Choose();

    TProductCatalogue FCatalogue;
};

} // namespace diroze
