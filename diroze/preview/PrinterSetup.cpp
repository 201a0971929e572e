#include "PrinterSetup.h"

#include "Units.h"
#include "UtilsFile.h"

#include "PrintPreview.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrintEngine>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSizeF>
#include <QTemporaryFile>

#include <cups/cups.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace diroze {

namespace {

int64_t WholeMillimetres(int64_t aThousandths) { return RoundHalfEven(static_cast<long double>(aThousandths) / 1000); }

} // namespace

TFormNames SearchForms(const std::vector<TPrinterForm>& aForms, int64_t aWidthMm, int64_t aHeightMm, bool aTurned)
{
    TFormNames result;
    for (const TPrinterForm& form : aForms) {
        const int64_t w = WholeMillimetres(form.Width);
        const int64_t h = WholeMillimetres(form.Height);
        if (w == aWidthMm && h == aHeightMm)
            return TFormNames{form.Name, QString()};
        if (w == aHeightMm && h == aWidthMm)
            result.VirtualFormName = form.Name; // the last such form wins
    }
    if (!result.VirtualFormName.isEmpty())
        aTurned = !aTurned; // the form lies the other way round: the sheet turns
    else
        result.VirtualFormName =
            QStringLiteral("%1mm x %2mm").arg(aTurned ? aHeightMm : aWidthMm).arg(aTurned ? aWidthMm : aHeightMm);
    if (aTurned)
        result.VirtualFormName += QStringLiteral(" Rotated");
    return result;
}

std::vector<TPrinterForm> PrinterForms(const QString& aPrinterName)
{
    std::vector<TPrinterForm> forms;
    if (aPrinterName.isEmpty())
        return forms;
    const QPrinterInfo info = QPrinterInfo::printerInfo(aPrinterName);
    if (info.isNull())
        return forms;
    for (const QPageSize& size : info.supportedPageSizes()) {
        const QSizeF mm = size.size(QPageSize::Millimeter);
        forms.push_back(TPrinterForm{size.name(), std::llround(mm.width() * 1000), std::llround(mm.height() * 1000)});
    }
    return forms;
}

QPageSize PrinterMedium(const QString& aPrinterName, int32_t aWidth, int32_t aHeight)
{
    // Half a millimetre, in millimetres.
    constexpr double kTolerance = 0.5;
    if (aPrinterName.isEmpty())
        return QPageSize();
    QPageSize nearest;
    double nearestOff = kTolerance + 1e-9;
    for (const QPageSize& size : QPrinterInfo::printerInfo(aPrinterName).supportedPageSizes()) {
        const QSizeF mm = size.size(QPageSize::Millimeter);
        const double off = std::max(std::fabs(mm.width() - aWidth / 100.0), std::fabs(mm.height() - aHeight / 100.0));
        if (off < nearestOff) {
            nearest = size;
            nearestOff = off;
        }
    }
    return nearest;
}

bool PrinterListed(const QString& aPrinterName)
{
    return !aPrinterName.isEmpty() && QPrinterInfo::availablePrinterNames().contains(aPrinterName);
}

bool AnyPrinterListed() { return !QPrinterInfo::availablePrinterNames().isEmpty(); }

namespace {

// Connects to one address of the print service within 10 seconds; 0, or
// the system's error number.
int ConnectError(const http_addr_t& aAddress)
{
    const int fd = socket(aAddress.addr.sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return errno;
    int error = 0;
    if (connect(fd, &aAddress.addr, static_cast<socklen_t>(httpAddrLength(&aAddress))) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd poll{fd, POLLOUT, 0};
            const int ready = ::poll(&poll, 1, 10000);
            socklen_t length = sizeof error;
            if (ready <= 0)
                error = ready == 0 ? ETIMEDOUT : errno;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
    }
    close(fd);
    return error;
}

} // namespace

QString PrintServiceUnreachable()
{
    const char* server = cupsServer();
    const int port = ippPort();
    const QByteArray service = QByteArray::number(port);
    QString reason = QStringLiteral("its name is unknown");
    if (http_addrlist_t* addresses = httpAddrGetList(server, AF_UNSPEC, service.constData())) {
        int error = 0;
        for (const http_addrlist_t* a = addresses; a; a = a->next) {
            error = ConnectError(a->addr);
            if (error == 0)
                break;
        }
        httpAddrFreeList(addresses);
        if (error == 0)
            return QString();
        reason = hostutils::SystemReason(error);
    }
    const QString name = QString::fromLocal8Bit(server);
    const QString where = name.startsWith(u'/') ? name : QStringLiteral("%1:%2").arg(name).arg(port);
    return QStringLiteral("The print service cannot be reached at %1 (%2)").arg(where, reason);
}

namespace {

// Dots per inch of a resolution text, or 0.
int ResolutionText(const QString& aText)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,5})(?:x\\d{1,5})?(dpi|dpcm)\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(aText);
    if (!m.hasMatch())
        return 0;
    const int value = m.captured(1).toInt();
    return m.captured(2).compare(QStringLiteral("dpcm"), Qt::CaseInsensitive) == 0
               ? static_cast<int>(std::lround(value * 2.54))
               : value;
}

int ResolutionOption(int aCount, cups_option_t* aOptions)
{
    for (const char* name : {"Resolution", "printer-resolution"})
        if (const char* value = cupsGetOption(name, aCount, aOptions))
            if (const int dpi = ResolutionText(QString::fromUtf8(value)))
                return dpi;
    return 0;
}

// The print engine's property that holds the spooler's job options as
// name/value pairs (Qt's CUPS support keeps them there).
const auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);

} // namespace

QStringList JobOptions(const QPrinter& aPrinter)
{
    return aPrinter.printEngine() ? aPrinter.printEngine()->property(kCupsOptions).toStringList() : QStringList();
}

void SetJobOptions(QPrinter& aPrinter, const QStringList& aOptions)
{
    if (aPrinter.printEngine() && aPrinter.printEngine()->property(kCupsOptions).isValid())
        aPrinter.printEngine()->setProperty(kCupsOptions, aOptions);
}

QString JobOptionValue(const QStringList& aOptions, QLatin1StringView aName)
{
    for (qsizetype i = 0; i + 1 < aOptions.size(); i += 2)
        if (aOptions[i] == aName)
            return aOptions[i + 1];
    return QString();
}

int PrinterResolution(const QString& aPrinterName, const QStringList& aJobOptions)
{
    for (const char* name : {"Resolution", "printer-resolution"})
        if (const int dpi = ResolutionText(JobOptionValue(aJobOptions, QLatin1StringView(name))))
            return dpi;
    if (aPrinterName.isEmpty())
        return 0;
    const QByteArray name = aPrinterName.toLocal8Bit();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
    if (!dest)
        return 0;
    int dpi = ResolutionOption(dest->num_options, dest->options);
    if (dpi == 0) {
        if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
            ipp_attribute_t* fallback = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution");
            if (fallback && ippGetValueTag(fallback) == IPP_TAG_RESOLUTION) {
                int yres = 0;
                ipp_res_t units = IPP_RES_PER_INCH;
                const int xres = ippGetResolution(fallback, 0, &yres, &units);
                dpi = units == IPP_RES_PER_CM ? static_cast<int>(std::lround(xres * 2.54)) : xres;
            }
            cupsFreeDestInfo(info);
        }
    }
    cupsFreeDests(1, dest);
    return std::max(dpi, 0);
}

QString DefaultDestination()
{
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest)
        return QString();
    const QString name = QString::fromLocal8Bit(dest->name);
    cupsFreeDests(1, dest);
    return name;
}

QString MissingDefaultDestination()
{
    for (const char* variable : {"LPDEST", "PRINTER"}) {
        const QByteArray value = qgetenv(variable);
        if (value.isEmpty())
            continue;
        // "queue/instance" names an instance of a queue.
        const qsizetype slash = value.indexOf('/');
        const QByteArray name = slash < 0 ? value : value.left(slash);
        const QByteArray instance = slash < 0 ? QByteArray() : value.mid(slash + 1);
        cups_dest_t* dest =
            cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), instance.isEmpty() ? nullptr : instance.constData());
        if (dest) {
            cupsFreeDests(1, dest);
            return QString();
        }
        if (qstrcmp(variable, "PRINTER") == 0 && value == "lp")
            return QString();
        return QStringLiteral("The printer or class \"%1\" (%2) does not exist")
            .arg(QString::fromLocal8Bit(value), QLatin1String(variable));
    }
    return QString();
}

struct TPrinterJob::TState {
    QString Printer;    // the spooler's printer, or empty for a file
    QString OutputFile; // the file the job goes to, or empty for the spooler
    QString Title;
    int Copies = 1;
    bool Collate = true;
    QPrinter::DuplexMode Duplex = QPrinter::DuplexNone;
    bool Colour = true;
    QString Media;
    QByteArray Resolution; // the job's resolution, "203dpi"; empty: the printer's default
    QTemporaryFile Spool;
    std::unique_ptr<QPdfWriter> Writer;
    QPainter Painter;
    bool Finished = false;
    int JobId = 0;

    QString Label() const { return Printer.isEmpty() ? OutputFile : Printer; }
};

namespace {

// Copies the finished spool file to the job's output file by the rules of
// hostutils::TOutputFile; the reason of a failure, or empty.
QString CopyToOutputFile(const QString& aSpool, const QString& aOutputFile)
{
    QFile spool(aSpool);
    if (!spool.open(QIODevice::ReadOnly))
        return spool.errorString();
    hostutils::TOutputFile output(aOutputFile);
    if (!output.Open())
        return output.ErrorString();
    QByteArray chunk;
    while (!(chunk = spool.read(1 << 16)).isEmpty())
        if (output.Device()->write(chunk) != chunk.size())
            break; // Commit() reports the write's failure
    if (spool.error() != QFileDevice::NoError)
        return spool.errorString(); // the output is dropped
    return output.Commit() ? QString() : output.ErrorString();
}

// The spooler's name for the paper: the printer's own form, or a custom
// size of exactly the job's pages, which are sized in whole points. A
// medium of the paper's millimetres would make the spooler scale the pages
// by the fraction of a point between the two, and every edge drawn on a
// whole printer dot would fall between two.
QString MediaName(const QPageSize& aSize)
{
    // A printer's own medium keeps its name, whatever Qt makes of its size
    // (a label printer's "w101h252" is no size Qt knows).
    if (!aSize.key().isEmpty() && !aSize.key().startsWith(QStringLiteral("Custom.")))
        return aSize.key();
    const QSize points = aSize.sizePoints();
    return QStringLiteral("Custom.%1x%2").arg(points.width()).arg(points.height());
}

} // namespace

TPrinterJob::TPrinterJob(const QPrinter& aPrinter, const QString& aTitle) : FState(std::make_unique<TState>())
{
    TState& s = *FState;
    s.OutputFile = aPrinter.outputFileName();
    if (s.OutputFile.isEmpty())
        s.Printer = aPrinter.printerName();
    s.Title = aTitle;
    s.Copies = std::max(1, aPrinter.copyCount());
    s.Collate = aPrinter.collateCopies();
    s.Duplex = aPrinter.duplex();
    s.Colour = aPrinter.colorMode() == QPrinter::Color;
    s.Resolution = JobOptionValue(JobOptions(aPrinter), QLatin1StringView("Resolution")).toUtf8();
    QPageLayout layout = aPrinter.pageLayout();
    layout.setMode(QPageLayout::FullPageMode);
    s.Media = MediaName(layout.pageSize());
    auto cannotStart = [&] {
        throw EPrinter(QStringLiteral("Printer \"%1\" cannot start the document").arg(s.Label()).toStdString());
    };
    if (!s.Spool.open())
        cannotStart();
    s.Writer = std::make_unique<QPdfWriter>(&s.Spool);
    s.Writer->setCreator(QStringLiteral("diroze"));
    s.Writer->setTitle(aTitle);
    s.Writer->setResolution(aPrinter.resolution());
    if (!s.Writer->setPageLayout(layout) || !s.Painter.begin(s.Writer.get()))
        cannotStart();
    FPainter = &s.Painter;
}

TPrinterJob::~TPrinterJob()
{
    if (!FState->Finished)
        Abort();
}

void TPrinterJob::NewPage(int aPageNo)
{
    if (!FState->Writer->newPage())
        throw EPrinter(QStringLiteral("Printer \"%1\" failed while printing page %2")
                           .arg(FState->Label())
                           .arg(aPageNo)
                           .toStdString());
}

void TPrinterJob::Abort()
{
    TState& s = *FState;
    if (s.Painter.isActive())
        s.Painter.end();
    s.Finished = true;
    s.Spool.close(); // the temporary file goes with the job
}

void TPrinterJob::Finish()
{
    TState& s = *FState;
    s.Finished = true;
    const bool written = s.Painter.end() && s.Spool.flush();
    s.Spool.close();
    auto refused = [&](const QString& aReason) {
        throw EPrinter(
            QStringLiteral("Printer \"%1\" did not accept the job. %2").arg(s.Label(), aReason).toStdString());
    };
    if (!written)
        refused(s.Spool.errorString());
    if (!s.OutputFile.isEmpty()) {
        // The old file stays whole until the new one is complete.
        const QString reason = CopyToOutputFile(s.Spool.fileName(), s.OutputFile);
        if (!reason.isEmpty())
            refused(reason);
        return;
    }
    const QByteArray copies = QByteArray::number(s.Copies);
    const QByteArray media = s.Media.toUtf8();
    const char* sides = s.Duplex == QPrinter::DuplexLongSide    ? "two-sided-long-edge"
                        : s.Duplex == QPrinter::DuplexShortSide ? "two-sided-short-edge"
                                                                : "one-sided";
    int count = 0;
    cups_option_t* options = nullptr;
    count = cupsAddOption("copies", copies.constData(), count, &options);
    count = cupsAddOption("collate", s.Collate ? "true" : "false", count, &options);
    count = cupsAddOption("media", media.constData(), count, &options);
    // The spooler would round a custom "media" to a nearby size of the
    // printer's (250 x 354 mm to ISO B4's 250 x 353); a custom PageSize it
    // takes as it is.
    if (media.startsWith("Custom."))
        count = cupsAddOption("PageSize", media.constData(), count, &options);
    if (s.Duplex != QPrinter::DuplexAuto)
        count = cupsAddOption("sides", sides, count, &options);
    count = cupsAddOption("print-color-mode", s.Colour ? "color" : "monochrome", count, &options);
    // The resolution chosen for the job is the one its pages were drawn at.
    if (!s.Resolution.isEmpty())
        count = cupsAddOption("Resolution", s.Resolution.constData(), count, &options);
    // The user's options for the destination (lpoptions) go with the job as
    // lp sends them, the job's own first: the resolution the pages were
    // drawn at is then the one the driver rasterises at.
    const QByteArray printer = s.Printer.toLocal8Bit();
    if (cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.constData(), nullptr)) {
        for (int i = 0; i < dest->num_options; ++i)
            if (!cupsGetOption(dest->options[i].name, count, options))
                count = cupsAddOption(dest->options[i].name, dest->options[i].value, count, &options);
        cupsFreeDests(1, dest);
    }
    const int job =
        cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.constData(), QFile::encodeName(s.Spool.fileName()).constData(),
                       s.Title.toUtf8().constData(), count, options);
    cupsFreeOptions(count, options);
    if (job <= 0)
        refused(QString::fromUtf8(cupsLastErrorString()));
    s.JobId = job;
}

int TPrinterJob::JobId() const { return FState->JobId; }

} // namespace diroze
