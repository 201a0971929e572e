// diroze: prints sheets of labels from a data file written by a host program.
//
//   diroze FILE [-codePage:N] [-numbers] [-fontBold] [-check | -pdf:OUT.pdf | -print] [-preset:NAME]
//          [-sheet:"BRAND PART"]
//   diroze -sheets[:FILTER]
//
// Without -check, -pdf or -print it opens the dialog "Tisk štítků". -check
// reads the data file and lists its labels with the module each barcode
// gets on the current printer, or reports the first bad line.
// -pdf renders every sheet as for printing into a PDF file; -print
// prints them on the current printer. None opens a window; -pdf and -print
// need no display; the dialog does, and without one it says so and ends with
// exit code 1. -sheets lists the installed label products. --help and
// --version answer on standard output.

#include "CheckReport.h"
#include "ConfigFiles.h"
#include "DataFile.h"
#include "JobFailure.h"
#include "ParamParser.h"
#include "PdfOutput.h"
#include "Presets.h"
#include "PrintJob.h"
#include "StandardOptions.h"
#include "UtilsString.h"
#include "ui/ActiveWindow.h"
#include "ui/DialogApplication.h"
#include "ui/DialogSeam.h"
#include "products/LabelProducts.h"
#include "ui/MainDialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <clocale>
#include <memory>
#include <cstdio>

#include <xcb/xcb.h>

using namespace diroze;

namespace {

constexpr char kUsage[] =
    "Usage: diroze DATAFILE [-codePage:N] [-numbers] [-fontBold] [-check | -pdf:OUT.pdf | -print]\n"
    "              [-preset:NAME] [-sheet:\"BRAND PART\"]\n"
    "       diroze -sheets[:FILTER]\n"
    "Prints sheets of labels from DATAFILE, one label a line. Field 0 is an EAN\n"
    "number or KIND:DATA for another barcode (C128, GS1, C39, ITF14, UPCA, UPCE,\n"
    "QR, DM, GS1DM, PDF417).\n"
    "\n"
    "  -codePage:N   code page of the data file (default 852, 65001 is UTF-8)\n"
    "  -numbers      every label also prints its barcode number\n"
    "  -fontBold     text lines may start with a style prefix such as @bc12\n"
    "  -check        list the labels with the module each barcode gets on the\n"
    "                current printer, or report the first bad line or a barcode\n"
    "                too small for it, and name the presets file and printer file\n"
    "  -pdf:OUT.pdf  write every sheet into a PDF file (no window, no display)\n"
    "  -print        print every sheet on the current printer (no window)\n"
    "  -preset:NAME  with -pdf or -print: the layout of the preset NAME\n"
    "  -sheet:\"BRAND PART\"  with -pdf, -print or -check: paper and label grid of\n"
    "                that label product (padding and font from the preset)\n"
    "  -sheets[:FILTER]  list the installed label products matching every word of\n"
    "                FILTER, one a line: brand, part, description, paper, labels\n"
    "                across x down, label size, note (tab-separated)\n"
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
    "Without -check, -pdf or -print the dialog \"Tisk štítků\" opens. See diroze(1).\n";

// "diroze: FILE: řádek N: message" on standard error, line breaks of balloon texts as blanks.
void ReportFailure(const QString& aFileName, const std::exception& aError)
{
    QTextStream err(stderr);
    err << "diroze: ";
    if (!aFileName.isEmpty())
        err << aFileName << ": ";
    if (const auto* bad = dynamic_cast<const EBadLine*>(&aError))
        err << QStringLiteral("řádek %1: ").arg(bad->LineNumber());
    err << hostutils::MessageText(aError).replace(u'\r', u' ') << '\n';
}

// "-sheets[:FILTER]": the matching products, usable or not, one a line.
int ListProducts(const hostutils::TParamParser& aParams)
{
    const TProductCatalogue catalogue = LoadProductCatalogue();
    // Standard output stays the products' lines for host programs.
    for (const QString& fault : catalogue.FileFaults)
        QTextStream(stderr) << QStringLiteral("diroze: soubor šablon nelze přečíst: ") << fault << '\n';
    QTextStream out(stdout);
    if (catalogue.Products.empty()) {
        out.flush();
        QTextStream(stderr) << QStringLiteral("diroze: nejsou nainstalované žádné šablony etiket (hledáno v %1; "
                                              "nainstalujte balíček glabels-data)\n")
                                   .arg(catalogue.Folders.join(QStringLiteral(", ")));
        return 1;
    }
    const QString filter = aParams.GetArgument(QStringLiteral("sheets"));
    for (const TLabelProduct& product : catalogue.Products)
        if (ProductMatches(product, filter))
            out << DescribeProduct(product) << '\n';
    return 0;
}

// Qt's own notes (a missing runtime directory and the like) would only
// clutter the output that host programs read; its errors still show.
void QuietMessages(QtMsgType aType, const QMessageLogContext&, const QString& aMessage)
{
    if (aType == QtCriticalMsg || aType == QtFatalMsg)
        QTextStream(stderr) << "diroze: " << aMessage << '\n';
}

// Qt's painting without a window and without a display: the offscreen
// platform, Qt's notes kept quiet, none of the switches given to Qt (it
// would take some for its own).
class THeadlessQt {
public:
    THeadlessQt()
    {
        qInstallMessageHandler(QuietMessages);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        FApp = std::make_unique<QGuiApplication>(FArgc, FArgv);
    }

private:
    int FArgc = 1;
    char FName[7] = "diroze";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QGuiApplication> FApp;
};

int CheckDataFile(const hostutils::TParamParser& aParams)
{
    const QString fileName = aParams.GetArgument(QString());
    QTextStream out(stdout);
    const TConfigFiles files = LocateConfigFiles();
    for (const QString& line : DescribeConfigFiles(files))
        out << line << '\n';
    // The presets as -pdf and -print read them: one that cannot be read fails the check as it would fail them.
    bool presetsFailed = false;
    try {
        TPresets presets;
        WithSubject(files.Presets, [&] { presets.Load(files.Presets, files.PresetsSeed); });
    } catch (const EJobFailure& e) {
        out.flush();
        ReportFailure(e.Subject(), e);
        presetsFailed = true;
    }
    if (aParams.IsSet(QStringLiteral("sheet"))) {
        try {
            const TProductCatalogue catalogue = LoadProductCatalogue();
            const TLabelProduct& product = FindProduct(catalogue, aParams.GetArgument(QStringLiteral("sheet")));
            out << QStringLiteral("Etiketa: %1 (%2)").arg(DescribeProduct(product), product.Source) << '\n';
            RequireUsable(product);
        } catch (const std::exception& e) {
            out.flush();
            ReportFailure(QString(), e);
            return 1;
        }
    }
    TStitekList labels;
    int exitCode = 0;
    try {
        LoadFile(labels, fileName, DefaultOptionsFromParams(aParams), aParams);
    } catch (const std::exception& e) {
        exitCode = 1;
        for (size_t i = 0; i < labels.size(); ++i)
            out << DescribeLabel(static_cast<int>(i) + 1, *labels[i]) << '\n';
        out.flush();
        ReportFailure(fileName, e);
        return exitCode;
    }
    // The current printer: the module each symbol gets there, as printing
    // would check it, what of the first sheet it would not print, and the
    // refusal the print would meet.
    TPrinterModules modules;
    {
        const THeadlessQt qt;
        modules = PrinterModules(labels, aParams);
    }
    out << modules.Printer << '\n';
    if (!modules.Unprintable.isEmpty())
        out << modules.Unprintable << '\n';
    for (size_t i = 0; i < labels.size(); ++i)
        out << DescribeLabel(static_cast<int>(i) + 1, *labels[i], modules.Notes[i]) << '\n';
    out << QStringLiteral("Štítků: %1").arg(labels.size()) << '\n';
    if (!modules.Refusal.isEmpty()) {
        out.flush();
        ReportFailure(QString(), EPrinter(modules.Refusal.toStdString()));
        exitCode = 1;
    }
    return presetsFailed ? 1 : exitCode;
}

// Runs a job that needs Qt's painting but no window: -pdf or -print.
int RunHeadless(const hostutils::TParamParser& aParams, void (*aJob)(const hostutils::TParamParser&))
{
    const THeadlessQt qt;
    try {
        aJob(aParams);
    } catch (const EJobFailure& e) {
        ReportFailure(e.Subject(), e);
        return 1;
    } catch (const std::exception& e) {
        // The printer's failures and an unknown preset name their subject themselves.
        ReportFailure(QString(), e);
        return 1;
    }
    return 0;
}

// Whether the window system Qt would use is there to show the dialog: an X
// display that answers for xcb (Qt's choice when QT_QPA_PLATFORM does not
// name one), a Wayland socket for wayland. Platforms without a display
// (offscreen, vnc, ...) need none. Checked before Qt starts, which would
// abort instead.
bool DisplayAvailable()
{
    const QString platforms = QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"));
    const bool wayland =
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_SOCKET");
    const auto xDisplay = [] {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return false;
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const bool answered = xcb_connection_has_error(connection) == 0;
        xcb_disconnect(connection);
        return answered;
    };
    if (platforms.isEmpty())
        return wayland || xDisplay();
    // A list such as "wayland;xcb" is tried in order: one that works is enough.
    for (const QString& entry : platforms.split(u';', Qt::SkipEmptyParts)) {
        const QString name = entry.section(u':', 0, 0).trimmed();
        if (name == QStringLiteral("xcb") ? xDisplay() : name.startsWith(QStringLiteral("wayland")) ? wayland : true)
            return true;
    }
    return false;
}

// The dialog "Tisk štítků" until it closes; the window that was active at
// the start gets the focus back.
int RunDialog(const hostutils::TParamParser& aParams)
{
    if (!DisplayAvailable()) {
        QTextStream(stderr) << QStringLiteral("diroze: Dialog \"Tisk štítků\" potřebuje grafický displej (DISPLAY "
                                              "nebo WAYLAND_DISPLAY), žádný není k dispozici; -pdf, -print a "
                                              "-check displej nepotřebují.\n");
        return 1;
    }
    const TActiveWindow foreground = TActiveWindow::Remember();
    int qtArgc = 1;
    char name[] = "diroze";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    SetUpDialogApplication();
    TDialogSeam seam;
    {
        TfrmHlavni dialog(seam, aParams, LocateConfigFiles());
        dialog.FormCreate();
        dialog.show();
        QApplication::exec();
    }
    foreground.Restore();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (hostutils::AnswerStandardOption(argc, argv, "diroze", HOSTUTILS_VERSION, kUsage))
        return 0;
    std::setlocale(LC_ALL, "");
    const hostutils::TParamParser& params = hostutils::GlobalParamParser();
    if (params.IsSet(QStringLiteral("sheets")))
        return ListProducts(params);
    if (params.IsSet(QStringLiteral("pdf")))
        return RunHeadless(params, RunPdfJob);
    if (params.IsSet(QStringLiteral("print")))
        return RunHeadless(params, RunPrintJob);
    if (params.IsSet(QStringLiteral("check")))
        return CheckDataFile(params);
    return RunDialog(params);
}
