#pragma once
// The system dialogs the label printer's dialog asks: message boxes, the
// print dialog, the save-preset dialog and the beep. Tests answer them
// through a subclass.

#include <QString>

#include <chrono>
#include <vector>

class QPrinter;
class QWidget;

namespace diroze {

class TfrmSave;
class TfrmEtikety;

struct TPrintChoice {
    bool Accepted = false;
    bool Range = false;     // only some pages were chosen: exactly those in Pages
    std::vector<int> Pages; // the chosen pages, from 1, in printing order
};

// What the print dialog left in aPrinter, for a document of aTotalPages:
// the page list (say "1,3" or "2-4") and the odd or even page set, as the
// exact pages to print; odd and even are the document's page numbers. The spooler's own page selection options are
// taken off the printer, since the job then holds just those pages.
TPrintChoice PrintChoiceOf(QPrinter& aPrinter, int aTotalPages);

class TDialogSeam {
public:
    virtual ~TDialogSeam() = default;
    // A question with the question icon and Yes and No; true for Yes.
    virtual bool Question(QWidget* aOwner, const QString& aCaption, const QString& aText);
    // The application's error box: caption "Tisk štítků", error icon, OK.
    virtual void Error(QWidget* aOwner, const QString& aText);
    // A warning with the same caption, the warning icon and OK.
    virtual void Warning(QWidget* aOwner, const QString& aText);
    // The system print dialog on aPrinter with pages 1 to aTotalPages.
    virtual TPrintChoice Print(QWidget* aOwner, QPrinter& aPrinter, int aTotalPages);
    // Shows the save-preset dialog modally; true for OK.
    virtual bool ExecSave(TfrmSave& aDialog);
    // Shows "Výběr etiket" modally; true when a product was chosen.
    virtual bool ExecEtikety(TfrmEtikety& aDialog);
    virtual void Beep();
    // The monotonic clock a print's progress window measures the job by.
    virtual std::chrono::milliseconds Clock();
};

// The text of the error box: a full stop is added when the last character's
// code is above that of the full stop.
QString ErrorBoxText(const QString& aMessage);

} // namespace diroze
