#pragma once
// The page engine's recording half: units, paper, and a document recorded
// page by page onto a surface in hundredths of a millimetre, kept in the page
// store. It needs no window; the preview widget adds the view on top of it
// through the virtual steps below.

#include "Canvas.h"
#include "Exceptions.h"
#include "MetafileList.h"
#include "Units.h"

#include <QMarginsF>
#include <QRect>
#include <QString>
#include <QTransform>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class QPainter;
class QPrinter;
class QRect;

namespace diroze {

class TPrinterJob;

enum TPreviewState : uint8_t {
    psReady,
    psCreating,
    psPrinting,
    psEditing,
    psReplacing,
    psInserting,
    psLoading,
    psSaving,
    psSavingPDF,
    psSavingTIF,
};

enum TZoomState : uint8_t { zsZoomOther, zsZoomToWidth, zsZoomToHeight, zsZoomToFit };

// A page surface or recording that cannot be made.
class EOutOfMemory : public hostutils::Exception {
public:
    EOutOfMemory() : Exception("There is not enough memory to create a new page") {}
};

// --- printing (Printing.cpp) ---

// What printing does with one page: print it, skip it, or stop and abort the job.
enum TPageProcessingChoice : uint8_t { pcAccept, pcIgnore, pcCancellAll };

// Page numbers, from 1, in printing order.
using TIntegerList = std::vector<int>;

// A printer that cannot take the job. Texts:
//   "Printer selected is not valid"       (no printer chosen, or one the spooler does not list)
//   "Printer \"%s\" cannot start the document"
//   "Printer \"%s\" failed while printing page %d"
//   "Printer \"%s\" did not accept the job. %s"   (the spooler's reason)
//   "Paper of %s x %s mm is larger than a printer accepts (3276.7 mm)"
class EPrinter : public hostutils::Exception {
public:
    using Exception::Exception;
};

// How a printer is calibrated: the shift of everything it prints, in
// hundredths of a millimetre (right and down); how much narrower each bar
// and dark module of a symbol is drawn on each side, in the printer's dots
// (the dot its rasteriser adds taken back; 0 draws them as laid out); and
// the smallest module a symbol may get, in hundredths of a millimetre, on
// top of the two dots a module needs to survive a thermal head.
struct TPrinterCalibration {
    TPoint Offset;
    double BarWidthReduction = kDefaultBarWidthReduction;
    int32_t MinModule = 0;
    bool operator==(const TPrinterCalibration&) const = default;
};

// A job's page as the printer gets it: the printer, the resolution the job
// prints at, where the page's logical units land on the printer's dot grid
// (calibration shift included), the printer's calibration and the margins
// it cannot print.
struct TPrinterJobPage {
    QString Printer; // or the output file of a job to a file
    int Dpi = 0;
    QTransform PageToDevice;
    TPrinterCalibration Calibration;
    QMarginsF Unprintable; // the paper's edges the printer does not print, in millimetres; none for a file
};

class TPrintPreview {
public:
    using TNotifyEvent = std::function<void()>;

    TPrintPreview();
    virtual ~TPrintPreview();
    TPrintPreview(const TPrintPreview&) = delete;
    TPrintPreview& operator=(const TPrintPreview&) = delete;

    // --- units ---
    TUnits Units() const { return FUnits; }
    int32_t ConvertX(int32_t aX, TUnits aInUnits, TUnits aOutUnits) const;
    int32_t ConvertY(int32_t aY, TUnits aInUnits, TUnits aOutUnits) const;
    TPoint ConvertXY(int32_t aX, int32_t aY, TUnits aInUnits, TUnits aOutUnits) const;
    void ConvertPoints(TPoint* aPoints, int aNumPoints, TUnits aInUnits, TUnits aOutUnits) const;
    int32_t XFrom(TUnits aUnits, int32_t aX) const { return ConvertX(aX, aUnits, FUnits); }
    int32_t YFrom(TUnits aUnits, int32_t aY) const { return ConvertY(aY, aUnits, FUnits); }
    TPoint PointFrom(TUnits aUnits, int32_t aX, int32_t aY) const { return ConvertXY(aX, aY, aUnits, FUnits); }
    TRect RectFrom(TUnits aUnits, int32_t aLeft, int32_t aTop, int32_t aRight, int32_t aBottom) const;
    TRect BoundsFrom(TUnits aUnits, int32_t aLeft, int32_t aTop, int32_t aWidth, int32_t aHeight) const;

    // --- paper; every setter is ignored unless State is psReady ---
    TPaperType PaperType() const { return FPaperType; }
    void SetPaperType(TPaperType aValue);
    TPrinterOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TPrinterOrientation aValue);
    int32_t PaperWidth() const { return FPageExt.X; }
    void SetPaperWidth(int32_t aValue) { SetPaperSize(aValue, FPageExt.Y); }
    int32_t PaperHeight() const { return FPageExt.Y; }
    void SetPaperHeight(int32_t aValue) { SetPaperSize(FPageExt.X, aValue); }
    bool IsPaperCustom() const { return FPaperType == pCustom; }
    bool IsPaperRotated() const { return FOrientation == poLandscape; }
    TPoint PageSize() const { return FPageExt; }
    TPoint PageDevicePixels() const { return FDeviceExt; }
    TPoint PageLogicalPixels() const { return FLogicalExt; }
    TRect PageBounds() const { return TRect{0, 0, FPageExt.X, FPageExt.Y}; }
    // The paper type whose size, in whole millimetres, is W x H in portrait order; pCustom if none.
    TPaperType FindPaperType(int32_t aWidth, int32_t aHeight) const;
    const QString& VirtualFormName() const { return FVirtualFormName; }

    // --- document ---
    void BeginDoc();
    void NewPage();
    void EndDoc();
    // The surface of the page being recorded; nullptr outside a document.
    TCanvas* Canvas() { return FPageCanvas.get(); }
    int CanvasPageNo() const { return FCanvasPageNo; }
    int TotalPages() const { return FPageList.Count(); }
    void Clear() { FPageList.Clear(); }
    TPreviewState State() const { return FState; }
    // Ends a document that a failure interrupted: the page being recorded is
    // dropped and State returns to psReady.
    void AbortDoc();

    // How the view sizes the sheet; the view half lays itself out on a change.
    TZoomState ZoomState() const { return FZoomState; }
    virtual void SetZoomState(TZoomState aValue) { FZoomState = aValue; }

    int CacheSize() const { return FPageList.CacheSize(); }
    void SetCacheSize(int aValue) { FPageList.SetCacheSize(aValue); }
    TMetafileList& PageList() { return FPageList; }
    const QString& PrintJobTitle() const { return FPrintJobTitle; }
    void SetPrintJobTitle(const QString& aValue) { FPrintJobTitle = aValue; }
    bool UsePrinterOptions() const { return FUsePrinterOptions; }
    void SetUsePrinterOptions(bool aValue) { FUsePrinterOptions = aValue; }

    // The screen's logical pixels per inch that recordings are made against
    // (96 unless set, or the primary screen's when a GUI is running).
    int32_t ScreenPixelsPerInch() const { return FScreenPixelsPerInch; }
    void SetScreenPixelsPerInch(int32_t aValue);

    TNotifyEvent OnBeginDoc, OnEndDoc, OnNewPage, OnEndPage, OnStateChange, OnPaperChange;

    // --- printing (Printing.cpp) ---
    // The printer object jobs go to; made on first use for the system's
    // default printer. The caller may choose another printer, copies and so
    // on; a print sets its page layout, full-page mode and resolution (the
    // one the printer prints the job at, PrinterResolution; 1200 dpi for a
    // file or a printer that names none).
    QPrinter& Printer();
    // Whether the spooler lists at least one printer.
    bool PrinterInstalled() const;
    // Print all pages; a range (from 1, cut to the stored pages); the listed
    // pages in list order. Nothing happens unless State is psReady, a printer
    // is installed and some page is chosen. State is psPrinting meanwhile and
    // psReady afterwards in every case. A failure aborts the job and is
    // rethrown: EPrinter, or the page store's error.
    void Print();
    void PrintPages(int aFromPage, int aToPage);
    void PrintPagesEx(const TIntegerList& aPages);
    // Writes the paper into the printer's page layout: the printer's own form
    // when one fits the paper directly, else the paper code's page size or the
    // custom size; the orientation. Nothing happens without a printer.
    // Throws EPrinter for an invalid printer or an oversized paper.
    void SetPrinterOptions();
    // The printer form whose size is the paper's (searched once per paper
    // setting), or a made-up name "%umm x %umm" / "<form> Rotated" when no
    // form fits directly; empty without a printer.
    QString FormName();
    void SetFormName(const QString& aValue) { FFormName = aValue; }
    // FormName is a made-up or rotated name, which never reaches the printer.
    bool IsDummyFormName();
    // The printable area in Units; the whole page without a printer.
    TRect PrinterPageBounds();
    // Sets the printer up for a job of the current paper (its page layout,
    // the resolution the job prints at) as printing does, and tells how the
    // job's page will lie on it; starts no job. Throws EPrinter as the
    // start of a print does.
    TPrinterJobPage PrepareJobPage();
    // The paper in the printer's pixels, origin at the paper's corner: where
    // a page plays at true size. Empty without a printer.
    TRect PrinterPhysicalPageBounds();
    // The spooler's id of the last job this engine handed to a printer; 0
    // when none was (a job to a file has no id).
    int LastJobId() const { return FLastJobId; }

    using TPreviewPageDrawEvent = std::function<void(int aPageNo, QPainter& aCanvas)>;
    using TPreviewPageProcessingEvent = std::function<void(int aPageNo, TPageProcessingChoice& aChoice)>;
    using TPreviewProgressEvent = std::function<void(int aDone, int aTotal)>;
    TNotifyEvent OnBeforePrint, OnAfterPrint;
    TPreviewPageDrawEvent OnPrintBackground, OnPrintAnnotation;
    TPreviewPageProcessingEvent OnPageProcessing;
    TPreviewProgressEvent OnProgress;
    // The calibration of a printer, asked with the printer's name when a job
    // to a printer starts; without a handler every printer has the default.
    // Jobs written to a file, and the preview, use none of it.
    using TPrinterCalibrationEvent = std::function<TPrinterCalibration(const QString& aPrinterName)>;
    TPrinterCalibrationEvent OnPrinterCalibration;
    // Asked when a job to a printer starts, once its paper, resolution and
    // calibration are set and before anything reaches the spooler; throwing
    // refuses the job.
    using TPrinterJobCheckEvent = std::function<void(const TPrinterJobPage& aPage)>;
    TPrinterJobCheckEvent OnCheckPrinterJob;

protected:
    // Printing steps: PrintBegin, per page DoProgress, DoPageProcessing and
    // PrintPage, then PrintEnd in every case.
    virtual void DoProgress(int aDone, int aTotal);
    virtual TPageProcessingChoice DoPageProcessing(int aPageNo);
    virtual void PrintPage(int aPageNo, QPainter& aCanvas, const QRect& aRect);
    virtual void PrintBegin();
    virtual void PrintEnd(bool aSucceeded);

    virtual void PaperChanged();
    virtual void UpdateExtents();
    // Lays the paper view out again; the view half overrides it. -1, -1 keeps
    // the relative scroll position.
    virtual void LayoutPaperView(int aX, int aY);
    virtual int32_t HorzPixelsPerInch() const { return FScreenPixelsPerInch; }
    virtual int32_t VertPixelsPerInch() const { return FScreenPixelsPerInch; }
    void SetState(TPreviewState aValue);
    void SetPaperSize(int32_t aWidth, int32_t aHeight);

    TMetafileList FPageList;
    TZoomState FZoomState = zsZoomToFit;

private:
    void CreateMetafileCanvas();
    void CloseMetafileCanvas();

    std::unique_ptr<TCanvas> FPageCanvas;
    std::unique_ptr<TMetafile> PageMetafile;
    TUnits FUnits = mmHiMetric;
    TPoint FPageExt;
    TPoint FDeviceExt;
    TPoint FLogicalExt;
    TPrinterOrientation FOrientation = poPortrait;
    TPaperType FPaperType = pA4;
    TPreviewState FState = psReady;
    int FCanvasPageNo = 0;
    QString FPrintJobTitle;
    bool FUsePrinterOptions = false;
    QString FFormName;
    QString FVirtualFormName;
    int32_t FScreenPixelsPerInch = 96;
    std::unique_ptr<QPrinter> FPrinter;
    std::unique_ptr<TPrinterJob> FPrinterJob; // open between PrintBegin and PrintEnd
    QRect FJobTarget;                         // where a page of the open job plays, in dots
    TDotPlayback FJobDots;                    // how the open job's symbols play
    int FLastJobId = 0;
};

} // namespace diroze
