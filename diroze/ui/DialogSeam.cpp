#include "DialogSeam.h"

#include "FormSave.h"

#include <QApplication>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace diroze {

QString ErrorBoxText(const QString& aMessage)
{
    if (!aMessage.isEmpty() && aMessage.back().unicode() > u'.')
        return aMessage + u'.';
    return aMessage;
}

bool TDialogSeam::Question(QWidget* aOwner, const QString& aCaption, const QString& aText)
{
    return QMessageBox::question(aOwner, aCaption, aText, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TDialogSeam::Error(QWidget* aOwner, const QString& aText)
{
    QMessageBox::critical(aOwner, QStringLiteral("Tisk štítků"), ErrorBoxText(aText));
}

TPrintChoice TDialogSeam::Print(QWidget* aOwner, QPrinter& aPrinter, int aTotalPages)
{
    QPrintDialog dialog(&aPrinter, aOwner);
    dialog.setMinMax(1, aTotalPages);
    dialog.setFromTo(1, aTotalPages);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    TPrintChoice choice;
    choice.Accepted = dialog.exec() == QDialog::Accepted;
    choice.Range = aPrinter.printRange() == QPrinter::PageRange;
    choice.FromPage = dialog.fromPage();
    choice.ToPage = dialog.toPage();
    return choice;
}

bool TDialogSeam::ExecSave(TfrmSave& aDialog) { return aDialog.exec() == QDialog::Accepted; }

void TDialogSeam::Beep() { QApplication::beep(); }

} // namespace diroze
