#include "FormSave.h"

#include "DialogSeam.h"

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
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Jak chcete uložit zvolené nastavení:"), this);
    QFont larger = label->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.25);
    label->setFont(larger);
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

    auto* strip = new QFrame(this);
    strip->setFrameShape(QFrame::HLine);
    layout->addWidget(strip);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOk = new QPushButton(QStringLiteral("Uložit"), this);
    btnCancel = new QPushButton(QStringLiteral("Storno"), this);
    btnOk->setDefault(true);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    resize(273, 163);

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
    if (add)
        edtNazev->setFocus();
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
