// The program's print through real label printer drivers, read back dot by
// dot: driver_print_check.py prints driver-labels.txt to a driver queue of
// scripts/start-services.sh, decodes the job's bytes and checks that every
// symbol decodes, has whole-dot modules and its quiet zones, lies where the
// -pdf file has it (moved by the printer.ini offset), and that the raster
// is the page at the resolution the user's setup chooses. The checker's
// table goes into the test output.

#include "TestPeers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

struct TDriverRow {
    const char* Proves;
    const char* Queue;
    const char* Label; // W x H mm, one label a page
    int Dpi;           // for a driver without a Resolution option, else 0
    const char* PrinterIni;
    const char* Lpoptions;
};

TEST(DriverRaster, EverySymbolPrintsWholeAndInPlaceThroughEachDriver)
{
    // Labels wide enough for every kind to get two dots a module or more.
    const TDriverRow rows[] = {
        {"ZPL at 203 dpi, a custom size", "diroze-zpl203", "100x50", 0, "", ""},
        {"ZPL at 300 dpi, the driver's 2 x 1 inch label", "diroze-zpl300", "50.8x25.4", 0, "", ""},
        {"Brother QL-570: 300 dpi, unprinted strips round the page", "diroze-ql570", "62x29", 300, "", ""},
        {"printer.ini moves every symbol by exactly its offset", "diroze-zpl203", "100x50", 0,
         "[diroze-zpl203]\nOffsetX=1.5\nOffsetY=-1\n", ""},
        {"the user's lpoptions Resolution: drawn and rasterised at 300 dpi, 600 dots across 50.8 mm", "diroze-zpl203",
         "50.8x25.4", 0, "", "Dest diroze-zpl203 Resolution=300dpi"},
        {"DYMO at 300 dpi: its 57 x 102 mm medium, a dot grid a third of a dot off the page's", "diroze-dymo",
         "57x101.6", 0, "", ""},
    };
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
        SKIP_WITHOUT_PEER("no /usr/bin/python3");
    for (const TDriverRow& row : rows) {
        SCOPED_TRACE(row.Proves);
        QTemporaryDir dir;
        QStringList args = {QStringLiteral(DRIVER_CHECK),   QStringLiteral(DIROZE_BINARY),
                            QString::fromLatin1(row.Queue), QStringLiteral(DRIVER_LABELS),
                            QStringLiteral("--codepage"),   QStringLiteral("65001"),
                            QStringLiteral("--label"),      QString::fromLatin1(row.Label)};
        if (row.Dpi)
            args << QStringLiteral("--dpi") << QString::number(row.Dpi);
        if (*row.PrinterIni) {
            QFile ini(dir.filePath(QStringLiteral("printer.ini")));
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write(row.PrinterIni);
            ini.close();
            args << QStringLiteral("--printer-ini") << ini.fileName();
        }
        if (*row.Lpoptions)
            args << QStringLiteral("--lpoptions") << QString::fromLatin1(row.Lpoptions);
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(QStringLiteral("/usr/bin/python3"), args);
        const bool finished = check.waitForFinished(240000);
        if (!finished)
            check.kill();
        const QByteArray table = check.readAll();
        std::printf("--- %s (%s, %s mm)\n%s", row.Proves, row.Queue, row.Label, table.constData());
        ASSERT_TRUE(finished) << "the checker ran out of time";
        if (check.exitCode() == 3)
            SKIP_WITHOUT_PEER(table.toStdString());
        EXPECT_EQ(check.exitCode(), 0) << "driver_print_check.py failed; its table is above";
    }
}

} // namespace
