#include "DialogSeam.h"

#include "FormEtikety.h"
#include "FormSave.h"
#include "preview/PrinterSetup.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QScreen>

#include <utility>

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

namespace {

// The application's message box over its owner; an owner not yet shown (the
// dialog while it starts) has no place on the screen, so the box stands in
// the middle of the screen instead of its corner.
void ShowBox(QMessageBox::Icon aIcon, QWidget* aOwner, const QString& aText)
{
    QMessageBox box(aIcon, QStringLiteral("Tisk štítků"), ErrorBoxText(aText), QMessageBox::Ok, aOwner);
    if (!aOwner || !aOwner->isVisible()) {
        QScreen* screen = aOwner ? aOwner->screen() : QGuiApplication::primaryScreen();
        box.adjustSize();
        if (screen)
            box.move(screen->availableGeometry().center() - box.rect().center());
    }
    box.exec();
}

} // namespace

void TDialogSeam::Error(QWidget* aOwner, const QString& aText) { ShowBox(QMessageBox::Critical, aOwner, aText); }

void TDialogSeam::Warning(QWidget* aOwner, const QString& aText) { ShowBox(QMessageBox::Warning, aOwner, aText); }

TPrintChoice PrintChoiceOf(QPrinter& aPrinter, int aTotalPages)
{
    TPrintChoice choice;
    choice.Accepted = true;
    // The spooler would pick pages out of the job once more, counting the
    // job's pages, not the document's: "1,3" of a two-page job is one page.
    QString pageSet;
    QStringList options = JobOptions(aPrinter);
    for (qsizetype i = 0; i + 1 < options.size();) {
        const QString name = options[i];
        if (name == QStringLiteral("page-set") || name == QStringLiteral("page-ranges")) {
            if (name == QStringLiteral("page-set"))
                pageSet = options[i + 1];
            options.remove(i, 2);
        } else {
            i += 2;
        }
    }
    SetJobOptions(aPrinter, options);

    const bool someRanges = aPrinter.printRange() == QPrinter::PageRange && !aPrinter.pageRanges().isEmpty();
    bool odd = pageSet == QStringLiteral("odd"), even = pageSet == QStringLiteral("even");
    // The print dialog counts odd and even from the first page of the range,
    // as the pages of a job that holds just the range: a range that starts
    // on an even page gets the opposite set. The pages are chosen here by
    // their numbers in the document, so the set is turned back.
    if (someRanges && aPrinter.pageRanges().firstPage() % 2 == 0)
        std::swap(odd, even);
    choice.Range = someRanges || odd || even;
    for (int page = 1; page <= aTotalPages; ++page)
        if ((!someRanges || aPrinter.pageRanges().contains(page)) && !(odd && page % 2 == 0) &&
            !(even && page % 2 == 1))
            choice.Pages.push_back(page);
    return choice;
}

namespace {

// Qt's printer properties dialog opens on the printer's default paper,
// whatever paper the printer object holds. While a print dialog is open
// this sets, whenever a properties dialog is shown, its page setup controls
// to the sheet's paper and orientation, as a person would: the job is
// printed on the sheet's paper in any case.
class TSheetPaperInProperties : public QObject {
public:
    explicit TSheetPaperInProperties(const QPageLayout& aLayout) : FLayout(aLayout) { qApp->installEventFilter(this); }
    ~TSheetPaperInProperties() override { qApp->removeEventFilter(this); }
    TSheetPaperInProperties(const TSheetPaperInProperties&) = delete;
    TSheetPaperInProperties& operator=(const TSheetPaperInProperties&) = delete;

protected:
    bool eventFilter(QObject* aWatched, QEvent* aEvent) override
    {
        if (aEvent->type() == QEvent::Show && aWatched->isWidgetType() &&
            qstrcmp(aWatched->metaObject()->className(), "QPrintPropertiesDialog") == 0)
            ShowPaper(*static_cast<QWidget*>(aWatched));
        return QObject::eventFilter(aWatched, aEvent);
    }

private:
    void ShowPaper(QWidget& aProperties) const
    {
        auto* sizes = aProperties.findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
        auto* units = aProperties.findChild<QComboBox*>(QStringLiteral("unitCombo"));
        auto* width = aProperties.findChild<QDoubleSpinBox*>(QStringLiteral("pageWidth"));
        auto* height = aProperties.findChild<QDoubleSpinBox*>(QStringLiteral("pageHeight"));
        auto* portrait = aProperties.findChild<QRadioButton*>(QStringLiteral("portrait"));
        auto* landscape = aProperties.findChild<QRadioButton*>(QStringLiteral("landscape"));
        if (!sizes || !units || !width || !height || !portrait || !landscape)
            return; // another Qt: its dialog is left as it is
        QRadioButton* orientation = FLayout.orientation() == QPageLayout::Landscape ? landscape : portrait;
        if (!orientation->isChecked())
            orientation->click();
        int item = -1, custom = -1;
        for (int i = 0; i < sizes->count(); ++i) {
            const QVariant data = sizes->itemData(i);
            if (!data.isValid())
                custom = i;
            else if (item < 0 && data.value<QPageSize>().isEquivalentTo(FLayout.pageSize()))
                item = i;
        }
        if (item >= 0) {
            sizes->setCurrentIndex(item);
        } else if (custom >= 0) {
            sizes->setCurrentIndex(custom);
            const auto unit = units->currentData().value<QPageLayout::Unit>();
            const QSizeF size = FLayout.fullRect(unit).size();
            width->setValue(size.width());
            height->setValue(size.height());
        }
    }

    QPageLayout FLayout;
};

} // namespace

TPrintChoice TDialogSeam::Print(QWidget* aOwner, QPrinter& aPrinter, int aTotalPages)
{
    const TSheetPaperInProperties sheetPaper(aPrinter.pageLayout());
    QPrintDialog dialog(&aPrinter, aOwner);
    dialog.setMinMax(1, aTotalPages);
    dialog.setFromTo(1, aTotalPages);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return PrintChoiceOf(aPrinter, aTotalPages);
}

bool TDialogSeam::ExecSave(TfrmSave& aDialog) { return aDialog.exec() == QDialog::Accepted; }

bool TDialogSeam::ExecEtikety(TfrmEtikety& aDialog) { return aDialog.exec() == QDialog::Accepted; }

void TDialogSeam::Beep() { QApplication::beep(); }

std::chrono::milliseconds TDialogSeam::Clock()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

} // namespace diroze
