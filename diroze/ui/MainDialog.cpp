#include "MainDialog.h"

#include "DialogSeam.h"
#include "Fonts.h"
#include "FormEtikety.h"
#include "FormSave.h"
#include "ParamParser.h"
#include "PrintProgress.h"
#include "PrinterIni.h"
#include "Render.h"
#include "SymbolModules.h"
#include "UnprintableArea.h"
#include "ScopeGuard.h"
#include "UtilsString.h"
#include "Widgets.h"
#include "preview/PreviewView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

namespace diroze {

namespace {

QLabel* Caption(const QString& aText, QWidget* aParent, bool aGrey = false)
{
    auto* label = new QLabel(aText, aParent);
    // A caption wider than the settings column takes a second line.
    label->setWordWrap(true);
    if (aGrey) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Qt::gray);
        label->setPalette(p);
        QFont small = label->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        label->setFont(small);
    }
    return label;
}

QLineEdit* LengthEdit(QWidget* aParent)
{
    auto* edit = new QLineEdit(aParent);
    edit->setAlignment(Qt::AlignRight);
    edit->setMaximumWidth(70);
    return edit;
}

// A unit or a sign between fields: one short word that never wraps.
QLabel* Sign(const QString& aText, QWidget* aParent)
{
    QLabel* sign = Caption(aText, aParent);
    sign->setWordWrap(false);
    return sign;
}

// The settings grids: the X fields in column 0, the sign "X" in column 1,
// the Y fields with their unit in column 2; the two field columns share
// the width, so that the panel fits the settings column with or without
// its scroll bar.
QGridLayout* SettingsGrid(QWidget* aContent)
{
    auto* grid = new QGridLayout(aContent);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(4);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    return grid;
}

// A field followed by "mm", left-aligned.
QHBoxLayout* WithMillimetres(QWidget* aField)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(aField, 1);
    row->addWidget(Sign(QStringLiteral("mm"), aField->parentWidget()));
    return row;
}

// A row "caption  X-field  X  Y-field  mm" in a grid of the settings.
void AddPair(QGridLayout* aGrid, int aRow, const QString& aCaption, QWidget* aX, QWidget* aY, bool aMillimetres)
{
    QWidget* parent = aGrid->parentWidget();
    aGrid->addWidget(Caption(aCaption, parent), aRow, 0, 1, 3);
    aGrid->addWidget(aX, aRow + 1, 0);
    auto* times = Sign(QStringLiteral("X"), parent);
    times->setAlignment(Qt::AlignCenter);
    aGrid->addWidget(times, aRow + 1, 1);
    if (aMillimetres)
        aGrid->addLayout(WithMillimetres(aY), aRow + 1, 2);
    else
        aGrid->addWidget(aY, aRow + 1, 2);
}

// A row "caption  field  mm" in a grid of the settings.
void AddSingle(QGridLayout* aGrid, int aRow, const QString& aCaption, QWidget* aField)
{
    aGrid->addWidget(Caption(aCaption, aGrid->parentWidget()), aRow, 0, 1, 3);
    aGrid->addLayout(WithMillimetres(aField), aRow + 1, 0);
}

void AddAxisHeadings(QGridLayout* aGrid, int aRow)
{
    QWidget* parent = aGrid->parentWidget();
    aGrid->addWidget(Caption(QStringLiteral("vodorovně"), parent, true), aRow, 0);
    aGrid->addWidget(Caption(QStringLiteral("svisle"), parent, true), aRow, 2);
}

} // namespace

TfrmHlavni::TfrmHlavni(TDialogSeam& aSeam, const hostutils::TParamParser& aParams, const TConfigFiles& aFiles,
                       QWidget* aParent)
        : QDialog(aParent), FSeam(aSeam), FParams(aParams), FFiles(aFiles)
{
    setWindowTitle(QStringLiteral("Tisk štítků"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    resize(505, 409);
    BuildControls();
    WireEvents();
    FSave = std::make_unique<TfrmSave>(FSeam, this);
    FormAdapter1 = std::make_unique<TFormAdapter>(*this);
}

TfrmHlavni::~TfrmHlavni() = default;

void TfrmHlavni::BuildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* top = new QHBoxLayout;
    top->setContentsMargins(3, 3, 3, 5);
    outer->addLayout(top, 1);

    panSettings = new QScrollArea(this);
    // Its controls are the Tab stops; it scrolls to the one with the focus.
    panSettings->setFocusPolicy(Qt::NoFocus);
    panSettings->setFixedWidth(230);
    panSettings->setWidgetResizable(true);
    panSettings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* column = new QWidget(panSettings);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    panSettings->setWidget(column);
    top->addWidget(panSettings);
    BuildPapirPanel(column);
    BuildStitkyPanel(column);
    BuildPismoPanel(column);
    columnLayout->addStretch();

    FNahled = new TPrintPreviewView(this);
    top->addWidget(FNahled, 1);
    outer->addWidget(BuildPresetStrip());

    balError = new TBalloonHint(this);
    ShowDialogDefaults();
}

void TfrmHlavni::BuildPapirPanel(QWidget* aColumn)
{
    panPapir = new TCategoryPanel(QStringLiteral("Papír"), aColumn);
    QGridLayout* papir = SettingsGrid(panPapir->Content());
    papir->addWidget(Caption(QStringLiteral("Formát:"), panPapir->Content()), 0, 0, 1, 2);
    // The list takes the row, so that "Vlastní formát..." shows whole; the
    // products' button stands beside the caption.
    lstFormat = new TDropDown(panPapir->Content());
    papir->addWidget(lstFormat, 1, 0, 1, 3);
    btnEtikety = new QPushButton(QStringLiteral("Etikety…"), panPapir->Content());
    papir->addWidget(btnEtikety, 0, 2);
    connect(btnEtikety, &QPushButton::clicked, this, [this] { Guard([this] { btnEtiketyClick(); }); });
    chkPortrait = new QRadioButton(QStringLiteral("na výšku"), panPapir->Content());
    chkLandScape = new QRadioButton(QStringLiteral("na šířku"), panPapir->Content());
    chkPortrait->setChecked(true);
    papir->addWidget(chkPortrait, 2, 0, 1, 2);
    papir->addWidget(chkLandScape, 2, 2);
    AddAxisHeadings(papir, 3);
    edtWidth = LengthEdit(panPapir->Content());
    edtHeight = LengthEdit(panPapir->Content());
    edtWidth->setEnabled(false);
    edtHeight->setEnabled(false);
    AddPair(papir, 4, QStringLiteral("Velikost:"), edtWidth, edtHeight, true);
    edtMarginX = LengthEdit(panPapir->Content());
    edtMarginY = LengthEdit(panPapir->Content());
    AddPair(papir, 6, QStringLiteral("Okraje:"), edtMarginX, edtMarginY, true);
    aColumn->layout()->addWidget(panPapir);
}

void TfrmHlavni::BuildStitkyPanel(QWidget* aColumn)
{
    panStitky = new TCategoryPanel(QStringLiteral("Štítky"), aColumn);
    QGridLayout* stitky = SettingsGrid(panStitky->Content());
    AddAxisHeadings(stitky, 0);
    edtPocetX = new TSpinEdit(1, 1000, panStitky->Content());
    edtPocetY = new TSpinEdit(1, 1000, panStitky->Content());
    AddPair(stitky, 1, QStringLiteral("Počet štítků:"), edtPocetX, edtPocetY, false);
    edtSpaceX = LengthEdit(panStitky->Content());
    AddSingle(stitky, 3, QStringLiteral("Vodorovná mezera mezi štítky:"), edtSpaceX);
    edtSpaceY = LengthEdit(panStitky->Content());
    AddSingle(stitky, 5, QStringLiteral("Svislá mezera mezi štítky:"), edtSpaceY);
    edtPaddingX = LengthEdit(panStitky->Content());
    edtPaddingY = LengthEdit(panStitky->Content());
    AddPair(stitky, 7, QStringLiteral("Vnitřní okraje:"), edtPaddingX, edtPaddingY, true);
    edtFirstX = new TSpinEdit(1, 1000, panStitky->Content());
    edtFirstY = new TSpinEdit(1, 1000, panStitky->Content());
    for (TSpinEdit* spin : {edtPocetX, edtPocetY, edtFirstX, edtFirstY})
        spin->setMaximumWidth(std::max(70, spin->sizeHint().width()));
    AddPair(stitky, 9, QStringLiteral("Začít tisknout od štítku:"), edtFirstX, edtFirstY, false);
    lblStitek = Caption(QString(), panStitky->Content());
    lblStitek->setObjectName(QStringLiteral("lblStitek"));
    stitky->addWidget(lblStitek, 11, 0, 1, 3);
    ShowStitek();
    aColumn->layout()->addWidget(panStitky);
}

void TfrmHlavni::BuildPismoPanel(QWidget* aColumn)
{
    panPismo = new TCategoryPanel(QStringLiteral("Písmo"), aColumn);
    auto* pismo = new QVBoxLayout(panPismo->Content());
    pismo->setContentsMargins(4, 4, 4, 4);
    pismo->addWidget(Caption(QStringLiteral("Font:"), panPismo->Content()));
    lstFont = new TDropDown(panPismo->Content());
    lstFont->setEditable(true);
    lstFont->setInsertPolicy(QComboBox::NoInsert);
    TakeWheelOnlyWithFocus(lstFont); // its edit, too
    pismo->addWidget(lstFont);
    pismo->addWidget(Caption(QStringLiteral("Velikost:"), panPismo->Content()));
    lstFontSize = new TDropDown(panPismo->Content());
    lstFontSize->setEditable(true);
    lstFontSize->setInsertPolicy(QComboBox::NoInsert);
    TakeWheelOnlyWithFocus(lstFontSize);
    for (int size : {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 20, 22, 24, 26, 28, 32, 36, 40})
        lstFontSize->addItem(QString::number(size));
    pismo->addWidget(lstFontSize);
    pismo->addWidget(Caption(QStringLiteral("Zarovnání:"), panPismo->Content()));
    lstAlignment = new TDropDown(panPismo->Content());
    lstAlignment->addItems({QStringLiteral("vlevo"), QStringLiteral("vpravo"), QStringLiteral("na střed")});
    lstAlignment->setCurrentIndex(0);
    pismo->addWidget(lstAlignment);
    pismo->addWidget(Caption(QStringLiteral("Zvýraznit vybrané řádky:"), panPismo->Content()));
    lstRadky = new QListWidget(panPismo->Content());
    lstRadky->setMinimumHeight(80);
    pismo->addWidget(lstRadky);
    aColumn->layout()->addWidget(panPismo);
}

QWidget* TfrmHlavni::BuildPresetStrip()
{
    // The preset row and the buttons on a white strip.
    auto* strip = new TButtonStrip(this);
    QHBoxLayout* row = strip->Row();
    row->addWidget(Sign(QStringLiteral("Uložené předvolby:"), strip));
    // Long preset names do not widen the dialog: the closed list elides them.
    lstPredvolby = new TDropDown(strip);
    row->addWidget(lstPredvolby, 1);
    btnSave = new QToolButton(strip);
    btnSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    btnSave->setToolTip(QStringLiteral("Uložit zvolené nastavení jako předvolbu..."));
    btnSave->setAutoRaise(true);
    btnDelete = new QToolButton(strip);
    btnDelete->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    btnDelete->setToolTip(QStringLiteral("Odstranit vybranou předvolbu"));
    btnDelete->setAutoRaise(true);
    btnDelete->setEnabled(false);
    row->addWidget(btnSave);
    row->addWidget(btnDelete);
    row->addSpacing(12);
    btnOk = new QPushButton(QStringLiteral("Tisknout"), strip);
    btnCancel = new QPushButton(QStringLiteral("Zavřít"), strip);
    btnOk->setFixedSize(75, 25);
    btnCancel->setFixedSize(75, 25);
    btnOk->setDefault(true);
    btnOk->setAutoDefault(true);
    row->addWidget(btnOk);
    row->addWidget(btnCancel);
    return strip;
}

void TfrmHlavni::ShowDialogDefaults()
{
    // A list that offers the text selects that item.
    const TPapirControls defaults;
    for (const TTextSetting& s : kTextSettings) {
        const QString& text = defaults.*s.Text;
        auto* list = qobject_cast<QComboBox*>(ControlWidget(s.Control));
        if (list && list->findText(text) >= 0)
            list->setCurrentIndex(list->findText(text));
        else
            SetText(s.Control, text);
    }
}

QString TfrmHlavni::Text(TSettingsControl aControl) const
{
    QWidget* control = ControlWidget(aControl);
    if (auto* list = qobject_cast<QComboBox*>(control))
        return list->currentText();
    return static_cast<QLineEdit*>(control)->text();
}

void TfrmHlavni::SetText(TSettingsControl aControl, const QString& aText)
{
    QWidget* control = ControlWidget(aControl);
    if (auto* list = qobject_cast<QComboBox*>(control))
        list->setEditText(aText);
    else
        static_cast<QLineEdit*>(control)->setText(aText);
}

void TfrmHlavni::WireEvents()
{
    auto change = [this](bool aCounts) {
        return [this, aCounts] { Guard([this, aCounts] { UpdatePreview(aCounts); }); };
    };
    connect(lstFormat, &QComboBox::currentIndexChanged, this, [this] { Guard([this] { lstFormatChange(); }); });
    for (QRadioButton* radio : {chkPortrait, chkLandScape})
        connect(radio, &QRadioButton::toggled, this, [this](bool aOn) {
            if (aOn)
                Guard([this] { lstFormatChange(); });
        });
    // Margins, gaps and counts typed by hand share the sheet out again: a
    // product's label size goes (before the preview sees the change).
    for (QLineEdit* edit : {edtMarginX, edtMarginY, edtSpaceX, edtSpaceY, static_cast<QLineEdit*>(edtPocetX),
                            static_cast<QLineEdit*>(edtPocetY)})
        connect(edit, &QLineEdit::textChanged, this, [this] {
            if (!FChangeLock && FStitek != TPoint{}) {
                FStitek = {};
                ShowStitek();
            }
        });
    // A change counts when presets keep the setting.
    for (const TTextSetting& s : kTextSettings) {
        QWidget* control = ControlWidget(s.Control);
        if (auto* list = qobject_cast<QComboBox*>(control))
            connect(list, &QComboBox::editTextChanged, this, change(s.Element != nullptr));
        else
            connect(static_cast<QLineEdit*>(control), &QLineEdit::textChanged, this, change(s.Element != nullptr));
    }
    connect(lstAlignment, &QComboBox::currentIndexChanged, this, change(true));
    connect(lstRadky, &QListWidget::itemChanged, this, change(true));
    for (TCategoryPanel* panel : {panPapir, panStitky, panPismo}) {
        panel->OnExpand = [this] { balError->HideHint(); };
        panel->OnCollapse = [this] { balError->HideHint(); };
    }
    connect(lstPredvolby, &QComboBox::activated, this, [this] { Guard([this] { lstPredvolbyChange(lstPredvolby); }); });
    connect(btnSave, &QToolButton::clicked, this, [this] { Guard([this] { btnSaveClick(); }); });
    connect(btnDelete, &QToolButton::clicked, this, [this] { Guard([this] { btnDeleteClick(); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { Guard([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
}

void TfrmHlavni::Guard(const std::function<void()>& aHandler)
{
    try {
        aHandler();
    } catch (const EPresetValue& e) {
        FSeam.Error(this, FPresets.Path() + QStringLiteral(": ") + hostutils::MessageText(e));
    } catch (const std::exception& e) {
        FSeam.Error(this, hostutils::MessageText(e));
    }
}

void TfrmHlavni::FormCreate()
{
    try {
        for (TCategoryPanel* panel : {panPapir, panStitky, panPismo})
            panel->SetCollapsed(true);

        const QString printer = PrinterFromIni(FFiles.PrinterIni, QPrinterInfo::availablePrinterNames());
        if (!printer.isEmpty())
            FNahled->Printer().setPrinterName(printer);
        FNahled->OnPrinterCalibration = PrinterCalibrationsFromFile(FFiles.PrinterIni);
        // A symbol too small for the printer chosen stops the job before
        // the spooler has any of it; the error box says which.
        FNahled->OnCheckPrinterJob = [this](const TPrinterJobPage& aPage) {
            CheckSymbolModules(FPrintedSymbols, aPage);
            FUnprintableNote = UnprintableNote(*FNahled, aPage);
        };

        FDiroze.clear();
        FChangeLock = false;
        {
            const QSignalBlocker blockFormat(lstFormat), blockRadky(lstRadky), blockFont(lstFont);
            for (TPaperType type : OfferedPaperFormats)
                lstFormat->addItem(PaperFormatName(type), int(type));
            lstFormat->setCurrentIndex(-1);
            for (int i = 1; i <= kLineCount; ++i) {
                auto* item = new QListWidgetItem(QStringLiteral("%1. řádek pod čárovým kódem").arg(i), lstRadky);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(Qt::Unchecked);
            }
            const QString fontText = lstFont->currentText();
            lstFont->addItems(InstalledFontNames());
            lstFont->setCurrentIndex(-1);
            lstFont->setEditText(fontText);
        }

        const TStitekOptions options = DefaultOptionsFromParams(FParams);
        lstRadky->setEnabled(!options.Contains(soOverrideStyle));
        LoadFile(FDiroze, FParams.GetArgument(QString()), options, FParams);

        FPresets.Load(FFiles.Presets, FFiles.PresetsSeed);
        QDomElement marked;
        {
            const QSignalBlocker block(lstPredvolby);
            // A mark that cannot be read is reported once every preset is
            // listed; the list then selects none (adding items selected the first).
            std::exception_ptr badMark;
            for (const QDomElement& preset : FPresets.Elements()) {
                AddPresetItem(TPresets::Name(preset), preset);
                try {
                    if (TPresets::BoolAttribute(preset, QStringLiteral("vybrana"), QStringLiteral("false")))
                        marked = preset;
                } catch (const EPresetValue&) {
                    if (!badMark)
                        badMark = std::current_exception();
                }
            }
            lstPredvolby->setCurrentIndex(-1);
            if (badMark)
                std::rethrow_exception(badMark);
            for (int i = 0; i < lstPredvolby->count(); ++i)
                if (FPresetElements[lstPredvolby->itemData(i).toInt()] == marked && !marked.isNull())
                    lstPredvolby->setCurrentIndex(i);
        }
        lstPredvolbyChange(nullptr);
    } catch (const EPresetValue& e) {
        FSeam.Error(this, FPresets.Path() + QStringLiteral(": ") + hostutils::MessageText(e));
    } catch (const std::exception& e) {
        FSeam.Error(this, hostutils::MessageText(e));
    }
}

void TfrmHlavni::AddPresetItem(const QString& aName, const QDomElement& aPreset)
{
    int at = 0;
    while (at < lstPredvolby->count() && lstPredvolby->itemText(at).compare(aName, Qt::CaseInsensitive) <= 0)
        ++at;
    const int id = FNextPresetId++;
    FPresetElements[id] = aPreset;
    lstPredvolby->insertItem(at, aName, id);
}

QDomElement TfrmHlavni::SelectedPreset() const
{
    const int index = lstPredvolby->currentIndex();
    if (index < 0)
        return {};
    const auto found = FPresetElements.find(lstPredvolby->itemData(index).toInt());
    return found != FPresetElements.end() ? found->second : QDomElement();
}

TCategoryPanel* TfrmHlavni::PanelOf(QWidget* aControl) const
{
    for (QWidget* w = aControl; w; w = w->parentWidget())
        if (auto* panel = dynamic_cast<TCategoryPanel*>(w))
            return panel;
    return nullptr;
}

QWidget* TfrmHlavni::ControlWidget(TSettingsControl aControl) const
{
    using enum TSettingsControl;
    switch (aControl) {
    case lstFormat:
        return this->lstFormat;
    case chkPortrait:
        return this->chkPortrait;
    case chkLandScape:
        return this->chkLandScape;
    case edtWidth:
        return this->edtWidth;
    case edtHeight:
        return this->edtHeight;
    case edtMarginX:
        return this->edtMarginX;
    case edtMarginY:
        return this->edtMarginY;
    case edtPocetX:
        return this->edtPocetX;
    case edtPocetY:
        return this->edtPocetY;
    case edtPaddingX:
        return this->edtPaddingX;
    case edtPaddingY:
        return this->edtPaddingY;
    case edtSpaceX:
        return this->edtSpaceX;
    case edtSpaceY:
        return this->edtSpaceY;
    case edtFirstX:
        return this->edtFirstX;
    case edtFirstY:
        return this->edtFirstY;
    case lstFontSize:
        return this->lstFontSize;
    case lstFont:
        return this->lstFont;
    case lstAlignment:
        return this->lstAlignment;
    case lstRadky:
        return this->lstRadky;
    }
    return nullptr;
}

TPapirControls TfrmHlavni::Controls() const
{
    TPapirControls c;
    if (lstFormat->currentIndex() >= 0)
        c.Format = static_cast<TPaperType>(lstFormat->currentData().toInt());
    c.Portrait = chkPortrait->isChecked();
    for (const TTextSetting& s : kTextSettings)
        c.*s.Text = Text(s.Control);
    const int font = lstFont->currentIndex();
    c.FontIndex = font >= 0 && lstFont->itemText(font) == c.FontText ? font : -1;
    for (int i = 0; i < lstFont->count(); ++i)
        c.FontItems.append(lstFont->itemText(i));
    c.AlignmentIndex = lstAlignment->currentIndex();
    for (int i = 0; i < kLineCount && i < lstRadky->count(); ++i)
        c.Radky[size_t(i)] = lstRadky->item(i)->checkState() == Qt::Checked;
    c.Stitek = FStitek;
    return c;
}

void TfrmHlavni::ShowStitek()
{
    lblStitek->setVisible(FStitek != TPoint{});
    lblStitek->setText(QStringLiteral("Štítek etikety: %1 × %2 mm. Úprava okrajů, mezer nebo počtu štítků "
                                      "jej zruší a buňky se rozdělí rovnoměrně.")
                           .arg(HundredthsText(FStitek.X, QLocale()), HundredthsText(FStitek.Y, QLocale())));
}

void TfrmHlavni::SetControls(const TPapirControls& aControls)
{
    lstFormat->setCurrentIndex(aControls.Format ? lstFormat->findData(int(*aControls.Format)) : -1);
    (aControls.Portrait ? chkPortrait : chkLandScape)->setChecked(true);
    for (const TTextSetting& s : kTextSettings)
        if (s.Element)
            SetText(s.Control, aControls.*s.Text);
    lstAlignment->setCurrentIndex(aControls.AlignmentIndex >= 0 && aControls.AlignmentIndex < lstAlignment->count()
                                      ? aControls.AlignmentIndex
                                      : -1);
    for (int i = 0; i < kLineCount && i < lstRadky->count(); ++i)
        lstRadky->item(i)->setCheckState(aControls.Radky[size_t(i)] ? Qt::Checked : Qt::Unchecked);
    FStitek = aControls.Stitek;
    ShowStitek();
}

TPapir TfrmHlavni::ReadPapir()
{
    balError->HideHint();
    const QScopedValueRollback lock(FChangeLock, true);
    return diroze::ReadPapir(Controls(), QLocale());
}

bool TfrmHlavni::TryReadPapir(TPapir& aPapir)
{
    try {
        aPapir = ReadPapir();
        return true;
    } catch (const EInvalidInput& e) {
        QWidget* control = ControlWidget(e.Control());
        if (TCategoryPanel* panel = PanelOf(control))
            panel->SetCollapsed(false);
        panSettings->ensureWidgetVisible(control);
        balError->ShowAt(control, QStringLiteral("Chybná hodnota"), hostutils::MessageText(e) + u'\r');
        return false;
    }
}

void TfrmHlavni::RenderPreview(const TPapir& aPapir) { Render(*FNahled, FDiroze, aPapir, true); }

void TfrmHlavni::UpdatePreview(bool aCounts)
{
    if (FChangeLock)
        return;
    if (aCounts)
        FChanged = true;
    try {
        RenderPreview(ReadPapir());
    } catch (...) {
        // An invalid setting freezes the preview until it is corrected.
    }
}

void TfrmHlavni::lstFormatChange()
{
    if (lstFormat->currentIndex() < 0)
        return;
    const auto type = static_cast<TPaperType>(lstFormat->currentData().toInt());
    if (type != pCustom) {
        const QScopedValueRollback lock(FChangeLock, true);
        const auto [width, height] =
            PaperSizeTexts(type, chkPortrait->isChecked() ? poPortrait : poLandscape, QLocale());
        edtWidth->setText(width);
        edtHeight->setText(height);
    }
    edtWidth->setEnabled(type == pCustom);
    edtHeight->setEnabled(type == pCustom);
    UpdatePreview(true);
}

void TfrmHlavni::lstPredvolbyChange(QObject* aSender)
{
    const QDomElement selected = SelectedPreset();
    btnDelete->setEnabled(!selected.isNull());
    if (!selected.isNull() && aSender != btnSave)
        ApplyPreset(selected);
}

void TfrmHlavni::ApplyPreset(QDomElement aPreset)
{
    // However the reading ends, the preview is drawn once from what the
    // controls then hold, and the settings count as unchanged.
    const hostutils::TScopeExit redraw([this] {
        UpdatePreview(false);
        FChanged = false;
    });
    const QScopedValueRollback lock(FChangeLock, true);
    TPapirControls controls = Controls();
    // What was read before a failure stays.
    const hostutils::TScopeExit show([this, &controls] { SetControls(controls); });
    FPresets.Apply(aPreset, controls, QLocale());
}

void TfrmHlavni::btnEtiketyClick()
{
    // The template files are read at the first press, not at start.
    if (!FEtikety)
        FEtikety = new TfrmEtikety(LoadProductCatalogue(), this);
    FEtikety->Prepare();
    if (!FSeam.ExecEtikety(*FEtikety) || !FEtikety->Selected())
        return;
    {
        const QScopedValueRollback lock(FChangeLock, true);
        TPapirControls controls = Controls();
        ApplyProduct(*FEtikety->Selected(), controls, QLocale());
        SetControls(controls);
    }
    UpdatePreview(true);
}

void TfrmHlavni::StorePreset(QDomElement aPreset)
{
    FPresets.Store(aPreset, Controls());
    FChanged = false;
}

void TfrmHlavni::btnSaveClick()
{
    TPapir papir;
    if (!TryReadPapir(papir))
        return;
    QStringList names;
    for (int i = 0; i < lstPredvolby->count(); ++i)
        names.append(lstPredvolby->itemText(i));
    const QDomElement selected = SelectedPreset();
    FSave->Prepare(selected.isNull() ? QString() : TPresets::Name(selected), !selected.isNull(), names);
    if (!FSeam.ExecSave(*FSave))
        return;
    if (FSave->Overwrite() && !selected.isNull()) {
        StorePreset(selected);
    } else {
        const QString name = FSave->Name();
        const QDomElement preset = FPresets.Add(name);
        StorePreset(preset);
        AddPresetItem(name, preset);
        for (int i = 0; i < lstPredvolby->count(); ++i)
            if (FPresetElements[lstPredvolby->itemData(i).toInt()] == preset)
                lstPredvolby->setCurrentIndex(i);
        lstPredvolbyChange(btnSave);
    }
    FPresets.Save();
}

void TfrmHlavni::btnDeleteClick()
{
    const int index = lstPredvolby->currentIndex();
    const QDomElement selected = SelectedPreset();
    if (selected.isNull())
        return;
    if (!FSeam.Question(this, QStringLiteral("Odstranit"),
                        QStringLiteral("Opravdu chcete odstranit vybranou předvolbu?")))
        return;
    FPresets.Remove(selected);
    FPresetElements.erase(lstPredvolby->itemData(index).toInt());
    lstPredvolby->removeItem(index);
    lstPredvolby->setCurrentIndex(lstPredvolby->count() == 0 ? -1 : std::max(index - 1, 0));
    lstPredvolbyChange(btnDelete);
}

void TfrmHlavni::btnOkClick()
{
    TPapir papir;
    if (!TryReadPapir(papir))
        return;
    Render(*FNahled, FDiroze, papir, false, &FPrintedSymbols);
    // The print dialog opens on the sheet's paper; the job sets the paper
    // again for the printer finally chosen.
    try {
        FNahled->SetPrinterOptions();
    } catch (const EPrinter&) {
        // No valid printer chosen yet: the dialog offers the installed ones.
    }
    const TPrintChoice choice = FSeam.Print(this, FNahled->Printer(), FNahled->TotalPages());
    if (!choice.Accepted) {
        RenderPreview(papir);
        return;
    }
    bool cancelled = false;
    FUnprintableNote.clear();
    {
        TPrintProgressWindow progress(this, *FNahled, [this] { return FSeam.Clock(); });
        if (choice.Range)
            FNahled->PrintPagesEx(choice.Pages);
        else
            FNahled->Print();
        cancelled = progress.Progress().Cancelled();
    }
    // "Storno" in the progress window: the job was dropped before the
    // spooler had it; the dialog stays, as after a cancelled print dialog.
    if (cancelled) {
        RenderPreview(papir);
        return;
    }
    // What the printer could not print is told once the job is on its way.
    if (!FUnprintableNote.isEmpty())
        FSeam.Warning(this, FUnprintableNote);
    FPresets.MarkUsed(SelectedPreset());
    if (FChanged &&
        FSeam.Question(this, QStringLiteral("Uložit"), QStringLiteral("Nastavení bylo změněno, chcete změny uložit?")))
        Guard([this] { btnSaveClick(); });
    close();
}

void TfrmHlavni::closeEvent(QCloseEvent* aEvent)
{
    if (FPresets.IsActive() && FPresets.Modified())
        Guard([this] { FPresets.Save(); });
    balError->HideHint();
    QDialog::closeEvent(aEvent);
}

TFormAdapter::TFormAdapter(QWidget& aForm) : FForm(aForm) { qApp->installEventFilter(this); }

TFormAdapter::~TFormAdapter() { qApp->removeEventFilter(this); }

bool TFormAdapter::eventFilter(QObject* aWatched, QEvent* aEvent)
{
    if (aEvent->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(aEvent)->key() == Qt::Key_Escape &&
        aWatched->isWidgetType() && static_cast<QWidget*>(aWatched)->window() == &FForm) {
        FForm.close();
        return true;
    }
    return QObject::eventFilter(aWatched, aEvent);
}

} // namespace diroze
