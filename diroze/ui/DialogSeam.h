#pragma once
// The system dialogs the label printer's dialog asks: message boxes, the
// print dialog, the save-preset dialog and the beep. Tests answer them
// through a subclass.

#include <QString>

class QPrinter;
class QWidget;

namespace diroze {

class TfrmSave;

struct TPrintChoice {
    bool Accepted = false;
    bool Range = false; // a page range was chosen
    int FromPage = 1;
    int ToPage = 1;
};

class TDialogSeam {
public:
    virtual ~TDialogSeam() = default;
    // A question with the question icon and Yes and No; true for Yes.
    virtual bool Question(QWidget* aOwner, const QString& aCaption, const QString& aText);
    // The application's error box: caption "Tisk štítků", error icon, OK.
    virtual void Error(QWidget* aOwner, const QString& aText);
    // The system print dialog on aPrinter with pages 1 to aTotalPages.
    virtual TPrintChoice Print(QWidget* aOwner, QPrinter& aPrinter, int aTotalPages);
    // Shows the save-preset dialog modally; true for OK.
    virtual bool ExecSave(TfrmSave& aDialog);
    virtual void Beep();
};

// The text of the error box: a full stop is added when the last character's
// code is above that of the full stop.
QString ErrorBoxText(const QString& aMessage);

} // namespace diroze
