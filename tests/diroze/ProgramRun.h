#pragma once
// The diroze program run as a host program starts it, and the example data
// file's barcodes as a decoder reads them from a sheet.

#include "diroze/PrintSpool.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace programrun {

struct TRunResult {
    int ExitCode = -1; // -1 when the program crashed or ran out of time
    QString Out, Err;
};

inline const QString kExample = QStringLiteral(EXAMPLES_DIR "/stitky.txt");

// The twelve symbols of the example's sheet, sorted.
inline const QStringList kExampleCodes = {"40063812",      "8590000123455", "8590000123462", "8590000123479",
                                          "8590000200019", "8590000200026", "8590000200033", "8590000200040",
                                          "8590000300016", "8590000300023", "8590000300030", "85900011"};

// Runs diroze (or a copy of it, aProgram) for at most two minutes with no
// display and no default printer; aEnvironment ("NAME=value") is added. XDG_CONFIG_HOME is an empty
// folder unless aEnvironment names one, so the presets of the user running
// the tests never come into play.
inline TRunResult RunDiroze(const QStringList& aArgs, const QStringList& aEnvironment = {},
                            const QString& aProgram = QStringLiteral(DIROZE_BINARY))
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "LPDEST", "PRINTER"})
        env.remove(QString::fromLatin1(name));
    const QTemporaryDir emptyConfig;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), emptyConfig.path());
    for (const QString& setting : aEnvironment)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(aProgram, aArgs);
    if (!process.waitForFinished(120000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// The symbols zbarimg reads on the first page of aPdf at 300 dpi, sorted;
// the page image is left in aWorkDir.
inline QStringList ScannedCodes(const QString& aPdf, const QString& aWorkDir)
{
    const QString image = aWorkDir + QStringLiteral("/scanned");
    printspool::Tool(QStringLiteral("pdftoppm"), {"-r", "300", "-png", "-singlefile", aPdf, image});
    QStringList codes = printspool::Tool(QStringLiteral("zbarimg"), {"-q", "--raw", image + QStringLiteral(".png")})
                            .split('\n', Qt::SkipEmptyParts);
    codes.sort();
    return codes;
}

} // namespace programrun
