#include "FormEtikety.h"

#include "Widgets.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace diroze {

namespace {

constexpr int kProductRole = Qt::UserRole;

} // namespace

TfrmEtikety::TfrmEtikety(TProductCatalogue aCatalogue, QWidget* aParent)
        : QDialog(aParent), FCatalogue(std::move(aCatalogue))
{
    setWindowTitle(QStringLiteral("Výběr etiket"));
    setModal(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(9, 9, 9, 6);
    outer->addLayout(layout, 1);
    layout->addWidget(new QLabel(QStringLiteral("Hledat (značka, číslo, popis):"), this));
    edtFiltr = new QLineEdit(this);
    layout->addWidget(edtFiltr);
    lstEtikety = new QTreeWidget(this);
    lstEtikety->setRootIsDecorated(false);
    lstEtikety->setUniformRowHeights(true);
    lstEtikety->setAllColumnsShowFocus(true);
    lstEtikety->setHeaderLabels({QStringLiteral("Značka"), QStringLiteral("Číslo"), QStringLiteral("Popis"),
                                 QStringLiteral("Papír"), QStringLiteral("Štítků"), QStringLiteral("Velikost (mm)"),
                                 QStringLiteral("Poznámka")});
    layout->addWidget(lstEtikety, 1);
    if (FCatalogue.Products.empty())
        layout->addWidget(new QLabel(QStringLiteral("Nejsou nainstalované žádné šablony etiket (hledáno v %1).")
                                         .arg(FCatalogue.Folders.join(QStringLiteral(", "))),
                                     this));

    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(FCatalogue.Products.size()));
    for (size_t i = 0; i < FCatalogue.Products.size(); ++i) {
        const TLabelProduct& p = FCatalogue.Products[i];
        // The fields of the listing line, tab-separated, are the columns.
        auto* item = new QTreeWidgetItem(DescribeProduct(p).split(u'\t'));
        item->setData(0, kProductRole, qulonglong(i));
        if (!p.Usable())
            item->setFlags(Qt::NoItemFlags);
        items.append(item);
    }
    lstEtikety->addTopLevelItems(items);
    lstEtikety->header()->resizeSection(2, 200);

    auto* strip = new TButtonStrip(this);
    strip->AddOkCancel(QStringLiteral("Použít"), btnOk, btnCancel);
    outer->addWidget(strip);
    resize(760, 440);

    connect(edtFiltr, &QLineEdit::textChanged, this, [this] { FilterChanged(); });
    connect(lstEtikety, &QTreeWidget::itemDoubleClicked, this, [this] { Choose(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { Choose(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FilterChanged();
}

void TfrmEtikety::Prepare()
{
    edtFiltr->setFocus();
    edtFiltr->selectAll();
}

void TfrmEtikety::FilterChanged()
{
    const QString filter = edtFiltr->text();
    QTreeWidgetItem* first = nullptr;
    for (int i = 0; i < lstEtikety->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstEtikety->topLevelItem(i);
        const TLabelProduct& p = FCatalogue.Products[item->data(0, kProductRole).toULongLong()];
        const bool shown = ProductMatches(p, filter);
        item->setHidden(!shown);
        if (shown && !first && p.Usable())
            first = item;
    }
    // The first usable match is the one Enter takes.
    if (QTreeWidgetItem* current = lstEtikety->currentItem(); !current || current->isHidden() || !first)
        lstEtikety->setCurrentItem(first);
}

const TLabelProduct* TfrmEtikety::Selected() const
{
    const QTreeWidgetItem* item = lstEtikety->currentItem();
    if (!item || item->isHidden())
        return nullptr;
    const TLabelProduct& p = FCatalogue.Products[item->data(0, kProductRole).toULongLong()];
    return p.Usable() ? &p : nullptr;
}

void TfrmEtikety::Choose()
{
    if (Selected())
        accept();
}

void TfrmEtikety::keyPressEvent(QKeyEvent* aEvent)
{
    if (aEvent->key() == Qt::Key_Return || aEvent->key() == Qt::Key_Enter)
        return Choose();
    QDialog::keyPressEvent(aEvent);
}

} // namespace diroze
