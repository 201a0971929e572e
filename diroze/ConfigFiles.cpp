#include "ConfigFiles.h"

#include "PrinterIni.h"
#include "UtilsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace diroze {

namespace {

const QString kPresetsName = QStringLiteral("diroze.xml");
const QString kPrinterName = QStringLiteral("printer.ini");

QString WithSlash(const QString& aDir) { return aDir.endsWith(u'/') ? aDir : aDir + u'/'; }

QString HomeDir()
{
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return QFile::decodeName(home);
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return QFile::decodeName(entry->pw_dir);
    return QStringLiteral("/");
}

bool IsFile(const QString& aPath) { return QFileInfo(aPath).isFile(); }

bool IsWritableDir(const QString& aDir) { return ::access(QFile::encodeName(aDir).constData(), W_OK) == 0; }

} // namespace

TConfigPlaces CurrentConfigPlaces()
{
    TConfigPlaces places;
    places.ApplicationDir = hostutils::GetApplicationDir();
    // The XDG rule: a relative value is invalid and ignored.
    const QString configHome = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    places.UserDir = WithSlash(QDir::isAbsolutePath(configHome) ? configHome : HomeDir() + QStringLiteral("/.config")) +
                     QStringLiteral("diroze/");
    const QString prefix = QDir::cleanPath(places.ApplicationDir + QStringLiteral(".."));
    places.DataDir = WithSlash(prefix) + QStringLiteral("share/diroze/");
    // As GNU installs do: the programs of /usr keep their settings in /etc.
    places.SystemDir = prefix == QStringLiteral("/usr") || prefix == QStringLiteral("/")
                           ? QStringLiteral("/etc/diroze/")
                           : WithSlash(prefix) + QStringLiteral("etc/diroze/");
    return places;
}

TConfigFiles LocateConfigFiles(const TConfigPlaces& aPlaces)
{
    TConfigFiles files;
    const QString beside = aPlaces.ApplicationDir + kPresetsName;
    if (IsFile(beside) && IsWritableDir(aPlaces.ApplicationDir)) {
        files.Presets = beside;
    } else {
        files.Presets = aPlaces.UserDir + kPresetsName;
        // Presets an administrator left beside the program are still the
        // start; else an office-wide layout in the system folder, else the
        // installed defaults.
        const QString office = aPlaces.SystemDir + kPresetsName;
        files.PresetsSeed = IsFile(beside) ? beside : IsFile(office) ? office : aPlaces.DataDir + kPresetsName;
    }
    files.PrinterIniPlaces = {aPlaces.ApplicationDir + kPrinterName, aPlaces.UserDir + kPrinterName,
                              aPlaces.SystemDir + kPrinterName};
    for (const QString& place : files.PrinterIniPlaces) {
        if (IsFile(place)) {
            files.PrinterIni = place;
            break;
        }
    }
    return files;
}

TConfigFiles ConfigFilesIn(const QString& aDir)
{
    TConfigFiles files;
    files.Presets = aDir + kPresetsName;
    files.PrinterIni = aDir + kPrinterName;
    files.PrinterIniPlaces = {files.PrinterIni};
    return files;
}

QStringList DescribeConfigFiles(const TConfigFiles& aFiles)
{
    QString presets = QStringLiteral("Soubor předvoleb: ") + aFiles.Presets;
    if (const QFileInfo info(aFiles.Presets); info.exists() && !info.isFile()) {
        presets +=
            info.isDir() ? QStringLiteral(" (je to adresář, ne soubor)") : QStringLiteral(" (není obyčejný soubor)");
    } else if (!IsFile(aFiles.Presets)) {
        presets += !IsFile(aFiles.PresetsSeed)
                       ? QStringLiteral(" (zatím neexistuje)")
                       : QStringLiteral(" (zatím neexistuje, předvolby se čtou z %1)").arg(aFiles.PresetsSeed);
    }
    QString printer = aFiles.PrinterIni.isEmpty() ? QStringLiteral("Soubor tiskárny: žádný (hledá se %1)")
                                                        .arg(aFiles.PrinterIniPlaces.join(QStringLiteral(", ")))
                                                  : QStringLiteral("Soubor tiskárny: ") + aFiles.PrinterIni;
    if (const QString fault = PrinterIniFault(aFiles.PrinterIni); !fault.isEmpty())
        printer += QStringLiteral(" (nepoužije se, nelze mu rozumět: %1)").arg(fault);
    return {presets, printer};
}

} // namespace diroze
