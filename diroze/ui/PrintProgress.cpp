#include "PrintProgress.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace diroze {

void TPrintProgress::Progress(int aDone, int aTotal)
{
    const std::chrono::milliseconds now = FClock();
    if (!FStarted) {
        FStart = now;
        FStarted = true;
    }
    FTotal = std::max(aTotal, 0);
    FDone = std::clamp(aDone, 0, FTotal);
    if (FDone >= FTotal)
        FShown = false;
    else if (!FShown && now - FStart >= kShowAfter)
        FShown = true;
}

QString TPrintProgress::Text() const
{
    return QStringLiteral("Tisk strany %1 z %2").arg(std::min(FDone + 1, FTotal)).arg(FTotal);
}

TPrintProgressWindow::TPrintProgressWindow(QWidget* aOwner, TPrintPreview& aEngine, TPrintProgress::TClock aClock)
        : QDialog(aOwner), FEngine(aEngine), FProgress(std::move(aClock))
{
    setWindowTitle(QStringLiteral("Tisk štítků"));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    lblText = new QLabel(this);
    barPages = new QProgressBar(this);
    barPages->setMinimumWidth(250);
    btnStorno = new QPushButton(QStringLiteral("Storno"), this);
    auto* column = new QVBoxLayout(this);
    column->addWidget(lblText);
    column->addWidget(barPages);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(btnStorno);
    column->addLayout(row);
    connect(btnStorno, &QPushButton::clicked, this, &TPrintProgressWindow::reject);
    FEngine.OnProgress = [this](int aDone, int aTotal) { Step(aDone, aTotal); };
    FEngine.OnPageProcessing = [this](int, TPageProcessingChoice& aChoice) { aChoice = FProgress.Choice(); };
}

TPrintProgressWindow::~TPrintProgressWindow()
{
    FEngine.OnProgress = nullptr;
    FEngine.OnPageProcessing = nullptr;
}

void TPrintProgressWindow::reject()
{
    FProgress.Cancel();
    hide();
}

void TPrintProgressWindow::Step(int aDone, int aTotal)
{
    FProgress.Progress(aDone, aTotal);
    if (!FProgress.Shown() || FProgress.Cancelled()) {
        hide();
        return;
    }
    lblText->setText(FProgress.Text());
    barPages->setRange(0, FProgress.Total());
    barPages->setValue(FProgress.Done());
    show();
    // The job runs on this thread: the window answers between pages.
    QApplication::processEvents();
}

} // namespace diroze
