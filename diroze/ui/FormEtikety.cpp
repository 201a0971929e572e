#include "FormEtikety.h"

#include "Widgets.h"

#include <QCoreApplication>
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

// The texts of the product's columns (TfrmEtikety::TColumn): the counts only
// for a usable product, the label size where the product gives one, the
// refusal or else the product's note.
QStringList ColumnTexts(const TLabelProduct& aProduct, const QLocale& aLocale)
{
    QStringList texts = {aProduct.Brand, aProduct.Part, aProduct.Description, aProduct.PaperName, QString(),
                         QString(),      QString()};
    if (aProduct.Usable())
        texts[TfrmEtikety::colLabels] = QStringLiteral("%1 × %2").arg(aProduct.Pocet.X).arg(aProduct.Pocet.Y);
    texts[TfrmEtikety::colNote] =
        aProduct.Usable() ? aProduct.Note : QStringLiteral("nelze použít: ") + aProduct.Refusal;
    if (aProduct.LabelWidth > 0 && aProduct.LabelHeight > 0)
        texts[TfrmEtikety::colSize] = QStringLiteral("%1 × %2").arg(MillimetreText(aProduct.LabelWidth, aLocale),
                                                                    MillimetreText(aProduct.LabelHeight, aLocale));
    return texts;
}

// aText ending with a full stop, its first letter capital when aCapital
// (a brand keeps its own spelling).
QString Sentence(QString aText, bool aCapital)
{
    if (aCapital && !aText.isEmpty())
        aText[0] = aText[0].toUpper();
    if (!aText.endsWith(u'.'))
        aText += u'.';
    return aText;
}

// "Avery L7160 – Mailing labels. Papír A4, 3 × 7 štítků po 63,99 × 38,1 mm."
// and the refusal as a sentence of its own.
QString DetailText(const TLabelProduct& aProduct, const QLocale& aLocale)
{
    const QStringList texts = ColumnTexts(aProduct, aLocale);
    QStringList sentences = {aProduct.Description.isEmpty()
                                 ? aProduct.Name()
                                 : QStringLiteral("%1 – %2").arg(aProduct.Name(), aProduct.Description)};
    QStringList sheet;
    if (!aProduct.PaperName.isEmpty())
        sheet.append(QStringLiteral("papír ") + aProduct.PaperName);
    const QString& size = texts[TfrmEtikety::colSize];
    if (!texts[TfrmEtikety::colLabels].isEmpty())
        sheet.append(size.isEmpty() ? QStringLiteral("%1 štítků").arg(texts[TfrmEtikety::colLabels])
                                    : QStringLiteral("%1 štítků po %2 mm").arg(texts[TfrmEtikety::colLabels], size));
    else if (!size.isEmpty())
        sheet.append(QStringLiteral("štítek %1 mm").arg(size));
    if (!sheet.isEmpty())
        sentences.append(sheet.join(QStringLiteral(", ")));
    if (!texts[TfrmEtikety::colNote].isEmpty())
        sentences.append(texts[TfrmEtikety::colNote]);
    for (qsizetype i = 0; i < sentences.size(); ++i)
        sentences[i] = Sentence(sentences[i], i > 0);
    return sentences.join(u' ');
}

} // namespace

TfrmEtikety::TfrmEtikety(TProductCatalogue aCatalogue, QWidget* aParent)
        : QDialog(aParent), FCatalogue(std::move(aCatalogue))
{
    // Lengths without the thousands' separator, as the dialog's fields take them.
    FLocale.setNumberOptions(FLocale.numberOptions() | QLocale::OmitGroupSeparator);
    setWindowTitle(QStringLiteral("Výběr etiket"));
    setModal(true);
    const auto [layout, strip] = MakeDialogFrame(*this);
    layout->addWidget(new QLabel(QStringLiteral("Hledat (značka, číslo, popis):"), this));
    edtFiltr = new QLineEdit(this);
    edtFiltr->installEventFilter(this);
    layout->addWidget(edtFiltr);
    lstEtikety = new QTreeWidget(this);
    lstEtikety->setRootIsDecorated(false);
    lstEtikety->setUniformRowHeights(true);
    lstEtikety->setAllColumnsShowFocus(true);
    lstEtikety->setHeaderLabels({QStringLiteral("Značka"), QStringLiteral("Číslo"), QStringLiteral("Popis"),
                                 QStringLiteral("Papír"), QStringLiteral("Štítků"), QStringLiteral("Velikost (mm)"),
                                 QStringLiteral("Poznámka")});
    layout->addWidget(lstEtikety, 1);
    // Wrapped, so that no text widens the dialog.
    lblDetail = new QLabel(this);
    lblDetail->setTextFormat(Qt::PlainText);
    lblDetail->setWordWrap(true);
    lblDetail->setMinimumHeight(2 * lblDetail->fontMetrics().lineSpacing());
    lblDetail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(lblDetail);

    const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(FCatalogue.Products.size()));
    for (size_t i = 0; i < FCatalogue.Products.size(); ++i) {
        const TLabelProduct& p = FCatalogue.Products[i];
        const QStringList texts = ColumnTexts(p, FLocale);
        auto* item = new QTreeWidgetItem(texts);
        item->setData(0, kProductRole, qulonglong(i));
        for (int column = 0; column < texts.size(); ++column) {
            item->setToolTip(column, texts[column]);
            // A product that cannot be used can be selected, to read why, but not taken.
            if (!p.Usable())
                item->setForeground(column, grey);
        }
        items.append(item);
    }
    lstEtikety->addTopLevelItems(items);
    lstEtikety->header()->resizeSection(colDescription, 200);
    lstEtikety->header()->setResizeContentsPrecision(-1);
    lstEtikety->resizeColumnToContents(colLabels);
    lstEtikety->resizeColumnToContents(colSize);

    strip->AddOkCancel(QStringLiteral("Použít"), btnOk, btnCancel);
    resize(kWidth, kHeight);

    connect(edtFiltr, &QLineEdit::textChanged, this, [this] { FilterChanged(); });
    connect(lstEtikety, &QTreeWidget::currentItemChanged, this, [this] { CurrentChanged(); });
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

const TLabelProduct& TfrmEtikety::ProductOf(const QTreeWidgetItem* aItem) const
{
    return FCatalogue.Products[aItem->data(0, kProductRole).toULongLong()];
}

void TfrmEtikety::FilterChanged()
{
    const QString filter = edtFiltr->text();
    QTreeWidgetItem *firstShown = nullptr, *firstUsable = nullptr;
    for (int i = 0; i < lstEtikety->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstEtikety->topLevelItem(i);
        const TLabelProduct& p = ProductOf(item);
        const bool shown = ProductMatches(p, filter);
        item->setHidden(!shown);
        if (shown && !firstShown)
            firstShown = item;
        if (shown && !firstUsable && p.Usable())
            firstUsable = item;
    }
    // Enter takes the first usable match unless a usable one is current;
    // when none is usable, the first match shows why.
    if (QTreeWidgetItem* current = lstEtikety->currentItem();
        !current || current->isHidden() || !ProductOf(current).Usable())
        lstEtikety->setCurrentItem(firstUsable ? firstUsable : firstShown);
    CurrentChanged();
}

void TfrmEtikety::CurrentChanged()
{
    const QTreeWidgetItem* item = lstEtikety->currentItem();
    if (FCatalogue.Products.empty())
        lblDetail->setText(QStringLiteral("Nejsou nainstalované žádné šablony etiket (hledáno v %1; nainstalujte "
                                          "balíček glabels-data).")
                               .arg(FCatalogue.Folders.join(QStringLiteral(", "))));
    else if (!item || item->isHidden())
        lblDetail->setText(QStringLiteral("Žádná etiketa neodpovídá hledání „%1“.").arg(edtFiltr->text().simplified()));
    else
        lblDetail->setText(DetailText(ProductOf(item), FLocale));
    btnOk->setEnabled(Selected() != nullptr);
}

const TLabelProduct* TfrmEtikety::Selected() const
{
    const QTreeWidgetItem* item = lstEtikety->currentItem();
    if (!item || item->isHidden())
        return nullptr;
    const TLabelProduct& p = ProductOf(item);
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

bool TfrmEtikety::eventFilter(QObject* aWatched, QEvent* aEvent)
{
    // The keys that move through the list do so from the filter, which keeps
    // the focus; Home and End with Ctrl, as without it they move the cursor
    // in the filter.
    if (aWatched != edtFiltr || aEvent->type() != QEvent::KeyPress)
        return QDialog::eventFilter(aWatched, aEvent);
    auto* key = static_cast<QKeyEvent*>(aEvent);
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        QCoreApplication::sendEvent(lstEtikety, key);
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (key->modifiers() & Qt::ControlModifier) {
            QKeyEvent plain(QEvent::KeyPress, key->key(), Qt::NoModifier);
            QCoreApplication::sendEvent(lstEtikety, &plain);
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(aWatched, aEvent);
}

} // namespace diroze
