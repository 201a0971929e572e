#pragma once
// Where the presets file "diroze.xml" and the printer file "printer.ini" are.
//
// A "diroze.xml" beside the program in a directory the user may write is
// used there, as a portable install keeps it. Otherwise the presets are the
// user's own, "$XDG_CONFIG_HOME/diroze/diroze.xml" ("~/.config/diroze/" when
// the variable is unset or not an absolute path). Until that file exists the
// presets are read from a seed, the "diroze.xml" beside the program when
// there is one, else an administrator's "<sysconfdir>/diroze/diroze.xml" for
// the whole office, else the installed defaults
// "<prefix>/share/diroze/diroze.xml", and the first save writes the user's copy.
//
// "printer.ini" is read from the first of: beside the program, the user's
// folder, the system folder "<sysconfdir>/diroze/" ("/etc/diroze/" for a
// program under "/usr").
//
// <prefix> is the parent of the program's directory ("/usr" for "/usr/bin/diroze").

#include <QString>
#include <QStringList>

namespace diroze {

// The directories the files are looked up in, each with a trailing "/".
struct TConfigPlaces {
    QString ApplicationDir; // the program's own directory
    QString UserDir;        // "$XDG_CONFIG_HOME/diroze/"
    QString DataDir;        // "<prefix>/share/diroze/": the installed default presets
    QString SystemDir;      // "<sysconfdir>/diroze/": a printer file and a starting layout for every user
};

struct TConfigFiles {
    QString Presets; // the presets file read and written
    // Read instead while Presets does not exist, when it exists itself; empty
    // for presets beside the program. Saving to a seeded Presets creates its folder.
    QString PresetsSeed;
    QString PrinterIni;           // the printer file in use; empty when none of the places holds one
    QStringList PrinterIniPlaces; // every place "printer.ini" is looked for, in order
};

// The places of this process: its program file, the environment and the
// user's home directory.
TConfigPlaces CurrentConfigPlaces();

// Chooses the files by the rules above; looks at the disk, changes nothing.
TConfigFiles LocateConfigFiles(const TConfigPlaces& aPlaces);
inline TConfigFiles LocateConfigFiles() { return LocateConfigFiles(CurrentConfigPlaces()); }

// Both files in the one directory aDir (with a trailing "/"), nothing seeded.
TConfigFiles ConfigFilesIn(const QString& aDir);

// The two lines "diroze -check" prints about the files; the printer file's
// line says so when the file cannot be read or understood (PrinterIniFault).
QStringList DescribeConfigFiles(const TConfigFiles& aFiles);

} // namespace diroze
