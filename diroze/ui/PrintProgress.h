#pragma once
// The progress of a print from the dialog: after about a second a small
// window "Tisk štítků" shows the page being printed of all ("Tisk strany 3
// z 250") with a "Storno" button that stops the job. TPrintProgress decides
// what the window shows and holds the cancel; TPrintProgressWindow is the
// thin window over it.

#include "preview/PrintPreview.h"

#include <QDialog>
#include <QString>

#include <chrono>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace diroze {

class TPrintProgress {
public:
    // A monotonic clock; only differences between its readings count.
    using TClock = std::function<std::chrono::milliseconds()>;
    // How long a job runs before its progress is shown.
    static constexpr std::chrono::milliseconds kShowAfter{1000};

    explicit TPrintProgress(TClock aClock) : FClock(std::move(aClock)) {}

    // The engine's progress: aDone pages of aTotal handed over, aDone below
    // aTotal before each page and equal to it at the end. The job's time is
    // counted from the first call. The progress is shown from the first call
    // at which the job has run kShowAfter or longer and pages remain, until
    // the end.
    void Progress(int aDone, int aTotal);
    bool Shown() const { return FShown; }
    int Done() const { return FDone; }
    int Total() const { return FTotal; }
    // "Tisk strany N z M": N the page being printed (the next after those done).
    QString Text() const;

    // The user stopped the job: every following page is refused with
    // pcCancellAll, which ends the job unprinted.
    void Cancel() { FCancelled = true; }
    bool Cancelled() const { return FCancelled; }
    TPageProcessingChoice Choice() const { return FCancelled ? pcCancellAll : pcAccept; }

private:
    TClock FClock;
    std::chrono::milliseconds FStart{0};
    bool FStarted = false;
    bool FShown = false;
    bool FCancelled = false;
    int FDone = 0;
    int FTotal = 0;
};

// While it lives, follows aEngine's printing (its OnProgress and
// OnPageProcessing, given back empty when it dies) and shows itself, modal
// to the application, when TPrintProgress says so; the pending events are
// handled at each step while it is shown, so that "Storno", Esc or the
// close box reach it and cancel the job.
class TPrintProgressWindow : public QDialog {
public:
    TPrintProgressWindow(QWidget* aOwner, TPrintPreview& aEngine, TPrintProgress::TClock aClock);
    ~TPrintProgressWindow() override;
    TPrintProgressWindow(const TPrintProgressWindow&) = delete;
    TPrintProgressWindow& operator=(const TPrintProgressWindow&) = delete;

    const TPrintProgress& Progress() const { return FProgress; }
    QPushButton* btnStorno = nullptr;

    void reject() override;

private:
    void Step(int aDone, int aTotal);

    TPrintPreview& FEngine;
    TPrintProgress FProgress;
    QLabel* lblText = nullptr;
    QProgressBar* barPages = nullptr;
};

} // namespace diroze
