#pragma once
// "Tisk štítků": the settings column, the preview and the preset row. The
// dialog only wires widgets to the core: the settings are read into the
// controls' values (TPapirControls) and from there into a TPapir, presets are
// kept by TPresets, and the sheets are drawn by Render into the preview.

#include "ConfigFiles.h"
#include "DataFile.h"
#include "Papir.h"
#include "Presets.h"
#include "Render.h"

#include <QDialog>

#include <functional>
#include <map>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;

namespace hostutils {
class TParamParser;
}

namespace diroze {

class TBalloonHint;
class TCategoryPanel;
class TDialogSeam;
class TFormAdapter;
class TPrintPreviewView;
class TSpinEdit;
class TfrmSave;
class TfrmEtikety;

class TfrmHlavni : public QDialog {
public:
    // aFiles: the presets file and the printer file to use.
    TfrmHlavni(TDialogSeam& aSeam, const hostutils::TParamParser& aParams, const TConfigFiles& aFiles,
               QWidget* aParent = nullptr);
    // Both files in aDir (with a trailing "/").
    TfrmHlavni(TDialogSeam& aSeam, const hostutils::TParamParser& aParams, const QString& aDir,
               QWidget* aParent = nullptr)
            : TfrmHlavni(aSeam, aParams, ConfigFilesIn(aDir), aParent)
    {
    }
    ~TfrmHlavni() override;

    // The start-up: panels, printer, lists, labels, presets. A failing step
    // ends it with the error box; the dialog stays usable.
    void FormCreate();

    // Every settings change reaches the preview here; aCounts marks the settings changed.
    void UpdatePreview(bool aCounts);
    // Reads the controls; shows the balloon and answers false for an invalid value.
    bool TryReadPapir(TPapir& aPapir);
    TPapir ReadPapir();
    // The controls' values, and filling the controls from values (all but
    // the start cell, which presets do not keep).
    TPapirControls Controls() const;
    void SetControls(const TPapirControls& aControls);

    void lstFormatChange();
    void lstPredvolbyChange(QObject* aSender);
    void ApplyPreset(QDomElement aPreset);
    // "Etikety…": the chosen label product's paper and grid, as a settings change.
    void btnEtiketyClick();
    void StorePreset(QDomElement aPreset);
    void btnSaveClick();
    void btnDeleteClick();
    void btnOkClick();

    bool Changed() const { return FChanged; }
    const TStitekList& Labels() const { return FDiroze; }
    TPresets& Presets() { return FPresets; }
    TPrintPreviewView& Nahled() { return *FNahled; }
    TBalloonHint& Balloon() { return *balError; }
    TfrmSave& SaveDialog() { return *FSave; }
    QWidget* ControlWidget(TSettingsControl aControl) const;
    // The preset the list shows as selected, or a null element.
    QDomElement SelectedPreset() const;
    // The panel that holds a control.
    TCategoryPanel* PanelOf(QWidget* aControl) const;

    // --- controls, by the names the settings use ---
    QComboBox* lstFormat = nullptr;
    QRadioButton* chkPortrait = nullptr;
    QRadioButton* chkLandScape = nullptr;
    QLineEdit *edtWidth = nullptr, *edtHeight = nullptr, *edtMarginX = nullptr, *edtMarginY = nullptr;
    TSpinEdit *edtPocetX = nullptr, *edtPocetY = nullptr, *edtFirstX = nullptr, *edtFirstY = nullptr;
    QLineEdit *edtSpaceX = nullptr, *edtSpaceY = nullptr, *edtPaddingX = nullptr, *edtPaddingY = nullptr;
    QComboBox *lstFont = nullptr, *lstFontSize = nullptr, *lstAlignment = nullptr;
    QListWidget* lstRadky = nullptr;
    QComboBox* lstPredvolby = nullptr;
    QToolButton *btnSave = nullptr, *btnDelete = nullptr;
    QPushButton* btnEtikety = nullptr;
    QLabel* lblStitek = nullptr; // a product's label size, while the layout keeps it
    QPushButton *btnOk = nullptr, *btnCancel = nullptr;
    TCategoryPanel *panPapir = nullptr, *panStitky = nullptr, *panPismo = nullptr;
    QScrollArea* panSettings = nullptr;

protected:
    void closeEvent(QCloseEvent* aEvent) override;

private:
    void BuildControls();
    // The settings column's panels, each added to aColumn's layout.
    void BuildPapirPanel(QWidget* aColumn);
    void BuildStitkyPanel(QWidget* aColumn);
    void BuildPismoPanel(QWidget* aColumn);
    // The preset row and the buttons.
    QWidget* BuildPresetStrip();
    void ShowDialogDefaults();
    // The text of a text setting's control: a line's, or a list's edit text.
    QString Text(TSettingsControl aControl) const;
    void SetText(TSettingsControl aControl, const QString& aText);
    void WireEvents();
    // Runs an event handler; an escaping failure goes to the error box.
    void Guard(const std::function<void()>& aHandler);
    void AddPresetItem(const QString& aName, const QDomElement& aPreset);
    void SelectPresetItem(int aIndex);
    void RenderPreview(const TPapir& aPapir);
    void ShowStitek();

    TDialogSeam& FSeam;
    const hostutils::TParamParser& FParams;
    TConfigFiles FFiles;
    bool FChanged = false;
    bool FChangeLock = false;
    TPoint FStitek; // the label size of the product last chosen, 0 × 0 for none
    TStitekList FDiroze;
    TPlacedSymbols FPrintedSymbols; // of the sheets rendered for printing
    QString FUnprintableNote;       // of the job being printed
    TPresets FPresets;
    std::map<int, QDomElement> FPresetElements; // by the item's id
    int FNextPresetId = 1;
    TPrintPreviewView* FNahled = nullptr;
    TBalloonHint* balError = nullptr;
    std::unique_ptr<TfrmSave> FSave;
    TfrmEtikety* FEtikety = nullptr; // made at the first "Etikety…", a child of the dialog
    std::unique_ptr<TFormAdapter> FormAdapter1;
};

// Closes its dialog on Esc before any of the dialog's controls sees the key.
class TFormAdapter : public QObject {
public:
    explicit TFormAdapter(QWidget& aForm);
    ~TFormAdapter() override;

protected:
    bool eventFilter(QObject* aWatched, QEvent* aEvent) override;

private:
    QWidget& FForm;
};

} // namespace diroze
