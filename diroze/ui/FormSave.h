#pragma once
// "Uložení předvolby": overwrite the selected preset or add a new one by name.

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace diroze {

class TDialogSeam;

class TfrmSave : public QDialog {
public:
    TfrmSave(TDialogSeam& aSeam, QWidget* aParent = nullptr);

    // Prepares for showing: with no selected preset only a new one can be
    // added; otherwise overwriting is chosen and the name field holds the
    // selected preset's name, all selected.
    void Prepare(const QString& aSelectedName, bool aHasSelection, const QStringList& aExistingNames);

    static constexpr int kClientWidth = 273, kClientHeight = 163;

    bool Overwrite() const;
    QString Name() const;

    QRadioButton* chkOverwrite = nullptr;
    QRadioButton* chkAdd = nullptr;
    QLineEdit* edtNazev = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent* aEvent) override;

private:
    void OptionChanged();
    void OkClicked();

    TDialogSeam& FSeam;
    QStringList FExistingNames;
};

} // namespace diroze
