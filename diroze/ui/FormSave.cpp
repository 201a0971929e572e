#include "FormSave.h"

#include "DialogSeam.h"
#include "Widgets.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace diroze {

namespace {

QString TrimControl(const QString& aText)
{
    qsizetype from = 0, to = aText.size();
    while (from < to && aText[from].unicode() <= 32)
        ++from;
    while (to > from && aText[to - 1].unicode() <= 32)
        --to;
    return aText.mid(from, to - from);
}

} // namespace

TfrmSave::TfrmSave(TDialogSeam& aSeam, QWidget* aParent) : QDialog(aParent), FSeam(aSeam)
{
    setWindowTitle(QStringLiteral("Uložení předvolby"));
    setModal(true);
    const auto [layout, strip] = MakeDialogFrame(*this);
    auto* label = new QLabel(QStringLiteral("Jak chcete uložit zvolené nastavení:"), this);
    QFont larger = label->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.25);
    label->setFont(larger);
    label->setWordWrap(true);
    chkOverwrite = new QRadioButton(QStringLiteral("přepsat vybranou předvolbu"), this);
    chkAdd = new QRadioButton(QStringLiteral("vytvořit novou předvolbu"), this);
    edtNazev = new QLineEdit(this);
    auto* indented = new QHBoxLayout;
    indented->addSpacing(20);
    indented->addWidget(edtNazev);
    layout->addWidget(label);
    layout->addWidget(chkOverwrite);
    layout->addWidget(chkAdd);
    layout->addLayout(indented);
    layout->addStretch();

    // The buttons on the white strip of the main dialog.
    strip->AddOkCancel(QStringLiteral("Uložit"), btnOk, btnCancel);
    // A fixed dialog border: the client area never changes.
    setFixedSize(kClientWidth, kClientHeight);

    connect(chkOverwrite, &QRadioButton::toggled, this, [this] { OptionChanged(); });
    connect(chkAdd, &QRadioButton::toggled, this, [this] { OptionChanged(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { OkClicked(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmSave::Prepare(const QString& aSelectedName, bool aHasSelection, const QStringList& aExistingNames)
{
    FExistingNames = aExistingNames;
    edtNazev->setEnabled(false);
    if (!aHasSelection) {
        chkOverwrite->setEnabled(false);
        edtNazev->clear();
        chkAdd->setChecked(true);
        edtNazev->setEnabled(true);
        edtNazev->setFocus();
    } else {
        chkOverwrite->setEnabled(true);
        edtNazev->setText(aSelectedName);
        edtNazev->selectAll();
        chkOverwrite->setChecked(true);
        edtNazev->setEnabled(false);
    }
}

void TfrmSave::OptionChanged()
{
    const bool add = chkAdd->isChecked();
    edtNazev->setEnabled(add);
    if (add) {
        // The whole name is selected, so typing replaces it.
        edtNazev->setFocus();
        edtNazev->selectAll();
    }
}

void TfrmSave::OkClicked()
{
    if (chkOverwrite->isChecked())
        return accept();
    if (TrimControl(edtNazev->text()).isEmpty())
        return FSeam.Beep();
    for (const QString& name : FExistingNames)
        if (name.compare(edtNazev->text(), Qt::CaseInsensitive) == 0)
            return FSeam.Error(this, QStringLiteral("Předvolba se zvoleným názvem již existuje."));
    accept();
}

bool TfrmSave::Overwrite() const { return chkOverwrite->isChecked(); }

QString TfrmSave::Name() const { return edtNazev->text(); }

void TfrmSave::keyPressEvent(QKeyEvent* aEvent)
{
    if (aEvent->key() == Qt::Key_Escape)
        return; // Esc does nothing here
    QDialog::keyPressEvent(aEvent);
}

} // namespace diroze
