#include "ParamParser.h"
#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "diroze/preview/RecordedPages.h"
#include "preview/PreviewView.h"
#include "ui/DialogApplication.h"
#include "ui/DialogSeam.h"
#include "ui/FormSave.h"
#include "ui/MainDialog.h"
#include "ui/PrintProgress.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPageRanges>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <deque>

using namespace diroze;

namespace {

// Answers the system dialogs as a test scripts them and records what was asked.
class TScriptedSeam : public TDialogSeam {
public:
    bool Question(QWidget*, const QString& aCaption, const QString& aText) override
    {
        Questions.append(aCaption + u'|' + aText);
        if (Answers.empty())
            return false;
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void Error(QWidget*, const QString& aText) override { Errors.append(ErrorBoxText(aText)); }
    void Warning(QWidget*, const QString& aText) override { Warnings.append(ErrorBoxText(aText)); }
    TPrintChoice Print(QWidget*, QPrinter& aPrinter, int aTotalPages) override
    {
        PrintOffered = aTotalPages;
        OfferedPaper = aPrinter.pageLayout().fullRect(QPageLayout::Millimeter).size();
        if (!PrintFile.isEmpty())
            aPrinter.setOutputFileName(PrintFile);
        if (PageList.isEmpty())
            return PrintAnswer;
        // As the print dialog leaves the printer after a page list was typed.
        aPrinter.setPrintRange(QPrinter::PageRange);
        aPrinter.setPageRanges(QPageRanges::fromString(PageList));
        return PrintChoiceOf(aPrinter, aTotalPages);
    }
    bool ExecSave(TfrmSave& aDialog) override
    {
        aDialog.setResult(0);
        ++SaveShown;
        return SaveAnswer ? SaveAnswer(aDialog) : false;
    }
    void Beep() override { ++Beeps; }
    // Each reading is ClockStep later than the one before.
    std::chrono::milliseconds Clock() override { return Now += ClockStep; }

    QStringList Questions, Errors, Warnings;
    std::deque<bool> Answers;
    TPrintChoice PrintAnswer;
    QString PrintFile;
    QString PageList; // typed into the print dialog
    int PrintOffered = 0;
    QSizeF OfferedPaper; // millimetres, as oriented
    int SaveShown = 0;
    int Beeps = 0;
    std::function<bool(TfrmSave&)> SaveAnswer;
    std::chrono::milliseconds Now{0}, ClockStep{0};
};

const char* const kTwoPresets =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- kept -->\n<diroze><predvolby>"
    "<predvolba nazev=\"Velké\" vybrana=\"false\"><papir format=\"7\" na-sirku=\"false\" sirka=\"297\" vyska=\"420\"/>"
    "<stitek pocet-x=\"2\" pocet-y=\"5\"/><pismo font=\"Arial\" velikost=\"14\" mezera-x=\"2\" "
    "radek-1=\"true\"/></predvolba>"
    "<predvolba nazev=\"Malé\" vybrana=\"true\"><papir format=\"8\" na-sirku=\"false\" sirka=\"210\" vyska=\"297\" "
    "okraj-x=\"5\"/>"
    "<stitek pocet-x=\"4\" pocet-y=\"10\" mezera-x=\"2\" mezera-y=\"2\"/><pismo font=\"Arial\" "
    "velikost=\"10\"/></predvolba>"
    "<predvolba nazev=\"Zadní\"><papir format=\"10\"/></predvolba>"
    "</predvolby></diroze>\n";

class Dialog : public ::testing::Test {
protected:
    void Start(const QByteArray& aPresets = {}, const QString& aSwitches = {}, int aLabels = 50)
    {
        if (!aPresets.isEmpty())
            WriteFile(QStringLiteral("diroze.xml"), aPresets);
        QByteArray data = FData;
        for (int i = 1; FData.isEmpty() && i <= aLabels; ++i)
            data += "96385074;\xb5t\xa1tek " + QByteArray::number(i) + "\r\n"; // "Štítek" in 852
        WriteFile(QStringLiteral("data.txt"), data);
        FParams = std::make_unique<hostutils::TParamParser>(
            QStringLiteral("diroze \"%1\" %2").arg(FDir.filePath(QStringLiteral("data.txt")), aSwitches));
        FDialog = std::make_unique<TfrmHlavni>(FSeam, *FParams, FDir.path() + u'/');
        FDialog->FormCreate();
        FDialog->show();
        QApplication::processEvents();
    }
    void WriteFile(const QString& aName, const QByteArray& aContent)
    {
        QFile file(FDir.filePath(aName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(aContent);
    }
    QByteArray PresetsOnDisk() const
    {
        QFile file(FDir.filePath(QStringLiteral("diroze.xml")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    TfrmHlavni& D() { return *FDialog; }
    int Pages() { return D().Nahled().TotalPages(); }
    bool HasFrames()
    {
        if (Pages() == 0)
            return false;
        for (const TMetaRecord& r : D().Nahled().PageList().GetEntry(0).Metafile()->Records())
            if (std::holds_alternative<rec::Rectangle>(r))
                return true;
        return false;
    }
    void Type(QLineEdit* aEdit, const QString& aText)
    {
        aEdit->selectAll();
        QTest::keyClicks(aEdit, aText);
    }
    void ChooseFormat(TPaperType aType) { D().lstFormat->setCurrentIndex(D().lstFormat->findData(int(aType))); }
    int PresetIndex(const QString& aName) { return D().lstPredvolby->findText(aName); }
    void PickPreset(const QString& aName)
    {
        D().lstPredvolby->setCurrentIndex(PresetIndex(aName));
        emit D().lstPredvolby->activated(PresetIndex(aName));
    }

    QTemporaryDir FDir;
    QByteArray FData; // the data file Start writes, when not its own labels
    TScriptedSeam FSeam;
    std::unique_ptr<hostutils::TParamParser> FParams;
    std::unique_ptr<TfrmHlavni> FDialog;
};

TEST_F(Dialog, StartWithoutAMarkedPresetRendersNothingUntilAFormatIsChosen)
{
    Start();
    EXPECT_TRUE(FSeam.Errors.isEmpty()) << FSeam.Errors.join('\n').toStdString();
    EXPECT_EQ(D().windowTitle(), QStringLiteral("Tisk štítků"));
    EXPECT_EQ(D().lstFormat->currentIndex(), -1);
    EXPECT_EQ(D().lstFormat->count(), 7);
    EXPECT_EQ(D().lstFormat->itemText(6), QStringLiteral("Vlastní formát..."));
    EXPECT_EQ(D().lstRadky->item(0)->text(), QStringLiteral("1. řádek pod čárovým kódem"));
    EXPECT_TRUE(D().panPapir->Collapsed() && D().panStitky->Collapsed() && D().panPismo->Collapsed());
    EXPECT_EQ(D().Labels().size(), 50u);
    EXPECT_EQ(Pages(), 0);
    EXPECT_FALSE(D().Changed());
    EXPECT_FALSE(D().btnDelete->isEnabled());

    Type(D().edtMarginX, QStringLiteral("12"));
    EXPECT_EQ(Pages(), 0) << "no format: the reading fails without a message";
    EXPECT_TRUE(FSeam.Errors.isEmpty());
    ChooseFormat(pA4);
    EXPECT_EQ(D().edtWidth->text(), QStringLiteral("210"));
    EXPECT_FALSE(D().edtWidth->isEnabled());
    EXPECT_EQ(Pages(), 1);
    EXPECT_TRUE(HasFrames());
    EXPECT_TRUE(D().Changed());

    D().chkLandScape->setChecked(true);
    EXPECT_EQ(D().edtWidth->text(), QStringLiteral("297"));
    EXPECT_EQ(D().edtHeight->text(), QStringLiteral("210"));
    ChooseFormat(pCustom);
    EXPECT_TRUE(D().edtWidth->isEnabled());
    EXPECT_EQ(D().edtWidth->text(), QStringLiteral("297")) << "the custom format keeps the sizes";
}

TEST_F(Dialog, MarkedPresetIsAppliedAtStart)
{
    Start(kTwoPresets);
    EXPECT_TRUE(FSeam.Errors.isEmpty()) << FSeam.Errors.join('\n').toStdString();
    EXPECT_EQ(D().lstPredvolby->currentText(), QStringLiteral("Malé"));
    EXPECT_EQ(D().lstPredvolby->itemText(0), QStringLiteral("Malé")) << "sorted by name";
    EXPECT_TRUE(D().btnDelete->isEnabled());
    EXPECT_EQ(D().edtMarginX->text(), QStringLiteral("5"));
    EXPECT_EQ(D().lstFormat->currentText(), QStringLiteral("A4"));
    EXPECT_EQ(Pages(), 1);
    EXPECT_FALSE(D().Changed());

    PickPreset(QStringLiteral("Velké"));
    EXPECT_EQ(D().lstFormat->currentText(), QStringLiteral("A3"));
    EXPECT_EQ(D().edtPocetX->text(), QStringLiteral("2"));
    EXPECT_EQ(D().lstFontSize->currentText(), QStringLiteral("14"));
    EXPECT_EQ(D().lstAlignment->currentIndex(), 2);
    EXPECT_EQ(D().lstRadky->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(D().edtMarginX->text(), QStringLiteral("10")) << "a missing attribute gives its default";
    EXPECT_FALSE(D().Changed());
}

TEST_F(Dialog, CancelledPrintShowsThePreviewAgainAndMarksNothing)
{
    WriteFile(QStringLiteral("printer.ini"), "[Printer]\nName=" + printspool::kQueue.toUtf8() + "\n");
    Start(kTwoPresets);
    const QByteArray before = PresetsOnDisk();
    Type(D().edtMarginY, QStringLiteral("8"));
    ChooseFormat(pB4);
    FSeam.PrintAnswer.Accepted = false;
    D().btnOk->click();
    EXPECT_EQ(FSeam.PrintOffered, 2) << "50 labels, 40 a sheet: the print version has two pages";
    if (printspool::Unavailable().isEmpty() || testpeers::PeersRequired()) {
        EXPECT_NEAR(FSeam.OfferedPaper.width(), 250, 0.1) << "the print dialog opens on the sheet's B4";
        EXPECT_NEAR(FSeam.OfferedPaper.height(), 354, 0.1);
    }
    EXPECT_EQ(Pages(), 1);
    EXPECT_TRUE(HasFrames());
    EXPECT_TRUE(FSeam.Questions.isEmpty());
    EXPECT_TRUE(D().isVisible());
    D().close();
    EXPECT_EQ(PresetsOnDisk(), before) << "nothing marked, nothing written";
}

TEST_F(Dialog, PrintingARangeMarksThePresetAndAsksAboutCountedChanges)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        SKIP_WITHOUT_PEER("pdfinfo is not installed");
    Start(kTwoPresets, {}, 200);
    PickPreset(QStringLiteral("Zadní"));
    ChooseFormat(pA4);
    Type(D().edtFirstX, QStringLiteral("2"));           // does not count
    D().lstFontSize->setEditText(QStringLiteral("11")); // counts
    FSeam.PageList = QStringLiteral("1,3");
    FSeam.PrintFile = FDir.filePath(QStringLiteral("out.pdf"));
    FSeam.Answers = {false};
    D().btnOk->click();
    EXPECT_TRUE(FSeam.Errors.isEmpty()) << FSeam.Errors.join('\n').toStdString();
    EXPECT_EQ(FSeam.PrintOffered, 6) << "200 labels from the second cell";
    ASSERT_EQ(FSeam.Questions.size(), 1);
    EXPECT_EQ(FSeam.Questions[0], QStringLiteral("Uložit|Nastavení bylo změněno, chcete změny uložit?"));
    EXPECT_FALSE(D().isVisible()) << "the dialog closes after printing";
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {FSeam.PrintFile});
    info.waitForFinished(30000);
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QStringLiteral("Pages:           2")))
        << "exactly the pages of the list";
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("2"), QStringLiteral("-l"),
                                             QStringLiteral("2"), FSeam.PrintFile, QStringLiteral("-")});
    text.waitForFinished(30000);
    const QString second = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(second.contains(QStringLiteral("tek 80")) && !second.contains(QStringLiteral("tek 40")))
        << "the second page printed is the third sheet (labels 80 to 119)";

    const QString saved = QString::fromUtf8(PresetsOnDisk());
    EXPECT_EQ(saved.count(QStringLiteral("vybrana=\"true\"")), 1) << "exactly one marked";
    EXPECT_TRUE(saved.contains(QStringLiteral("nazev=\"Zadní\" vybrana=\"true\"")) ||
                saved.contains(QStringLiteral("vybrana=\"true\" nazev=\"Zadní\"")));
    EXPECT_TRUE(saved.contains(QStringLiteral("kept"))) << "comments survive";
}

// Watches, whenever events are handled, for the print progress window;
// records what it shows and, when told to, clicks its "Storno".
class TProgressWatch {
public:
    explicit TProgressWatch(bool aClickStorno) : FClick(aClickStorno)
    {
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Look(); });
        FTimer.start(0);
    }
    QStringList Seen; // caption | text | button | bar value of max, per sighting

private:
    void Look()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* window = dynamic_cast<TPrintProgressWindow*>(w);
            if (!window || !window->isVisible())
                continue;
            const auto* bar = window->findChild<QProgressBar*>();
            Seen << QStringLiteral("%1|%2|%3|%4 of %5")
                        .arg(window->windowTitle(), window->Progress().Text(), window->btnStorno->text())
                        .arg(bar ? bar->value() : -1)
                        .arg(bar ? bar->maximum() : -1);
            if (FClick) {
                FClick = false;
                QTest::mouseClick(window->btnStorno, Qt::LeftButton);
            }
        }
    }
    QTimer FTimer;
    bool FClick;
};

TEST_F(Dialog, StornoDropsALongJobAndAShortJobShowsNoProgress)
{
    if (const QString why = printspool::Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    WriteFile(QStringLiteral("printer.ini"), "[Printer]\nName=" + printspool::kQueue.toUtf8() + "\n");
    Start(kTwoPresets, {}, 400); // 40 labels a sheet: ten pages
    const QByteArray before = PresetsOnDisk();
    FSeam.PrintAnswer.Accepted = true;
    printspool::TSpoolSession spool;
    ASSERT_TRUE(spool.Locked());
    const std::vector<int> jobsBefore = printspool::JobIds();
    {
        // 0.6 s a page: the window shows before the third page.
        FSeam.ClockStep = std::chrono::milliseconds(600);
        TProgressWatch watch(true);
        D().btnOk->click();
        EXPECT_EQ(watch.Seen, QStringList{QStringLiteral("Tisk štítků|Tisk strany 3 z 10|Storno|2 of 10")});
    }
    EXPECT_TRUE(FSeam.Errors.isEmpty()) << FSeam.Errors.join('\n').toStdString();
    EXPECT_EQ(D().Nahled().LastJobId(), 0) << "nothing handed to the spooler";
    EXPECT_EQ(printspool::NewJobs(jobsBefore, printspool::JobIds()), 0u) << "the queue got no job";
    EXPECT_TRUE(D().isVisible()) << "the dialog stays after Storno";
    EXPECT_TRUE(FSeam.Questions.isEmpty());
    EXPECT_TRUE(HasFrames()) << "the preview version again";
    EXPECT_EQ(D().Nahled().State(), psReady);
    {
        // 0.1 s a page: the last page is handed over before a second has passed.
        FSeam.ClockStep = std::chrono::milliseconds(100);
        TProgressWatch watch(false);
        D().btnOk->click();
        EXPECT_TRUE(watch.Seen.isEmpty()) << watch.Seen.join('\n').toStdString();
    }
    EXPECT_TRUE(FSeam.Errors.isEmpty()) << FSeam.Errors.join('\n').toStdString();
    const QString pdf = spool.WaitForPdf(D().Nahled().LastJobId());
    ASSERT_FALSE(pdf.isEmpty()) << "the second print reaches the queue";
    EXPECT_TRUE(printspool::Tool(QStringLiteral("pdfinfo"), {pdf}).contains(QStringLiteral("Pages:           10")));
    EXPECT_FALSE(D().isVisible()) << "a finished print closes the dialog";
    EXPECT_NE(PresetsOnDisk(), before) << "and marks the preset";
}

// What the printer chosen would spoil is told at the print: a symbol too
// small for it in the error box, before the spooler has anything, with the
// dialog left open; content in its unprinted strips in a warning once the
// job is on its way.
TEST_F(Dialog, APrintTellsWhatThePrinterWouldSpoil)
{
    struct Row {
        const char* proves;
        const char* queue;
        const char* size; // sirka and vyska of the one label a sheet
        QByteArray data;
        QString error, warning;
    };
    const Row rows[] = {
        {"one dot a module", "diroze-zpl203", "sirka=\"50\" vyska=\"25\"", "C128:LOT A-2024/17;x\r\n",
         QStringLiteral("Řádek 1: čárový kód C128 by na tiskárně \"diroze-zpl203\" (203 dpi) měl modul 1 tečku "
                        "(0.13 mm), potřebuje nejméně 2 tečky (0.25 mm); zkraťte data, zvolte širší štítek nebo "
                        "tiskárnu s vyšším rozlišením."),
         QString()},
        {"bars into the strips a LabelWriter does not print", "diroze-dymo", "sirka=\"57.15\" vyska=\"101.6\"",
         "8590000123455;x\r\n", QString(),
         QStringLiteral("Obsah první strany zasahuje do okraje, který tiskárna \"diroze-dymo\" netiskne: nahoře "
                        "5.26 mm, dole 5.26 mm; co v něm leží, se nevytiskne.")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const QString sink = QStringLiteral("/var/spool/diroze-sink/") + QLatin1String(row.queue);
        if (!QDir(sink).exists())
            SKIP_WITHOUT_PEER("no driver queue " + std::string(row.queue) + " (scripts/start-services.sh makes it)");
        WriteFile(QStringLiteral("printer.ini"), QByteArray("[Printer]\nName=") + row.queue + "\n");
        FData = row.data;
        Start(QByteArray("<diroze><predvolby><predvolba nazev=\"L\" vybrana=\"true\"><papir format=\"66\" "
                         "na-sirku=\"false\" ") +
              row.size +
              " okraj-x=\"1\" okraj-y=\"1\"/><stitek pocet-x=\"1\" pocet-y=\"1\" okraj-x=\"1\" okraj-y=\"1\"/>"
              "<pismo font=\"Arial\" velikost=\"6\"/></predvolba></predvolby></diroze>");
        FSeam.Errors.clear();
        FSeam.Warnings.clear();
        FSeam.PrintAnswer.Accepted = true;
        const printspool::TDriverQueuesLock lock;
        const qsizetype jobsBefore = QDir(sink).entryList(QDir::Files).size();
        D().btnOk->click();
        EXPECT_EQ(FSeam.Errors, row.error.isEmpty() ? QStringList() : QStringList{row.error});
        EXPECT_EQ(FSeam.Warnings, row.warning.isEmpty() ? QStringList() : QStringList{row.warning});
        EXPECT_EQ(D().isVisible(), !row.error.isEmpty()) << "a refused print leaves the dialog open";
        if (!row.error.isEmpty()) {
            EXPECT_EQ(QDir(sink).entryList(QDir::Files).size(), jobsBefore) << "nothing reached the printer";
        }
        FDialog.reset();
    }
}

// What the progress window shows, step by step through one job of five
// pages, on a clock that starts far from zero.
TEST(PrintProgress, ShownFromASecondIntoTheJobUntilItsEnd)
{
    std::chrono::milliseconds now{0};
    TPrintProgress progress([&] { return now; });
    struct Row {
        const char* proves;
        int clock, done, total;
        bool shown;
        const char* text;
    };
    const Row rows[] = {
        {"the job's time starts at its first step", 7000, 0, 5, false, "Tisk strany 1 z 5"},
        {"under a second: hidden", 7999, 1, 5, false, "Tisk strany 2 z 5"},
        {"a second into the job: shown", 8000, 2, 5, true, "Tisk strany 3 z 5"},
        {"stays shown", 8000, 4, 5, true, "Tisk strany 5 z 5"},
        {"the end hides it", 9000, 5, 5, false, "Tisk strany 5 z 5"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        now = std::chrono::milliseconds(row.clock);
        progress.Progress(row.done, row.total);
        EXPECT_EQ(progress.Shown(), row.shown);
        EXPECT_EQ(progress.Text(), QString::fromUtf8(row.text));
        EXPECT_EQ(progress.Choice(), pcAccept);
    }
    progress.Cancel();
    EXPECT_TRUE(progress.Cancelled());
    EXPECT_EQ(progress.Choice(), pcCancellAll) << "every later page stops the job";
}

TEST_F(Dialog, OnlyAnUncountedChangeAsksNothing)
{
    Start(kTwoPresets);
    Type(D().edtFirstY, QStringLiteral("3"));
    EXPECT_FALSE(D().Changed());
    Type(D().edtPocetY, QStringLiteral("9"));
    EXPECT_TRUE(D().Changed());
}

TEST_F(Dialog, InvalidValueAtPrintShowsTheBalloonInItsPanel)
{
    Start(kTwoPresets);
    ASSERT_TRUE(D().panStitky->Collapsed());
    D().edtPaddingX->setText(QStringLiteral("-1"));
    EXPECT_EQ(Pages(), 1) << "the preview stays as it was";
    FSeam.PrintAnswer.Accepted = true;
    D().btnOk->click();
    EXPECT_EQ(FSeam.PrintOffered, 0) << "nothing printed";
    EXPECT_FALSE(D().panStitky->Collapsed()) << "the panel was expanded";
    EXPECT_TRUE(D().Balloon().isVisible());
    EXPECT_EQ(D().Balloon().Title(), QStringLiteral("Chybná hodnota"));
    EXPECT_EQ(D().Balloon().Text(), QStringLiteral("Hodnota nesmí být záporná."));
    D().panPismo->SetCollapsed(false);
    EXPECT_FALSE(D().Balloon().isVisible()) << "expanding a panel hides it";
}

TEST_F(Dialog, SavingNewAndOverwritingPresets)
{
    Start(kTwoPresets);
    FSeam.SaveAnswer = [](TfrmSave& d) {
        EXPECT_TRUE(d.chkOverwrite->isChecked());
        EXPECT_EQ(d.edtNazev->text(), QStringLiteral("Malé"));
        EXPECT_FALSE(d.edtNazev->isEnabled());
        d.chkAdd->setChecked(true);
        d.edtNazev->setText(QStringLiteral("MALÉ"));
        d.btnOk->click();
        EXPECT_EQ(d.result(), 0) << "same name in other case is refused";
        d.edtNazev->setText(QStringLiteral("  \t"));
        d.btnOk->click();
        EXPECT_EQ(d.result(), 0) << "a blank name only beeps";
        d.edtNazev->setText(QStringLiteral("Malé "));
        d.btnOk->click();
        return d.result() == QDialog::Accepted;
    };
    Type(D().edtMarginX, QStringLiteral("7"));
    Type(D().edtFirstX, QStringLiteral("3"));
    D().btnSave->click();
    EXPECT_EQ(FSeam.Errors, QStringList{QStringLiteral("Předvolba se zvoleným názvem již existuje.")});
    EXPECT_EQ(FSeam.Beeps, 1);
    EXPECT_EQ(D().lstPredvolby->currentText(), QStringLiteral("Malé ")) << "the new one is selected";
    EXPECT_FALSE(D().Changed());
    const QString saved = QString::fromUtf8(PresetsOnDisk());
    EXPECT_TRUE(saved.contains(QStringLiteral("nazev=\"Malé \""))) << "written at once, with the blank";
    EXPECT_FALSE(saved.contains(QStringLiteral("zacatek"))) << "the first-label position is not stored";
    EXPECT_EQ(saved.count(QStringLiteral("okraj-x=\"7\"")), 1);

    // Overwrite keeps the preset's name.
    FSeam.SaveAnswer = [](TfrmSave& d) {
        d.edtNazev->setText(QStringLiteral("ignored"));
        d.btnOk->click();
        return d.result() == QDialog::Accepted;
    };
    PickPreset(QStringLiteral("Velké"));
    Type(D().edtMarginY, QStringLiteral("4"));
    D().btnSave->click();
    const QString overwritten = QString::fromUtf8(PresetsOnDisk());
    EXPECT_FALSE(overwritten.contains(QStringLiteral("ignored")));
    EXPECT_TRUE(overwritten.contains(QStringLiteral("okraj-y=\"4\"")));
}

TEST_F(Dialog, DeletingSelectsThePreviousOrTheNewFirst)
{
    Start(kTwoPresets);
    FSeam.Answers = {true, true, false, true, true};
    // Order: Malé, Velké, Zadní.
    PickPreset(QStringLiteral("Malé"));
    D().btnDelete->click();
    EXPECT_EQ(D().lstPredvolby->currentText(), QStringLiteral("Velké")) << "the new first is selected and applied";
    EXPECT_EQ(D().lstFormat->currentText(), QStringLiteral("A3"));
    PickPreset(QStringLiteral("Zadní"));
    D().btnDelete->click();
    EXPECT_EQ(D().lstPredvolby->currentText(), QStringLiteral("Velké")) << "the one before";
    D().btnDelete->click(); // answered No
    EXPECT_EQ(D().lstPredvolby->count(), 1);
    D().btnDelete->click();
    EXPECT_EQ(D().lstPredvolby->currentIndex(), -1);
    EXPECT_FALSE(D().btnDelete->isEnabled());
    EXPECT_EQ(FSeam.Questions.size(), 4);
    EXPECT_TRUE(PresetsOnDisk().contains("Malé")) << "not written before closing";
    QTest::keyClick(D().edtMarginX, Qt::Key_Escape);
    EXPECT_FALSE(D().isVisible()) << "Esc closes the dialog";
    EXPECT_FALSE(PresetsOnDisk().contains("Malé")) << "and writes the modified presets";
}

// A preset's count that the spin edit could not hold is reported with the
// presets file and never reaches the controls or the preview.
TEST_F(Dialog, APresetValueNoControlCouldHoldIsReportedWithItsFile)
{
    Start("<diroze><predvolby><predvolba nazev=\"Nula\" vybrana=\"true\"><papir format=\"8\"/>"
          "<stitek pocet-x=\"0\"/></predvolba></predvolby></diroze>");
    ASSERT_EQ(FSeam.Errors.size(), 1);
    EXPECT_TRUE(FSeam.Errors[0].startsWith(FDir.filePath(QStringLiteral("diroze.xml")) +
                                           QStringLiteral(": předvolba \"Nula\", prvek stitek, atribut "
                                                          "pocet-x=\"0\": čeká se celé číslo od 1 do 1000")))
        << FSeam.Errors[0].toStdString();
    EXPECT_EQ(D().edtPocetX->text(), QStringLiteral("4")) << "the dialog's own count stays";
}

// A mark that is no Boolean: its error box, every preset listed and none selected.
TEST_F(Dialog, AMarkThatCannotBeReadSelectsNoPreset)
{
    Start("<diroze><predvolby><predvolba nazev=\"A\"/><predvolba nazev=\"B\" vybrana=\"ano\"/>"
          "<predvolba nazev=\"C\"/></predvolby></diroze>");
    ASSERT_EQ(FSeam.Errors.size(), 1);
    EXPECT_TRUE(FSeam.Errors[0].contains(QStringLiteral("vybrana=\"ano\""))) << FSeam.Errors[0].toStdString();
    EXPECT_EQ(D().lstPredvolby->count(), 3);
    EXPECT_EQ(D().lstPredvolby->currentIndex(), -1);
    EXPECT_FALSE(D().btnDelete->isEnabled());
}

TEST_F(Dialog, MalformedPresetsAreReportedAndNeverOverwritten)
{
    const QByteArray bad = "<diroze><predvolby><predvolba nazev=\"x\"></predvolby></diroze>";
    Start(bad);
    ASSERT_EQ(FSeam.Errors.size(), 1);
    EXPECT_TRUE(FSeam.Errors[0].contains(QStringLiteral("\nLine: 1\n<diroze><predvolby><predvolba nazev=\"x\">.")))
        << FSeam.Errors[0].toStdString();
    EXPECT_EQ(D().lstPredvolby->count(), 0);
    ChooseFormat(pA4);
    FSeam.SaveAnswer = [](TfrmSave& d) {
        d.edtNazev->setText(QStringLiteral("nový"));
        d.btnOk->click();
        return d.result() == QDialog::Accepted;
    };
    D().btnSave->click();
    EXPECT_EQ(FSeam.Errors.last(), QStringLiteral("No active document."));
    D().close();
    EXPECT_EQ(PresetsOnDisk(), bad);
}

TEST_F(Dialog, BadDataFileStopsTheStartButTheDialogWorks)
{
    Start(kTwoPresets, QStringLiteral("-codePage:oops"));
    ASSERT_EQ(FSeam.Errors.size(), 1);
    EXPECT_EQ(FSeam.Errors[0], QStringLiteral("'oops' is not a valid integer value."));
    EXPECT_EQ(D().lstPredvolby->count(), 0) << "the presets were not loaded";
    ChooseFormat(pA5);
    EXPECT_EQ(Pages(), 1);
}

TEST_F(Dialog, FontBoldGreysTheBoldLines)
{
    Start(kTwoPresets, QStringLiteral("-fontBold"));
    EXPECT_FALSE(D().lstRadky->isEnabled());
    PickPreset(QStringLiteral("Velké"));
    EXPECT_EQ(D().lstRadky->item(1)->checkState(), Qt::Checked) << "still applied from presets";
}

TEST_F(Dialog, SaveDialogIgnoresEsc)
{
    Start();
    TfrmSave& save = D().SaveDialog();
    save.Prepare(QString(), false, {});
    save.show();
    EXPECT_FALSE(save.chkOverwrite->isEnabled());
    EXPECT_TRUE(save.chkAdd->isChecked());
    EXPECT_TRUE(save.edtNazev->isEnabled());
    QTest::keyClick(&save, Qt::Key_Escape);
    EXPECT_TRUE(save.isVisible());
    save.hide();
}

TEST_F(Dialog, EveryFieldShowsItsLongestValue)
{
    Start();
    for (TCategoryPanel* panel : {D().panPapir, D().panStitky, D().panPismo})
        panel->SetCollapsed(false);
    QApplication::processEvents();
    const QString count = QStringLiteral("1000"), length = QStringLiteral("999,99");
    const std::pair<QLineEdit*, QString> fields[] = {
        {D().edtPocetX, count},  {D().edtPocetY, count},  {D().edtFirstX, count},    {D().edtFirstY, count},
        {D().edtWidth, length},  {D().edtHeight, length}, {D().edtMarginX, length},  {D().edtMarginY, length},
        {D().edtSpaceX, length}, {D().edtSpaceY, length}, {D().edtPaddingX, length}, {D().edtPaddingY, length}};
    for (const auto& [edit, longest] : fields) {
        SCOPED_TRACE(longest.toStdString() + " in " + std::to_string(edit->width()) + " pixels");
        edit->clearFocus();
        edit->setText(longest);
        // A text that does not fit scrolls to keep the cursor in view: the
        // field looks the same with the cursor at either end only when all of it shows.
        edit->setCursorPosition(int(longest.size()));
        const QImage atEnd = edit->grab().toImage();
        edit->setCursorPosition(0);
        EXPECT_EQ(edit->grab().toImage(), atEnd);
    }
}

TEST_F(Dialog, SaveDialogSelectsTheNameForANewPresetOnItsWhiteStrip)
{
    Start();
    TfrmSave& save = D().SaveDialog();
    save.Prepare(QStringLiteral("Standard A4"), true, {QStringLiteral("Standard A4")});
    save.show();
    QApplication::setActiveWindow(&save);
    QApplication::processEvents();
    EXPECT_EQ(save.size(), QSize(273, 163)) << "the client area";
    QTest::mouseClick(save.chkAdd, Qt::LeftButton);
    EXPECT_TRUE(save.edtNazev->hasFocus());
    QTest::keyClicks(save.edtNazev, QStringLiteral("Q"));
    EXPECT_EQ(save.edtNazev->text(), QStringLiteral("Q")) << "the whole name was selected: typing replaces it";
    const QImage image = save.grab().toImage();
    EXPECT_EQ(image.pixelColor(3, image.height() - 3), QColor(Qt::white)) << "the bottom strip";
    EXPECT_NE(image.pixelColor(3, image.height() - TButtonStrip::kHeight), QColor(Qt::white)) << "its top line";
    EXPECT_NE(image.pixelColor(3, image.height() - TButtonStrip::kHeight - 3), QColor(Qt::white)) << "above it";
    save.hide();
}

TEST(DialogApplication, QtsOwnTextsInTheUsersLanguageAndCaptionsAsSet)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
    QTranslator* translator = SetUpDialogApplication();
    QLocale::setDefault(before);
    ASSERT_NE(translator, nullptr) << "Qt's Czech translation (qt6-translations-l10n) is not installed";
    QMessageBox box(QMessageBox::Question, QStringLiteral("Odstranit"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Ano"));
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove(u'&'), QStringLiteral("Ne"));
    QCoreApplication::removeTranslator(translator);
    delete translator;
    // Qt appends a display name to every window title ("Odstranit — …").
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

TEST(PrintChoice, ExactlyThePagesOfTheListAndThePageSet)
{
    QPrinter printer;
    printer.setPrinterName(QStringLiteral("diroze-pdf"));
    if (printer.outputFormat() != QPrinter::NativeFormat || !printer.isValid())
        SKIP_WITHOUT_PEER("the CUPS queue diroze-pdf is not installed");
    const auto cupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
    struct Case {
        const char* what;
        QString pages; // empty: all pages
        QString pageSet;
        bool range;
        std::vector<int> printed;
    } cases[] = {
        {"page list", QStringLiteral("1,3"), {}, true, {1, 3}},
        // The dialog counts the set from the range's first page: "even" of
        // 2-4 is written as "odd".
        {"range with even pages", QStringLiteral("2-4"), QStringLiteral("odd"), true, {2, 4}},
        {"all odd pages", {}, QStringLiteral("odd"), true, {1, 3, 5}},
        {"range beyond the end", QStringLiteral("4-9"), {}, true, {4, 5}},
        {"all pages", {}, {}, false, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        printer.setPrintRange(c.pages.isEmpty() ? QPrinter::AllPages : QPrinter::PageRange);
        printer.setPageRanges(QPageRanges::fromString(c.pages));
        QStringList options = {QStringLiteral("number-up"), QStringLiteral("1")};
        if (!c.pages.isEmpty())
            options << QStringLiteral("page-ranges") << c.pages;
        if (!c.pageSet.isEmpty())
            options << QStringLiteral("page-set") << c.pageSet;
        printer.printEngine()->setProperty(cupsOptions, options);
        const TPrintChoice choice = PrintChoiceOf(printer, 5);
        EXPECT_EQ(choice.Range, c.range);
        EXPECT_EQ(choice.Pages, c.printed);
        EXPECT_EQ(printer.printEngine()->property(cupsOptions).toStringList(),
                  (QStringList{QStringLiteral("number-up"), QStringLiteral("1")}))
            << "the spooler does not pick pages out of the job again";
    }
}

// The system print dialog answered through its own controls, as a person
// would: a range (from, to), a page list or all pages, with all, odd or even
// pages; the choice printed through the spooler's PDF printer. Odd and even
// are the document's page numbers, whatever page the range starts on.
TEST(PrintChoice, OddAndEvenAreDocumentPagesForEveryRangeAndList)
{
    if (const QString why = printspool::Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    enum TSet { kAll, kOdd, kEven }; // the items of the dialog's page set list
    struct Case {
        const char* what;
        int from, to;  // a range; 0: none
        QString pages; // a page list; empty: none
        TSet set;
        std::vector<int> printed;
    };
    const Case cases[] = {
        {"all pages, odd", 0, 0, {}, kOdd, {1, 3, 5}},
        {"all pages, even", 0, 0, {}, kEven, {2, 4}},
        {"range 2 to 5", 2, 5, {}, kAll, {2, 3, 4, 5}},
        {"range 2 to 5, odd", 2, 5, {}, kOdd, {3, 5}},
        {"range 2 to 5, even", 2, 5, {}, kEven, {2, 4}},
        {"range 1 to 4, even", 1, 4, {}, kEven, {2, 4}},
        {"range 3 to 5, odd", 3, 5, {}, kOdd, {3, 5}},
        {"list 2-4, odd", 0, 0, QStringLiteral("2-4"), kOdd, {3}},
        {"list 2-4, even", 0, 0, QStringLiteral("2-4"), kEven, {2, 4}},
        {"list 1,4-5, odd", 0, 0, QStringLiteral("1,4-5"), kOdd, {1, 5}},
        {"list 2,3,5, all", 0, 0, QStringLiteral("2,3,5"), kAll, {2, 3, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TPrintPreview preview;
        recordedpages::RecordMarkedPages(preview, 5);
        preview.Printer().setPrinterName(printspool::kQueue);
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* range = dialog->findChild<QRadioButton*>(QStringLiteral("printRange"));
            auto* from = dialog->findChild<QSpinBox*>(QStringLiteral("from"));
            auto* to = dialog->findChild<QSpinBox*>(QStringLiteral("to"));
            auto* list = dialog->findChild<QRadioButton*>(QStringLiteral("pagesRadioButton"));
            auto* pages = dialog->findChild<QLineEdit*>(QStringLiteral("pagesLineEdit"));
            auto* set = dialog->findChild<QComboBox*>(QStringLiteral("pageSetCombo"));
            if (!range || !from || !to || !list || !pages || !set) {
                dialog->reject();
                FAIL() << "the print dialog has other controls than Qt 6.4's";
            }
            if (c.from > 0) {
                range->setChecked(true);
                to->setValue(c.to);
                from->setValue(c.from);
            } else if (!c.pages.isEmpty()) {
                list->setChecked(true);
                pages->setText(c.pages);
            }
            set->setCurrentIndex(c.set);
            dialog->accept();
        });
        TDialogSeam seam;
        const TPrintChoice choice = seam.Print(nullptr, preview.Printer(), preview.TotalPages());
        ASSERT_TRUE(choice.Accepted);
        printspool::TSpoolSession spool;
        if (choice.Range)
            preview.PrintPagesEx(choice.Pages);
        else
            preview.Print();
        const QString pdf = spool.WaitForPdf(preview.LastJobId());
        ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the queue";
        EXPECT_EQ(printspool::PrintedPages(pdf), c.printed);
    }
}

// The printer properties of the print dialog show the sheet's paper and
// orientation, not the printer's default paper.
TEST(PrintChoice, PrinterPropertiesShowTheSheetsPaper)
{
    if (const QString why = printspool::Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    struct Row {
        const char* proves;
        TPaperType type;
        TPrinterOrientation orientation;
        TPoint customSize;
        QString item; // the paper list's item
        bool landscape;
        double width, height; // millimetres, as oriented
    };
    const Row rows[] = {
        {"a custom 100 x 150 mm sheet", pCustom, poPortrait, {10000, 15000}, QStringLiteral("Custom"), false, 100, 150},
        {"a custom sheet in landscape", pCustom, poLandscape, {15000, 10000}, QStringLiteral("Custom"), true, 150, 100},
        {"the printer's own A5 in landscape", pA5, poLandscape, {}, QStringLiteral("A5"), true, 210, 148},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        TPrintPreview preview;
        preview.SetPaperType(row.type);
        preview.SetOrientation(row.orientation);
        if (row.type == pCustom) {
            preview.SetPaperWidth(row.customSize.X);
            preview.SetPaperHeight(row.customSize.Y);
        }
        preview.Printer().setPrinterName(printspool::kQueue);
        preview.SetPrinterOptions(); // as the print flow does before the dialog
        QString item;
        bool landscape = false;
        double width = 0, height = 0;
        QTimer::singleShot(0, [&] {
            QWidget* print = QApplication::activeModalWidget();
            ASSERT_NE(print, nullptr);
            QTimer::singleShot(0, [&] {
                QWidget* properties = QApplication::activeModalWidget();
                ASSERT_NE(properties, nullptr);
                const auto* sizes = properties->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
                const auto* turned = properties->findChild<QRadioButton*>(QStringLiteral("landscape"));
                const auto* across = properties->findChild<QDoubleSpinBox*>(QStringLiteral("pageWidth"));
                const auto* down = properties->findChild<QDoubleSpinBox*>(QStringLiteral("pageHeight"));
                if (sizes && turned && across && down) {
                    item = sizes->currentText();
                    landscape = turned->isChecked();
                    width = across->value();
                    height = down->value();
                }
                properties->close();
            });
            auto* button = print->findChild<QPushButton*>(QStringLiteral("properties"));
            if (button)
                button->click();
            print->close();
        });
        TDialogSeam seam;
        EXPECT_FALSE(seam.Print(nullptr, preview.Printer(), 1).Accepted);
        EXPECT_EQ(item.toStdString(), row.item.toStdString());
        EXPECT_EQ(landscape, row.landscape);
        EXPECT_NEAR(width, row.width, 0.5);
        EXPECT_NEAR(height, row.height, 0.5);
    }
}

TEST(ErrorBox, FullStopRule)
{
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Soubor je prázdný")), QStringLiteral("Soubor je prázdný."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Hotovo.")), QStringLiteral("Hotovo."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("(x)")), QStringLiteral("(x)")) << "')' is below '.'";
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Neznámý povel \"@9\"")), QStringLiteral("Neznámý povel \"@9\""));
    EXPECT_EQ(ErrorBoxText(QString()), QString());
}

} // namespace

// The real box: over a shown owner as Qt places it, centred on the screen
// while the owner is not shown yet (the dialog's start).
TEST(ErrorBox, StandsInTheMiddleOfTheScreenBeforeTheDialogShows)
{
    QWidget owner;
    owner.resize(505, 409);
    QRect placed;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        placed = box->frameGeometry();
        box->close();
    });
    TDialogSeam().Error(&owner, QStringLiteral("Soubor nelze přečíst"));
    const QRect screen = owner.screen()->availableGeometry();
    EXPECT_LE((placed.center() - screen.center()).manhattanLength(), 4)
        << placed.x() << "," << placed.y() << " on " << screen.width() << "x" << screen.height();
}
