// The program's print through real label printer drivers, read back dot by
// dot: driver_print_check.py prints driver-labels.txt to a driver queue of
// scripts/start-services.sh, decodes the job's bytes and checks that every
// symbol decodes, has whole-dot modules and its quiet zones, lies where the
// -pdf file has it (moved by the printer.ini offset), and that the raster
// is the page at the resolution the user's setup chooses. The checker's
// table goes into the test output.

#include "TestPeers.h"
#include "diroze/ProgramRun.h"

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

// On a 50 x 25 mm label the Code 128 of line 2 gets one dot a module at
// 203 dpi: the print stops before the spooler has anything and names the
// line, and -check marks it; at 300 dpi it gets two and passes, unless the
// printer's MinModuleMm asks for more. What reaches into the strips a
// driver does not print is told once, and the print goes on.
TEST(DriverRaster, WhatThePrinterWouldSpoilIsRefusedOrTold)
{
    struct Row {
        const char* proves;
        const char* queue;
        const char* job;
        const char* printerIni;
        const char* paper; // the one label a sheet: its attributes
        int exitCode;
        QString out; // a line of standard output, or empty
        QString err;
    };
    const char* const kSmall = "sirka=\"50\" vyska=\"25\" okraj-x=\"1\" okraj-y=\"1\"";
    const char* const kTall = "sirka=\"57.15\" vyska=\"101.6\" okraj-x=\"1\" okraj-y=\"1\"";
    const char* const kTallClear = "sirka=\"57.15\" vyska=\"101.6\" okraj-x=\"1\" okraj-y=\"5.5\"";
    const QString refusal203 = QStringLiteral(
        "diroze: Řádek 2: čárový kód C128 by na tiskárně \"diroze-zpl203\" (203 dpi) měl modul 1 tečku (0.13 mm), "
        "potřebuje nejméně 2 tečky (0.25 mm); zkraťte data, zvolte širší štítek nebo tiskárnu s vyšším "
        "rozlišením\n");
    const Row rows[] = {
        {"one dot a module stops the print", "diroze-zpl203", "-print", "", kSmall, 1, QString(), refusal203},
        {"-check marks it and fails as the print would", "diroze-zpl203", "-check", "", kSmall, 1,
         "2: C128 LOT A-2024/17 [modul 1 tečka (0.13 mm), méně než 2 tečky (0.25 mm)] | Code 128", refusal203},
        {"two dots a module pass", "diroze-zpl300", "-check", "", kSmall, 0,
         "2: C128 LOT A-2024/17 [modul 2 tečky (0.17 mm)] | Code 128", QString()},
        {"the printer's MinModuleMm raises the floor", "diroze-zpl300", "-print", "[diroze-zpl300]\nMinModuleMm=0.3\n",
         kSmall, 1, QString(),
         QStringLiteral("diroze: Řádek 2: čárový kód C128 by na tiskárně \"diroze-zpl300\" (300 dpi) měl modul 2 tečky "
                        "(0.17 mm), potřebuje nejméně 4 tečky (0.34 mm); zkraťte data, zvolte širší štítek nebo "
                        "tiskárnu s vyšším rozlišením\n")},
        {"bars into the 5.26 mm a LabelWriter leaves unprinted", "diroze-dymo", "-print", "", kTall, 0, QString(),
         QStringLiteral("diroze: Obsah první strany zasahuje do okraje, který tiskárna \"diroze-dymo\" netiskne: "
                        "nahoře 5.26 mm, dole 5.26 mm; co v něm leží, se nevytiskne\n")},
        {"-check says so too", "diroze-dymo", "-check", "", kTall, 0,
         QStringLiteral("Obsah první strany zasahuje do okraje, který tiskárna \"diroze-dymo\" netiskne: nahoře "
                        "5.26 mm, dole 5.26 mm; co v něm leží, se nevytiskne"),
         QString()},
        {"sheet margins clear of the strips: nothing to tell", "diroze-dymo", "-print", "", kTallClear, 0, QString(),
         QString()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const QString sink = QStringLiteral("/var/spool/diroze-sink/") + QLatin1String(row.queue);
        if (!QDir(sink).exists())
            SKIP_WITHOUT_PEER("no driver queue " + std::string(row.queue) + " (scripts/start-services.sh makes it)");
        QTemporaryDir config;
        ASSERT_TRUE(QDir(config.path()).mkpath(QStringLiteral("diroze")));
        const QByteArray presets =
            QByteArray("<diroze><predvolby><predvolba nazev=\"x\" vybrana=\"true\"><papir format=\"66\" "
                       "na-sirku=\"false\" ") +
            row.paper +
            "/><stitek pocet-x=\"1\" pocet-y=\"1\" mezera-x=\"0\" mezera-y=\"0\" okraj-x=\"1\" okraj-y=\"1\"/>"
            "<pismo font=\"Arial\" velikost=\"6\" mezera-x=\"0\"/></predvolba></predvolby></diroze>";
        for (const auto& [name, text] :
             {std::pair{"diroze/diroze.xml", presets}, std::pair{"diroze/printer.ini", QByteArray(row.printerIni)}}) {
            QFile file(config.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        const printspool::TDriverQueuesLock lock;
        const qsizetype jobsBefore = QDir(sink).entryList(QDir::Files).size();
        const programrun::TRunResult r = programrun::RunDiroze(
            {QStringLiteral(DRIVER_LABELS), QStringLiteral("-codePage:65001"), QString::fromLatin1(row.job)},
            {QStringLiteral("XDG_CONFIG_HOME=") + config.path(), QStringLiteral("LPDEST=") + row.queue});
        EXPECT_EQ(r.ExitCode, row.exitCode) << r.Err.toStdString();
        EXPECT_EQ(r.Err, row.err);
        if (!row.out.isEmpty()) {
            EXPECT_TRUE(r.Out.contains(row.out + u'\n')) << r.Out.toStdString();
        }
        if (row.exitCode != 0) {
            EXPECT_EQ(QDir(sink).entryList(QDir::Files).size(), jobsBefore) << "nothing reached the printer";
        }
    }
}

} // namespace
